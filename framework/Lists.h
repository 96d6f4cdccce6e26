// TList: a list of untyped pointers that owns nothing, with the class
// library's index errors.
#pragma once

#include <vector>

#include "framework/Component.h"
#include "framework/SysUtils.h"

namespace vorra {

// Negative when a sorts before b.
using TListSortCompare = int (*)(void* a, void* b);

class TList : public TObject {
 public:
  TList() = default;
  ~TList() override = default;
  TList(const TList&) = delete;
  TList& operator=(const TList&) = delete;

  int Add(void* Item);
  void Insert(int Index, void* Item);
  void Delete(int Index);
  // Removes the first occurrence; answers its former index or -1.
  int Remove(void* Item);
  // Like Remove, answering the item (nullptr when absent).
  void* Extract(void* Item);
  int IndexOf(void* Item) const;
  void Clear();
  void Exchange(int Index1, int Index2);
  void Move(int CurIndex, int NewIndex);
  // Drops the nil entries.
  void Pack();
  // Stable: equal items keep their order.
  void Sort(TListSortCompare Compare);
  void* First() const { return Get(0); }
  void* Last() const { return Get(Count() - 1); }

  int Count() const { return static_cast<int>(items_.size()); }
  // Growing fills with nil entries; below 0 raises EListError.
  void SetCount(int NewCount);
  int Capacity() const { return capacity_; }
  // Below Count raises EListError.
  void SetCapacity(int NewCapacity);
  void* Items(int Index) const { return Get(Index); }
  void SetItems(int Index, void* Item);
  void* operator[](int Index) const { return Get(Index); }

 private:
  void* Get(int Index) const;
  void Check(int Index) const;
  void Grow();

  std::vector<void*> items_;
  int capacity_ = 0;
};

}  // namespace vorra
