// Cleanup that runs when a scope ends, by return or by exception, in place of
// a catch-cleanup-rethrow block and its copy after the try.
#pragma once

#include <exception>
#include <utility>

namespace win {

template <typename F>
class TScopeGuard {
 public:
  explicit TScopeGuard(F cleanup) : cleanup_(std::move(cleanup)), uncaught_(std::uncaught_exceptions()) {}
  TScopeGuard(const TScopeGuard&) = delete;
  TScopeGuard& operator=(const TScopeGuard&) = delete;

  // A cleanup that throws on a normal exit passes its exception on, as the
  // code after a try block would; while another exception is on its way
  // that one wins.
  ~TScopeGuard() noexcept(false) {
    if (!armed_) return;
    if (std::uncaught_exceptions() > uncaught_) {
      try {
        cleanup_();
      } catch (...) {
      }
    } else {
      cleanup_();
    }
  }

  // The cleanup is not needed after all (it was for failures only).
  void Dismiss() { armed_ = false; }

 private:
  F cleanup_;
  int uncaught_;
  bool armed_ = true;
};

template <typename F>
[[nodiscard]] TScopeGuard<F> ScopeExit(F cleanup) {
  return TScopeGuard<F>(std::move(cleanup));
}

}  // namespace win
