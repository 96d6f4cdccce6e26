// Hostile pages: the first byte picks a Content-Type; the rest is the page.
// Decoded, bounded, parsed, walked as the page loader walks it, and every
// element serialised; the markup must come out as valid UTF-8.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/MovieAddress.h"
#include "platform/html/Charset.h"
#include "platform/html/HtmlDocument.h"

namespace {

bool ValidUtf8(const std::string& s) {
  const std::u16string w = win::Utf8ToUtf16(s);
  return win::Utf16ToUtf8(w) == s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace win;
  if (size == 0 || size > 1 << 20) return 0;
  static const char* const kTypes[] = {"text/html", "text/html; charset=utf-8", "text/html; charset=iso-8859-1",
                                       "text/html; charset=shift_jis", "text/html; charset=utf-16", ""};
  const std::string type = kTypes[data[0] % 6];
  const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  std::string encoding;
  const std::string text = html::PageTextToUtf8(bytes, type, &encoding);
  if (!ValidUtf8(text)) __builtin_trap();

  auto doc = html::THtmlDocument::Parse(text, "http://fuzz/", encoding);
  for (const char* tag : {"OBJECT", "EMBED"}) {
    TVariant all, tags, length;
    if (FAILED(DispGetProperty(doc.Get(), "all", all))) __builtin_trap();
    if (FAILED(DispCallMethod(all.ToDispatch().Get(), "tags", {TVariant::Text(tag)}, &tags))) __builtin_trap();
    DispGetProperty(tags.ToDispatch().Get(), "length", length);
    for (LONG i = 0; i < length.lVal; ++i) {
      TVariant item, classid, inner, outer, src;
      DispCallMethod(tags.ToDispatch().Get(), "Item", {TVariant::Int(i)}, &item);
      TComPtr<IDispatch> e = item.ToDispatch();
      if (!e) __builtin_trap();
      DispGetProperty(e.Get(), "CLASSID", classid);
      DispGetProperty(e.Get(), "innerhtml", inner);
      DispGetProperty(e.Get(), "outerhtml", outer);
      DispGetProperty(e.Get(), "src", src);
      std::string markup;
      outer.ToText(markup);
      if (!ValidUtf8(markup)) __builtin_trap();
      inner.ToText(markup);
      (void)vorra::MovieParamValue(markup);
    }
  }
  std::string html;
  html::SerializeOuter(doc->Root(), html);
  if (!ValidUtf8(html)) __builtin_trap();
  return 0;
}
