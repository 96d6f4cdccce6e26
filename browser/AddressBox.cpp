#include "browser/AddressBox.h"

#include <algorithm>
#include <array>
#include <utility>

#include "framework/Registry.h"
#include "framework/SysUtils.h"
#include "platform/shell/AutoComplete.h"
#include "platform/shell/SpecialFolders.h"
#include "platform/ui/Paint.h"
#include "platform/ui/Region.h"
#include "platform/ui/Window.h"
#include "platform/win/Ascii.h"

namespace vorra {

using win::WORD;

namespace {

struct TSpecialFolderName {
  const char* Name;
  int Id;
};

constexpr std::array<TSpecialFolderName, 19> kSpecialFolders{{
    {"DESKTOP", 0},         {"PROGRAMS", 2},     {"CONTROL PANEL", 3},
    {"PRINTERS", 4},        {"MY DOCUMENTS", 5}, {"FAVORITES", 6},
    {"STARTUP", 7},         {"RECENT", 8},       {"SENDTO", 9},
    {"RECYCLE BIN", 10},    {"STARTMENU", 11},   {"DESKTOP DIRECTORY", 16},
    {"MY COMPUTER", 17},    {"NETWORK NEIGHBORHOOD", 18}, {"NETHOOD", 19},
    {"FONTS", 20},          {"TEMPLATES", 21},   {"APPDATA", 26},
    {"PRINTHOOD", 27},
}};

// The shell's small icon for a name by its type (SHGFI_SYSICONINDEX |
// SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES).
int SmallIconByAttributes(const std::string& name, win::DWORD attributes) {
  win::SHFILEINFOA info;
  win::SHGetFileInfoA(name.c_str(), attributes, &info, sizeof(info),
                      win::SHGFI_SYSICONINDEX | win::SHGFI_SMALLICON | win::SHGFI_USEFILEATTRIBUTES);
  return info.iIcon;
}

}  // namespace

TCustomAddressBox::TCustomAddressBox(TComponent* AOwner)
    : TCustomComboBox(AOwner), FIconCanvas(std::make_unique<TCanvas>()) {
  FWidth = 145;
  FHeight = 22;
  SetTabOrder(0);
  SetItemHeight(16);
  SetStyle(csDropDown);
  SetSorted(false);
  win::SHFILEINFOA info;
  FImages = reinterpret_cast<win::HIMAGELIST>(
      win::SHGetFileInfoA("", 0, &info, sizeof(info), win::SHGFI_SYSICONINDEX | win::SHGFI_SMALLICON));
  // The list items are drawn here (the window style makes them owner-drawn).
  TCustomComboBox::OnDrawItem = [this](TWinControl*, int Index, TRect Rect, TOwnerDrawState State) {
    DrawItem(Index, Rect, State);
  };
  PlaceEdit();
}

TCustomAddressBox::~TCustomAddressBox() { Destroying(); }

void TCustomAddressBox::CreateParams(TCreateParams& Params) {
  TCustomComboBox::CreateParams(Params);
  Params.Style |= CBS_OWNERDRAWFIXED | 0x4;
}

void TCustomAddressBox::CreateWnd() {
  TCustomComboBox::CreateWnd();
  PlaceEdit();
  if (!ComponentState().Contains(csDesigning)) LoadTypedUrls();
  if (win::HWND edit = EditHandle()) win::SHAutoComplete(edit, AutoCompleteFlags());
}

void TCustomAddressBox::Loaded() {
  TCustomComboBox::Loaded();
  ApplyRegion();
  LoadTypedUrls();
}

win::DWORD TCustomAddressBox::AutoCompleteFlags() const {
  win::DWORD flags = 0;
  if (FileOptions.Contains(FileSystem)) flags += win::SHACF_FILESYSTEM;
  if (FileOptions.Contains(UrlHistory)) flags += win::SHACF_URLHISTORY;
  if (FileOptions.Contains(UrlMRU)) flags += win::SHACF_URLMRU;
  if (AutoSuggest == asForceOn) flags += win::SHACF_AUTOSUGGEST_FORCE_ON;
  if (AutoSuggest == asForceOff) flags += win::SHACF_AUTOSUGGEST_FORCE_OFF;
  if (AutoComplete == acForceOn) flags += win::SHACF_AUTOAPPEND_FORCE_ON;
  if (AutoComplete == acForceOff) flags += win::SHACF_AUTOAPPEND_FORCE_OFF;
  return flags;
}

void TCustomAddressBox::SetHasBorder(bool Value) {
  FHasBorder = Value;
  ApplyRegion();
}

void TCustomAddressBox::SetHasDropDown(bool Value) {
  FHasDropDown = Value;
  ApplyRegion();
}

void TCustomAddressBox::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  TCustomComboBox::SetBounds(ALeft, ATop, AWidth, AHeight);
  PlaceEdit();
  ApplyRegion();
}

void TCustomAddressBox::Resize() {
  TCustomComboBox::Resize();
  PlaceEdit();
}

void TCustomAddressBox::PlaceEdit() {
  TEdit* edit = EditControl();
  if (!edit) return;
  edit->SetBounds(FIconWidth + 7, 5, Width() - 46, Height() - 7);
  // Above its siblings; asked first, so painting does not reorder for nothing.
  if (edit->HandleAllocated() && HandleAllocated() && win::GetTopWindow(Handle()) != edit->Handle())
    win::SetWindowPos(edit->Handle(), win::HWND_TOP, 0, 0, 0, 0,
                      win::SWP_NOMOVE | win::SWP_NOSIZE | win::SWP_NOACTIVATE);
}

void TCustomAddressBox::ApplyRegion() {
  if (!Parent() || !HandleAllocated()) return;
  const int w = Width(), h = Height();
  const std::string state = std::to_string(FHasBorder) + std::to_string(FHasDropDown) + std::to_string(FStyle) + ":" +
                            std::to_string(w) + "x" + std::to_string(h);
  if (state == FRegionState) return;
  FRegionState = state;
  if (FHasBorder && FHasDropDown) {
    win::SetWindowRgn(Handle(), nullptr, win::TRUE);
    return;
  }
  const int frameX = win::GetSystemMetrics(win::SM_CXDLGFRAME);
  const int frameY = win::GetSystemMetrics(win::SM_CYDLGFRAME);
  win::HRGN region = win::CreateRectRgn(0, 0, w, h);
  if (!FHasDropDown && FStyle != csSimple) {
    win::HRGN strip = win::CreateRectRgn(w - win::GetSystemMetrics(win::SM_CXVSCROLL) - frameX, 0, w, h);
    win::CombineRgn(region, region, strip, win::RGN_XOR);
    win::DeleteObject(strip);
  }
  if (!FHasBorder) {
    win::HRGN inner = win::CreateRectRgn(frameX, frameY, w - frameX, h - frameY);
    win::CombineRgn(region, region, inner, win::RGN_AND);
    win::DeleteObject(inner);
  }
  if (!win::SetWindowRgn(Handle(), region, win::TRUE)) win::DeleteObject(region);
}

int TCustomAddressBox::SpecialFolderId(const std::string& Text) {
  const std::string upper = win::AsciiUpperCase(Text);
  for (const TSpecialFolderName& f : kSpecialFolders)
    if (upper == f.Name) return f.Id;
  return NoSpecialFolder;
}

int TCustomAddressBox::IconIndexOf(const std::string& Text) {
  win::LPITEMIDLIST pidl = nullptr;
  if (win::SHGetSpecialFolderLocation(HandleAllocated() ? Handle() : nullptr, SpecialFolderId(Text), &pidl) ==
      win::S_OK) {
    win::SHFILEINFOA info;
    win::SHGetFileInfoA(reinterpret_cast<win::LPCSTR>(pidl), 0, &info, sizeof(info),
                        win::SHGFI_PIDL | win::SHGFI_SYSICONINDEX | win::SHGFI_SMALLICON);
    win::ILFree(pidl);
    return info.iIcon;
  }
  if (FileExists(Text) || CompareText(Text.substr(0, 7), "file://") == 0)
    return SmallIconByAttributes(Text, win::FILE_ATTRIBUTE_NORMAL);
  if (DirectoryExists(Text)) return SmallIconByAttributes(Text, win::FILE_ATTRIBUTE_DIRECTORY);
  if (!Text.empty()) return SmallIconByAttributes("*.htm", win::FILE_ATTRIBUTE_NORMAL);
  return -1;
}

void TCustomAddressBox::LoadTypedUrls() {
  Items()->Clear();
  TRegistry reg(win::KEY_READ);
  reg.SetRootKey(win::HKEY_CURRENT_USER);
  if (reg.OpenKeyReadOnly(TypedUrlsKey)) {
    for (int i = 1; i <= MaxTypedUrls; ++i) {
      std::string url;
      try {
        url = reg.ReadString("Url" + std::to_string(i));
      } catch (const ERegistryException&) {
        continue;  // a value that is not text is no address
      }
      if (!url.empty()) Items()->Add(url);
    }
  }
  SetText(Items()->Count() > 0 ? Items()->Strings(0) : std::string());
}

void TCustomAddressBox::SaveTypedUrls() {
  TRegistry reg;
  reg.SetRootKey(win::HKEY_CURRENT_USER);
  if (!reg.OpenKey(TypedUrlsKey, true)) return;
  const int count = Items()->Count();
  const int n = count < 24 ? count + 1 : MaxTypedUrls;
  for (int i = 0; i < n; ++i) reg.WriteString("Url" + std::to_string(i + 1), i < count ? Items()->Strings(i) : "");
}

void TCustomAddressBox::DrawIcon(int Index, int X, int Y) {
  if (!HandleAllocated() || !FImages) return;
  win::HDC dc = win::GetDC(Handle());
  if (!dc) return;
  FIconCanvas->SetHandle(dc);
  // The icons blend over what is there, so the old one goes first.
  FIconCanvas->Brush()->SetColor(Enabled() ? Color() : clBtnFace);
  FIconCanvas->FillRect(Bounds(X, Y, FIconWidth, FIconWidth));
  if (Index >= 0) win::ImageList_Draw(FImages, Index, dc, X, Y, win::ILD_NORMAL);
  FIconCanvas->SetHandle(nullptr);
  win::ReleaseDC(Handle(), dc);
}

void TCustomAddressBox::DrawItem(int Index, TRect Rect, TOwnerDrawState State) {
  const int icon = Index >= 0 && Index < Items()->Count() ? IconIndexOf(Items()->Strings(Index)) : -1;
  if (State.Contains(odSelected)) FSelectedIcon = icon;
  TCanvas* c = Canvas();
  c->FillRect(Rect);
  if (Index >= Items()->Count() || Index < 0) return;
  int iconWidth = 16, iconHeight = 16;
  win::ImageList_GetIconSize(FImages, &iconWidth, &iconHeight);
  TBitmap bitmap(iconWidth, iconHeight);
  bitmap.Canvas()->Brush()->SetColor(c->Brush()->Color());
  bitmap.Canvas()->FillRect(Bounds(0, 0, iconWidth, iconHeight));
  if (icon >= 0) win::ImageList_Draw(FImages, icon, bitmap.Canvas()->Handle(), 0, 0, win::ILD_NORMAL);
  bitmap.SetTransparent(true);
  c->Draw(Rect.Left + 4, (Rect.Top + Rect.Bottom - bitmap.Height()) / 2, &bitmap);
  c->Brush()->SetStyle(bsClear);
  c->TextOut(Rect.Left + bitmap.Width() + 6, Rect.Top, Items()->Strings(Index));
  c->Brush()->SetStyle(bsSolid);
}

void TCustomAddressBox::Paint() {
  TCustomComboBox::Paint();
  if (FImages) {
    const int index = IconIndexOf(Text());
    if (index >= 0) win::ImageList_Draw(FImages, index, Canvas()->Handle(), IconLeft, IconTop, win::ILD_NORMAL);
  }
  PlaceEdit();
  ApplyRegion();
}

void TCustomAddressBox::Dispatch(TMessage& Message) {
  TCustomComboBox::Dispatch(Message);
  if (Message.Msg == win::WM_SETFOCUS || Message.Msg == CB_SHOWDROPDOWN) PlaceEdit();
  // Text set from code changes the icon too.
  if (Message.Msg == CM_TEXTCHANGED) Invalidate();
}

void TCustomAddressBox::MakeEditWritable() {
  if (TEdit* edit = EditControl()) {
    edit->SetReadOnly(false);
    edit->SelectAll();
  }
}

void TCustomAddressBox::UrlSelected() {
  if (OnUrlSelected) OnUrlSelected(this, Text());
}

void TCustomAddressBox::KeyDown(WORD& Key, TShiftState Shift) {
  const bool alt = Shift.Contains(ssAlt);
  TEdit* edit = EditControl();
  if (DroppedDown()) {
    const int index = ListBox()->ItemIndex();
    if (Key == win::VK_RETURN) {
      Key = SwallowedKey;
      if (index < 0) {
        // Nothing highlighted: nothing to move up or to report.
        CloseList(false);
        MakeEditWritable();
        return;
      }
      const std::string url = Items()->Strings(index);
      Items()->Delete(index);
      Items()->Insert(0, url);
      CloseList(false);
      SetItemIndex(0);
      FLastUrl = Text();
      MakeEditWritable();
      if (RegistryUpdate) SaveTypedUrls();
      UrlSelected();
      FSelectedIcon = IconIndexOf(Text());
      DrawIcon(FSelectedIcon, 4, 3);
      return;
    }
    if (((Key == win::VK_DOWN || Key == win::VK_UP) && alt) || Key == win::VK_ESCAPE) {
      Key = SwallowedKey;
      CloseList(false);
      MakeEditWritable();
      return;
    }
    if (Key == win::VK_DOWN || Key == win::VK_UP) {
      const bool down = Key == win::VK_DOWN;
      Key = SwallowedKey;
      const int next = down ? index + 1 : index - 1;
      // The list holds at most 25 addresses; past either end nothing moves.
      if ((down ? index < MaxTypedUrls - 1 : index > 0) && next >= 0 && next < Items()->Count()) {
        SetItemIndex(next);
        if (edit) edit->SetSelLength(0);
        FSelectedIcon = IconIndexOf(Items()->Strings(next));
        DrawIcon(FSelectedIcon, 4, 3);
      }
      return;
    }
  } else if (Key == win::VK_RETURN) {
    FLastUrl = Text();
    if (!DefaultProtocol.empty() && FLastUrl.find("://") == std::string::npos && !FileExists(FLastUrl))
      FLastUrl = DefaultProtocol + FLastUrl;
    Items()->Insert(0, FLastUrl);
    if (RegistryUpdate) SaveTypedUrls();
    UrlSelected();
  } else if (Key == win::VK_DOWN) {
    Key = SwallowedKey;
    if (edit) {
      edit->SetReadOnly(true);
      edit->SetSelLength(0);
    }
    SetDroppedDown(true);
    return;
  } else if (Key == win::VK_UP) {
    Key = SwallowedKey;
    return;
  }
  TCustomComboBox::KeyDown(Key, Shift);
}

void TCustomAddressBox::Click() {
  TCustomComboBox::Click();
  win::POINT p{};
  win::GetCursorPos(&p);
  const TRect r = DropDownRect();
  if (p.x >= r.Left && p.x <= r.Right && p.y >= r.Top && p.y <= r.Bottom) {
    FLastUrl = Text();
    FSelectedIcon = IconIndexOf(Text());
    DrawIcon(FSelectedIcon, 4, 3);
    UrlSelected();
  }
  MakeEditWritable();
}

void TCustomAddressBox::Change() {
  TCustomComboBox::Change();
  CloseList(false);
  DrawIcon(IconIndexOf(Text()), IconLeft, IconTop);
}

}  // namespace vorra
