#include "platform/com/ComObjects.h"
#include "platform/html/ScriptEngine.h"
#include "platform/win/Utf8.h"

namespace win::html {

// new ActiveXObject(name) for names the page's own objects do not answer: the
// class registered for the ProgID, as the browser's script host creates it.
TComPtr<IDispatch> CreateScriptObject(const std::string& progId) {
  const std::u16string wide = Utf8ToUtf16(progId);
  CLSID clsid{};
  if (FAILED(CLSIDFromProgID(wide.c_str(), &clsid))) return {};
  TComPtr<IDispatch> object;
  if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                              reinterpret_cast<LPVOID*>(object.Put()))))
    return {};
  return object;
}

}  // namespace win::html
