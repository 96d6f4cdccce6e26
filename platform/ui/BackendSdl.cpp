#include "platform/ui/Backend.h"

namespace win::backend {
TBackend* MakeSdl() { return nullptr; }
}  // namespace win::backend
