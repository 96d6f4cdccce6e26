#include "main/RenderCommand.h"

#include <cairo.h>

#include <charconv>
#include <cmath>
#include <ostream>

#include "main/CliSupport.h"
#include "platform/flash/Player.h"
#include "platform/net/DownloadText.h"
#include "platform/net/PageFetch.h"
#include "platform/ui/Png.h"

namespace vorra {

namespace {

constexpr const char* Usage = "usage: vorra render FILE|URL --out FILE.png [--frame N] [--size WxH]\n";
constexpr int kMaxSide = 8192;
// Replaying frames and nested sprites of a hostile movie stops here.
constexpr long kWorkLimit = 20'000'000;

bool ParseInt(const std::string& text, int& value) {
  const char* end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && p == end;
}

bool ParseSize(const std::string& text, int& w, int& h) {
  const auto x = text.find_first_of("xX");
  return x != std::string::npos && ParseInt(text.substr(0, x), w) && ParseInt(text.substr(x + 1), h) && w > 0 &&
         h > 0 && w <= kMaxSide && h <= kMaxSide;
}

std::shared_ptr<flash::TMovie> Load(const std::string& source, std::string& why) {
  if (!win::net::IsUrlAddress(source)) {
    auto movie = flash::LoadMovieFile(source, &why);
    if (!movie && why.find("Flash movie") == std::string::npos) why = "cannot be read: " + why;
    return movie;
  }
  win::net::TPageRequest request;
  request.Address = source;
  request.MaxBytes = flash::kMaxMovieBytes + 17;
  win::net::TPageResponse response;
  const win::HRESULT hr = win::net::FetchPage(request, response);
  if (win::FAILED(hr)) {
    why = "cannot be fetched: " + cli::ReasonText(hr);
    return nullptr;
  }
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(response.Body.data());
  return flash::LoadMovieBytes(std::span(bytes, response.Body.size()), &why);
}

}  // namespace

int RenderCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string source, output, frameText, sizeText;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--out" && hasValue) output = args[++i];
    else if (a == "--frame" && hasValue) frameText = args[++i];
    else if (a == "--size" && hasValue) sizeText = args[++i];
    else if (a.size() > 1 && a[0] == '-') return cli::UsageError(err, Usage);
    else if (source.empty()) source = a;
    else return cli::UsageError(err, Usage);
  }
  if (source.empty() || output.empty()) return cli::UsageError(err, Usage);

  int frame = 1, width = 0, height = 0;
  if (!frameText.empty() && (!ParseInt(frameText, frame) || frame < 1))
    return cli::Fail(err, "--frame " + frameText + ": give a frame number from 1");
  if (!sizeText.empty() && !ParseSize(sizeText, width, height))
    return cli::Fail(err, "--size " + sizeText + ": give WIDTHxHEIGHT, each from 1 to " + std::to_string(kMaxSide));

  std::string why;
  std::shared_ptr<flash::TMovie> movie = Load(source, why);
  if (!movie) return cli::Fail(err, source + ": " + why);

  flash::TMoviePlayer player(movie, {.Work = kWorkLimit, .Instances = 20000});
  if (frame > player.FrameCount())
    return cli::Fail(err, "--frame " + frameText + ": " + source + " has " + std::to_string(player.FrameCount()) +
                              (player.FrameCount() == 1 ? " frame" : " frames"));
  player.ShowFrame(frame - 1);

  if (sizeText.empty()) {
    const flash::TRectTw& r = movie->FrameRect;
    const double w = std::round((static_cast<double>(r.XMax) - r.XMin) / 20.0);
    const double h = std::round((static_cast<double>(r.YMax) - r.YMin) / 20.0);
    if (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide)
      return cli::Fail(err, source + ": its frame is " + std::to_string(static_cast<long long>(w)) + "x" +
                                std::to_string(static_cast<long long>(h)) + " pixels; give --size WxH");
    width = static_cast<int>(w);
    height = static_cast<int>(h);
  }

  win::BITMAPINFO bi{};
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;
  void* bits = nullptr;
  win::HBITMAP dib = win::CreateDIBSection(nullptr, &bi, win::DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!dib || !bits) return cli::Fail(err, "out of memory for a " + std::to_string(width) + "x" + std::to_string(height) + " picture");
  cairo_surface_t* surface =
      cairo_image_surface_create_for_data(static_cast<unsigned char*>(bits), CAIRO_FORMAT_ARGB32, width, height, width * 4);
  cairo_t* cr = cairo_create(surface);
  player.Render(cr, width, height, flash::TStageOptions{});
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  cairo_surface_destroy(surface);
  const bool written = win::SavePng(output, dib);
  win::DeleteObject(dib);
  if (!written) return cli::Fail(err, output + ": cannot be written");
  out << output << ": frame " << frame << " of " << source << ", " << width << "x" << height << '\n';
  return cli::ExitOk;
}

}  // namespace vorra
