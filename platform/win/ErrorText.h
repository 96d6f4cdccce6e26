// What went wrong, in the words a user reads: "disk full", "read-only",
// "the server could not be found". Lower case without a final stop, so that a
// caller puts it after what failed: "cannot save movie.swf: disk full".
#pragma once

#include <string>

#include "platform/win/Types.h"

namespace win {

// An HRESULT in words; a FACILITY_WIN32 one as its Win32 code. A code with
// no words of its own reads "error 0x%08X".
std::string ErrorText(HRESULT hr);
// A Win32 error code (GetLastError, registry results) in words.
std::string Win32ErrorText(DWORD error);

}  // namespace win
