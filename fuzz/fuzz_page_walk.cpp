// The page loader's walk on hostile pages: whatever the markup and the movie
// values, every file it gives out lies directly in the target folder, under a
// usable name, one address keeps one file, and a web page lists no local file.
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "common/MovieAddress.h"
#include "main/PageLoader.h"
#include "platform/html/HtmlDocument.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1u << 16)) return 0;
  const std::string text(reinterpret_cast<const char*>(data), size);
  // The first line is the page's address, the rest its markup.
  const std::size_t nl = text.find('\n');
  const std::string pageUrl = nl == std::string::npos ? "http://site/a/page.html" : text.substr(0, nl);
  const std::string markup = nl == std::string::npos ? text : text.substr(nl + 1);
  auto doc = win::html::THtmlDocument::Parse(markup, pageUrl, "UTF-8");
  const std::string folder = "/nonexistent-vorra-fuzz/out/";
  std::map<std::string, std::string> fileOfUrl;
  vorra::WalkDocument(doc.Get(), pageUrl, folder, [&](vorra::TFlashItem* item) {
    const std::string& file = item->TempFile;
    if (file.compare(0, folder.size(), folder) != 0) std::abort();
    const std::string name = file.substr(folder.size());
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) std::abort();
    if (!vorra::IsLocalAddress(pageUrl) && vorra::IsLocalAddress(item->Url)) std::abort();
    auto [it, fresh] = fileOfUrl.emplace(item->Url, file);
    if (!fresh && it->second != file) std::abort();
    delete item;
  });
  return 0;
}
