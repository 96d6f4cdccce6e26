#include "framework/Notebook.h"

#include <gtest/gtest.h>

#include "framework/StdCtrls.h"
#include "tests/framework/ControlTestSupport.h"

namespace vorra {
namespace {

using ctltest::Click;
using ctltest::Key;
using ctltest::Pump;

using NotebookTest = ctltest::TControlFormTest;

TEST_F(NotebookTest, OnlyTheCurrentPageShows) {
  auto* nb = Put<TNotebook>(10, 10, 300, 200);
  EXPECT_EQ(nb->PageIndex(), -1);
  nb->Pages()->SetCommaText("\"From Web\",\"From Cache\",\"IE Extensions\",Option");
  ASSERT_EQ(nb->PageCount(), 4);
  EXPECT_EQ(nb->PageIndex(), 0);
  EXPECT_EQ(nb->Pages()->Objects(2), nb->Page(2));
  auto* label = new TButton(form.get());
  label->SetParent(nb->Page(2));
  label->SetBounds(5, 5, 80, 20);
  int changed = 0;
  nb->OnPageChanged = [&](TObject*) { ++changed; };
  Pump();
  auto shown = [&] {
    std::vector<int> out;
    for (int i = 0; i < nb->PageCount(); ++i)
      if (win::IsWindowVisible(nb->Page(i)->Handle())) out.push_back(i);
    return out;
  };
  EXPECT_EQ(shown(), (std::vector<int>{0}));
  EXPECT_FALSE(win::IsWindowVisible(label->Handle()));
  nb->SetPageIndex(2);
  Pump();
  EXPECT_EQ(shown(), (std::vector<int>{2}));
  EXPECT_TRUE(win::IsWindowVisible(label->Handle()));
  EXPECT_EQ(nb->ActivePage(), "IE Extensions");
  // The page fills the notebook.
  EXPECT_EQ(nb->Page(2)->Width(), nb->ClientWidth());
  EXPECT_EQ(nb->Page(2)->Height(), nb->ClientHeight());
  nb->SetPageIndex(2);
  nb->SetPageIndex(9);
  nb->SetActivePage("option");
  EXPECT_EQ(nb->PageIndex(), 3);
  EXPECT_EQ(changed, 2);

  // Deleting the current page shows the one that takes its place.
  nb->Pages()->Delete(3);
  EXPECT_EQ(nb->PageIndex(), 2);
  nb->Pages()->Delete(0);
  EXPECT_EQ(nb->PageIndex(), 1);
  EXPECT_EQ(nb->ActivePage(), "IE Extensions");
  nb->Pages()->Clear();
  EXPECT_EQ(nb->PageIndex(), -1);
  EXPECT_EQ(nb->PageCount(), 0);
}

using TabControlTest = ctltest::TControlFormTest;

TEST_F(TabControlTest, ClickingATabSelectsItWithEvents) {
  auto* tc = Put<TTabControl>(10, 10, 380, 200);
  EXPECT_EQ(tc->TabIndex(), -1);
  tc->Tabs()->SetCommaText("\"From Web\",\"From Cache\",\"IE Extensions\",Option");
  EXPECT_EQ(tc->TabIndex(), 0);
  std::vector<std::string> log;
  bool allow = true;
  tc->OnChanging = [&](TObject*, bool& ok) {
    log.push_back("changing " + std::to_string(tc->TabIndex()));
    ok = allow;
  };
  tc->OnChange = [&](TObject*) { log.push_back("change " + std::to_string(tc->TabIndex())); };
  Pump();
  // Tabs sit side by side, left to right.
  for (int i = 1; i < 4; ++i) EXPECT_GE(tc->TabRect(i).Left, tc->TabRect(i - 1).Right - 2);
  const TRect r2 = tc->TabRect(2);
  Click(tc, r2.Left + r2.Width() / 2, r2.Top + r2.Height() / 2);
  EXPECT_EQ(tc->TabIndex(), 2);
  EXPECT_TRUE(tc->Focused());
  allow = false;
  const TRect r0 = tc->TabRect(0);
  Click(tc, r0.Left + 5, r0.Top + 5);
  EXPECT_EQ(tc->TabIndex(), 2);
  allow = true;
  Click(tc, 200, 150);  // the page area is no tab
  tc->SetTabIndex(1);   // code: no events
  Key(win::VK_TAB, true);
  EXPECT_EQ(tc->TabIndex(), 2);
  Key(win::VK_TAB, true, true);
  EXPECT_EQ(tc->TabIndex(), 1);
  Key(win::VK_RIGHT);
  EXPECT_EQ(tc->TabIndex(), 2);
  EXPECT_EQ(log, (std::vector<std::string>{"changing 0", "change 2", "changing 2", "changing 1", "change 2",
                                           "changing 2", "change 1", "changing 1", "change 2"}));
  EXPECT_EQ(tc->IndexOfTabAt(r0.Left + 5, r0.Top + 5), 0);
  EXPECT_EQ(tc->IndexOfTabAt(200, 150), -1);
  EXPECT_GT(tc->DisplayRect().Top, r0.Bottom);
}

TEST_F(TabControlTest, ChangingTheTabsKeepsTheIndexOnATab) {
  auto* tc = Put<TTabControl>(10, 10, 380, 200);
  tc->Tabs()->SetText("a\nb\nc");
  tc->SetTabIndex(2);
  tc->Tabs()->Delete(2);
  EXPECT_EQ(tc->TabIndex(), 1);
  tc->Tabs()->Clear();
  EXPECT_EQ(tc->TabIndex(), -1);
  tc->Tabs()->Add("x");
  EXPECT_EQ(tc->TabIndex(), 0);
}

}  // namespace
}  // namespace vorra
