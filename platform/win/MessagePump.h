// Blocking calls (downloads) run on the GUI thread; while they wait they hand
// control to a pump so the thread's window messages keep flowing. The window
// layer installs the pump; until then a blocking call simply blocks.
#pragma once

#include <functional>

namespace win {

using TMessagePump = std::function<void()>;

// Installs the pump of the calling thread and answers the previous one. The
// pump dispatches whatever messages are waiting and returns without waiting.
// A message it dispatches may start another blocking call, which pumps in
// turn, as nested modal loops do.
TMessagePump SetBlockingCallPump(TMessagePump pump);

// Runs the calling thread's pump, if any.
void PumpDuringBlockingCall();

// Whether the calling thread has a pump.
bool HasBlockingCallPump();

}  // namespace win
