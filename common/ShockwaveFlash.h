// The movie player control as the windows of both deliverables host it:
// Movie, BackgroundColor and Play through the control's automation object
// by DISPID, and the host's mouse switch.
#pragma once

#include <string>

#include "framework/OleCtrls.h"

namespace vorra {

class TShockwaveFlash : public TOleControl {
 public:
  explicit TShockwaveFlash(TComponent* AOwner);

  std::wstring Movie();
  void SetMovie(const std::wstring& value);
  // 0xRRGGBB; -1 leaves the colour to the movie.
  int BackgroundColor();
  void SetBackgroundColor(int value);
  void Play();
};

}  // namespace vorra
