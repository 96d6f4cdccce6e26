// Until the drawing of definitions is built in, no definition draws; the
// real ParseDrawable, where linked, takes precedence over this weak one.
#include "platform/flash/Character.h"

namespace flash {

__attribute__((weak)) std::shared_ptr<TCharacter> ParseDrawable(int, std::span<const std::uint8_t>, TParseContext&) {
  return nullptr;
}

}  // namespace flash
