#include "common/ShockwaveFlash.h"

#include "platform/flash/FlashControl.h"
#include "platform/win/Utf8.h"

namespace vorra {

namespace {

std::string WideToUtf8(const std::wstring& text) {
  std::u16string units;
  for (wchar_t ch : text) {
    auto cp = static_cast<std::uint32_t>(ch);
    if (cp >= 0x10000 && cp <= 0x10FFFF) {
      cp -= 0x10000;
      units.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      units.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      units.push_back(cp > 0x10FFFF ? u'\uFFFD' : static_cast<char16_t>(cp));
    }
  }
  return win::Utf16ToUtf8(units);
}

std::wstring Utf8ToWide(const std::string& text) {
  const std::u16string units = win::Utf8ToUtf16(text);
  std::wstring out;
  for (std::size_t i = 0; i < units.size(); ++i) {
    std::uint32_t cp = units[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000)
      cp = 0x10000 + ((cp - 0xD800) << 10) + (units[++i] - 0xDC00);
    out.push_back(static_cast<wchar_t>(cp));
  }
  return out;
}

}  // namespace

TShockwaveFlash::TShockwaveFlash(TComponent* AOwner)
    : TOleControl(AOwner, (flash::RegisterFlashControlClass(), flash::kFlashControlClass)) {}

std::wstring TShockwaveFlash::Movie() {
  std::string text;
  GetProperty(flash::dispid::Movie, "Movie").ToText(text);
  return Utf8ToWide(text);
}

void TShockwaveFlash::SetMovie(const std::wstring& value) {
  SetProperty(flash::dispid::Movie, "Movie", win::TVariant::Text(WideToUtf8(value)));
}

int TShockwaveFlash::BackgroundColor() {
  win::LONG value = -1;
  GetProperty(flash::dispid::BackgroundColor, "BackgroundColor").ToInt(value);
  return value;
}

void TShockwaveFlash::SetBackgroundColor(int value) {
  SetProperty(flash::dispid::BackgroundColor, "BackgroundColor", win::TVariant::Int(value));
}

void TShockwaveFlash::Play() { CallMethod(flash::dispid::Play, "Play"); }

}  // namespace vorra
