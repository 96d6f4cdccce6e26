// The movie player control: a window class whose windows play a movie on a
// window timer at the movie's frame rate and paint it scaled into their
// client area. It is driven through its automation object (Movie,
// BackgroundColor, Play and the stock settings, by name or DISPID), which a
// host gets with FlashControlObject or WM_GETOBJECT / OBJID_NATIVEOM.
// Local files load at once; addresses (http, https, file) are fetched on a
// worker thread and handed back to the window, so the message loop never
// waits. A missing or damaged movie shows the background only.
#pragma once

#include <memory>
#include <string>

#include "platform/com/Com.h"
#include "platform/flash/Player.h"
#include "platform/ui/Window.h"

namespace flash {

inline constexpr const char* kFlashControlClass = "ShockwaveFlash";

// Registers the window class (again: nothing happens); false when it cannot.
bool RegisterFlashControlClass();

// The player's automation object with a reference for the caller; null for other windows.
win::IDispatch* FlashControlObject(win::HWND hwnd);

// The members of the automation object, with the IDs of the control's public interface.
namespace dispid {
inline constexpr win::DISPID ReadyState = -525;
inline constexpr win::DISPID Movie = 102;
inline constexpr win::DISPID Quality = 105;
inline constexpr win::DISPID Loop = 106;
inline constexpr win::DISPID FrameNum = 107;
inline constexpr win::DISPID Play = 112;
inline constexpr win::DISPID Stop = 113;
inline constexpr win::DISPID Back = 114;
inline constexpr win::DISPID Forward = 115;
inline constexpr win::DISPID Rewind = 116;
inline constexpr win::DISPID ScaleMode = 120;
inline constexpr win::DISPID BackgroundColor = 123;
inline constexpr win::DISPID TotalFrames = 124;
inline constexpr win::DISPID Playing = 125;
inline constexpr win::DISPID GotoFrame = 127;
inline constexpr win::DISPID CurrentFrame = 128;
inline constexpr win::DISPID IsPlaying = 129;
inline constexpr win::DISPID WMode = 133;
inline constexpr win::DISPID Scale = 137;
inline constexpr win::DISPID Quality2 = 141;
}  // namespace dispid

// ReadyState values.
inline constexpr int kReadyLoading = 0;
inline constexpr int kReadyComplete = 4;

// One player window's state; lives from WM_NCCREATE to WM_NCDESTROY.
class TFlashControl {
 public:
  explicit TFlashControl(win::HWND hwnd);
  ~TFlashControl();
  TFlashControl(const TFlashControl&) = delete;
  TFlashControl& operator=(const TFlashControl&) = delete;

  // A local path, or an http, https or file address; empty unloads.
  void SetMovie(const std::string& address);
  const std::string& Movie() const { return address_; }
  // 0xRRGGBB, or -1 for the movie's own colour.
  int BackgroundColor() const { return background_; }
  void SetBackgroundColor(int color);

  void Play();
  void Stop();
  bool Playing() const;
  void SetPlaying(bool playing);
  bool Loop() const { return loop_; }
  void SetLoop(bool loop);
  // From 0.
  void GotoFrame(int frame);
  int CurrentFrame() const;
  int TotalFrames() const;
  int ReadyState() const { return ready_; }

  // "Low", "Medium", "High", "AutoLow", "AutoHigh", "Best" (the name as the
  // player knows it; false for another).
  bool SetQuality2(const std::string& quality);
  const std::string& Quality2() const { return quality_; }
  // "ShowAll", "NoBorder", "ExactFit", "NoScale".
  bool SetScale(const std::string& scale);
  std::string Scale() const;
  TScaleMode ScaleMode() const { return scale_; }
  void SetScaleMode(TScaleMode mode);
  // "Window", "Opaque", "Transparent": kept for the host; the window always paints.
  bool SetWMode(const std::string& mode);
  const std::string& WMode() const { return wmode_; }

  win::IDispatch* Object() const { return object_; }
  TMoviePlayer& Player() { return *player_; }
  // Draws the current frame as the window would.
  void RenderTo(cairo_t* cr, int width, int height) const;

  win::LRESULT WndProc(win::UINT msg, win::WPARAM wParam, win::LPARAM lParam);

 private:
  struct TFetch;
  void Show(std::shared_ptr<const TMovie> movie);
  void UpdateTimer();
  void Paint();
  void CancelFetch();
  void FetchDone(std::uint64_t generation);
  void Redraw();

  win::HWND hwnd_;
  win::IDispatch* object_ = nullptr;
  std::string address_;
  int background_ = -1;
  bool loop_ = true;
  std::string quality_ = "High";
  TScaleMode scale_ = TScaleMode::smShowAll;
  std::string wmode_ = "Window";
  int ready_ = kReadyComplete;
  std::unique_ptr<TMoviePlayer> player_;
  bool timer_ = false;
  int timerInterval_ = 0;
  std::shared_ptr<TFetch> fetch_;
  std::uint64_t generation_ = 0;
};

// The state of a player window, or null.
TFlashControl* FlashControlOf(win::HWND hwnd);

// The automation object over a control (it answers E_UNEXPECTED once the window is gone).
win::IDispatch* NewFlashDispatch(TFlashControl* control);
void DetachFlashDispatch(win::IDispatch* object);

}  // namespace flash
