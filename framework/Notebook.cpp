#include "framework/Notebook.h"

#include <algorithm>

#include "framework/ControlParts.h"
#include "platform/ui/Draw.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/Text.h"
#include "platform/ui/Window.h"

namespace vorra {

namespace {

[[noreturn]] void IndexError(int Index) { throw EStringListError(Format("List index out of bounds (%d)", Index)); }
}  // namespace

// --- TPage

TPage::TPage(TNotebook* Notebook) : TCustomControl(Notebook) {
  FVisible = false;
  SetParentColor(true);
  SetParent(Notebook);
  SetAlign(alClient);
}

void TPage::Paint() {
  Canvas()->Brush()->SetStyle(bsSolid);
  Canvas()->Brush()->SetColor(Color());
  Canvas()->FillRect(ClientAreaOf(this));
}

// --- TPageAccess

void TPageAccess::Clear() {
  BeginUpdate();
  while (FNotebook->PageCount() > 0) Delete(FNotebook->PageCount() - 1);
  EndUpdate();
}

void TPageAccess::Delete(int Index) {
  TPage* page = FNotebook->Page(Index);
  // Off the notebook while still a whole windowed control, so the notebook
  // forgets it as one (a control's own destructor leaves only a TControl).
  page->SetParent(nullptr);
  // The notebook hears the page go and moves its current page.
  delete page;
}

void TPageAccess::Insert(int Index, const std::string& S) {
  if (Index < 0 || Index > FNotebook->PageCount()) IndexError(Index);
  auto* page = new TPage(FNotebook);
  page->SetCaption(S);
  auto& pages = FNotebook->FPages;
  // The constructor's owner notice may have listed it; it belongs at Index.
  pages.erase(std::remove(pages.begin(), pages.end(), page), pages.end());
  pages.insert(pages.begin() + Index, page);
  if (FNotebook->FPageIndex >= Index) ++FNotebook->FPageIndex;
  if (FNotebook->FPageIndex < 0) FNotebook->ShowPage(0);
}

void TPageAccess::Exchange(int Index1, int Index2) {
  auto& pages = FNotebook->FPages;
  TPage* current = FNotebook->FPageIndex >= 0 ? pages[static_cast<std::size_t>(FNotebook->FPageIndex)] : nullptr;
  std::swap(pages.at(static_cast<std::size_t>(Index1)), pages.at(static_cast<std::size_t>(Index2)));
  if (current)
    FNotebook->FPageIndex = static_cast<int>(std::find(pages.begin(), pages.end(), current) - pages.begin());
}

std::string TPageAccess::Get(int Index) const { return FNotebook->Page(Index)->Caption(); }

int TPageAccess::GetCount() const { return FNotebook->PageCount(); }

TObject* TPageAccess::GetObject(int Index) const { return FNotebook->Page(Index); }

void TPageAccess::Put(int Index, const std::string& S) { FNotebook->Page(Index)->SetCaption(S); }

// --- TNotebook

TNotebook::TNotebook(TComponent* AOwner) : TCustomControl(AOwner), FAccess(std::make_unique<TPageAccess>(this)) {
  FWidth = 150;
  FHeight = 150;
  FColor = clBtnFace;
}

TNotebook::~TNotebook() {
  Destroying();
  FPages.clear();
}

TPage* TNotebook::Page(int Index) const {
  if (Index < 0 || Index >= PageCount()) IndexError(Index);
  return FPages[static_cast<std::size_t>(Index)];
}

void TNotebook::ShowPage(int Index) {
  TPage* next = Page(Index);
  TPage* old = FPageIndex >= 0 && FPageIndex < PageCount() ? FPages[static_cast<std::size_t>(FPageIndex)] : nullptr;
  FPageIndex = Index;
  next->SetVisible(true);
  if (next->HandleAllocated())
    win::SetWindowPos(next->Handle(), win::HWND_TOP, 0, 0, 0, 0, win::SWP_NOMOVE | win::SWP_NOSIZE | win::SWP_NOACTIVATE);
  if (old && old != next) old->SetVisible(false);
}

void TNotebook::SetPageIndex(int Value) {
  if (Value < 0 || Value >= PageCount() || Value == FPageIndex) return;
  ShowPage(Value);
  if (OnPageChanged) OnPageChanged(this);
}

std::string TNotebook::ActivePage() const { return FPageIndex >= 0 ? Page(FPageIndex)->Caption() : std::string(); }

void TNotebook::SetActivePage(const std::string& Value) {
  const int index = FAccess->IndexOf(Value);
  if (index >= 0) SetPageIndex(index);
}

void TNotebook::Notification(TComponent* AComponent, TOperation Operation) {
  TCustomControl::Notification(AComponent, Operation);
  if (Operation == TOperation::opInsert) return;
  const auto it = std::find(FPages.begin(), FPages.end(), AComponent);
  if (it == FPages.end()) return;
  const int index = static_cast<int>(it - FPages.begin());
  FPages.erase(it);
  if (ComponentState().Contains(csDestroying)) return;
  if (index < FPageIndex) {
    --FPageIndex;
  } else if (index == FPageIndex) {
    FPageIndex = -1;
    if (!FPages.empty()) ShowPage(std::min(index, PageCount() - 1));
  }
}

void TNotebook::Paint() {
  Canvas()->Brush()->SetStyle(bsSolid);
  Canvas()->Brush()->SetColor(Color());
  Canvas()->FillRect(ClientAreaOf(this));
}

// --- TTabControl

TTabControl::TTabControl(TComponent* AOwner) : TCustomControl(AOwner), FTabs(std::make_unique<TStringList>()) {
  FWidth = 289;
  FHeight = 193;
  FColor = clBtnFace;
  FTabStop = true;
  FClickEvents = false;
  FTabs->OnChange = [this](TObject*) { TabsChanged(); };
}

TTabControl::~TTabControl() {
  Destroying();
  FTabs->OnChange = nullptr;
}

void TTabControl::TabsChanged() {
  const int count = FTabs->Count();
  if (count == 0)
    FTabIndex = -1;
  else if (FTabIndex >= count)
    FTabIndex = count - 1;
  else if (FTabIndex < 0)
    FTabIndex = 0;
  Realign();
  Invalidate();
}

void TTabControl::SetTabIndex(int Value) {
  if (Value < 0 || Value >= FTabs->Count() || Value == FTabIndex) return;
  FTabIndex = Value;
  Invalidate();
}

void TTabControl::SetTabHeight(int Value) {
  FTabHeight = std::max(0, Value);
  Realign();
  Invalidate();
}

void TTabControl::SetTabWidth(int Value) {
  FTabWidth = std::max(0, Value);
  Invalidate();
}

int TTabControl::TabTextWidth(int Index) {
  const std::string text = FTabs->Strings(Index);
  win::HDC dc = win::CreateCompatibleDC(nullptr);
  win::HGDIOBJ old = win::SelectObject(dc, Font()->Handle());
  win::SIZE size{};
  win::GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
  win::SelectObject(dc, old);
  win::DeleteDC(dc);
  return size.cx;
}

int TTabControl::BandHeight() {
  if (FTabHeight > 0) return FTabHeight;
  return std::abs(Font()->Height()) + 8;
}

TRect TTabControl::TabRect(int Index) {
  if (Index < 0 || Index >= FTabs->Count()) return TRect{};
  int x = 2;
  for (int i = 0; i < Index; ++i) x += FTabWidth > 0 ? FTabWidth : TabTextWidth(i) + 12;
  const int w = FTabWidth > 0 ? FTabWidth : TabTextWidth(Index) + 12;
  TRect r = Rect(x, 2, x + w, 2 + BandHeight());
  if (Index == FTabIndex) r = Rect(r.Left - 2, r.Top - 2, r.Right + 2, r.Bottom + 1);
  return r;
}

int TTabControl::IndexOfTabAt(int X, int Y) {
  const TPoint p{X, Y};
  if (FTabIndex >= 0 && TabRect(FTabIndex).Contains(p)) return FTabIndex;
  for (int i = 0; i < FTabs->Count(); ++i)
    if (TabRect(i).Contains(p)) return i;
  return -1;
}

TRect TTabControl::DisplayRect() {
  const TRect c = ClientAreaOf(this);
  return Rect(c.Left + 4, c.Top + BandHeight() + 2 + 4, std::max(c.Left + 4, c.Right - 4),
              std::max(c.Top + BandHeight() + 6, c.Bottom - 4));
}

void TTabControl::AdjustClientRect(TRect& r) { r = DisplayRect(); }

bool TTabControl::CanChange() {
  bool allow = true;
  if (OnChanging) OnChanging(this, allow);
  return allow;
}

void TTabControl::Change() {
  if (OnChange) OnChange(this);
}

bool TTabControl::SelectTab(int Index) {
  if (Index < 0 || Index >= FTabs->Count() || Index == FTabIndex) return false;
  if (!CanChange()) return false;
  FTabIndex = Index;
  Invalidate();
  Change();
  return true;
}

void TTabControl::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case win::WM_GETDLGCODE:
      Message.Result = DLGC_WANTARROWS | (win::GetKeyState(win::VK_CONTROL) < 0 ? DLGC_WANTTAB : 0);
      return;
    case CM_DIALOGKEY: {
      const win::HWND focus = win::GetFocus();
      if (Message.WParam == static_cast<win::WPARAM>(win::VK_TAB) && win::GetKeyState(win::VK_CONTROL) < 0 &&
          HandleAllocated() && (focus == FHandle || win::IsChild(FHandle, focus))) {
        const int count = FTabs->Count();
        if (count > 0) {
          const int step = win::GetKeyState(win::VK_SHIFT) < 0 ? count - 1 : 1;
          SelectTab((std::max(FTabIndex, 0) + step) % count);
        }
        Message.Result = 1;
        return;
      }
      TCustomControl::Dispatch(Message);
      return;
    }
    case win::WM_SETFOCUS:
    case win::WM_KILLFOCUS:
      TCustomControl::Dispatch(Message);
      if (HandleAllocated()) Invalidate();
      return;
    default: TCustomControl::Dispatch(Message);
  }
}

void TTabControl::KeyDown(win::WORD& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  const int count = FTabs->Count();
  if (count == 0) return;
  switch (Key) {
    case win::VK_LEFT:
    case win::VK_UP:
      if (FTabIndex > 0) SelectTab(FTabIndex - 1);
      Key = 0;
      return;
    case win::VK_RIGHT:
    case win::VK_DOWN:
      if (FTabIndex + 1 < count) SelectTab(FTabIndex + 1);
      Key = 0;
      return;
    case win::VK_TAB:
      if (Shift.Contains(ssCtrl)) {
        SelectTab((std::max(FTabIndex, 0) + (Shift.Contains(ssShift) ? count - 1 : 1)) % count);
        Key = 0;
      }
      return;
    default: return;
  }
}

void TTabControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft) return;
  const int index = IndexOfTabAt(X, Y);
  if (index < 0) return;
  if (CanFocus() && !Focused()) SetFocus();
  SelectTab(index);
}

void TTabControl::Paint() {
  TCanvas* c = Canvas();
  const TRect client = ClientAreaOf(this);
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(Color());
  c->FillRect(client);
  const int band = BandHeight();
  win::RECT frame{client.Left, client.Top + band + 2, client.Right, client.Bottom};
  win::DrawEdge(c->Handle(), &frame, win::EDGE_RAISED, win::BF_RECT | win::BF_SOFT);
  c->Font()->Assign(Font());
  auto drawTab = [&](int i) {
    const TRect r = TabRect(i);
    c->Brush()->SetColor(Color());
    c->FillRect(i == FTabIndex ? Rect(r.Left, r.Top, r.Right, r.Bottom + 1) : r);
    win::RECT rc = r.ToRECT();
    win::DrawEdge(c->Handle(), &rc, win::EDGE_RAISED, win::BF_LEFT | win::BF_TOP | win::BF_RIGHT | win::BF_SOFT);
    TRect text = r;
    c->Brush()->SetStyle(bsClear);
    c->DrawText(FTabs->Strings(i), text, win::DT_CENTER | win::DT_VCENTER | win::DT_SINGLELINE);
    c->Brush()->SetStyle(bsSolid);
    if (i == FTabIndex && Focused()) {
      const win::RECT fr{r.Left + 3, r.Top + 3, r.Right - 3, r.Bottom - 2};
      win::DrawFocusRect(c->Handle(), &fr);
    }
  };
  for (int i = 0; i < FTabs->Count(); ++i)
    if (i != FTabIndex) drawTab(i);
  if (FTabIndex >= 0) drawTab(FTabIndex);
}

}  // namespace vorra
