#include "main/Program.h"

#include <cstdlib>
#include <ostream>

#include "framework/Dialogs.h"
#include "framework/Forms.h"
#include "main/CliSupport.h"
#include "main/Main.h"
#include "platform/ui/Paint.h"

namespace vorra {

namespace {

void StartApplication() {
  Application->Initialize();
  InstallShellDialogs();
  Application->SetTitle("Vorra");
  Application->CreateForm(VorraMainFrm);
}

}  // namespace

int RunProgram(std::ostream& err) {
  const char* headless = std::getenv("VORRA_HEADLESS");
  const bool wantHeadless = headless && std::string(headless) == "1";
  if (!wantHeadless && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
    // An invisible window nobody can close would only hang the terminal.
    return cli::Fail(err, "no display (DISPLAY and WAYLAND_DISPLAY are unset); try 'vorra --screenshot FILE.png' or "
                          "'vorra --help'");
  }
  StartApplication();
  Application->Run();
  Application->Shutdown();
  return 0;
}

int ScreenshotCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  int tab = 0;
  const bool tabGiven = args.size() == 3 && args[1] == "--tab";
  if (tabGiven) {
    const std::string& t = args[2];
    tab = t.size() == 1 && t[0] >= '0' && t[0] <= '3' ? t[0] - '0' : -1;
  }
  if ((args.size() != 1 && !tabGiven) || args[0].empty() || tab < 0) {
    return cli::UsageError(err, "usage: vorra --screenshot FILE.png [--tab 0-3]\n");
  }
  setenv("VORRA_HEADLESS", "1", 1);
  StartApplication();
  VorraMainFrm->Show();
  if (tab != 0) {
    VorraMainFrm->MainPageControl->SetTabIndex(tab);
    VorraMainFrm->MainPageControlChange(VorraMainFrm->MainPageControl);
  }
  Application->ProcessMessages();
  const bool ok = win::RenderWindowToPng(VorraMainFrm->Handle(), args[0]);
  Application->Shutdown();
  if (!ok) return cli::Fail(err, "cannot write the picture " + args[0]);
  out << args[0] << '\n';
  return 0;
}

}  // namespace vorra
