#include "platform/ui/Clipboard.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <utility>

namespace win {
namespace {

struct TBlock {
  void* Bytes = nullptr;
  SIZE_T Size = 0;
  int Locks = 0;
};

struct TState {
  std::mutex Lock;
  std::unordered_map<HGLOBAL, TBlock> Blocks;
  bool Open = false;
  HWND OpenBy = nullptr;
  HWND Owner = nullptr;
  HGLOBAL Text = nullptr;       // the clipboard's own block for CF_TEXT
  bool TextFromBackend = false;  // Text was made from the backend's answer
  TClipboardBackend Backend;
};

TState& State() {
  static TState* s = new TState;  // never destroyed: blocks may be freed late
  return *s;
}

// Callers hold the lock.
HGLOBAL NewBlock(TState& s, UINT flags, SIZE_T bytes) {
  // A block of 0 bytes still has an address, as with malloc(1).
  void* p = (flags & GMEM_ZEROINIT) ? std::calloc(bytes ? bytes : 1, 1) : std::malloc(bytes ? bytes : 1);
  if (!p) return nullptr;
  // The handle is its own key, distinct from the memory so that a pointer is
  // never mistaken for a handle.
  auto* key = new char;
  s.Blocks.emplace(key, TBlock{p, bytes, 0});
  return key;
}

void FreeBlock(TState& s, HGLOBAL h) {
  auto it = s.Blocks.find(h);
  if (it == s.Blocks.end()) return;
  std::free(it->second.Bytes);
  s.Blocks.erase(it);
  delete static_cast<char*>(h);
}

// The text of a block: up to its first NUL, never past its end.
std::string TextOf(const TBlock& b) {
  const char* p = static_cast<const char*>(b.Bytes);
  return std::string(p, strnlen(p, b.Size));
}

HGLOBAL BlockOfText(TState& s, const std::string& text) {
  HGLOBAL h = NewBlock(s, GMEM_MOVEABLE, text.size() + 1);
  if (h) std::memcpy(s.Blocks[h].Bytes, text.c_str(), text.size() + 1);
  return h;
}

void DropText(TState& s) {
  if (s.Text) FreeBlock(s, s.Text);
  s.Text = nullptr;
  s.TextFromBackend = false;
}

}  // namespace

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
  TState& s = State();
  std::lock_guard<std::mutex> g(s.Lock);
  if (bytes > (SIZE_T{1} << 31)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return NewBlock(s, flags, bytes);
}

LPVOID GlobalLock(HGLOBAL mem) {
  TState& s = State();
  std::lock_guard<std::mutex> g(s.Lock);
  auto it = s.Blocks.find(mem);
  if (it == s.Blocks.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  ++it->second.Locks;
  return it->second.Bytes;
}

BOOL GlobalUnlock(HGLOBAL mem) {
  TState& s = State();
  std::lock_guard<std::mutex> g(s.Lock);
  auto it = s.Blocks.find(mem);
  if (it == s.Blocks.end() || it->second.Locks == 0) {
    SetLastError(it == s.Blocks.end() ? ERROR_INVALID_HANDLE : ERROR_SUCCESS);
    return FALSE;
  }
  return --it->second.Locks > 0 ? TRUE : FALSE;
}

SIZE_T GlobalSize(HGLOBAL mem) {
  TState& s = State();
  std::lock_guard<std::mutex> g(s.Lock);
  auto it = s.Blocks.find(mem);
  return it == s.Blocks.end() ? 0 : it->second.Size;
}

HGLOBAL GlobalFree(HGLOBAL mem) {
  TState& s = State();
  std::lock_guard<std::mutex> g(s.Lock);
  // The clipboard's own block is not the caller's to free.
  if (!s.Blocks.count(mem) || mem == s.Text) {
    SetLastError(ERROR_INVALID_HANDLE);
    return mem;
  }
  FreeBlock(s, mem);
  return nullptr;
}

BOOL OpenClipboard(HWND owner) {
  TState& s = State();
  std::lock_guard<std::mutex> g(s.Lock);
  if (s.Open && s.OpenBy != owner) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  s.Open = true;
  s.OpenBy = owner;
  return TRUE;
}

BOOL CloseClipboard() {
  TState& s = State();
  std::lock_guard<std::mutex> g(s.Lock);
  if (!s.Open) return FALSE;
  s.Open = false;
  s.OpenBy = nullptr;
  return TRUE;
}

BOOL EmptyClipboard() {
  TState& s = State();
  std::unique_lock<std::mutex> g(s.Lock);
  if (!s.Open) return FALSE;
  DropText(s);
  s.Owner = s.OpenBy;
  auto put = s.Backend.Put;
  g.unlock();
  if (put) put(std::nullopt);
  return TRUE;
}

HANDLE SetClipboardData(UINT format, HANDLE mem) {
  TState& s = State();
  std::unique_lock<std::mutex> g(s.Lock);
  if (!s.Open || format != CF_TEXT) return nullptr;
  auto it = s.Blocks.find(mem);
  if (it == s.Blocks.end() || mem == s.Text) return nullptr;
  const std::string text = TextOf(it->second);
  DropText(s);
  s.Text = mem;  // the block now belongs to the clipboard
  auto put = s.Backend.Put;
  g.unlock();
  if (put) put(text);
  return mem;
}

HANDLE GetClipboardData(UINT format) {
  TState& s = State();
  std::unique_lock<std::mutex> g(s.Lock);
  if (!s.Open || format != CF_TEXT) return nullptr;
  if (auto get = s.Backend.Get) {
    g.unlock();
    const std::optional<std::string> text = get();
    g.lock();
    // The backend holds the truth (another program may have copied or
    // cleared); our block is kept while it still says the same.
    if (!text) {
      DropText(s);
    } else if (!s.Text || TextOf(s.Blocks[s.Text]) != *text) {
      DropText(s);
      s.Text = BlockOfText(s, *text);
      s.TextFromBackend = true;
    }
  }
  return s.Text;
}

BOOL IsClipboardFormatAvailable(UINT format) {
  if (format != CF_TEXT) return FALSE;
  TState& s = State();
  std::unique_lock<std::mutex> g(s.Lock);
  if (auto get = s.Backend.Get) {
    g.unlock();
    return get().has_value() ? TRUE : FALSE;
  }
  return s.Text ? TRUE : FALSE;
}

HWND GetClipboardOwner() {
  TState& s = State();
  std::lock_guard<std::mutex> g(s.Lock);
  return s.Owner;
}

void SetClipboardBackend(TClipboardBackend backend) {
  TState& s = State();
  std::lock_guard<std::mutex> g(s.Lock);
  if (!backend.Get && !backend.Put) backend = {};
  s.Backend = std::move(backend);
  if (s.TextFromBackend) DropText(s);
}

}  // namespace win
