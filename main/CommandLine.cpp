#include "main/CommandLine.h"

#include <ostream>
#include <string>
#include <vector>

#include "main/CacheCommand.h"
#include "main/CliSupport.h"
#include "main/FetchCommand.h"
#include "main/GetCommand.h"
#include "main/Program.h"
#include "main/RenderCommand.h"
#include "main/SwfInfoCommand.h"

#ifndef VORRA_VERSION
#define VORRA_VERSION "0"
#endif

namespace vorra {

namespace {

void Usage(std::ostream& os) {
  os << "Vorra " VORRA_VERSION ": saves the Flash movies that web pages embed.\n"
        "\n"
        "usage:\n"
        "  vorra                            opens the main window\n"
        "  vorra --screenshot FILE.png [--tab N]\n"
        "                                   renders the main window (on tab N, 0-3)\n"
        "                                   without a display\n"
        "  vorra swfinfo [--json] FILE...   the header facts of Flash movies\n"
        "  vorra fetch URL [FILE]           downloads one movie (into the default folder\n"
        "                                   when FILE is omitted; never over a file)\n"
        "  vorra get URL [--out DIR] [--list] [--json] [--no-scripts]\n"
        "                                   loads a page and saves its movies into DIR\n"
        "                                   (default: the default folder); --list only lists;\n"
        "                                   --no-scripts runs none of the page's scripts\n"
        "  vorra render FILE|URL --out FILE.png [--frame N] [--size WxH]\n"
        "                                   one frame of a movie as a picture (frame 1 at\n"
        "                                   the movie's size by default; fitted into WxH)\n"
        "  vorra cache list [--json]        the movies in the download cache, newest first\n"
        "  vorra cache clear                deletes the listed movies from the cache\n"
        "  vorra --help | --version\n";
}

}  // namespace

int RunCommandLine(int argc, char** argv, std::ostream& out, std::ostream& err) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return RunProgram(err);
  const std::string& verb = args.front();
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (verb == "--help" || verb == "-h" || verb == "help") {
    Usage(out);
    return 0;
  }
  if (verb == "--version") {
    out << "vorra " VORRA_VERSION "\n";
    return 0;
  }
  if (verb == "--screenshot") return ScreenshotCommand(rest, out, err);
  if (verb == "swfinfo") return SwfInfoCommand(rest, out, err);
  if (verb == "cache") return CacheCommand(rest, out, err);
  if (verb == "fetch") return FetchCommand(rest, out, err);
  if (verb == "get") return GetCommand(rest, out, err);
  if (verb == "render") return RenderCommand(rest, out, err);
  cli::Say(err, "unknown command '" + verb + "'");
  Usage(err);
  return cli::ExitUsage;
}

}  // namespace vorra
