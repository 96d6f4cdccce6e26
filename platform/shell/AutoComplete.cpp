#include "platform/shell/AutoComplete.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <utility>

#include "platform/net/UrlCache.h"
#include "platform/net/UrlCacheStore.h"
#include "platform/registry/Registry.h"
#include "platform/ui/Draw.h"
#include "platform/ui/Paint.h"
#include "platform/ui/Text.h"
#include "platform/win/Ascii.h"
#include "platform/win/Errors.h"

namespace win {

namespace {

constexpr int kRowHeight = 16;
constexpr const char* kPopupClass = "VorraAutoSuggest";
constexpr const char* kTypedUrlsKey = "Software\\Microsoft\\Internet Explorer\\TypedURLs";
constexpr const char* kSettingsKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoComplete";

// The forms of an address a typed text may start: the whole address, without
// its scheme, and without "www." after that. Lower case.
std::vector<std::string> MatchForms(const std::string& url) {
  std::vector<std::string> forms{AsciiLowerCase(url)};
  const size_t scheme = forms[0].find("://");
  if (scheme != std::string::npos) forms.push_back(forms[0].substr(scheme + 3));
  const std::string& last = forms.back();
  if (last.compare(0, 4, "www.") == 0) forms.push_back(last.substr(4));
  return forms;
}

bool Matches(const std::string& url, const std::string& lowerText) {
  for (const std::string& f : MatchForms(url))
    if (f.compare(0, lowerText.size(), lowerText) == 0) return true;
  return false;
}

std::string CacheIndexPath() { return urlcache::IndexPath(urlcache::CacheRoot()); }

// Changes with every write to the cache's index (its WAL file grows, or a
// checkpoint rewrites the file).
std::string FileStamp(const std::string& path) {
  std::string stamp = path + ";";
  for (const std::string& p : {path, path + "-wal"}) {
    struct stat st{};
    if (stat(p.c_str(), &st) == 0)
      stamp += std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec) + ":" +
               std::to_string(st.st_size) + ";";
    else
      stamp += "-;";
  }
  return stamp;
}

// The address an entry stands for: history entries carry "Visited: user@".
bool EntryAddress(const char* source, std::string& out) {
  if (!source || !*source) return false;
  std::string url = source;
  const std::string lower = AsciiLowerCase(url.substr(0, 8));
  if (lower.compare(0, 7, "cookie:") == 0) return false;
  if (lower.compare(0, 8, "visited:") == 0) {
    const size_t at = url.find('@');
    if (at == std::string::npos) return false;
    url = url.substr(at + 1);
  }
  if (url.empty()) return false;
  out = std::move(url);
  return true;
}

std::vector<std::string> ReadCacheAddresses() {
  std::vector<std::string> out;
  std::vector<char> buffer(4096);
  DWORD size = static_cast<DWORD>(buffer.size());
  auto info = [&] { return reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buffer.data()); };
  HANDLE walk = FindFirstUrlCacheEntryExA(nullptr, 0, 0xFFFFFFFF, 0, info(), &size, nullptr, nullptr, nullptr);
  if (!walk && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    buffer.resize(size);
    walk = FindFirstUrlCacheEntryExA(nullptr, 0, 0xFFFFFFFF, 0, info(), &size, nullptr, nullptr, nullptr);
  }
  if (!walk) return out;
  for (;;) {
    std::string url;
    if (EntryAddress(info()->lpszSourceUrlName, url)) out.push_back(std::move(url));
    size = static_cast<DWORD>(buffer.size());
    if (FindNextUrlCacheEntryExA(walk, info(), &size, nullptr, nullptr, nullptr)) continue;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
    buffer.resize(size);
    if (!FindNextUrlCacheEntryExA(walk, info(), &size, nullptr, nullptr, nullptr)) break;
  }
  FindCloseUrlCache(walk);
  return out;
}

// The cache's addresses by every form they match under, sorted, so a prefix
// is a binary search and a short walk.
class THistoryIndex {
 public:
  void Find(const std::string& lowerText, std::size_t limit, std::vector<std::string>& out) {
    Refresh();
    std::set<std::uint32_t> seen;
    auto it = std::lower_bound(keys_.begin(), keys_.end(), lowerText,
                               [](const TKey& k, const std::string& t) { return k.first < t; });
    for (; it != keys_.end() && seen.size() < limit; ++it) {
      if (it->first.compare(0, lowerText.size(), lowerText) != 0) break;
      seen.insert(it->second);
    }
    std::vector<std::string> found;
    for (std::uint32_t i : seen) found.push_back(urls_[i]);
    std::sort(found.begin(), found.end());
    out.insert(out.end(), found.begin(), found.end());
  }

 private:
  using TKey = std::pair<std::string, std::uint32_t>;

 public:
  // Rebuilds when the cache changed since the last build.
  void Refresh() {
    const std::string stamp = FileStamp(CacheIndexPath());
    if (built_ && stamp == stamp_) return;
    urls_ = ReadCacheAddresses();
    std::sort(urls_.begin(), urls_.end());
    urls_.erase(std::unique(urls_.begin(), urls_.end()), urls_.end());
    keys_.clear();
    keys_.reserve(urls_.size() * 2);
    for (std::uint32_t i = 0; i < urls_.size(); ++i)
      for (std::string& f : MatchForms(urls_[i])) keys_.emplace_back(std::move(f), i);
    std::sort(keys_.begin(), keys_.end());
    // The stamp of before the walk: a write during it shows on the next key.
    stamp_ = stamp;
    built_ = true;
  }

 private:

  std::vector<std::string> urls_;
  std::vector<TKey> keys_;
  std::string stamp_;
  bool built_ = false;
};

THistoryIndex& History() {
  static THistoryIndex index;
  return index;
}

std::vector<std::string> TypedUrls() {
  std::vector<std::string> out;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kTypedUrlsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return out;
  for (int i = 1; i <= 25; ++i) {
    const std::string name = "Url" + std::to_string(i);
    char data[2048];
    DWORD size = sizeof(data);
    DWORD type = 0;
    if (RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS ||
        type != REG_SZ || size == 0)
      continue;
    std::string v(data, strnlen(data, size));
    if (!v.empty()) out.push_back(std::move(v));
  }
  RegCloseKey(key);
  return out;
}

void FindPaths(const std::string& text, bool dirsOnly, std::size_t limit, std::vector<std::string>& out) {
  std::string path = text;
  std::string prefix;
  if (AsciiLowerCase(text.substr(0, 7)) == "file://") {
    prefix = text.substr(0, 7);
    path = text.substr(7);
  }
  if (path.empty() || path[0] != '/') return;
  const size_t slash = path.rfind('/');
  const std::string folder = path.substr(0, slash + 1);
  const std::string start = path.substr(slash + 1);
  namespace fs = std::filesystem;
  std::error_code ec;
  std::vector<std::string> found;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.compare(0, start.size(), start) != 0 || (start.empty() && name[0] == '.')) continue;
    const bool dir = it->is_directory(ec);
    if (dirsOnly && !dir) continue;
    found.push_back(prefix + folder + name + (dir ? "/" : ""));
  }
  std::sort(found.begin(), found.end());
  if (found.size() > limit) found.resize(limit);
  out.insert(out.end(), found.begin(), found.end());
}

// The sources the flags ask for: none named means all of them.
DWORD SourcesOf(DWORD flags) {
  if (flags & (SHACF_FILESYS_ONLY | SHACF_FILESYS_DIRS)) return SHACF_FILESYSTEM;
  const DWORD sources = flags & (SHACF_FILESYSTEM | SHACF_URLALL);
  return sources ? sources : SHACF_FILESYSTEM | SHACF_URLALL;
}

bool RegistrySaysYes(const char* value, bool fallback) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return fallback;
  char data[16] = {};
  DWORD size = sizeof(data) - 1;
  DWORD type = 0;
  bool result = fallback;
  if (RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) == ERROR_SUCCESS &&
      type == REG_SZ)
    result = AsciiLowerCase(std::string(data, strnlen(data, size))) == "yes";
  RegCloseKey(key);
  return result;
}

bool SuggestOn(DWORD flags) {
  if (flags & SHACF_AUTOSUGGEST_FORCE_OFF) return false;
  if (flags & SHACF_AUTOSUGGEST_FORCE_ON) return true;
  return RegistrySaysYes("AutoSuggest", true);
}

// One edit under auto-complete.
struct TState {
  HWND Edit = nullptr;
  DWORD Flags = 0;
  WNDPROC OldProc = nullptr;
  HWND Popup = nullptr;
  std::vector<std::string> Items;
  int Selection = -1;
};

std::map<HWND, std::unique_ptr<TState>>& States() {
  static std::map<HWND, std::unique_ptr<TState>> states;
  return states;
}

TState* StateOf(HWND edit) {
  auto it = States().find(edit);
  return it == States().end() ? nullptr : it->second.get();
}

TState* StateOfPopup(HWND popup) {
  for (auto& [edit, s] : States())
    if (s->Popup == popup) return s.get();
  return nullptr;
}

void HidePopup(TState& s) {
  if (s.Popup && IsWindowVisible(s.Popup)) ShowWindow(s.Popup, SW_HIDE);
  s.Selection = -1;
}

void PaintPopup(HWND popup) {
  PAINTSTRUCT ps{};
  HDC dc = BeginPaint(popup, &ps);
  RECT client{};
  GetClientRect(popup, &client);
  FillRect(dc, &client, GetSysColorBrush(COLOR_WINDOW));
  if (TState* s = StateOfPopup(popup)) {
    HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    for (int i = 0; i < static_cast<int>(s->Items.size()); ++i) {
      RECT row{client.left, i * kRowHeight, client.right, (i + 1) * kRowHeight};
      const bool selected = i == s->Selection;
      if (selected) FillRect(dc, &row, GetSysColorBrush(COLOR_HIGHLIGHT));
      SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
      const std::string& t = s->Items[static_cast<size_t>(i)];
      TextOutA(dc, row.left + 3, row.top + 1, t.c_str(), static_cast<int>(t.size()));
    }
    SelectObject(dc, oldFont);
  }
  EndPaint(popup, &ps);
}

void TakeItem(TState& s, int index) {
  if (index < 0 || index >= static_cast<int>(s.Items.size())) return;
  const std::string text = s.Items[static_cast<size_t>(index)];
  HidePopup(s);
  SetWindowTextA(s.Edit, text.c_str());
}

LRESULT PopupProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
    case WM_PAINT: PaintPopup(hwnd); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_LBUTTONDOWN:
      if (TState* s = StateOfPopup(hwnd)) TakeItem(*s, GET_Y_LPARAM(lParam) / kRowHeight);
      return 0;
    default: return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
}

HWND MakePopup(HWND edit) {
  static bool registered = false;
  if (!registered) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = PopupProc;
    wc.lpszClassName = kPopupClass;
    registered = RegisterClassA(&wc) != 0;
  }
  return CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_NOACTIVATE, kPopupClass, "",
                         WS_POPUP | WS_BORDER, 0, 0, 0, 0, GetAncestor(edit, GA_ROOT), nullptr, nullptr, nullptr);
}

void ShowSuggestions(TState& s) {
  const std::string text = GetWindowTextString(s.Edit);
  s.Items = text.empty() || !SuggestOn(s.Flags) ? std::vector<std::string>{} : AutoCompleteSuggestions(text, s.Flags);
  s.Selection = -1;
  if (s.Items.empty()) {
    HidePopup(s);
    return;
  }
  if (!s.Popup) s.Popup = MakePopup(s.Edit);
  if (!s.Popup) return;
  RECT r{};
  GetWindowRect(s.Edit, &r);
  const int width = std::max<int>(r.right - r.left, 120);
  const int rows = static_cast<int>(s.Items.size()) * kRowHeight;
  SetWindowPos(s.Popup, HWND_TOPMOST, r.left, r.bottom, width, rows + 2, SWP_NOACTIVATE);
  // The border's share is whatever the window layer gives it.
  RECT client{};
  GetClientRect(s.Popup, &client);
  SetWindowPos(s.Popup, HWND_TOPMOST, r.left, r.bottom, width, rows + 2 + rows - (client.bottom - client.top),
               SWP_NOACTIVATE | SWP_SHOWWINDOW);
  InvalidateRect(s.Popup, nullptr, TRUE);
}

void MoveSelection(TState& s, int step) {
  const int n = static_cast<int>(s.Items.size());
  if (n == 0) return;
  int next = s.Selection + step;
  if (next < -1) next = n - 1;
  if (next >= n) next = -1;
  s.Selection = next;
  InvalidateRect(s.Popup, nullptr, TRUE);
}

LRESULT EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  TState* s = StateOf(hwnd);
  if (!s) return DefWindowProcA(hwnd, msg, wParam, lParam);
  const WNDPROC old = s->OldProc;
  const bool showing = s->Popup && IsWindowVisible(s->Popup);
  switch (msg) {
    case WM_KEYDOWN:
      if (showing) {
        if (wParam == VK_DOWN || wParam == VK_UP) {
          MoveSelection(*s, wParam == VK_DOWN ? 1 : -1);
          return 0;
        }
        if (wParam == VK_ESCAPE) {
          HidePopup(*s);
          return 0;
        }
        if (wParam == VK_RETURN) {
          TakeItem(*s, s->Selection);
          HidePopup(*s);
        }
      }
      if (wParam == VK_DELETE) {
        const LRESULT r = CallWindowProcA(old, hwnd, msg, wParam, lParam);
        if (TState* again = StateOf(hwnd)) ShowSuggestions(*again);
        return r;
      }
      break;
    case WM_CHAR: {
      const LRESULT r = CallWindowProcA(old, hwnd, msg, wParam, lParam);
      const unsigned char ch = static_cast<unsigned char>(wParam);
      if (ch >= ' ' || ch == '\b')
        if (TState* again = StateOf(hwnd)) ShowSuggestions(*again);
      return r;
    }
    case WM_KILLFOCUS: HidePopup(*s); break;
    case WM_SETFOCUS: {
      // Pages loaded since the edit last had the focus are indexed now, so
      // the first key press does not wait for the rebuild.
      const LRESULT r = CallWindowProcA(old, hwnd, msg, wParam, lParam);
      TState* again = StateOf(hwnd);
      if (again && (SourcesOf(again->Flags) & SHACF_URLHISTORY)) History().Refresh();
      return r;
    }
    case WM_NCDESTROY: {
      SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
      if (s->Popup) DestroyWindow(s->Popup);
      States().erase(hwnd);
      return CallWindowProcA(old, hwnd, msg, wParam, lParam);
    }
    default: break;
  }
  return CallWindowProcA(old, hwnd, msg, wParam, lParam);
}

}  // namespace

std::vector<std::string> AutoCompleteSuggestions(const std::string& text, DWORD dwFlags) {
  std::vector<std::string> out;
  if (text.empty()) return out;
  const DWORD sources = SourcesOf(dwFlags);
  const std::string lower = AsciiLowerCase(text);
  const std::size_t limit = AutoSuggestMaxItems;
  if (sources & SHACF_URLMRU)
    for (std::string& u : TypedUrls())
      if (out.size() < limit && Matches(u, lower)) out.push_back(std::move(u));
  if (sources & SHACF_URLHISTORY) {
    std::vector<std::string> history;
    History().Find(lower, limit, history);
    for (std::string& u : history) out.push_back(std::move(u));
  }
  if (sources & SHACF_FILESYSTEM) FindPaths(text, (dwFlags & SHACF_FILESYS_DIRS) != 0, limit, out);
  // Each address once, in the order of the sources.
  std::vector<std::string> unique;
  std::set<std::string> seen;
  for (std::string& u : out)
    if (unique.size() < limit && seen.insert(u).second) unique.push_back(std::move(u));
  return unique;
}

HRESULT SHAutoComplete(HWND hwndEdit, DWORD dwFlags) {
  if (!IsWindow(hwndEdit)) return E_INVALIDARG;
  if (TState* s = StateOf(hwndEdit)) {
    s->Flags = dwFlags;
    return S_OK;
  }
  auto state = std::make_unique<TState>();
  state->Edit = hwndEdit;
  state->Flags = dwFlags;
  state->OldProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(hwndEdit, GWLP_WNDPROC));
  if (!state->OldProc) return E_INVALIDARG;
  States()[hwndEdit] = std::move(state);
  SetWindowLongPtrA(hwndEdit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&EditProc));
  return S_OK;
}

HWND GetAutoSuggestWindow(HWND hwndEdit) {
  TState* s = StateOf(hwndEdit);
  return s && s->Popup && IsWindowVisible(s->Popup) ? s->Popup : nullptr;
}

int GetAutoSuggestSelection(HWND hwndEdit) {
  TState* s = StateOf(hwndEdit);
  return s ? s->Selection : -1;
}

std::vector<std::string> GetAutoSuggestItems(HWND hwndEdit) {
  TState* s = StateOf(hwndEdit);
  return s && GetAutoSuggestWindow(hwndEdit) ? s->Items : std::vector<std::string>{};
}

}  // namespace win
