#include "KLPlatformCocoa.h"

#include <cmath>

#include <gtest/gtest.h>

namespace {

TEST(CocoaPlatform, ClockUsesTheInstallerEpoch) {
  kl::CocoaPlatform cocoa;
  kl::DefaultPlatform plain;
  // Both count from 2001-01-01 UTC; a wrong epoch would be off by decades.
  EXPECT_LT(std::fabs(cocoa.AbsoluteTime() - plain.AbsoluteTime()), 60.0);
  EXPECT_GT(cocoa.AbsoluteTime(), 24 * 365.25 * 86400.0);  // after 2025
}

}  // namespace
