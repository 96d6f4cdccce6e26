// Hostile region data: the byte count given to ExtCreateRegion is the input's
// length, and the header inside claims whatever counts and sizes it likes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/ui/Region.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  std::vector<char> buf(size + sizeof(win::RGNDATAHEADER));  // aligned copy; tail never counted
  if (size) std::memcpy(buf.data(), data, size);
  auto* rd = reinterpret_cast<const win::RGNDATA*>(buf.data());
  win::HRGN r = win::ExtCreateRegion(nullptr, static_cast<win::DWORD>(size), size ? rd : nullptr);
  if (r) {
    win::HRGN other = win::CreateRectRgn(-5, -5, 40, 40);
    win::CombineRgn(other, other, r, win::RGN_XOR);
    const win::DWORD need = win::GetRegionData(other, 0, nullptr);
    std::vector<char> out(need);
    win::GetRegionData(other, need, reinterpret_cast<win::RGNDATA*>(out.data()));
    win::OffsetRgn(r, 0x7FFFFFF0, -0x7FFFFFF0);
    win::DeleteObject(other);
    win::DeleteObject(r);
  }
  return 0;
}
