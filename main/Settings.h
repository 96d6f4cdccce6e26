// The settings key the program and the extension share: Software\Vorra under
// HKEY_CURRENT_USER, values "DefaultDir" and "AppPath".
#pragma once

#include <string>

namespace vorra {

inline constexpr const char* SettingsKey = "Software\\Vorra";

// The default folder for saved movies, with its trailing delimiter: the
// stored "DefaultDir", or the "Flash Files" folder when none is stored or
// the key cannot be opened. Needs SetAppFolders first.
std::string ReadDefaultDir();

// Stores "DefaultDir"; false when the key cannot be opened.
bool WriteDefaultDir(const std::string& folder);

}  // namespace vorra
