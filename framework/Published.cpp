#include "framework/Published.h"

#include <array>
#include <utility>

namespace vorra {

namespace {

struct TColorName {
  TColor Color;
  const char* Name;
};

// The class library's colour constants, in its order.
constexpr std::array<TColorName, 42> kColorNames{{
    {clBlack, "clBlack"},
    {clMaroon, "clMaroon"},
    {clGreen, "clGreen"},
    {clOlive, "clOlive"},
    {clNavy, "clNavy"},
    {clPurple, "clPurple"},
    {clTeal, "clTeal"},
    {clGray, "clGray"},
    {clSilver, "clSilver"},
    {clRed, "clRed"},
    {clLime, "clLime"},
    {clYellow, "clYellow"},
    {clBlue, "clBlue"},
    {clFuchsia, "clFuchsia"},
    {clAqua, "clAqua"},
    {clWhite, "clWhite"},
    {clScrollBar, "clScrollBar"},
    {clBackground, "clBackground"},
    {clActiveCaption, "clActiveCaption"},
    {clInactiveCaption, "clInactiveCaption"},
    {clMenu, "clMenu"},
    {clWindow, "clWindow"},
    {clWindowFrame, "clWindowFrame"},
    {clMenuText, "clMenuText"},
    {clWindowText, "clWindowText"},
    {clCaptionText, "clCaptionText"},
    {clActiveBorder, "clActiveBorder"},
    {clInactiveBorder, "clInactiveBorder"},
    {clAppWorkSpace, "clAppWorkSpace"},
    {clHighlight, "clHighlight"},
    {clHighlightText, "clHighlightText"},
    {clBtnFace, "clBtnFace"},
    {clBtnShadow, "clBtnShadow"},
    {clGrayText, "clGrayText"},
    {clBtnText, "clBtnText"},
    {clInactiveCaptionText, "clInactiveCaptionText"},
    {clBtnHighlight, "clBtnHighlight"},
    {cl3DDkShadow, "cl3DDkShadow"},
    {cl3DLight, "cl3DLight"},
    {clInfoText, "clInfoText"},
    {clInfoBk, "clInfoBk"},
    {clNone, "clNone"},
}};

}  // namespace

const TPublishedProperty* TPublishedTable::Find(const std::string& Name) const {
  for (const TPublishedProperty& p : Properties)
    if (SameText(p.Name, Name)) return &p;
  return nullptr;
}

bool ColorToIdent(TColor Color, std::string& Ident) {
  if (Color == clDefault) {
    Ident = "clDefault";
    return true;
  }
  for (const TColorName& c : kColorNames)
    if (c.Color == Color) {
      Ident = c.Name;
      return true;
    }
  return false;
}

bool IdentToColor(const std::string& Ident, TColor& Color) {
  if (SameText(Ident, "clDefault")) {
    Color = clDefault;
    return true;
  }
  for (const TColorName& c : kColorNames)
    if (SameText(Ident, c.Name)) {
      Color = c.Color;
      return true;
    }
  return false;
}

const TPublishedTable& TFontTable() {
  static const TPublishedTable table =
      TPublish<TFont>("TFont")
          .Color("Color", &TFont::Color, &TFont::SetColor)
          .Integer("Height", &TFont::Height, &TFont::SetHeight)
          .String("Name", &TFont::Name, &TFont::SetName)
          .Set("Style", &TFont::Style, &TFont::SetStyle, {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"})
          .Done();
  return table;
}

}  // namespace vorra
