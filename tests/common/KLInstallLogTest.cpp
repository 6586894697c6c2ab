#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "KLInstallLog.h"
#include "LogText.h"

namespace {

const char kLogPath[] = "/tmp/kelvor_install.log";

// The log path is shared by every process on the machine; ctest serializes these tests.
class InstallLogTest : public ::testing::Test {
 protected:
  void SetUp() override { unlink(kLogPath); }
  void TearDown() override { unlink(kLogPath); }
};

// MaskStamps masks only stamps of the current local time in month/day/year order.
TEST_F(InstallLogTest, CreatesThenAppendsNeverTruncates) {
  LogInstallerMessage("first", "created");
  EXPECT_EQ(kl::MaskedInstallLog(), "STAMP\tfirst -- created\n");
  { std::ofstream(kLogPath, std::ios::app) << "someone else's line\n"; }
  LogInstallerMessage("/pkgs/InstallationData.xml has been found\n", "");
  LogInstallerMessage("second", "");
  DumpLog(nullptr, "no file", "must not crash");
  EXPECT_EQ(kl::MaskedInstallLog(),
            "STAMP\tfirst -- created\nsomeone else's line\n"
            "STAMP\t/pkgs/InstallationData.xml has been found\n -- \nSTAMP\tsecond -- \n");
}

TEST_F(InstallLogTest, SymbolicLinkIsNotFollowed) {
  char target[] = "/tmp/kelvor_log_target_XXXXXX";
  const int fd = mkstemp(target);
  ASSERT_GE(fd, 0);
  close(fd);
  ASSERT_EQ(symlink(target, kLogPath), 0);
  LogInstallerMessage("must not", "arrive");
  EXPECT_EQ(kl::ReadWholeFile(target), "");
  unlink(target);
}

}  // namespace
