// The string list's text forms on hostile text: lines, comma text and
// delimited text must read back what they write.
#include <cstddef>
#include <cstdint>
#include <string>

#include "framework/Streams.h"
#include "framework/Strings.h"

namespace {

bool Same(const vorra::TStrings& a, const vorra::TStrings& b) {
  if (a.Count() != b.Count()) return false;
  for (int i = 0; i < a.Count(); ++i)
    if (a[i] != b[i]) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  vorra::TStringList parsed;
  vorra::TStringList again;

  parsed.SetCommaText(input);
  again.SetCommaText(parsed.CommaText());
  if (!Same(parsed, again)) __builtin_trap();

  parsed.SetDelimiter(';');
  parsed.SetQuoteChar('\'');
  parsed.SetStrictDelimiter(true);
  parsed.SetDelimitedText(input);
  again.SetDelimiter(';');
  again.SetQuoteChar('\'');
  again.SetStrictDelimiter(true);
  again.SetDelimitedText(parsed.DelimitedText());
  if (!Same(parsed, again)) __builtin_trap();

  vorra::TStringStream stream(input);
  parsed.LoadFromStream(&stream);
  again.SetText(parsed.Text());
  if (!Same(parsed, again)) __builtin_trap();
  for (int i = 0; i < parsed.Count(); ++i) (void)parsed.Values(parsed.Names(i));

  parsed.SetSorted(true);
  for (int i = 1; i < parsed.Count(); ++i)
    if (vorra::CompareText(parsed[i - 1], parsed[i]) > 0) __builtin_trap();
  return 0;
}
