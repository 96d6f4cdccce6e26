// The few registry steps the COM registrations need, on key paths below a
// root: read or write one text value, delete a key with all it holds.
#pragma once

#include <string>

#include "platform/registry/Registry.h"

namespace win {

// A REG_SZ value (null name: the default value). ERROR_FILE_NOT_FOUND for a
// missing key or value, ERROR_INVALID_DATA for a value that is not text.
LONG ReadRegText(HKEY root, const std::string& key, const char* valueName, std::string& text);
// Creates the key when missing, then sets the REG_SZ value.
LONG WriteRegText(HKEY root, const std::string& key, const char* valueName, const std::string& text);
// Deletes the key and its subkeys, depth first. A missing key is ERROR_SUCCESS.
LONG DeleteRegTree(HKEY root, const std::string& key);

}  // namespace win
