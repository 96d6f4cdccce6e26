// The address helpers on hostile text. The input is split at its first
// zero byte into a value and a page address.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/MovieAddress.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t zero = input.find('\0');
  const std::string value = input.substr(0, zero);
  const std::string page = zero == std::string::npos ? std::string() : input.substr(zero + 1);

  const std::string base = vorra::UrlBase(page);
  const std::string url = vorra::ResolveMovieUrl(value, base);
  const std::string name = vorra::UrlFileName(url);
  (void)vorra::MovieParamValue(input);
  (void)vorra::AddTrailingBackslash(value);

  (void)vorra::AttributeAddress(value);

  // Properties every result must have.
  if (name.size() > url.size()) __builtin_trap();
  if (!base.empty() && base.size() > page.size() + 1) __builtin_trap();
  // However a value resolves (a rooted value on a base of fewer than eight
  // characters stays as written), no local address is ever fetched for a web page.
  const bool webPage = vorra::SchemePrefixLength(page) > 0 && !vorra::IsLocalAddress(page);
  if (webPage && vorra::IsLocalAddress(url) && vorra::MayFetchFromPage(url, page)) __builtin_trap();
  return 0;
}
