// The class library's message box: a modal form with the icon, the wrapped
// text and the buttons of a MessageBoxA call. Installed as the window
// layer's message box provider by the application object; the dialog hook
// (DialogHook.h) answers it instead when set.
#pragma once

#include <string>

#include "platform/ui/MessageBox.h"

namespace vorra {

void InstallMessageBoxProvider();
// What the provider does: asks the dialog hook, else shows the form.
int ShowMessageBoxForm(win::HWND Owner, const std::string& Text, const std::string& Caption, unsigned Type);

}  // namespace vorra
