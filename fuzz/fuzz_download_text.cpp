// The download service's own text handling on hostile bytes: addresses from
// pages and header blocks from servers.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/net/DownloadText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  using namespace win::net;

  (void)IsUrlAddress(input);
  (void)IsRedirectStatusLine(input.data(), input.size());
  if (HeaderTime(input, "Expires") < 0) __builtin_trap();

  bool control = false;
  for (unsigned char c : input) control = control || c < 0x20 || c == 0x7F;
  std::string url;
  if (EscapeUrl(input, url) == control) __builtin_trap();
  if (!control)
    for (unsigned char c : url)
      if (c <= 0x20 || c >= 0x7F) __builtin_trap();

  // Paths with zero bytes cannot reach the call; the rest must come out clean.
  if (input.find('\0') == std::string::npos) {
    const std::string file = FileUrl(input);
    if (file.compare(0, 7, "file://") != 0) __builtin_trap();
    for (unsigned char c : file)
      if (c <= 0x20 || c >= 0x7F || c == '?' || c == '#') __builtin_trap();
  }

  const std::string ext = UrlExtension(input);
  if (ext.size() > 16) __builtin_trap();
  for (unsigned char c : ext)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) __builtin_trap();
  return 0;
}
