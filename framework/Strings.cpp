#include "framework/Strings.h"

#include <algorithm>
#include <numeric>
#include <utility>

#include "framework/Streams.h"
#include "platform/win/ScopeGuard.h"

namespace vorra {

namespace {
bool Blank(char c) { return static_cast<unsigned char>(c) <= ' '; }
}  // namespace

// --- TStrings

void TStrings::Error(const char* Msg, int Data) const { throw EStringListError(Format(Msg, Data)); }

int TStrings::Add(const std::string& S) {
  const int index = Count();
  Insert(index, S);
  return index;
}

int TStrings::AddObject(const std::string& S, TObject* AObject) {
  const int index = Add(S);
  PutObject(index, AObject);
  return index;
}

void TStrings::AddStrings(const TStrings* Strings) {
  BeginUpdate();
  const auto cleanup = win::ScopeExit([&] { EndUpdate(); });
  for (int i = 0; i < Strings->Count(); ++i) AddObject(Strings->Get(i), Strings->GetObject(i));
}

void TStrings::Assign(const TPersistent* Source) {
  const auto* source = dynamic_cast<const TStrings*>(Source);
  if (!source) {
    TPersistent::Assign(Source);
    return;
  }
  if (source == this) return;
  BeginUpdate();
  const auto cleanup = win::ScopeExit([&] { EndUpdate(); });
  Clear();
  delimiter_ = source->delimiter_;
  quoteChar_ = source->quoteChar_;
  nameValueSeparator_ = source->nameValueSeparator_;
  strictDelimiter_ = source->strictDelimiter_;
  lineBreak_ = source->lineBreak_;
  AddStrings(source);
}

void TStrings::Exchange(int Index1, int Index2) {
  BeginUpdate();
  const auto cleanup = win::ScopeExit([&] { EndUpdate(); });
  const std::string s = Get(Index1);
  TObject* o = GetObject(Index1);
  Put(Index1, Get(Index2));
  PutObject(Index1, GetObject(Index2));
  Put(Index2, s);
  PutObject(Index2, o);
}

void TStrings::InsertObject(int Index, const std::string& S, TObject* AObject) {
  Insert(Index, S);
  PutObject(Index, AObject);
}

void TStrings::Move(int CurIndex, int NewIndex) {
  if (CurIndex == NewIndex) return;
  BeginUpdate();
  const auto cleanup = win::ScopeExit([&] { EndUpdate(); });
  const std::string s = Get(CurIndex);
  TObject* o = GetObject(CurIndex);
  Delete(CurIndex);
  InsertObject(NewIndex, s, o);
}

bool TStrings::Equals(const TStrings* Strings) const {
  if (Count() != Strings->Count()) return false;
  for (int i = 0; i < Count(); ++i)
    if (Get(i) != Strings->Get(i)) return false;
  return true;
}

void TStrings::Put(int Index, const std::string& S) {
  TObject* o = GetObject(Index);
  Delete(Index);
  InsertObject(Index, S, o);
}

int TStrings::IndexOf(const std::string& S) const {
  for (int i = 0; i < Count(); ++i)
    if (CompareStrings(Get(i), S) == 0) return i;
  return -1;
}

int TStrings::IndexOfName(const std::string& Name) const {
  for (int i = 0; i < Count(); ++i) {
    const std::string s = Get(i);
    const auto p = s.find(nameValueSeparator_);
    if (p != std::string::npos && CompareStrings(s.substr(0, p), Name) == 0) return i;
  }
  return -1;
}

int TStrings::IndexOfObject(const TObject* AObject) const {
  for (int i = 0; i < Count(); ++i)
    if (GetObject(i) == AObject) return i;
  return -1;
}

void TStrings::BeginUpdate() {
  if (updateCount_ == 0) SetUpdateState(true);
  ++updateCount_;
}

void TStrings::EndUpdate() {
  if (updateCount_ == 0) return;
  if (--updateCount_ == 0) SetUpdateState(false);
}

void TStrings::LoadFromFile(const std::string& FileName) {
  TFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&stream);
}

void TStrings::LoadFromStream(TStream* Stream) {
  const std::int64_t size = Stream->Size() - Stream->Position();
  std::string text(static_cast<std::size_t>(std::max<std::int64_t>(size, 0)), '\0');
  if (!text.empty()) Stream->ReadBuffer(text.data(), static_cast<std::int64_t>(text.size()));
  SetText(text);
}

void TStrings::SaveToFile(const std::string& FileName) const {
  TFileStream stream(FileName, fmCreate);
  SaveToStream(&stream);
}

void TStrings::SaveToStream(TStream* Stream) const {
  const std::string text = Text();
  Stream->WriteBuffer(text.data(), static_cast<std::int64_t>(text.size()));
}

std::string TStrings::Text() const {
  std::string out;
  for (int i = 0; i < Count(); ++i) {
    out += Get(i);
    out += lineBreak_;
  }
  return out;
}

void TStrings::SetText(const std::string& Value) {
  BeginUpdate();
  const auto cleanup = win::ScopeExit([&] { EndUpdate(); });
  Clear();
  std::size_t i = 0;
  while (i < Value.size()) {
    const std::size_t start = i;
    while (i < Value.size() && Value[i] != '\r' && Value[i] != '\n') ++i;
    Add(Value.substr(start, i - start));
    if (i < Value.size() && Value[i] == '\r') ++i;
    if (i < Value.size() && Value[i] == '\n') ++i;
  }
}

std::string TStrings::DelimitedTextWith(char delimiter, char quote) const {
  if (Count() == 1 && Get(0).empty()) return std::string(2, quote);
  std::string out;
  for (int i = 0; i < Count(); ++i) {
    const std::string s = Get(i);
    const bool needsQuotes = std::any_of(s.begin(), s.end(), [&](char c) {
      return c == quote || c == delimiter || (!strictDelimiter_ && Blank(c)) || c == '\0';
    });
    if (i > 0) out += delimiter;
    out += needsQuotes ? AnsiQuotedStr(s, quote) : s;
  }
  return out;
}

void TStrings::SetDelimitedTextWith(const std::string& value, char delimiter, char quote, bool strict) {
  auto skipBlanks = [&](std::size_t& p) {
    while (p < value.size() && Blank(value[p]) && value[p] != delimiter) ++p;
  };
  BeginUpdate();
  const auto cleanup = win::ScopeExit([&] { EndUpdate(); });
  Clear();
  std::size_t p = 0;
  if (!strict) skipBlanks(p);
  while (p < value.size()) {
    std::string item;
    if (value[p] == quote) {
      item = AnsiExtractQuotedStr(value, p, quote);
    } else {
      const std::size_t start = p;
      while (p < value.size() && value[p] != delimiter && (strict || !Blank(value[p]))) ++p;
      item = value.substr(start, p - start);
    }
    Add(item);
    if (!strict) skipBlanks(p);
    if (p < value.size() && value[p] == delimiter) {
      ++p;
      // A delimiter at the very end leaves one more, empty, item.
      if (p == value.size()) Add("");
      if (!strict) skipBlanks(p);
    }
  }
}

std::string TStrings::DelimitedText() const { return DelimitedTextWith(delimiter_, quoteChar_); }
void TStrings::SetDelimitedText(const std::string& Value) {
  SetDelimitedTextWith(Value, delimiter_, quoteChar_, strictDelimiter_);
}
std::string TStrings::CommaText() const { return DelimitedTextWith(',', '"'); }
void TStrings::SetCommaText(const std::string& Value) { SetDelimitedTextWith(Value, ',', '"', false); }

std::string TStrings::Names(int Index) const {
  const std::string s = Get(Index);
  const auto p = s.find(nameValueSeparator_);
  return p == std::string::npos ? std::string() : s.substr(0, p);
}

std::string TStrings::Values(const std::string& Name) const {
  const int i = IndexOfName(Name);
  return i < 0 ? std::string() : ValueFromIndex(i);
}

void TStrings::SetValues(const std::string& Name, const std::string& Value) {
  const int i = IndexOfName(Name);
  if (!Value.empty()) {
    const std::string line = Name + nameValueSeparator_ + Value;
    if (i < 0)
      Add(line);
    else
      Put(i, line);
  } else if (i >= 0) {
    Delete(i);
  }
}

std::string TStrings::ValueFromIndex(int Index) const {
  const std::string s = Get(Index);
  const auto p = s.find(nameValueSeparator_);
  return p == std::string::npos ? std::string() : s.substr(p + 1);
}

// --- TStringList

namespace {
constexpr const char* kIndexError = "List index out of bounds (%d)";
constexpr const char* kSortedError = "Operation not allowed on sorted list";
}  // namespace

TStringList::~TStringList() {
  OnChange = nullptr;
  OnChanging = nullptr;
  if (ownsObjects_)
    for (TItem& item : items_) delete std::exchange(item.object, nullptr);
}

void TStringList::Check(int Index) const {
  if (Index < 0 || Index >= Count()) Error(kIndexError, Index);
}

void TStringList::Changed() {
  if (UpdateCount() == 0 && OnChange) OnChange(this);
}

void TStringList::Changing() {
  if (UpdateCount() == 0 && OnChanging) OnChanging(this);
}

void TStringList::SetUpdateState(bool Updating) {
  if (Updating)
    Changing();
  else
    Changed();
}

int TStringList::CompareStrings(const std::string& S1, const std::string& S2) const {
  return caseSensitive_ ? CompareStr(S1, S2) : CompareText(S1, S2);
}

int TStringList::Add(const std::string& S) { return AddObject(S, nullptr); }

int TStringList::AddObject(const std::string& S, TObject* AObject) {
  int index = Count();
  if (sorted_ && Find(S, index)) {
    if (duplicates_ == dupIgnore) return index;
    if (duplicates_ == dupError) throw EStringListError("String list does not allow duplicates");
  }
  InsertItem(index, S, AObject);
  return index;
}

void TStringList::InsertItem(int Index, const std::string& S, TObject* AObject) {
  Changing();
  if (Count() == capacity_) capacity_ += capacity_ > 64 ? capacity_ / 4 : (capacity_ > 8 ? 16 : 4);
  items_.insert(items_.begin() + Index, TItem{S, AObject});
  Changed();
}

void TStringList::Clear() {
  if (items_.empty()) return;
  Changing();
  std::vector<TItem> gone;
  gone.swap(items_);
  capacity_ = 0;
  if (ownsObjects_)
    for (TItem& item : gone) delete item.object;
  Changed();
}

void TStringList::Delete(int Index) {
  Check(Index);
  Changing();
  TObject* object = items_[static_cast<std::size_t>(Index)].object;
  items_.erase(items_.begin() + Index);
  if (ownsObjects_) delete object;
  Changed();
}

void TStringList::Exchange(int Index1, int Index2) {
  Check(Index1);
  Check(Index2);
  // Swapping two lines would leave a sorted list out of order and Find wrong.
  if (sorted_) throw EStringListError(kSortedError);
  Changing();
  std::swap(items_[static_cast<std::size_t>(Index1)], items_[static_cast<std::size_t>(Index2)]);
  Changed();
}

void TStringList::Insert(int Index, const std::string& S) { InsertObject(Index, S, nullptr); }

void TStringList::InsertObject(int Index, const std::string& S, TObject* AObject) {
  if (sorted_) throw EStringListError(kSortedError);
  if (Index < 0 || Index > Count()) Error(kIndexError, Index);
  InsertItem(Index, S, AObject);
}

int TStringList::IndexOf(const std::string& S) const {
  if (!sorted_) return TStrings::IndexOf(S);
  int index;
  return Find(S, index) ? index : -1;
}

bool TStringList::Find(const std::string& S, int& Index) const {
  int lo = 0;
  int hi = Count() - 1;
  bool found = false;
  while (lo <= hi) {
    const int mid = (lo + hi) / 2;
    const int c = CompareStrings(items_[static_cast<std::size_t>(mid)].text, S);
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
      if (c == 0) found = true;
    }
  }
  Index = lo;
  return found;
}

std::string TStringList::Get(int Index) const {
  Check(Index);
  return items_[static_cast<std::size_t>(Index)].text;
}

TObject* TStringList::GetObject(int Index) const {
  Check(Index);
  return items_[static_cast<std::size_t>(Index)].object;
}

void TStringList::Put(int Index, const std::string& S) {
  if (sorted_) throw EStringListError(kSortedError);
  Check(Index);
  Changing();
  items_[static_cast<std::size_t>(Index)].text = S;
  Changed();
}

void TStringList::PutObject(int Index, TObject* AObject) {
  Check(Index);
  Changing();
  TObject* old = std::exchange(items_[static_cast<std::size_t>(Index)].object, AObject);
  if (ownsObjects_ && old != AObject) delete old;
  Changed();
}

void TStringList::SetCapacityImpl(int NewCapacity) {
  if (NewCapacity < Count()) Error("List capacity out of bounds (%d)", NewCapacity);
  capacity_ = NewCapacity;
  items_.reserve(static_cast<std::size_t>(NewCapacity));
}

void TStringList::SortItems(const TStringListSortCompare& Compare) {
  std::vector<int> order(items_.size());
  std::iota(order.begin(), order.end(), 0);
  // The comparer reads the list by index, so the lines stay put while it runs.
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return Compare(this, a, b) < 0; });
  std::vector<TItem> sorted;
  sorted.reserve(items_.size());
  for (int i : order) sorted.push_back(std::move(items_[static_cast<std::size_t>(i)]));
  items_ = std::move(sorted);
}

void TStringList::Sort() {
  CustomSort([](TStringList* list, int a, int b) {
    return list->CompareStrings(list->items_[static_cast<std::size_t>(a)].text,
                                list->items_[static_cast<std::size_t>(b)].text);
  });
}

void TStringList::CustomSort(const TStringListSortCompare& Compare) {
  if (sorted_ || Count() < 2 || !Compare) return;
  Changing();
  SortItems(Compare);
  Changed();
}

void TStringList::SetSorted(bool Value) {
  if (sorted_ == Value) return;
  if (Value) Sort();
  sorted_ = Value;
}

void TStringList::SetCaseSensitive(bool Value) {
  if (caseSensitive_ == Value) return;
  caseSensitive_ = Value;
  if (sorted_) {
    sorted_ = false;
    Sort();
    sorted_ = true;
  }
}

}  // namespace vorra
