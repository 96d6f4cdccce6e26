#include "framework/ListControls.h"

#include <gtest/gtest.h>

#include "platform/ui/Gdi.h"
#include "platform/ui/Paint.h"
#include "tests/framework/ControlTestSupport.h"

namespace vorra {
namespace {

using ctltest::Click;
using ctltest::Key;
using ctltest::Pump;

class ListBoxTest : public ctltest::TControlFormTest {
 protected:
  TListBox* MakeList(int items, int height = 16 * 5 + 4) {
    auto* lb = Put<TListBox>(10, 10, 150, height);
    for (int i = 0; i < items; ++i) lb->Items()->Add("item " + std::to_string(i));
    lb->OnClick = [this](TObject*) { clicks.push_back(list->ItemIndex()); };
    list = lb;
    Pump();
    return lb;
  }
  // The middle of an item's row.
  void ClickItem(int index) {
    const TRect r = list->ItemRect(index);
    Click(list, r.Left + 5, (r.Top + r.Bottom) / 2);
  }
  TListBox* list = nullptr;
  std::vector<int> clicks;
};

TEST_F(ListBoxTest, ItemsReflectIntoTheControlAndKeepTheSelectionOnItsItem) {
  MakeList(3);
  list->SetItemIndex(1);
  list->Items()->Insert(0, "first");
  EXPECT_EQ(list->ItemIndex(), 2);
  EXPECT_EQ(list->Items()->Strings(2), "item 1");
  list->Items()->Delete(0);
  EXPECT_EQ(list->ItemIndex(), 1);
  list->Items()->Delete(1);
  EXPECT_EQ(list->ItemIndex(), -1);
  list->SetItemIndex(7);
  EXPECT_EQ(list->ItemIndex(), -1);
  TStringList other;
  other.SetText("b\na\nc");
  list->SetItems(&other);
  EXPECT_EQ(list->Count(), 3);
  list->SetSorted(true);
  list->Items()->Add("B2");
  EXPECT_EQ(list->Items()->Text(), "a\nb\nB2\nc\n");
  EXPECT_THROW(list->Items()->Strings(9), EStringListError);
  EXPECT_TRUE(clicks.empty());
}

TEST_F(ListBoxTest, MouseAndKeysSelectAndClickOnlyForTheUser) {
  MakeList(20);
  list->SetItemIndex(2);  // code: no click
  EXPECT_TRUE(clicks.empty());
  ClickItem(4);
  EXPECT_EQ(list->ItemIndex(), 4);
  EXPECT_TRUE(list->Focused());
  Key(win::VK_DOWN);
  Key(win::VK_UP);
  Key(win::VK_UP);
  EXPECT_EQ(list->ItemIndex(), 3);
  Key(win::VK_END);
  EXPECT_EQ(list->ItemIndex(), 19);
  EXPECT_EQ(list->TopIndex(), 15);  // the last item scrolled into view
  Key(win::VK_END);                 // no change: no click
  Key(win::VK_PRIOR);
  EXPECT_EQ(list->ItemIndex(), 15);
  Key(win::VK_HOME);
  EXPECT_EQ(list->TopIndex(), 0);
  Key(win::VK_NEXT);
  EXPECT_EQ(list->ItemIndex(), 4);
  EXPECT_EQ(clicks, (std::vector<int>{4, 5, 4, 3, 19, 15, 0, 4}));
}

TEST_F(ListBoxTest, DoubleClickRaisesOnDblClick) {
  MakeList(5);
  int dbl = 0;
  list->OnDblClick = [&](TObject*) { ++dbl; };
  const TRect r = list->ItemRect(1);
  ctltest::DoubleClick(list, r.Left + 4, r.Top + 4);
  EXPECT_EQ(dbl, 1);
  EXPECT_EQ(list->ItemIndex(), 1);
}

TEST_F(ListBoxTest, OwnerDrawIsAskedForTheVisibleItemsOnly) {
  MakeList(30);
  list->SetStyle(lbOwnerDrawFixed);
  std::vector<int> drawn;
  TOwnerDrawState selectedState;
  list->OnDrawItem = [&](TWinControl* control, int index, TRect rect, TOwnerDrawState state) {
    EXPECT_EQ(control, list);
    EXPECT_EQ(rect.Height(), list->ItemHeight());
    drawn.push_back(index);
    if (state.Contains(odSelected)) selectedState = state;
    static_cast<TListBox*>(control)->Canvas()->FillRect(rect);
  };
  list->SetTopIndex(10);
  list->SetItemIndex(12);
  list->Repaint();
  EXPECT_EQ(drawn, (std::vector<int>{10, 11, 12, 13, 14}));
  EXPECT_TRUE(selectedState.Contains(odSelected));
}

TEST_F(ListBoxTest, OverflowShowsAScrollBarAndTheWheelScrolls) {
  MakeList(5);
  EXPECT_FALSE(list->VertScrollInfo().Visible);
  EXPECT_EQ(list->ScrollBarRect().Width(), 0);
  const int fullWidth = list->ItemsRect().Width();
  for (int i = 5; i < 40; ++i) list->Items()->Add("more " + std::to_string(i));
  const TListScrollInfo info = list->VertScrollInfo();
  EXPECT_TRUE(info.Visible);
  EXPECT_EQ(info.Max, 39);
  EXPECT_EQ(info.Page, 5);
  EXPECT_EQ(info.Pos, 0);
  const TRect bar = list->ScrollBarRect();
  EXPECT_EQ(bar.Width(), win::GetSystemMetrics(win::SM_CXVSCROLL));
  EXPECT_EQ(list->ItemsRect().Width(), fullWidth - bar.Width());

  // The bar is painted: its arrow button is button face, not the list's white.
  list->Repaint();
  win::HDC dc = win::GetDC(list->Handle());
  const win::COLORREF arrow = win::GetPixel(dc, bar.Left + 3, bar.Top + 3);
  const win::COLORREF item = win::GetPixel(dc, 60, bar.Bottom - 3);
  win::ReleaseDC(list->Handle(), dc);
  EXPECT_EQ(arrow, win::GetSysColor(win::COLOR_BTNFACE));
  EXPECT_EQ(item, win::GetSysColor(win::COLOR_WINDOW));

  const TPoint p = ctltest::ScreenPoint(list, 40, 30);
  win::InjectMouseWheel(-win::WHEEL_DELTA, p.X, p.Y);
  Pump();
  EXPECT_EQ(list->TopIndex(), 3);
  win::InjectMouseWheel(-win::WHEEL_DELTA * 20, p.X, p.Y);
  Pump();
  EXPECT_EQ(list->TopIndex(), 35);  // no further than the last page
  win::InjectMouseWheel(win::WHEEL_DELTA, p.X, p.Y);
  Pump();
  EXPECT_EQ(list->TopIndex(), 32);
  // A click on the bar's lower arrow scrolls one line; a click on the track pages.
  Click(list, bar.Left + 3, bar.Bottom - 3);
  EXPECT_EQ(list->TopIndex(), 33);
  Click(list, bar.Left + 3, bar.Top + bar.Width() + 2);
  EXPECT_EQ(list->TopIndex(), 29);
  EXPECT_TRUE(clicks.empty());  // scrolling is not selecting
  list->Items()->Clear();
  EXPECT_EQ(list->TopIndex(), 0);
  EXPECT_FALSE(list->VertScrollInfo().Visible);
}

TEST_F(ListBoxTest, DraggingTheThumbScrollsAndOnKeyDownCanSwallowKeys) {
  MakeList(50);
  const TRect bar = list->ScrollBarRect();
  ASSERT_GT(bar.Width(), 0);
  const int button = bar.Width();
  // Grab the thumb at the top of the track and pull it to the bottom.
  const int x = bar.Left + bar.Width() / 2;
  ctltest::Press(list, x, bar.Top + button + 2, true);
  const TPoint end = ctltest::ScreenPoint(list, x, bar.Bottom - 1);
  win::InjectMouseMove(end.X, end.Y, ctltest::NextInputTime(true));
  ctltest::Press(list, x, bar.Bottom - 1, false, win::VK_LBUTTON, true);
  Pump();
  EXPECT_EQ(list->TopIndex(), 45);
  EXPECT_EQ(list->ItemIndex(), -1);
  EXPECT_TRUE(clicks.empty());

  list->OnKeyDown = [](TObject*, win::WORD& key, TShiftState) {
    if (key == win::VK_DOWN) key = 0;
  };
  list->SetItemIndex(46);
  list->SetFocus();
  Key(win::VK_DOWN);
  EXPECT_EQ(list->ItemIndex(), 46);
  Key(win::VK_UP);
  EXPECT_EQ(list->ItemIndex(), 45);
}

TEST_F(ListBoxTest, CheckListBoxTogglesByClickOnTheBoxAndBySpace) {
  auto* cl = Put<TCheckListBox>(10, 10, 150, 84);
  cl->Items()->SetText("one\ntwo\nthree");
  std::vector<std::string> log;
  cl->OnClickCheck = [&](TObject*) { log.push_back("check " + std::to_string(cl->ItemIndex())); };
  cl->OnClick = [&](TObject*) { log.push_back("click " + std::to_string(cl->ItemIndex())); };
  Pump();
  const TRect r1 = cl->ItemRect(1);
  Click(cl, r1.Left + 6, (r1.Top + r1.Bottom) / 2);  // on the box
  EXPECT_TRUE(cl->Checked(1));
  const TRect r2 = cl->ItemRect(2);
  Click(cl, r2.Left + 60, (r2.Top + r2.Bottom) / 2);  // on the text: selects only
  EXPECT_FALSE(cl->Checked(2));
  Key(win::VK_SPACE);
  EXPECT_TRUE(cl->Checked(2));
  Key(win::VK_SPACE);
  EXPECT_FALSE(cl->Checked(2));
  cl->SetChecked(0, true);  // code: no event
  cl->SetAllowGrayed(true);
  Key(win::VK_UP);
  Key(win::VK_SPACE);
  EXPECT_EQ(cl->State(1), cbGrayed);
  cl->SetItemEnabled(1, false);
  Key(win::VK_SPACE);
  EXPECT_EQ(cl->State(1), cbGrayed);
  EXPECT_TRUE(cl->Checked(0));
  EXPECT_EQ(log, (std::vector<std::string>{"click 1", "check 1", "click 2", "check 2", "check 2", "click 1",
                                           "check 1"}));
}

class ComboTest : public ctltest::TControlFormTest {
 protected:
  TComboBox* MakeCombo(TComboBoxStyle style) {
    combo = Put<TComboBox>(10, 10, 160, 21);
    combo->SetStyle(style);
    combo->Items()->SetText("alpha\nbeta\ngamma");
    combo->OnChange = [this](TObject*) { log.push_back("change " + combo->Text()); };
    combo->OnSelect = [this](TObject*) { log.push_back("select " + std::to_string(combo->ItemIndex())); };
    combo->OnDropDown = [this](TObject*) { log.push_back("drop"); };
    combo->OnCloseUp = [this](TObject*) { log.push_back("close"); };
    Pump();
    return combo;
  }
  void OpenByClick() { Click(combo, combo->Width() - 8, 10); }
  TPoint ListItemCenter(int index) {
    const TRect r = combo->ListBox()->ItemRect(index);
    return TPoint{r.Left + 10, (r.Top + r.Bottom) / 2};
  }
  TComboBox* combo = nullptr;
  std::vector<std::string> log;
};

TEST_F(ComboTest, ClickOpensTheListAndAClickOnAnItemChoosesIt) {
  MakeCombo(csDropDownList);
  OpenByClick();
  ASSERT_TRUE(combo->DroppedDown());
  const win::HWND popup = combo->ListBox()->Handle();
  EXPECT_TRUE(win::IsWindowVisible(popup));
  // Below the combo box, as wide as it.
  win::RECT wr;
  win::GetWindowRect(popup, &wr);
  const TPoint under = ctltest::ScreenPoint(combo, 0, combo->Height());
  EXPECT_EQ(wr.left, under.X);
  EXPECT_EQ(wr.top, under.Y);
  EXPECT_EQ(wr.right - wr.left, combo->Width());
  EXPECT_EQ(combo->DropDownRect(), TRect::From(wr));

  const TPoint p = ListItemCenter(1);
  Click(combo->ListBox(), p.X, p.Y);
  EXPECT_FALSE(combo->DroppedDown());
  EXPECT_FALSE(win::IsWindowVisible(popup));
  EXPECT_EQ(combo->Text(), "beta");
  EXPECT_EQ(combo->ItemIndex(), 1);
  EXPECT_EQ(log, (std::vector<std::string>{"drop", "select 1", "change beta", "close"}));
}

TEST_F(ComboTest, EscapeAndAClickOutsideCloseWithoutChanging) {
  MakeCombo(csDropDownList);
  combo->SetItemIndex(0);
  EXPECT_EQ(combo->Text(), "alpha");
  OpenByClick();
  Key(win::VK_DOWN);
  Key(win::VK_DOWN);
  EXPECT_EQ(combo->ListBox()->ItemIndex(), 2);  // only the highlight moved
  EXPECT_EQ(combo->ItemIndex(), 0);
  Key(win::VK_ESCAPE);
  EXPECT_FALSE(combo->DroppedDown());
  EXPECT_EQ(combo->ItemIndex(), 0);
  EXPECT_EQ(combo->Text(), "alpha");

  OpenByClick();
  ASSERT_TRUE(combo->DroppedDown());
  Click(form.get(), 300, 250);
  EXPECT_FALSE(combo->DroppedDown());
  EXPECT_EQ(combo->ItemIndex(), 0);
  EXPECT_EQ(log, (std::vector<std::string>{"drop", "close", "drop", "close"}));

  // Enter takes the highlighted item.
  OpenByClick();
  Key(win::VK_DOWN);
  Key(win::VK_RETURN);
  EXPECT_EQ(combo->Text(), "beta");
  EXPECT_FALSE(combo->DroppedDown());
}

TEST_F(ComboTest, ArrowsOnTheClosedListChooseAndTypingSearches) {
  MakeCombo(csDropDownList);
  combo->SetFocus();
  Key(win::VK_DOWN);
  Key(win::VK_DOWN);
  EXPECT_EQ(combo->ItemIndex(), 1);
  ctltest::Type("g");
  EXPECT_EQ(combo->Text(), "gamma");
  Key(win::VK_DOWN);  // past the end: nothing
  EXPECT_EQ(log, (std::vector<std::string>{"select 0", "change alpha", "select 1", "change beta", "select 2",
                                           "change gamma"}));
  Key(win::VK_F4);
  EXPECT_TRUE(combo->DroppedDown());
  Key(win::VK_F4);
  EXPECT_FALSE(combo->DroppedDown());
}

TEST_F(ComboTest, TheEditPartTypesAndRaisesOnChange) {
  MakeCombo(csDropDown);
  ASSERT_NE(combo->EditControl(), nullptr);
  combo->SetFocus();
  Pump();
  EXPECT_TRUE(combo->EditControl()->Focused());
  ctltest::Type("ab");
  EXPECT_EQ(combo->Text(), "ab");
  EXPECT_EQ(combo->ItemIndex(), -1);
  EXPECT_EQ(log, (std::vector<std::string>{"change a", "change ab"}));
  combo->SetText("beta");  // code: no event, the edit follows
  EXPECT_EQ(combo->EditControl()->Text(), "beta");
  combo->SetItemIndex(2);
  EXPECT_EQ(combo->EditControl()->Text(), "gamma");
  EXPECT_EQ(log.size(), 2u);
  // The combo box's OnKeyDown sees the edit's keys, and may swallow them.
  int keys = 0;
  combo->OnKeyDown = [&](TObject*, win::WORD& key, TShiftState) {
    ++keys;
    if (key == win::VK_DOWN) key = 0;
  };
  Key(win::VK_DOWN);
  EXPECT_EQ(keys, 1);
  EXPECT_EQ(combo->ItemIndex(), 2);
  EXPECT_EQ(win::SendMessageA(combo->Handle(), CB_GETCOUNT, 0, 0), 3);
  win::SendMessageA(combo->Handle(), CB_SHOWDROPDOWN, 1, 0);
  EXPECT_TRUE(combo->DroppedDown());
  EXPECT_EQ(win::SendMessageA(combo->Handle(), CB_GETDROPPEDSTATE, 0, 0), 1);
  Key(win::VK_ESCAPE);
  EXPECT_FALSE(combo->DroppedDown());
}

TEST_F(ComboTest, OwnerDrawnItemsAreDrawnOnTheComboCanvas) {
  MakeCombo(csOwnerDrawFixed);
  std::vector<int> drawn;
  combo->OnDrawItem = [&](TWinControl* c, int index, TRect rect, TOwnerDrawState state) {
    EXPECT_EQ(c, combo);
    EXPECT_NE(combo->Canvas()->Handle(), nullptr);
    drawn.push_back(state.Contains(odComboBoxEdit) ? 100 + index : index);
  };
  combo->SetItemIndex(1);
  combo->Repaint();
  EXPECT_EQ(drawn, (std::vector<int>{101}));
  drawn.clear();
  OpenByClick();
  drawn.clear();
  combo->ListBox()->Repaint();
  EXPECT_EQ(drawn, (std::vector<int>{0, 1, 2}));
}

}  // namespace
}  // namespace vorra
