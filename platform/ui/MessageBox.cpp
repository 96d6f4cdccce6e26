#include "platform/ui/MessageBox.h"

#include <cstdio>
#include <utility>

namespace win {
namespace {

TMessageBoxProvider& Provider() {
  static TMessageBoxProvider provider;
  return provider;
}

}  // namespace

int MessageBoxButtons(UINT type, int* ids) {
  int tmp[3];
  if (!ids) ids = tmp;
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: ids[0] = IDOK, ids[1] = IDCANCEL; return 2;
    case MB_ABORTRETRYIGNORE: ids[0] = IDABORT, ids[1] = IDRETRY, ids[2] = IDIGNORE; return 3;
    case MB_YESNOCANCEL: ids[0] = IDYES, ids[1] = IDNO, ids[2] = IDCANCEL; return 3;
    case MB_YESNO: ids[0] = IDYES, ids[1] = IDNO; return 2;
    case MB_RETRYCANCEL: ids[0] = IDRETRY, ids[1] = IDCANCEL; return 2;
    default: ids[0] = IDOK; return 1;
  }
}

int MessageBoxDefaultButton(UINT type) {
  int ids[3];
  const int n = MessageBoxButtons(type, ids);
  int index = 0;
  switch (type & MB_DEFMASK) {
    case MB_DEFBUTTON2: index = 1; break;
    case MB_DEFBUTTON3: index = 2; break;
    default: break;
  }
  // A default beyond the buttons falls back to the first, as Windows does.
  return ids[index < n ? index : 0];
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  if (!text) text = "";
  if (!caption) caption = "Error";
  // A copy: the provider may replace itself while its box is up.
  if (const TMessageBoxProvider provider = Provider()) return provider(owner, text, caption, type);
  std::fprintf(stderr, "%s: %s\n", caption, text);
  std::fflush(stderr);
  return MessageBoxDefaultButton(type);
}

TMessageBoxProvider SetMessageBoxProvider(TMessageBoxProvider provider) {
  return std::exchange(Provider(), std::move(provider));
}

}  // namespace win
