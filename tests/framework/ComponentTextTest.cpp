#include "framework/ComponentText.h"

#include <gtest/gtest.h>

#include "tests/framework/ComponentTextTestClasses.h"

namespace vorra {
namespace {

using namespace texttest;

std::string ErrorOf(const std::string& text) {
  TItem item(nullptr);
  try {
    ReadComponentText(text, item, item.Published());
  } catch (const EComponentTextError& e) {
    return e.Message();
  }
  return "(nothing raised)";
}

// Write, read into a fresh object, write again: the same bytes.
std::string Rewritten(const TItem& item) {
  const std::string text = WriteComponentText(item, item.Published());
  TItem again(nullptr);
  ReadComponentText(text, again, again.Published());
  return WriteComponentText(again, again.Published());
}

TEST(ComponentText, WritesTheStreamingLayoutWithEscapesAndWithoutDefaults) {
  TItem item(nullptr);
  item.SetName("Main");
  item.SetCount(-7);
  item.SetRatio(1.5);
  item.SetCaption("It's\r\ncaf\xC3\xA9");
  item.SetVisible(false);
  item.SetFlags({flA, flC});
  item.SetColor(clBtnFace);
  item.Font()->SetStyle({fsBold});
  EXPECT_EQ(WriteComponentText(item, item.Published()),
            "object Main: TItem\r\n"
            "  Count = -7\r\n"
            "  Ratio = 1.500000000000000000\r\n"
            "  Caption = 'It''s'#13#10'caf'#195#169\r\n"
            "  Visible = False\r\n"
            "  Flags = [flA, flC]\r\n"
            "  Color = clBtnFace\r\n"
            "  Font.Color = clWindowText\r\n"
            "  Font.Height = -11\r\n"
            "  Font.Name = 'MS Sans Serif'\r\n"
            "  Font.Style = [fsBold]\r\n"
            "  Objects = {\r\n"
            "    00000000}\r\n"
            "end\r\n");

  TItem back(nullptr);
  ReadComponentText(WriteComponentText(item, item.Published()), back, back.Published());
  EXPECT_EQ(back.Name(), "Main");
  EXPECT_EQ(back.Caption(), item.Caption());
  EXPECT_EQ(back.Flags(), item.Flags());
  EXPECT_EQ(back.Color(), clBtnFace);
  EXPECT_FALSE(back.Visible());
  EXPECT_EQ(back.Font()->Style(), TFontStyles{fsBold});
}

TEST(ComponentText, LongStringsGoInPiecesOf64JoinedWithPlus) {
  TItem item(nullptr);
  const std::string caption = std::string(63, 'a') + "'" + std::string(64, 'b') + "\x01";
  item.SetCaption(caption);
  item.SetColor(1234567);
  const std::string text = WriteComponentText(item, item.Published());
  EXPECT_NE(text.find("  Caption = \r\n"
                      "    '" + std::string(63, 'a') + "'''" + " +\r\n"
                      "    '" + std::string(64, 'b') + "' +\r\n"
                      "    #1\r\n"
                      "  Color = 1234567\r\n"),
            std::string::npos)
      << text;
  TItem back(nullptr);
  ReadComponentText(text, back, back.Published());
  EXPECT_EQ(back.Caption(), caption);
  EXPECT_EQ(back.Color(), 1234567);
}

TEST(ComponentText, FloatsReadBackAndRewriteIdentically) {
  for (double v : {0.1, -2.5, 1e20, -3.25e-9, 123456.789, 1.0 / 3.0, 0.0015}) {
    TItem item(nullptr);
    item.SetRatio(v);
    const std::string text = WriteComponentText(item, item.Published());
    TItem back(nullptr);
    ReadComponentText(text, back, back.Published());
    EXPECT_NEAR(back.Ratio(), v, std::abs(v) * 1e-15) << text;
    EXPECT_EQ(WriteComponentText(back, back.Published()), text);
  }
}

TEST(ComponentText, ChildrenInObjectsThreeDeepRoundTrip) {
  TItem root(nullptr);
  root.SetName("Form");
  auto* mid = new TBigItem(&root);
  mid->SetName("Caption");
  mid->SetExtra(42);
  auto* leaf = new TItem(mid);
  leaf->SetName("Title");
  leaf->SetCaption(std::string(200, 'x') + "\xFF");
  leaf->SetShape(shRound);
  new TItem(&root);  // unnamed
  const std::string text = WriteComponentText(root, root.Published());
  EXPECT_EQ(Rewritten(root), text);

  TItem back(nullptr);
  ReadComponentText(text, back, back.Published());
  ASSERT_EQ(back.ComponentCount(), 2);
  auto* backMid = dynamic_cast<TBigItem*>(back.Components(0));
  ASSERT_NE(backMid, nullptr);
  EXPECT_EQ(backMid->Extra(), 42);
  ASSERT_EQ(backMid->ComponentCount(), 1);
  auto* backLeaf = dynamic_cast<TItem*>(backMid->Components(0));
  EXPECT_EQ(backLeaf->Caption(), leaf->Caption());
  EXPECT_EQ(backLeaf->Shape(), shRound);
  EXPECT_EQ(back.Components(1)->Name(), "");
}

TEST(ComponentText, NestedObjectBlocksAndUnknownClassesAreSkippedAndReported) {
  TBox root(nullptr);
  root.SetName("A");
  auto* b = new TBox(&root);
  b->SetName("B");
  b->SetTag2(5);
  (new TBox(b))->SetName("C");
  const std::string text = WriteComponentText(root, TBox::Table());
  EXPECT_EQ(text,
            "object A: TBox\r\n"
            "  object B: TBox\r\n"
            "    Tag2 = 5\r\n"
            "    object C: TBox\r\n"
            "    end\r\n"
            "  end\r\n"
            "end\r\n");

  TBox back(nullptr);
  std::vector<TSkippedObject> skipped;
  ReadComponentText("object A: TBox\n  object X: TMystery\n    Whatever = 1\n  end\n  object B: TBox\n  end\nend\n", back,
                    TBox::Table(), &skipped);
  ASSERT_EQ(skipped.size(), 1u);
  EXPECT_EQ(skipped[0].ClassName, "TMystery");
  EXPECT_EQ(skipped[0].Line, 2);
  ASSERT_EQ(back.ComponentCount(), 1);
  EXPECT_EQ(back.Components(0)->Name(), "B");
}

TEST(ComponentText, TheModelKeepsListsCollectionsAndBinaryLines) {
  const std::string text =
      "object TThing\r\n"
      "  Lines = (\r\n"
      "    'one'\r\n"
      "    2\r\n"
      "    (\r\n"
      "      x))\r\n"
      "  Columns = <\r\n"
      "    item\r\n"
      "      Width = 3\r\n"
      "    end\r\n"
      "    item\r\n"
      "    end>\r\n"
      "  Empty = ()\r\n"
      "  Data = {\r\n"
      "    000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F\r\n"
      "    FF}\r\n"
      "end\r\n";
  const TTextObject model = ParseComponentText(text);
  EXPECT_EQ(model.Properties[3].Value.Text.size(), 33u);
  EXPECT_EQ(PrintComponentText(model), text);
}

TEST(ComponentText, MalformedTextGivesCleanErrors) {
  const std::string head = "object M: TItem\n";
  EXPECT_EQ(ErrorOf(head + "  Count = 1\n  Bogus.Thing = 2\nend\n"), "Line 3: Unknown property Bogus.Thing of TItem");
  EXPECT_EQ(ErrorOf(head + "  Count = 'x'\nend\n"), "Line 2: Invalid value for property Count");
  EXPECT_EQ(ErrorOf(head + "  Count = 3000000000\nend\n"), "Line 2: Property Count: 3000000000 is out of range");
  EXPECT_EQ(ErrorOf(head + "  Shape = shOval\nend\n"), "Line 2: Invalid value for property Shape");
  EXPECT_EQ(ErrorOf(head + "  Flags = [flA, flZ]\nend\n"), "Line 2: Unknown element flZ in property Flags");
  EXPECT_EQ(ErrorOf(head + "  Count = 1\n"), "Line 3: 'end' of TItem expected (object at line 1)");
  EXPECT_EQ(ErrorOf(head + "  Caption = 'abc\nend\n"), "Line 2: Unterminated string");
  EXPECT_EQ(ErrorOf(head + "  Caption = 'a' +\nend\n"), "Line 3: String expected after '+'");
  EXPECT_EQ(ErrorOf(head + "  Objects = {000}\nend\n"), "Line 2: Odd number of hexadecimal digits");
  EXPECT_EQ(ErrorOf(head + "  Objects = {05000000}\nend\n"), "Line 2: Property Objects: Invalid object count 5");
  EXPECT_EQ(ErrorOf("object M: TBox\nend\n"), "Line 1: Object of class TBox where TItem was expected");
  EXPECT_EQ(ErrorOf(head + "end\nend\n"), "Line 3: Text after the end of the object");
  EXPECT_EQ(ErrorOf("object"), "Line 1: Class name expected");

  std::string deep;
  for (int i = 0; i < MaxComponentTextDepth + 1; ++i) deep += "object TBox\n";
  EXPECT_EQ(ErrorOf(deep), "Line 65: Objects nested deeper than 64");
  // A child record whose own text is malformed names the property it came through.
  std::string records = EncodeObjectRecords({{"TItem", "object TItem\n  Nope = 1\nend\n"}});
  TItem holder(nullptr);
  EXPECT_THROW(holder.SetObjectsData(records), EComponentTextError);
}

TEST(ComponentText, ObjectRecordsNeverTrustTheirLengths) {
  TStringStream huge(std::string("\xFF\xFF\xFF\x7F", 4) + "abc");
  EXPECT_THROW(ReadLengthString(huge), EReadError);
  TStringStream negative(std::string("\xFF\xFF\xFF\xFF", 4));
  EXPECT_THROW(ReadLengthString(negative), EReadError);
  EXPECT_THROW(DecodeObjectRecords(std::string("\x00\x00\x00\x40", 4) + std::string(16, '\0')), EReadError);
  EXPECT_THROW(DecodeObjectRecords(EncodeObjectRecords({{"TItem", "x"}}) + "z"), EReadError);

  TItem holder(nullptr);
  holder.SetObjectsData(EncodeObjectRecords({{"TMystery", "object TMystery\nend\n"}, {"TItem", "object TItem\nend\n"}}));
  EXPECT_EQ(holder.Skipped, std::vector<std::string>{"TMystery"});
  EXPECT_EQ(holder.ComponentCount(), 1);
}

}  // namespace
}  // namespace vorra
