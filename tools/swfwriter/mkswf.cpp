// mkswf: writes a small Flash movie. Used by the build for blank.dat and the samples.
//   mkswf [--form plain|zlib|lzma] [--version N] [--size WxH] [--frames N]
//         [--background RRGGBB] [--attributes] [--padding BYTES] OUT
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>

#include "tools/swfwriter/SwfWriter.h"

using namespace vorra::swf;

namespace {

[[noreturn]] void Usage(const char* why) {
  std::cerr << "mkswf: " << why << "\n"
            << "usage: mkswf [--form plain|zlib|lzma] [--version N] [--size WxH] [--frames N]\n"
               "             [--background RRGGBB] [--attributes] [--padding BYTES] OUT\n";
  std::exit(2);
}

unsigned long Number(const char* text, unsigned long max) {
  char* end = nullptr;
  const unsigned long v = std::strtoul(text, &end, 10);
  if (!*text || *end || v > max) Usage("bad number");
  return v;
}

}  // namespace

int main(int argc, char** argv) {
  TSwfForm form = TSwfForm::sfPlain;
  unsigned long version = 10, width = 550, height = 400, frames = 1, padding = 0;
  std::string background, out;
  bool attributes = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const auto value = [&]() -> const char* {
      if (i + 1 >= argc) Usage("missing value");
      return argv[++i];
    };
    if (a == "--form") {
      const std::string f = value();
      form = f == "plain" ? TSwfForm::sfPlain : f == "zlib" ? TSwfForm::sfZlib : f == "lzma" ? TSwfForm::sfLzma
                                                                                              : (Usage("bad form"), form);
    } else if (a == "--version") {
      version = Number(value(), 255);
    } else if (a == "--size") {
      const std::string s = value();
      const auto x = s.find('x');
      if (x == std::string::npos) Usage("bad size");
      width = Number(s.substr(0, x).c_str(), 100000);
      height = Number(s.substr(x + 1).c_str(), 100000);
    } else if (a == "--frames") {
      frames = Number(value(), 65535);
    } else if (a == "--background") {
      background = value();
      if (background.size() != 6 || std::strspn(background.c_str(), "0123456789abcdefABCDEF") != 6)
        Usage("bad colour");
    } else if (a == "--attributes") {
      attributes = true;
    } else if (a == "--padding") {
      padding = Number(value(), 1ul << 30);
    } else if (a[0] == '-' || !out.empty()) {
      Usage("unknown argument");
    } else {
      out = a;
    }
  }
  if (out.empty()) Usage("no output file");
  try {
    TSwfWriter w(static_cast<std::uint8_t>(version),
                 {0, static_cast<std::int32_t>(width * 20), 0, static_cast<std::int32_t>(height * 20)},
                 static_cast<std::uint16_t>(frames));
    if (attributes) w.FileAttributes(0);
    if (!background.empty()) {
      const unsigned long rgb = std::strtoul(background.c_str(), nullptr, 16);
      w.SetBackgroundColor(static_cast<std::uint8_t>(rgb >> 16), static_cast<std::uint8_t>(rgb >> 8),
                           static_cast<std::uint8_t>(rgb));
    }
    if (padding) w.Padding(padding);
    for (unsigned long f = 0; f < frames; ++f) w.ShowFrame();
    WriteFile(out, w.Bytes(form));
  } catch (const std::exception& e) {
    std::cerr << "mkswf: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
