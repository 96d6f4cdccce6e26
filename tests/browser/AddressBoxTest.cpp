#include "browser/AddressBox.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "framework/Registry.h"
#include "platform/net/UrlCache.h"
#include "platform/registry/Registry.h"
#include "platform/shell/AutoComplete.h"
#include "platform/ui/Paint.h"
#include "platform/ui/Region.h"
#include "tests/framework/ControlTestSupport.h"

namespace vorra {
namespace {

using namespace ctltest;

std::vector<std::string> ItemsOf(TCustomComboBox* box) {
  std::vector<std::string> out;
  for (int i = 0; i < box->Items()->Count(); ++i) out.push_back(box->Items()->Strings(i));
  return out;
}

class AddressBoxTest : public TControlFormTest {
 protected:
  void SetUp() override {
    win::CloseRegistryStore();
    TControlFormTest::SetUp();
  }
  void TearDown() override {
    TControlFormTest::TearDown();
    win::CloseRegistryStore();
  }

  static void WriteTyped(const std::vector<std::string>& urls) {
    TRegistry reg;
    reg.SetRootKey(win::HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.OpenKey(TypedUrlsKey, true));
    for (size_t i = 0; i < urls.size(); ++i) reg.WriteString("Url" + std::to_string(i + 1), urls[i]);
  }

  static std::vector<std::string> StoredValueNames() {
    TRegistry reg;
    reg.SetRootKey(win::HKEY_CURRENT_USER);
    if (!reg.OpenKey(TypedUrlsKey, false)) return {};
    return reg.GetValueNames();
  }

  TAddressBox* MakeBox() {
    auto* box = Put<TAddressBox>(10, 10, 392, 22);
    box->DefaultProtocol = "http://";
    box->OnUrlSelected = [this](TObject*, const std::string& url) { selected.push_back(url); };
    Pump();
    box->EditControl()->SetFocus();
    Pump();
    return box;
  }

  std::vector<std::string> selected;
};

TEST_F(AddressBoxTest, EnterInTheClosedBoxPutsTheProtocolOnTheStoredItemButReportsTheTextAsTyped) {
  TAddressBox* box = MakeBox();
  box->SetText("example.com");
  Key(win::VK_RETURN);
  EXPECT_EQ(ItemsOf(box), (std::vector<std::string>{"http://example.com"}));
  EXPECT_EQ(box->LastUrl(), "http://example.com");
  EXPECT_EQ(selected, (std::vector<std::string>{"example.com"}));
  // The same address again is not merged with the first.
  Key(win::VK_RETURN);
  EXPECT_EQ(ItemsOf(box), (std::vector<std::string>{"http://example.com", "http://example.com"}));
  // An existing file keeps its name; nothing is written without RegistryUpdate.
  const std::string file = dir / "page.html";
  std::ofstream(file) << "x";
  box->SetText(file);
  Key(win::VK_RETURN);
  EXPECT_EQ(box->Items()->Strings(0), file);
  EXPECT_TRUE(StoredValueNames().empty());
}

TEST_F(AddressBoxTest, KeysInTheOpenListStopAtBothEndsAndEnterMovesTheChoiceToTheTop) {
  std::vector<std::string> urls;
  for (int i = 0; i < 25; ++i) urls.push_back("http://site" + std::to_string(i) + ".example/");
  WriteTyped(urls);
  TAddressBox* box = MakeBox();
  ASSERT_EQ(box->Items()->Count(), 25);
  EXPECT_EQ(box->Text(), urls[0]);

  Key(win::VK_DOWN);  // closed: opens the list, the edit read-only
  ASSERT_TRUE(box->DroppedDown());
  EXPECT_TRUE(box->EditControl()->ReadOnly());
  box->SetItemIndex(0);
  Key(win::VK_UP);
  EXPECT_EQ(box->ListBox()->ItemIndex(), 0);
  box->SetItemIndex(24);
  Key(win::VK_DOWN);
  EXPECT_EQ(box->ListBox()->ItemIndex(), 24);
  EXPECT_TRUE(selected.empty());

  box->SetItemIndex(2);
  Key(win::VK_DOWN);
  EXPECT_EQ(box->Text(), urls[3]);
  Key(win::VK_RETURN);
  EXPECT_FALSE(box->DroppedDown());
  EXPECT_FALSE(box->EditControl()->ReadOnly());
  EXPECT_EQ(box->Items()->Strings(0), urls[3]);
  EXPECT_EQ(box->Items()->Strings(1), urls[0]);
  EXPECT_EQ(box->Items()->Count(), 25);
  EXPECT_EQ(box->Text(), urls[3]);
  EXPECT_EQ(box->LastUrl(), urls[3]);
  EXPECT_EQ(selected, (std::vector<std::string>{urls[3]}));

  // Escape closes without a choice.
  Key(win::VK_DOWN);
  ASSERT_TRUE(box->DroppedDown());
  Key(win::VK_ESCAPE);
  EXPECT_FALSE(box->DroppedDown());
  EXPECT_FALSE(box->EditControl()->ReadOnly());
  EXPECT_EQ(selected.size(), 1u);
}

TEST_F(AddressBoxTest, AClickInTheListReportsTheItemWithoutReordering) {
  WriteTyped({"http://a.example/", "http://b.example/", "http://c.example/"});
  TAddressBox* box = MakeBox();
  Key(win::VK_DOWN);
  ASSERT_TRUE(box->DroppedDown());
  TCustomListBox* list = box->ListBox();
  const TRect item = list->ItemRect(2);
  Click(list, item.Left + 30, item.Top + 4);
  EXPECT_FALSE(box->DroppedDown());
  EXPECT_EQ(selected, (std::vector<std::string>{"http://c.example/"}));
  EXPECT_EQ(box->LastUrl(), "http://c.example/");
  EXPECT_EQ(ItemsOf(box), (std::vector<std::string>{"http://a.example/", "http://b.example/", "http://c.example/"}));
  EXPECT_FALSE(box->EditControl()->ReadOnly());
}

TEST_F(AddressBoxTest, SavingWritesOneEmptyValueBelowTwentyFourItemsAndAtMostTwentyFive) {
  TAddressBox* box = MakeBox();
  EXPECT_EQ(box->Items()->Count(), 0);  // no key yet: an empty list
  EXPECT_EQ(box->Text(), "");
  box->RegistryUpdate = true;
  box->Items()->Add("http://one.example/");
  box->Items()->Add("http://two.example/");
  box->SetText("three.example");
  Key(win::VK_RETURN);
  EXPECT_EQ(StoredValueNames(), (std::vector<std::string>{"Url1", "Url2", "Url3", "Url4"}));
  {
    TRegistry reg;
    reg.SetRootKey(win::HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.OpenKey(TypedUrlsKey, false));
    EXPECT_EQ(reg.ReadString("Url1"), "http://three.example");
    EXPECT_EQ(reg.ReadString("Url4"), "");
  }
  box->LoadTypedUrls();
  EXPECT_EQ(ItemsOf(box), (std::vector<std::string>{"http://three.example", "http://one.example/",
                                                    "http://two.example/"}));

  for (int i = 0; i < 30; ++i) box->Items()->Add("http://more" + std::to_string(i) + ".example/");
  box->SaveTypedUrls();
  const std::vector<std::string> names = StoredValueNames();
  EXPECT_EQ(names.size(), 25u);
  EXPECT_EQ(names.back(), "Url25");
  box->LoadTypedUrls();
  EXPECT_EQ(box->Items()->Count(), 25);
}

TEST_F(AddressBoxTest, IconsFollowWhatTheTextNames) {
  TAddressBox* box = MakeBox();
  EXPECT_EQ(TCustomAddressBox::SpecialFolderId("rEcYcLe BiN"), 10);
  EXPECT_EQ(TCustomAddressBox::SpecialFolderId("My Documents"), 5);
  EXPECT_EQ(TCustomAddressBox::SpecialFolderId("desktop"), 0);
  EXPECT_EQ(TCustomAddressBox::SpecialFolderId("Recycle  Bin"), NoSpecialFolder);

  EXPECT_EQ(win::GetSystemIconName(box->IconIndexOf("Recycle Bin")), "user-trash");
  EXPECT_EQ(win::GetSystemIconName(box->IconIndexOf("/")), "folder");
  EXPECT_EQ(win::GetSystemIconName(box->IconIndexOf(dir.Folder())), "folder");
  const int web = box->IconIndexOf("www.example.com");
  EXPECT_EQ(win::GetSystemIconName(web), "text-html");
  // Printers have no place here: the name is then just text, a web address.
  EXPECT_EQ(box->IconIndexOf("printers"), web);
  const int movie = box->IconIndexOf("FILE:///nowhere/intro.swf");
  EXPECT_NE(movie, web);
  EXPECT_EQ(win::GetSystemIconName(movie), win::IconNameOfFileName("intro.swf"));
  EXPECT_EQ(box->IconIndexOf(""), -1);
}

TEST_F(AddressBoxTest, TheRegionClipsTheBorderAndTheButtonStrip) {
  TAddressBox* box = MakeBox();
  const int w = box->Width(), h = box->Height();
  const int fx = win::GetSystemMetrics(win::SM_CXDLGFRAME), fy = win::GetSystemMetrics(win::SM_CYDLGFRAME);
  const int button = w - win::GetSystemMetrics(win::SM_CXVSCROLL) - fx;
  win::HRGN rgn = win::CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(win::GetWindowRgn(box->Handle(), rgn), win::ERROR);

  box->SetHasBorder(false);
  ASSERT_NE(win::GetWindowRgn(box->Handle(), rgn), win::ERROR);
  win::RECT r{};
  win::GetRgnBox(rgn, &r);
  EXPECT_EQ(r.left, fx);
  EXPECT_EQ(r.top, fy);
  EXPECT_EQ(r.right, w - fx);
  EXPECT_EQ(r.bottom, h - fy);
  EXPECT_TRUE(win::PtInRegion(rgn, button + 2, h / 2));  // the button stays

  box->SetHasDropDown(false);
  ASSERT_NE(win::GetWindowRgn(box->Handle(), rgn), win::ERROR);
  EXPECT_FALSE(win::PtInRegion(rgn, button + 2, h / 2));
  EXPECT_TRUE(win::PtInRegion(rgn, button - 1, h / 2));
  EXPECT_FALSE(win::PtInRegion(rgn, 0, 0));

  box->SetHasBorder(true);
  ASSERT_NE(win::GetWindowRgn(box->Handle(), rgn), win::ERROR);
  EXPECT_TRUE(win::PtInRegion(rgn, 0, 0));
  EXPECT_FALSE(win::PtInRegion(rgn, button + 2, h / 2));
  win::DeleteObject(rgn);
}

TEST_F(AddressBoxTest, TypingOffersTypedAddressesAndEnterTakesTheHighlightedOne) {
  WriteTyped({"http://www.example.com/typed"});
  TAddressBox* box = MakeBox();
  box->SetText("");
  const win::HWND edit = box->EditHandle();
  Type("exa");
  ASSERT_NE(win::GetAutoSuggestWindow(edit), nullptr);
  EXPECT_EQ(win::GetAutoSuggestItems(edit), (std::vector<std::string>{"http://www.example.com/typed"}));
  Key(win::VK_DOWN);  // moves in the suggestions, the box's list stays closed
  EXPECT_FALSE(box->DroppedDown());
  EXPECT_EQ(win::GetAutoSuggestSelection(edit), 0);
  Key(win::VK_RETURN);
  EXPECT_EQ(win::GetAutoSuggestWindow(edit), nullptr);
  EXPECT_EQ(box->Text(), "http://www.example.com/typed");
  EXPECT_EQ(selected, (std::vector<std::string>{"http://www.example.com/typed"}));

  box->SetText("");
  Type("exa");
  ASSERT_NE(win::GetAutoSuggestWindow(edit), nullptr);
  Key(win::VK_ESCAPE);
  EXPECT_EQ(win::GetAutoSuggestWindow(edit), nullptr);
  EXPECT_EQ(box->Text(), "exa");
}

}  // namespace
}  // namespace vorra
