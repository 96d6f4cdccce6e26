// Per-user folders, the stand-in for the shell's special folders: XDG base
// folders with a "vorra" subfolder, all moved under $VORRA_HOME when it is set.
#pragma once

#include <string>

namespace win {

enum class TUserFolder { ufConfig, ufCache, ufData };

// The folder with a trailing "/"; not created here.
std::string GetUserFolder(TUserFolder which);

// The folder of the running program file, with a trailing "/".
std::string GetProgramFolder();

}  // namespace win
