// Page controls: the notebook (a stack of pages, one shown at a time, no
// tabs of its own) and the tab control (a row of tabs over one client area,
// whose pages the program switches itself).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/Controls.h"
#include "framework/Strings.h"

namespace vorra {

class TNotebook;

// One page of a notebook: fills it, shown only while it is the current one.
// Controls are put on a page by making it their parent.
class TPage : public TCustomControl {
 public:
  explicit TPage(TNotebook* Notebook);

 protected:
  void Paint() override;
};

// The notebook's Pages: one line per page, the line's object is its TPage.
// Adding a line makes a page, deleting one frees it with its controls.
class TPageAccess : public TStrings {
 public:
  explicit TPageAccess(TNotebook* Notebook) : FNotebook(Notebook) {}
  void Clear() override;
  void Delete(int Index) override;
  void Insert(int Index, const std::string& S) override;
  void Exchange(int Index1, int Index2) override;

 protected:
  std::string Get(int Index) const override;
  int GetCount() const override;
  TObject* GetObject(int Index) const override;
  void Put(int Index, const std::string& S) override;

 private:
  TNotebook* FNotebook;
};

class TNotebook : public TCustomControl {
 public:
  explicit TNotebook(TComponent* AOwner);
  ~TNotebook() override;

  // Starts empty; the first page added becomes the current one.
  TStrings* Pages() { return FAccess.get(); }
  void SetPages(const TStrings* Value) { FAccess->Assign(Value); }
  int PageCount() const { return static_cast<int>(FPages.size()); }
  TPage* Page(int Index) const;
  // -1 while there are no pages; an index outside the pages is ignored.
  int PageIndex() const { return FPageIndex; }
  void SetPageIndex(int Value);
  // The current page's name; setting selects the page of that name.
  std::string ActivePage() const;
  void SetActivePage(const std::string& Value);

  TNotifyEvent OnPageChanged;

 protected:
  friend class TPageAccess;
  void Paint() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;
  void ShowPage(int Index);

  std::unique_ptr<TPageAccess> FAccess;
  std::vector<TPage*> FPages;  // owned through the component list
  int FPageIndex = -1;
};

using TTabChangingEvent = std::function<void(TObject* Sender, bool& AllowChange)>;

class TTabControl : public TCustomControl {
 public:
  explicit TTabControl(TComponent* AOwner);
  ~TTabControl() override;

  TStrings* Tabs() { return FTabs.get(); }
  void SetTabs(const TStrings* Value) { FTabs->Assign(Value); }
  // -1: none. Setting from code raises no event; an index outside the tabs
  // is ignored. A change of the tabs keeps it on a tab: 0 when tabs come
  // into an empty control, the last one when its tab went, -1 with none.
  int TabIndex() const { return FTabIndex; }
  virtual void SetTabIndex(int Value);
  // 0: from the font.
  int TabHeight() const { return FTabHeight; }
  void SetTabHeight(int Value);
  // 0: each tab as wide as its caption.
  int TabWidth() const { return FTabWidth; }
  void SetTabWidth(int Value);

  // Where the tabs are, in client coordinates (the selected one drawn larger).
  TRect TabRect(int Index);
  // The tab at a client point, -1 when none.
  int IndexOfTabAt(int X, int Y);
  // The area under the tab row, inside the page frame.
  TRect DisplayRect();
  // The selection as the user makes it: OnChanging may refuse, then OnChange.
  bool SelectTab(int Index);

  TNotifyEvent OnChange;
  TTabChangingEvent OnChanging;

 protected:
  void Paint() override;
  void Dispatch(TMessage& Message) override;
  void KeyDown(win::WORD& Key, TShiftState Shift) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void AdjustClientRect(TRect& r) override;
  virtual bool CanChange();
  virtual void Change();
  void TabsChanged();
  int BandHeight();
  int TabTextWidth(int Index);

  std::unique_ptr<TStringList> FTabs;
  int FTabIndex = -1;
  int FTabHeight = 0;
  int FTabWidth = 0;
};

}  // namespace vorra
