#include "platform/ui/Text.h"

#include "platform/ui/GdiInternal.h"

namespace win {
namespace gdi {

// Fonts arrive in the next step; until then DCs carry no font.
HGDIOBJ StockFont(int) { return nullptr; }
int GetFontObject(HGDIOBJ, int, void*) { return 0; }

}  // namespace gdi
}  // namespace win
