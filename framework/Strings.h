// Lists of texts with attached objects: the abstract TStrings, whose text
// forms (lines, comma text, name=value pairs) every list shares, and
// TStringList, which keeps its texts itself, sorted if asked.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "framework/Component.h"
#include "framework/SysUtils.h"

namespace vorra {

class TStream;

class TStrings : public TPersistent {
 public:
  ~TStrings() override = default;

  // Answers the new line's index.
  virtual int Add(const std::string& S);
  virtual int AddObject(const std::string& S, TObject* AObject);
  void Append(const std::string& S) { Add(S); }
  virtual void AddStrings(const TStrings* Strings);
  // Takes the texts and objects of another TStrings (the objects stay shared).
  void Assign(const TPersistent* Source) override;
  virtual void Clear() = 0;
  virtual void Delete(int Index) = 0;
  virtual void Exchange(int Index1, int Index2);
  virtual void Insert(int Index, const std::string& S) = 0;
  virtual void InsertObject(int Index, const std::string& S, TObject* AObject);
  void Move(int CurIndex, int NewIndex);
  bool Equals(const TStrings* Strings) const;

  // Case-insensitive unless the list says otherwise (CompareStrings); -1 when absent.
  virtual int IndexOf(const std::string& S) const;
  int IndexOfName(const std::string& Name) const;
  int IndexOfObject(const TObject* AObject) const;

  // Between the outermost BeginUpdate and its EndUpdate the list reports no
  // single changes (and a control shows none).
  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return updateCount_; }

  // Whole file or rest of the stream, as lines (see SetText).
  void LoadFromFile(const std::string& FileName);
  void LoadFromStream(TStream* Stream);
  void SaveToFile(const std::string& FileName) const;
  void SaveToStream(TStream* Stream) const;

  int Count() const { return GetCount(); }
  std::string Strings(int Index) const { return Get(Index); }
  void SetStrings(int Index, const std::string& S) { Put(Index, S); }
  std::string operator[](int Index) const { return Get(Index); }
  TObject* Objects(int Index) const { return GetObject(Index); }
  void SetObjects(int Index, TObject* AObject) { PutObject(Index, AObject); }
  int Capacity() const { return GetCapacity(); }
  void SetCapacity(int NewCapacity) { SetCapacityImpl(NewCapacity); }

  // Every line followed by LineBreak. Setting splits at CR LF, CR or LF; a
  // break at the very end starts no further line.
  std::string Text() const;
  void SetText(const std::string& Value);
  const std::string& LineBreak() const { return lineBreak_; }
  void SetLineBreak(const std::string& Value) { lineBreak_ = Value; }

  // Lines joined by Delimiter; a line holding a blank, the quote or the
  // delimiter is quoted (inner quotes doubled); a lone empty line is "".
  // Setting reads the same form; unless StrictDelimiter, blanks also
  // separate unquoted items.
  std::string DelimitedText() const;
  void SetDelimitedText(const std::string& Value);
  // DelimitedText with ',' and '"', whatever Delimiter and QuoteChar are.
  std::string CommaText() const;
  void SetCommaText(const std::string& Value);
  char Delimiter() const { return delimiter_; }
  void SetDelimiter(char Value) { delimiter_ = Value; }
  char QuoteChar() const { return quoteChar_; }
  void SetQuoteChar(char Value) { quoteChar_ = Value; }
  bool StrictDelimiter() const { return strictDelimiter_; }
  void SetStrictDelimiter(bool Value) { strictDelimiter_ = Value; }

  // "name=value" lines. Names(i) is "" for a line without the separator;
  // Values of a missing name is ""; setting an empty value deletes the line.
  std::string Names(int Index) const;
  std::string Values(const std::string& Name) const;
  void SetValues(const std::string& Name, const std::string& Value);
  std::string ValueFromIndex(int Index) const;
  char NameValueSeparator() const { return nameValueSeparator_; }
  void SetNameValueSeparator(char Value) { nameValueSeparator_ = Value; }

 protected:
  virtual std::string Get(int Index) const = 0;
  virtual int GetCount() const = 0;
  virtual TObject* GetObject(int Index) const { return nullptr; }
  // By default replaces the line, keeping its object.
  virtual void Put(int Index, const std::string& S);
  virtual void PutObject(int Index, TObject* AObject) {}
  virtual int GetCapacity() const { return Count(); }
  virtual void SetCapacityImpl(int NewCapacity) {}
  // Told when the first BeginUpdate starts (true) and the last EndUpdate ends (false).
  virtual void SetUpdateState(bool Updating) {}
  virtual int CompareStrings(const std::string& S1, const std::string& S2) const { return CompareText(S1, S2); }
  [[noreturn]] void Error(const char* Msg, int Data) const;

 private:
  std::string DelimitedTextWith(char delimiter, char quote) const;
  void SetDelimitedTextWith(const std::string& value, char delimiter, char quote, bool strict);

  int updateCount_ = 0;
  std::string lineBreak_ = "\n";
  char delimiter_ = ',';
  char quoteChar_ = '"';
  char nameValueSeparator_ = '=';
  bool strictDelimiter_ = false;
};

enum TDuplicates { dupIgnore, dupAccept, dupError };

class TStringList;
// Negative when the line at Index1 sorts before the one at Index2.
using TStringListSortCompare = std::function<int(TStringList* List, int Index1, int Index2)>;

class TStringList : public TStrings {
 public:
  TStringList() = default;
  explicit TStringList(bool OwnsObjects) : ownsObjects_(OwnsObjects) {}
  ~TStringList() override;
  TStringList(const TStringList&) = delete;
  TStringList& operator=(const TStringList&) = delete;

  // In a sorted list Add goes to the sorted place and obeys Duplicates.
  int Add(const std::string& S) override;
  int AddObject(const std::string& S, TObject* AObject) override;
  void Clear() override;
  void Delete(int Index) override;
  void Exchange(int Index1, int Index2) override;
  // Raises EStringListError on a sorted list.
  void Insert(int Index, const std::string& S) override;
  void InsertObject(int Index, const std::string& S, TObject* AObject) override;
  int IndexOf(const std::string& S) const override;

  // Binary search (the list must be sorted): true when S is there; Index is
  // its first place, or where it would go.
  bool Find(const std::string& S, int& Index) const;
  // Stable; do nothing on a list that keeps itself sorted.
  virtual void Sort();
  virtual void CustomSort(const TStringListSortCompare& Compare);

  TDuplicates Duplicates() const { return duplicates_; }
  void SetDuplicates(TDuplicates Value) { duplicates_ = Value; }
  bool Sorted() const { return sorted_; }
  void SetSorted(bool Value);
  bool CaseSensitive() const { return caseSensitive_; }
  void SetCaseSensitive(bool Value);
  // Owned objects are freed when their line goes, is cleared or gets another object.
  bool OwnsObjects() const { return ownsObjects_; }
  void SetOwnsObjects(bool Value) { ownsObjects_ = Value; }

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

 protected:
  std::string Get(int Index) const override;
  int GetCount() const override { return static_cast<int>(items_.size()); }
  TObject* GetObject(int Index) const override;
  void Put(int Index, const std::string& S) override;
  void PutObject(int Index, TObject* AObject) override;
  int GetCapacity() const override { return capacity_; }
  void SetCapacityImpl(int NewCapacity) override;
  void SetUpdateState(bool Updating) override;
  int CompareStrings(const std::string& S1, const std::string& S2) const override;
  virtual void Changed();
  virtual void Changing();

 private:
  struct TItem {
    std::string text;
    TObject* object = nullptr;
  };
  void Check(int Index) const;
  void InsertItem(int Index, const std::string& S, TObject* AObject);
  void SortItems(const TStringListSortCompare& Compare);

  std::vector<TItem> items_;
  int capacity_ = 0;
  TDuplicates duplicates_ = dupIgnore;
  bool sorted_ = false;
  bool caseSensitive_ = false;
  bool ownsObjects_ = false;
};

}  // namespace vorra
