#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "KLInstallLog.h"

namespace {

const char kLogPath[] = "/tmp/kelvor_install.log";
const char kStamp[] = R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d)";

std::string ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The log path is shared by every process on the machine; ctest serializes these tests.
class InstallLogTest : public ::testing::Test {
 protected:
  void SetUp() override { unlink(kLogPath); }
  void TearDown() override { unlink(kLogPath); }
};

TEST_F(InstallLogTest, CreatesThenAppendsNeverTruncates) {
  {
    std::ofstream earlier(kLogPath);
    earlier << "earlier line\n";
  }
  LogInstallerMessage("InstallationData.xml was not found",
                      "User will be prompted for Activation parameters");
  LogInstallerMessage("second", "");
  const std::string text = ReadFile(kLogPath);
  const std::regex expected(std::string("earlier line\n") + kStamp +
                            "\tInstallationData.xml was not found -- User will be prompted for "
                            "Activation parameters\n" +
                            kStamp + "\tsecond -- \n");
  EXPECT_TRUE(std::regex_match(text, expected)) << text;
}

TEST_F(InstallLogTest, LineBreakInMessageSplitsTheEntry) {
  LogInstallerMessage("/pkgs/InstallationData.xml has been found\n", "");
  const std::string text = ReadFile(kLogPath);
  EXPECT_TRUE(std::regex_match(
      text,
      std::regex(std::string(kStamp) + "\t/pkgs/InstallationData.xml has been found\n -- \n")))
      << text;
}

TEST_F(InstallLogTest, MissingFileIsCreated) {
  LogInstallerMessage("m", "d");
  struct stat st {};
  ASSERT_EQ(stat(kLogPath, &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
}

TEST_F(InstallLogTest, SymbolicLinkIsNotFollowed) {
  char target[] = "/tmp/kelvor_log_target_XXXXXX";
  const int fd = mkstemp(target);
  ASSERT_GE(fd, 0);
  close(fd);
  ASSERT_EQ(symlink(target, kLogPath), 0);
  LogInstallerMessage("must not", "arrive");
  EXPECT_EQ(ReadFile(target), "");
  unlink(target);
}

TEST(DumpLog, NullFileIsIgnored) {
  DumpLog(nullptr, "a", "b");  // must not crash
  char path[] = "/tmp/kelvor_dump_XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  FILE* f = fdopen(fd, "a+");
  DumpLog(f, "m", "d");
  fclose(f);
  EXPECT_TRUE(std::regex_match(ReadFile(path), std::regex(std::string(kStamp) + "\tm -- d\n")));
  unlink(path);
}

}  // namespace
