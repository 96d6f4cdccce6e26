#include "platform/win/MessagePump.h"

#include <utility>

namespace win {

namespace {
thread_local TMessagePump t_pump;
}  // namespace

TMessagePump SetBlockingCallPump(TMessagePump pump) { return std::exchange(t_pump, std::move(pump)); }

bool HasBlockingCallPump() { return static_cast<bool>(t_pump); }

void PumpDuringBlockingCall() {
  if (!t_pump) return;
  // A copy: the pump may replace itself while it runs.
  const TMessagePump pump = t_pump;
  pump();
}

}  // namespace win
