#include "platform/html/ScriptEngine.h"

namespace win::html {

// COM objects by ProgID for new ActiveXObject(name): none yet.
TComPtr<IDispatch> CreateScriptObject(const std::string& progId) { return {}; }

}  // namespace win::html
