// Blending whole rows: out[i] = UiBlend(s[i], d[i]) with the exact bytes of
// the one-pixel form, many pixels per instruction where the processor can.
#pragma once

#include <cstdint>

namespace vorra {

// out may equal s or d; otherwise the three must not overlap.
void UiBlendRow(std::uint32_t* out, const std::uint32_t* s, const std::uint32_t* d, int n);

// The same without the wider instructions of newer processors.
void UiBlendRowBaseline(std::uint32_t* out, const std::uint32_t* s, const std::uint32_t* d, int n);

}  // namespace vorra
