// The movie header reader on hostile bytes: any prefix of any file.
#include <cstddef>
#include <cstdint>
#include <span>

#include "main/FlashUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vorra::TSwfFileInfo info;
  try {
    vorra::ParseSwfPrefix(std::span(data, size < vorra::SwfPrefixMax ? size : vorra::SwfPrefixMax), info);
  } catch (const vorra::ESwfError&) {
  }
  return 0;
}
