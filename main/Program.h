// The windowed program: the main window on the desktop, or rendered once
// without a display.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace vorra {

// Starts the application with the main window and runs until it closes.
int RunProgram(std::ostream& err);

// `--screenshot FILE.png [--tab N]`: starts up headless, renders the main
// window after start-up (on tab N) into FILE.png, shuts down as a closing
// window does.
int ScreenshotCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace vorra
