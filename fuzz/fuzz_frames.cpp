// The frame loader and the walk over frames on hostile pages. The input is
// up to eight pages separated by NUL bytes; page i is served from memory at
// http://f/i.html (and, to reach local ones, file:///f/i.html), every other
// address gets a short page. Whatever the pages name: no address is loaded
// twice, no local file is asked for by a web page, at most 50 loads, frames
// nest at most 3 deep, and the walk's files stay in its folder.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "common/MovieAddress.h"
#include "main/PageLoader.h"
#include "platform/html/FrameLoader.h"

namespace {

int Depth(win::html::THtmlDocument& doc) {
  int deepest = 0;
  for (auto& frame : doc.Frames()) deepest = std::max(deepest, 1 + Depth(*frame.Document));
  return deepest;
}

bool IsWeb(const std::string& address) {
  return address.rfind("http://", 0) == 0 || address.rfind("https://", 0) == 0 || address.rfind("ftp://", 0) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1u << 16)) return 0;
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> pages;
  for (std::size_t pos = 0; pages.size() < 8;) {
    const std::size_t end = text.find('\0', pos);
    pages.push_back(text.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
    if (end == std::string::npos) break;
    pos = end + 1;
  }
  const bool localTop = !pages[0].empty() && pages[0][0] == 'L';
  const std::string top = localTop ? "file:///f/0.html" : "http://f/0.html";
  std::set<std::string> loaded{top};
  int loads = 0;
  auto load = [&](const std::string& address) {
    if (!loaded.insert(address.substr(0, address.find('#'))).second) std::abort();
    if (!localTop && !IsWeb(address)) std::abort();
    ++loads;
    std::string body = "<p>not here</p>";
    for (std::size_t i = 0; i < pages.size(); ++i)
      if (address == "http://f/" + std::to_string(i) + ".html" || address == "file:///f/" + std::to_string(i) + ".html")
        body = pages[i];
    return win::html::THtmlDocument::Parse(body, address, "UTF-8");
  };
  auto doc = win::html::THtmlDocument::Parse(pages[0], top, "UTF-8");
  win::html::LoadFrames(*doc, load);
  if (loads > 50 || Depth(*doc) > 3) std::abort();

  const std::string folder = "/nonexistent-vorra-fuzz/out/";
  vorra::WalkDocument(doc.Get(), top, folder, [&](vorra::TFlashItem* item) {
    const std::string& file = item->TempFile;
    if (file.compare(0, folder.size(), folder) != 0 || file.find('/', folder.size()) != std::string::npos) std::abort();
    if (!localTop && vorra::IsLocalAddress(item->Url)) std::abort();
    delete item;
  });
  return 0;
}
