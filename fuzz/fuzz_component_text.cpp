// The component text reader on hostile bytes: it may refuse the text but
// never crash or hang, and whatever it accepts it writes back the same way
// twice.
#include <cstddef>
#include <cstdint>
#include <string>

#include "framework/ComponentText.h"
#include "tests/framework/ComponentTextTestClasses.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vorra;
  const std::string input(reinterpret_cast<const char*>(data), size);

  try {
    const TTextObject model = ParseComponentText(input);
    const std::string printed = PrintComponentText(model);
    if (PrintComponentText(ParseComponentText(printed)) != printed) __builtin_trap();
  } catch (const EComponentTextError&) {
  }

  texttest::TItem item(nullptr);
  try {
    ReadComponentText(input, item, item.Published());
  } catch (const EComponentTextError&) {
    return 0;
  }
  const std::string text = WriteComponentText(item, item.Published());
  texttest::TItem again(nullptr);
  ReadComponentText(text, again, again.Published());
  if (WriteComponentText(again, again.Published()) != text) __builtin_trap();
  return 0;
}
