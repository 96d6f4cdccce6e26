#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace vorra {

// vorra render FILE|URL --out FILE.png [--frame N] [--size WxH]: one frame
// of a movie as a PNG, background included, at the movie's own size or
// fitted into the given one. 0 when written, 1 when the movie, the frame,
// the size or the output fails, 2 on bad usage.
int RenderCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace vorra
