// The movie player on hostile bytes: the container, the tag loop, the
// timelines (sprites placing themselves, absurd counts, gotos), and one
// small frame drawn. Bytes without a signature are taken as a plain body.
#include <cairo.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/flash/Player.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> bytes(data, data + size);
  if (size < 3 || data[1] != 'W' || data[2] != 'S') {
    const std::uint32_t length = static_cast<std::uint32_t>(size + 8);
    bytes.insert(bytes.begin(), {'F', 'W', 'S', 10, static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8),
                                 static_cast<std::uint8_t>(length >> 16), static_cast<std::uint8_t>(length >> 24)});
  }
  flash::TSwfFile file;
  if (!flash::DecodeSwfContainer(bytes, file, nullptr, 1u << 20)) return 0;
  auto movie = flash::TMovie::Parse(file);
  flash::TMoviePlayer player(movie, {.Work = 20000, .Instances = 500});
  const int frames = player.FrameCount();
  player.GotoFrame(frames / 2);
  player.Tick();
  player.GotoFrame(0);
  player.ShowFrame(frames - 1);
  player.Tick();

  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 32, 24);
  cairo_t* cr = cairo_create(surface);
  flash::TStageOptions options;
  options.MaxDraws = 5000;
  player.Render(cr, 32, 24, options);
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  return 0;
}
