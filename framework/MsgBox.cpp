#include "framework/MsgBox.h"

#include <memory>
#include <vector>

#include "framework/DialogHook.h"
#include "framework/Forms.h"
#include "framework/StdCtrls.h"
#include "platform/ui/Text.h"

namespace vorra {

using namespace win;

namespace {

// The icon of a message box, drawn in the classic colours.
class TMessageIcon : public TGraphicControl {
 public:
  TMessageIcon(TComponent* AOwner, UINT icon) : TGraphicControl(AOwner), icon_(icon) {
    FWidth = FHeight = 32;
    FParentColor = true;
  }

 protected:
  void Paint() override {
    TCanvas* c = Canvas();
    TColor fill = clBlue, ink = clWhite;
    std::string glyph = "i";
    switch (icon_) {
      case MB_ICONERROR: fill = clRed, glyph = "X"; break;
      case MB_ICONWARNING: fill = clYellow, ink = clBlack, glyph = "!"; break;
      case MB_ICONQUESTION: fill = clWhite, ink = clBlue, glyph = "?"; break;
      default: break;
    }
    c->Pen()->SetColor(clBlack);
    c->Brush()->SetColor(fill);
    c->Rectangle(2, 2, 30, 30);
    c->Font()->SetStyle({fsBold});
    c->Font()->SetSize(14);
    c->Font()->SetColor(ink);
    c->Brush()->SetStyle(bsClear);
    TRect r = Rect(2, 2, 30, 30);
    c->DrawText(glyph, r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }

 private:
  UINT icon_;
};

struct TFormFree {
  void operator()(TCustomForm* f) const {
    if (f && IsLiveForm(f)) f->Free();
  }
};

const char* ButtonCaption(int id) {
  switch (id) {
    case IDOK: return "OK";
    case IDCANCEL: return "Cancel";
    case IDABORT: return "&Abort";
    case IDRETRY: return "&Retry";
    case IDIGNORE: return "&Ignore";
    case IDYES: return "&Yes";
    case IDNO: return "&No";
    default: return "";
  }
}

}  // namespace

int ShowMessageBoxForm(HWND, const std::string& Text, const std::string& Caption, unsigned Type) {
  if (const TDialogHook hook = DialogHook()) {
    TDialogRequest req;
    req.Kind = TDialogKind::dkMessageBox;
    req.Caption = Caption;
    req.Text = Text;
    req.Type = Type;
    return hook(req).Result;
  }
  int ids[3];
  const int count = MessageBoxButtons(Type, ids);
  const int defaultId = MessageBoxDefaultButton(Type);
  int cancelId = 0;
  for (int i = 0; i < count; ++i)
    if (ids[i] == IDCANCEL) cancelId = IDCANCEL;
  if (count == 1) cancelId = ids[0];

  std::unique_ptr<TForm, TFormFree> form(new TForm(nullptr));
  form->SetBorderStyle(bsDialog);
  form->SetBorderIcons(cancelId ? TBorderIcons{biSystemMenu} : TBorderIcons{});
  form->SetPosition(poScreenCenter);
  form->SetCaption(Caption);
  const UINT icon = Type & MB_ICONMASK;
  int textLeft = 12;
  TMessageIcon* image = nullptr;
  if (icon) {
    image = new TMessageIcon(form.get(), icon);
    image->SetParent(form.get());
    image->SetBounds(12, 12, 32, 32);
    textLeft = 56;
  }
  auto* label = new TLabel(form.get());
  label->SetParent(form.get());
  label->SetShowAccelChar(false);
  label->SetWordWrap(true);
  label->SetBounds(textLeft, 12, 400, 13);
  label->SetCaption(Text);
  label->AdjustBounds();
  const int textBottom = std::max(label->Top() + label->Height(), image ? 44 : 0);
  const int buttonsWidth = count * 75 + (count - 1) * 6;
  const int clientWidth = std::max(textLeft + label->Width() + 12, buttonsWidth + 24);
  const int top = textBottom + 16;
  form->SetClientWidth(clientWidth);
  form->SetClientHeight(top + 23 + 12);
  if (image && label->Height() < 32) label->SetTop(12 + (32 - label->Height()) / 2);
  int x = (clientWidth - buttonsWidth) / 2;
  for (int i = 0; i < count; ++i) {
    auto* b = new TButton(form.get());
    b->SetParent(form.get());
    b->SetBounds(x, top, 75, 23);
    b->SetCaption(ButtonCaption(ids[i]));
    b->SetModalResult(ids[i]);
    b->SetDefault(ids[i] == defaultId);
    b->SetCancel(ids[i] == cancelId);
    if (ids[i] == defaultId) form->SetActiveControl(b);
    x += 75 + 6;
  }
  const TModalResult r = form->ShowModal();
  for (int i = 0; i < count; ++i)
    if (ids[i] == r) return r;
  return cancelId ? cancelId : defaultId;
}

void InstallMessageBoxProvider() {
  SetMessageBoxProvider([](HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    return ShowMessageBoxForm(owner, text ? text : "", caption ? caption : "", type);
  });
}

}  // namespace vorra
