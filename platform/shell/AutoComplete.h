// SHAutoComplete: a suggestion list under an edit window that offers, as the
// user types, the typed addresses (TypedURLs, SHACF_URLMRU), the URL cache's
// addresses (SHACF_URLHISTORY) and paths (SHACF_FILESYSTEM). Down and Up move
// in the list, Enter takes the highlighted suggestion (and goes on to the
// edit), Escape closes the list. The edit is subclassed; it keeps the
// suggestions until it is destroyed.
//
// Addresses match by prefix, ignoring case, with or without their scheme and
// a leading "www.". The cache's addresses are held in a sorted index that is
// rebuilt when the cache's index file changed: when the edit gets the focus,
// else at the next key press. Auto-append (the completion
// typed into the edit) is not offered: the flags for it are accepted.
#pragma once

#include <string>
#include <vector>

#include "platform/ui/Window.h"
#include "platform/win/Types.h"

namespace win {

inline constexpr DWORD SHACF_DEFAULT = 0x00000000;  // file system and both URL sources
inline constexpr DWORD SHACF_FILESYSTEM = 0x00000001;
inline constexpr DWORD SHACF_URLHISTORY = 0x00000002;
inline constexpr DWORD SHACF_URLMRU = 0x00000004;
inline constexpr DWORD SHACF_URLALL = SHACF_URLHISTORY | SHACF_URLMRU;
inline constexpr DWORD SHACF_USETAB = 0x00000008;
inline constexpr DWORD SHACF_FILESYS_ONLY = 0x00000010;
inline constexpr DWORD SHACF_FILESYS_DIRS = 0x00000020;
inline constexpr DWORD SHACF_AUTOSUGGEST_FORCE_ON = 0x10000000;
inline constexpr DWORD SHACF_AUTOSUGGEST_FORCE_OFF = 0x20000000;
inline constexpr DWORD SHACF_AUTOAPPEND_FORCE_ON = 0x40000000;
inline constexpr DWORD SHACF_AUTOAPPEND_FORCE_OFF = 0x80000000;

// Most suggestions shown at once.
inline constexpr int AutoSuggestMaxItems = 12;

// S_OK, or E_INVALIDARG for a window that is not one. A second call for the
// same edit replaces its flags.
HRESULT SHAutoComplete(HWND hwndEdit, DWORD dwFlags);

// What the list offers for a text under the flags (typed addresses first,
// then the cache's, then paths), at most AutoSuggestMaxItems.
std::vector<std::string> AutoCompleteSuggestions(const std::string& text, DWORD dwFlags);

// The suggestion window of an edit while it shows, else null; and the index
// of its highlighted item (-1 none) and its items.
HWND GetAutoSuggestWindow(HWND hwndEdit);
int GetAutoSuggestSelection(HWND hwndEdit);
std::vector<std::string> GetAutoSuggestItems(HWND hwndEdit);

}  // namespace win
