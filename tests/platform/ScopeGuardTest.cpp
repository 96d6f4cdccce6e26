#include "platform/win/ScopeGuard.h"

#include <stdexcept>

#include <gtest/gtest.h>

namespace win {
namespace {

TEST(ScopeGuard, CleansUpOnceOnEveryExitUnlessDismissed) {
  int runs = 0;
  EXPECT_THROW(
      {
        const auto cleanup = ScopeExit([&] { ++runs; });
        throw std::runtime_error("body");
      },
      std::runtime_error);
  EXPECT_EQ(runs, 1);

  { auto cleanup = ScopeExit([&] { ++runs; }); }
  EXPECT_EQ(runs, 2);
  {
    auto cleanup = ScopeExit([&] { ++runs; });
    cleanup.Dismiss();
  }
  EXPECT_EQ(runs, 2);

  // A failing cleanup after a normal exit is reported; during another failure the first one wins.
  EXPECT_THROW({ const auto cleanup = ScopeExit([] { throw std::logic_error("cleanup"); }); }, std::logic_error);
  EXPECT_THROW(
      {
        const auto cleanup = ScopeExit([] { throw std::logic_error("cleanup"); });
        throw std::runtime_error("body");
      },
      std::runtime_error);
}

}  // namespace
}  // namespace win
