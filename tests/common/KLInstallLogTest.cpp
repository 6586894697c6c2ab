#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <functional>

#include "FakePlatform.h"
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
  // Callers escape the values they log: controls and the backslash only.
  EXPECT_EQ(EscapeControlCharacters(std::string("a\nb\r\t\\ \x01\x7F\x1F\xC3\xA9~\0", 14)),
            "a\\nb\\r\\t\\\\ \\x01\\x7F\\x1F\xC3\xA9~\\x00");
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

// A log someone else put there is skipped with a console line; the caller goes on.
TEST_F(InstallLogTest, ALogThatIsNotOursIsNotWrittenThrough) {
  char target[] = "/tmp/kelvor_log_target_XXXXXX";
  close(mkstemp(target));
  const struct {
    const char* name;
    std::function<void()> plant;
    std::string why;
  } cases[] = {
      {"symbolic link", [&] { symlink(target, kLogPath); }, "it is a symbolic link"},
      {"another user's", [] { close(creat(kLogPath, 0666)), chown(kLogPath, 65534, 0); },
       "another user owns it"},
      {"hard link", [&] { link(target, kLogPath); }, "it has more than one link"},
  };
  for (const auto& c : cases) {
    unlink(kLogPath);
    c.plant();
    kl::ScopedFakePlatform fake;
    LogInstallerMessage("must not", "arrive");
    EXPECT_EQ(kl::ReadWholeFile(target), "") << c.name;
    EXPECT_EQ(kl::ReadWholeFile(kLogPath).find("arrive"), std::string::npos) << c.name;
    EXPECT_EQ(fake->console, std::vector<std::string>{"Install log /tmp/kelvor_install.log "
                                                      "not written: " +
                                                      c.why})
        << c.name;
  }
  unlink(target);
}

}  // namespace
