#include "framework/Strings.h"

#include <gtest/gtest.h>

#include "framework/DateTime.h"
#include "framework/Streams.h"
#include "tests/support/TestSupport.h"

namespace vorra {
namespace {

std::vector<std::string> Lines(const TStrings& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list[i]);
  return out;
}

using V = std::vector<std::string>;

class TCounted : public TObject {
 public:
  explicit TCounted(int& freed) : freed_(freed) {}
  ~TCounted() override { ++freed_; }

 private:
  int& freed_;
};

TEST(TStringList, TextSplitsAtEveryLineBreakKindAndIgnoresOneAtTheEnd) {
  TStringList list;
  list.SetText("a\r\nb\rc\nd");
  EXPECT_EQ(Lines(list), (V{"a", "b", "c", "d"}));
  list.SetText("a\n");
  EXPECT_EQ(Lines(list), (V{"a"}));
  list.SetText("a\n\n");
  EXPECT_EQ(Lines(list), (V{"a", ""}));
  list.SetText("\n");
  EXPECT_EQ(Lines(list), (V{""}));
  list.SetText("\r\n\r\n");
  EXPECT_EQ(Lines(list), (V{"", ""}));
  list.SetText("");
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.Text(), "");
  list.SetText("x\r\ny");
  EXPECT_EQ(list.Text(), "x\ny\n");
  list.SetLineBreak("\r\n");
  EXPECT_EQ(list.Text(), "x\r\ny\r\n");
}

TEST(TStringList, CommaTextQuotesWhatNeedsItAndReadsItBack) {
  TStringList list;
  for (const char* s : {"plain", "two words", "say \"hi\"", "", "a,b", "end"}) list.Add(s);
  const std::string text = list.CommaText();
  EXPECT_EQ(text, "plain,\"two words\",\"say \"\"hi\"\"\",,\"a,b\",end");
  TStringList back;
  back.SetCommaText(text);
  EXPECT_EQ(Lines(back), Lines(list));

  // One empty line must not read back as no line at all.
  TStringList single;
  single.Add("");
  EXPECT_EQ(single.CommaText(), "\"\"");
  back.SetCommaText("\"\"");
  EXPECT_EQ(Lines(back), (V{""}));
  back.SetCommaText("");
  EXPECT_EQ(back.Count(), 0);
}

TEST(TStringList, CommaTextParsingEdgeCases) {
  TStringList list;
  list.SetCommaText("a,b,");
  EXPECT_EQ(Lines(list), (V{"a", "b", ""}));
  list.SetCommaText("  a ,  b  ");
  EXPECT_EQ(Lines(list), (V{"a", "b"}));
  // Unquoted blanks separate items as commas do.
  list.SetCommaText("a b");
  EXPECT_EQ(Lines(list), (V{"a", "b"}));
  list.SetCommaText(",");
  EXPECT_EQ(Lines(list), (V{"", ""}));
  list.SetCommaText("\"open to the end");
  EXPECT_EQ(Lines(list), (V{"open to the end"}));
  list.SetCommaText("\"q\"\"\",x");
  EXPECT_EQ(Lines(list), (V{"q\"", "x"}));

  list.SetDelimiter(';');
  list.SetQuoteChar('\'');
  list.SetStrictDelimiter(true);
  list.SetDelimitedText("a b;'c;d';");
  EXPECT_EQ(Lines(list), (V{"a b", "c;d", ""}));
  EXPECT_EQ(list.DelimitedText(), "a b;'c;d';");
}

TEST(TStringList, SortedListKeepsOrderAndObeysDuplicates) {
  TStringList list;
  list.SetSorted(true);
  for (const char* s : {"pear", "Apple", "fig", "apple"}) list.Add(s);
  // dupIgnore: the second apple (any case) was dropped.
  EXPECT_EQ(Lines(list), (V{"Apple", "fig", "pear"}));
  EXPECT_EQ(list.Add("PEAR"), 2);
  EXPECT_EQ(list.Count(), 3);
  int index = -1;
  EXPECT_TRUE(list.Find("FIG", index));
  EXPECT_EQ(index, 1);
  EXPECT_FALSE(list.Find("grape", index));
  EXPECT_EQ(index, 2);
  EXPECT_EQ(list.IndexOf("APPLE"), 0);
  EXPECT_EQ(list.IndexOf("grape"), -1);

  list.SetDuplicates(dupError);
  EXPECT_THROW(list.Add("fig"), EStringListError);
  EXPECT_EQ(list.Count(), 3);
  list.SetDuplicates(dupAccept);
  EXPECT_EQ(list.Add("FIG"), 1);
  EXPECT_EQ(Lines(list), (V{"Apple", "FIG", "fig", "pear"}));

  EXPECT_THROW(list.Insert(0, "zzz"), EStringListError);
  EXPECT_THROW(list.SetStrings(0, "zzz"), EStringListError);
  EXPECT_THROW(list.Exchange(0, 1), EStringListError);
  // Case-sensitive order puts capitals first and finds only the exact text.
  list.SetCaseSensitive(true);
  EXPECT_EQ(Lines(list), (V{"Apple", "FIG", "fig", "pear"}));
  EXPECT_EQ(list.IndexOf("apple"), -1);
  EXPECT_EQ(list.IndexOf("fig"), 2);
}

TEST(TStringList, SortingUnsortedListsIsStable) {
  TStringList list;
  for (const char* s : {"b", "B", "a", "A", "c"}) list.Add(s);
  EXPECT_EQ(list.IndexOf("C"), 4);
  list.Sort();
  EXPECT_EQ(Lines(list), (V{"a", "A", "b", "B", "c"}));
  list.SetText("ccc\na\nbb\nx");
  list.CustomSort([](TStringList* l, int a, int b) {
    return static_cast<int>(l->Strings(a).size()) - static_cast<int>(l->Strings(b).size());
  });
  EXPECT_EQ(Lines(list), (V{"a", "x", "bb", "ccc"}));
}

TEST(TStringList, ObjectsTravelWithTheirLinesAndOwnedOnesAreFreed) {
  int freed = 0;
  {
    TStringList list(true);
    auto* one = new TCounted(freed);
    auto* two = new TCounted(freed);
    list.AddObject("one", one);
    list.AddObject("two", two);
    list.Add("none");
    list.Exchange(0, 1);
    EXPECT_EQ(list.Objects(0), two);
    EXPECT_EQ(list.IndexOfObject(one), 1);
    EXPECT_EQ(list.IndexOfObject(nullptr), 2);
    list.SetSorted(true);
    EXPECT_EQ(Lines(list), (V{"none", "one", "two"}));
    EXPECT_EQ(list.Objects(1), one);
    list.Delete(1);
    EXPECT_EQ(freed, 1);
    list.SetObjects(1, new TCounted(freed));  // replaces two
    EXPECT_EQ(freed, 2);
    list.Add("three");
  }
  EXPECT_EQ(freed, 3);

  TStringList borrowed;
  TCounted kept(freed);
  borrowed.AddObject("k", &kept);
  borrowed.Clear();
  EXPECT_EQ(freed, 3);
}

TEST(TStringList, ChangeEventsFireOncePerUpdateBlock) {
  TStringList list;
  std::vector<std::string> log;
  list.OnChanging = [&](TObject* sender) { log.push_back("changing " + std::to_string(static_cast<TStringList*>(sender)->Count())); };
  list.OnChange = [&](TObject* sender) { log.push_back("change " + std::to_string(static_cast<TStringList*>(sender)->Count())); };
  list.Add("a");
  list.BeginUpdate();
  list.Add("b");
  list.BeginUpdate();
  list.Add("c");
  list.EndUpdate();
  list.Delete(0);
  list.EndUpdate();
  list.Clear();
  list.Clear();  // already empty: nothing changes
  EXPECT_EQ(log, (V{"changing 0", "change 1", "changing 1", "change 2", "changing 2", "change 0"}));
}

TEST(TStringList, NamesAndValues) {
  TStringList list;
  list.SetText("Path=/tmp\nnoseparator\nEmpty=\nx=a=b");
  EXPECT_EQ(list.Names(0), "Path");
  EXPECT_EQ(list.Names(1), "");
  EXPECT_EQ(list.Values("PATH"), "/tmp");
  EXPECT_EQ(list.Values("x"), "a=b");
  EXPECT_EQ(list.Values("Empty"), "");
  EXPECT_EQ(list.Values("missing"), "");
  EXPECT_EQ(list.IndexOfName("empty"), 2);
  list.SetValues("path", "/var");
  EXPECT_EQ(list[0], "path=/var");
  list.SetValues("new", "1");
  EXPECT_EQ(list[4], "new=1");
  list.SetValues("x", "");
  EXPECT_EQ(list.IndexOfName("x"), -1);
  EXPECT_EQ(list.Count(), 4);
  EXPECT_EQ(list.ValueFromIndex(3), "1");
}

TEST(TStringList, IndexErrorsNameTheIndex) {
  TStringList list;
  list.Add("a");
  try {
    list.Strings(5);
    FAIL();
  } catch (const EStringListError& e) {
    EXPECT_EQ(e.Message(), "List index out of bounds (5)");
  }
  EXPECT_THROW(list.Delete(-1), EStringListError);
  EXPECT_THROW(list.Insert(2, "x"), EStringListError);
  list.Insert(1, "b");
  EXPECT_EQ(Lines(list), (V{"a", "b"}));
  EXPECT_THROW(list.SetCapacity(1), EStringListError);
}

TEST(TStringList, AssignCopiesFromAnyStringsAndRefusesOthers) {
  TStringList a;
  a.SetText("1\n2");
  a.SetDelimiter(';');
  TStringList b;
  b.Add("old");
  b.Assign(&a);
  EXPECT_EQ(Lines(b), (V{"1", "2"}));
  EXPECT_EQ(b.Delimiter(), ';');
  EXPECT_TRUE(b.Equals(&a));
  b.Move(0, 1);
  EXPECT_EQ(Lines(b), (V{"2", "1"}));
  EXPECT_FALSE(b.Equals(&a));
  TPersistent other;
  EXPECT_THROW(b.Assign(&other), EConvertError);
}

TEST(TStringList, FilesRoundTripAndMissingFilesNameThePath) {
  test::TTempDir dir;
  test::TScopedEnv home("VORRA_HOME", dir.Folder());
  TStringList list;
  list.SetText("first\nsecond line\n\nlast");
  const std::string path = dir / "lines.txt";
  list.SaveToFile(path);
  EXPECT_EQ(test::ReadText(path), "first\nsecond line\n\nlast\n");
  TStringList back;
  back.LoadFromFile(path);
  EXPECT_EQ(Lines(back), Lines(list));

  const std::string missing = dir / "nope.txt";
  try {
    back.LoadFromFile(missing);
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_NE(e.Message().find(missing), std::string::npos) << e.Message();
  }
  EXPECT_EQ(back.Count(), 4);  // a failed load leaves the list alone

  // From the stream's position to its end.
  TStringStream stream("skip\r\nkeep\r\nthis");
  stream.SetPosition(6);
  back.LoadFromStream(&stream);
  EXPECT_EQ(Lines(back), (V{"keep", "this"}));
}

}  // namespace
}  // namespace vorra
