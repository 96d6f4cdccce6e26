// The address box: an editable combo box that shows the system's small icon
// for what its text names, lists the addresses typed into the browser before
// (TypedURLs in the registry), offers the shell's auto-complete on its edit,
// puts a default protocol before a bare address and reports a chosen address
// through OnUrlSelected.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "framework/Graphics.h"
#include "framework/ListControls.h"
#include "framework/Set.h"
#include "platform/shell/FileIcons.h"

namespace vorra {

enum TAutoComplete { acDefault, acForceOn, acForceOff };
enum TAutoSuggest { asDefault, asForceOn, asForceOff };
enum TFileOption { FileSystem, UrlHistory, UrlMRU };
using TFileOptions = TSet<TFileOption>;
using TOnUrlSelectedEvent = std::function<void(TObject* Sender, const std::string& Url)>;

// Where the typed-address history lives (under HKEY_CURRENT_USER), and how
// many "UrlN" values it has at most.
inline constexpr const char* TypedUrlsKey = "Software\\Microsoft\\Internet Explorer\\TypedURLs";
inline constexpr int MaxTypedUrls = 25;
// The key code a swallowed key is given, so the combo box does nothing more.
inline constexpr win::WORD SwallowedKey = 12;
// What SpecialFolderId answers for a text that names no special folder.
inline constexpr int NoSpecialFolder = 3000;

class TCustomAddressBox : public TCustomComboBox {
 public:
  explicit TCustomAddressBox(TComponent* AOwner);
  ~TCustomAddressBox() override;

  bool HasBorder() const { return FHasBorder; }
  void SetHasBorder(bool Value);
  bool HasDropDown() const { return FHasDropDown; }
  void SetHasDropDown(bool Value);
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  void Loaded() override;

  // The system small-icon index for a text; -1 for an empty text.
  int IconIndexOf(const std::string& Text);
  // The shell's special-folder number for a name (any case), else NoSpecialFolder.
  static int SpecialFolderId(const std::string& Text);
  void LoadTypedUrls();
  void SaveTypedUrls();
  void ApplyRegion();
  void PlaceEdit();

  const std::string& LastUrl() const { return FLastUrl; }
  int SelectedIcon() const { return FSelectedIcon; }
  win::HIMAGELIST Images() const { return FImages; }

  int IconLeft = 4;
  int IconTop = 3;
  std::string DefaultProtocol;
  bool RegistryUpdate = false;
  std::string About;
  TAutoComplete AutoComplete = acDefault;
  TAutoSuggest AutoSuggest = asDefault;
  TFileOptions FileOptions;
  TOnUrlSelectedEvent OnUrlSelected;

 protected:
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;
  void Dispatch(TMessage& Message) override;
  void Paint() override;
  void Resize() override;
  void KeyDown(win::WORD& Key, TShiftState Shift) override;
  void Click() override;
  void Change() override;

  // The SHAutoComplete flags the settings give.
  win::DWORD AutoCompleteFlags() const;
  void DrawItem(int Index, TRect Rect, TOwnerDrawState State);
  // Draws icon Index (nothing for -1) on the control at (X, Y).
  void DrawIcon(int Index, int X, int Y);
  void UrlSelected();
  void MakeEditWritable();

  std::string FLastUrl;
  int FIconWidth = 16;
  int FSelectedIcon = -1;
  bool FHasBorder = true;
  bool FHasDropDown = true;
  win::HIMAGELIST FImages = nullptr;  // the system list, shared: never freed here
  std::unique_ptr<TCanvas> FIconCanvas;
  // The last region applied, so painting does not apply it again.
  std::string FRegionState;
};

class TAddressBox : public TCustomAddressBox {
 public:
  using TCustomAddressBox::TCustomAddressBox;
};

}  // namespace vorra
