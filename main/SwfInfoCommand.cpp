#include "main/SwfInfoCommand.h"

#include <cstdio>
#include <optional>
#include <ostream>

#include "framework/Json.h"
#include "main/CliSupport.h"
#include "main/FlashUtils.h"

namespace vorra {

namespace {

constexpr const char* Usage = "usage: vorra swfinfo [--json] FILE...\n";

// What one file turned out to be; the facts that could not be read stay empty.
struct TSwfReport {
  std::string File;
  std::optional<TSwfFileInfo> Info;  // set once the signature is known
  bool HeaderRead = false;
  std::string Problem;  // empty when the file is a whole movie
};

TSwfReport Inspect(const std::string& file) {
  TSwfReport r{file, std::nullopt, false, {}};
  TSwfFileInfo info;
  std::string why;
  try {
    switch (ReadSwfFile(file, info, &why)) {
      case TSwfReadResult::rrCannotOpen:
        r.Problem = "cannot be read: " + why;
        return r;
      case TSwfReadResult::rrNotMovie:
        r.Problem = "not a Flash movie (it does not start with FWS, CWS or ZWS)";
        return r;
      case TSwfReadResult::rrShortHeader:
        r.Info = info;
        r.Problem = "cut short inside its header";
        return r;
      case TSwfReadResult::rrMovie:
        if (!info.LengthRead || !info.FrameRead) {
          r.Info = info;
          r.Problem = "cut short inside its header";
          return r;
        }
        break;
    }
  } catch (const ESwfError& e) {
    r.Info = info;
    r.Problem = std::string("damaged compressed header: ") + e.what();
    return r;
  }
  r.Info = info;
  r.HeaderRead = true;
  r.Problem = CheckSwfBody(file, info);
  return r;
}

std::string ColourText(std::int32_t background) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "#%02X%02X%02X", background & 0xFF, (background >> 8) & 0xFF,
                (background >> 16) & 0xFF);
  return buf;
}

TJsonObject JsonLine(const TSwfReport& r) {
  TJsonObject o;
  o.Add("file", r.File);
  if (r.Info) {
    o.Add("signature", r.Info->Signature);
    if (r.Info->VersionRead) o.Add("version", int{r.Info->Version});
    else o.AddNull("version");
    if (r.Info->LengthRead) o.Add("length", r.Info->FileLength);
    else o.AddNull("length");
  } else {
    o.AddNull("signature").AddNull("version").AddNull("length");
  }
  if (r.HeaderRead) {
    const TSwfHeader& h = r.Info->Header;
    o.Add("left", h.FrameRect.Left).Add("top", h.FrameRect.Top).Add("right", h.FrameRect.Right);
    o.Add("bottom", h.FrameRect.Bottom).Add("frames", h.FrameCount);
    if (h.HasBackground) o.Add("background", ColourText(h.Background));
    else o.AddNull("background");
  } else {
    for (const char* key : {"left", "top", "right", "bottom", "frames", "background"}) o.AddNull(key);
  }
  return o;
}

std::string TextLine(const TSwfReport& r) {
  const TSwfFileInfo& i = *r.Info;
  const TSwfHeader& h = i.Header;
  const char* form = i.Compression == TSwfCompression::scNone   ? "plain"
                     : i.Compression == TSwfCompression::scZlib ? "zlib"
                                                                : "LZMA";
  std::string line = r.File + ": " + i.Signature + " (" + form + ")";
  if (i.VersionRead) line += " version " + std::to_string(i.Version);
  if (i.LengthRead) line += ", length " + std::to_string(i.FileLength);
  if (!r.HeaderRead) return line;
  line += ", frame " + std::to_string(h.FrameRect.Left) + "," + std::to_string(h.FrameRect.Top) + "-" +
          std::to_string(h.FrameRect.Right) + "," + std::to_string(h.FrameRect.Bottom) + " (" +
          std::to_string(h.FrameRect.Right - h.FrameRect.Left) + "x" +
          std::to_string(h.FrameRect.Bottom - h.FrameRect.Top) + " px), " + std::to_string(h.FrameCount) +
          (h.FrameCount == 1 ? " frame" : " frames") + ", background " +
          (h.HasBackground ? ColourText(h.Background) : std::string("not set"));
  return line;
}

}  // namespace

int SwfInfoCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  bool json = false;
  bool options = true;
  std::vector<std::string> files;
  for (const std::string& a : args) {
    if (options && a == "--") {
      options = false;
    } else if (options && a == "--json") {
      json = true;
    } else if (options && a.size() > 1 && a[0] == '-') {
      err << "vorra swfinfo: unknown option " << a << '\n';
      return cli::UsageError(err, Usage);
    } else {
      files.push_back(a);
    }
  }
  if (files.empty()) return cli::UsageError(err, Usage);
  int status = 0;
  for (const std::string& file : files) {
    const TSwfReport r = Inspect(file);
    if (json) cli::PrintJson(out, JsonLine(r));
    else if (r.Info) out << TextLine(r) << '\n' << std::flush;
    if (!r.Problem.empty()) {
      cli::Say(err, file + ": " + r.Problem);
      status = cli::ExitFailed;
    }
  }
  return status;
}

}  // namespace vorra
