// The clipboard for text (CF_TEXT, UTF-8 bytes with a terminating NUL) and
// the movable global memory blocks it trades in. The data is held by the
// process unless a backend (the desktop's clipboard) is connected.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "platform/ui/UiTypes.h"

namespace win {

using HGLOBAL = HANDLE;
using SIZE_T = std::size_t;

inline constexpr UINT GMEM_FIXED = 0x0000;
inline constexpr UINT GMEM_MOVEABLE = 0x0002;
inline constexpr UINT GMEM_ZEROINIT = 0x0040;
inline constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;
inline constexpr UINT GPTR = GMEM_FIXED | GMEM_ZEROINIT;

// Blocks are known to a table: stale handles are refused (null, 0).
HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
LPVOID GlobalLock(HGLOBAL mem);
BOOL GlobalUnlock(HGLOBAL mem);
SIZE_T GlobalSize(HGLOBAL mem);
// Null on success, the handle when it cannot be freed.
HGLOBAL GlobalFree(HGLOBAL mem);

inline constexpr UINT CF_TEXT = 1;
inline constexpr UINT CF_OEMTEXT = 7;
inline constexpr UINT CF_UNICODETEXT = 13;

// One window at a time holds the clipboard open (null: the thread).
BOOL OpenClipboard(HWND owner);
BOOL CloseClipboard();
BOOL EmptyClipboard();
// Takes ownership of mem on success (the caller must not free it).
HANDLE SetClipboardData(UINT format, HANDLE mem);
// A block owned by the clipboard, valid until the clipboard changes.
HANDLE GetClipboardData(UINT format);
BOOL IsClipboardFormatAvailable(UINT format);
HWND GetClipboardOwner();

// Connects the clipboard to another store (the desktop's): Get answers the
// current text or nothing, Put publishes text (an empty optional clears).
struct TClipboardBackend {
  std::function<std::optional<std::string>()> Get;
  std::function<void(const std::optional<std::string>&)> Put;
};
// An empty backend (both functions unset) returns to the process-local store.
void SetClipboardBackend(TClipboardBackend backend);

}  // namespace win
