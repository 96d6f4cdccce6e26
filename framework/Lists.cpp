#include "framework/Lists.h"

#include <algorithm>

namespace vorra {

namespace {
[[noreturn]] void ListError(const char* fmt, int value) { throw EListError(Format(fmt, value)); }
}  // namespace

void TList::Check(int Index) const {
  if (Index < 0 || Index >= Count()) ListError("List index out of bounds (%d)", Index);
}

void* TList::Get(int Index) const {
  Check(Index);
  return items_[static_cast<std::size_t>(Index)];
}

// Growth in the class library's steps, so Capacity reads as it would there.
void TList::Grow() {
  const int delta = capacity_ > 64 ? capacity_ / 4 : (capacity_ > 8 ? 16 : 4);
  SetCapacity(capacity_ + delta);
}

int TList::Add(void* Item) {
  const int index = Count();
  if (index == capacity_) Grow();
  items_.push_back(Item);
  return index;
}

void TList::Insert(int Index, void* Item) {
  if (Index < 0 || Index > Count()) ListError("List index out of bounds (%d)", Index);
  if (Count() == capacity_) Grow();
  items_.insert(items_.begin() + Index, Item);
}

void TList::Delete(int Index) {
  Check(Index);
  items_.erase(items_.begin() + Index);
}

int TList::Remove(void* Item) {
  const int index = IndexOf(Item);
  if (index >= 0) Delete(index);
  return index;
}

void* TList::Extract(void* Item) {
  return Remove(Item) >= 0 ? Item : nullptr;
}

int TList::IndexOf(void* Item) const {
  const auto it = std::find(items_.begin(), items_.end(), Item);
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

void TList::Clear() {
  items_.clear();
  items_.shrink_to_fit();
  capacity_ = 0;
}

void TList::Exchange(int Index1, int Index2) {
  Check(Index1);
  Check(Index2);
  std::swap(items_[static_cast<std::size_t>(Index1)], items_[static_cast<std::size_t>(Index2)]);
}

void TList::Move(int CurIndex, int NewIndex) {
  if (CurIndex == NewIndex) return;
  Check(NewIndex);
  void* item = Get(CurIndex);
  items_.erase(items_.begin() + CurIndex);
  items_.insert(items_.begin() + NewIndex, item);
}

void TList::Pack() { items_.erase(std::remove(items_.begin(), items_.end(), nullptr), items_.end()); }

void TList::Sort(TListSortCompare Compare) {
  if (!Compare) return;
  std::stable_sort(items_.begin(), items_.end(), [Compare](void* a, void* b) { return Compare(a, b) < 0; });
}

void TList::SetCount(int NewCount) {
  if (NewCount < 0) ListError("List count out of bounds (%d)", NewCount);
  if (NewCount > capacity_) SetCapacity(NewCount);
  items_.resize(static_cast<std::size_t>(NewCount), nullptr);
}

void TList::SetCapacity(int NewCapacity) {
  if (NewCapacity < Count()) ListError("List capacity out of bounds (%d)", NewCapacity);
  capacity_ = NewCapacity;
  items_.reserve(static_cast<std::size_t>(NewCapacity));
}

void TList::SetItems(int Index, void* Item) {
  Check(Index);
  items_[static_cast<std::size_t>(Index)] = Item;
}

}  // namespace vorra
