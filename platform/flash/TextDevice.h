// Text in device fonts (the player's own faces, not the movie's), drawn
// through the window layer's fonts and laid onto cairo as a coverage mask.
#pragma once

#include <cairo.h>

#include <string>

#include "platform/flash/SwfTypes.h"
#include "platform/ui/Text.h"

namespace flash {

class TDeviceText {
 public:
  // `face` is the movie's font name ("_sans", "_serif", "_typewriter" or a
  // face); `pixelsPerTwip` the target's scale; `height` the em in twips.
  TDeviceText(const std::string& face, bool bold, bool italic, double pixelsPerTwip, double height);
  ~TDeviceText();
  TDeviceText(const TDeviceText&) = delete;
  TDeviceText& operator=(const TDeviceText&) = delete;

  bool Ok() const { return dc_ != nullptr; }
  // In twips.
  double Measure(const std::string& utf8) const;
  double Ascent() const { return ascent_ / scale_; }
  double LineHeight() const { return height_ / scale_; }
  // The baseline starts at device pixel (x, y).
  void Draw(cairo_t* cr, double x, double y, const std::string& utf8, TRgba color) const;

 private:
  double scale_;
  win::HDC dc_ = nullptr;
  win::HFONT font_ = nullptr;
  int ascent_ = 0, height_ = 0;
};

}  // namespace flash
