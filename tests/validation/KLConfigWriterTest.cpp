// The lines appended to /tmp/kelvor.conf, the volume prefix, and the refusals.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "FakePlatform.h"
#include "KLConfigWriter.h"
#include "KLHelper.h"
#include "LogText.h"

namespace {

using Strings = std::vector<std::string>;

const char kConf[] = "/tmp/kelvor.conf";

// The [main] section and the two empty lines for the volume prefix "/".
const std::string kMainForRoot =
    "[main]\n"
    "    logfilename=//var/log/Tervox/Kelvory/kelvor.log\n"
    "    loglevel=3\n"
    "    homedir=/Applications/Kelvory.app/Contents/Daemon/home/kelvor\n"
    "    thread_limitation=50\n"
    "    poll_delay=1\n"
    "    datablock_size=20\n"
    "\n"
    "\n";

std::vector<KLEndPoint> EndPoints(const Strings& texts) {
  std::vector<KLEndPoint> endpoints;
  for (const std::string& text : texts) endpoints.emplace_back(text);
  return endpoints;
}

class ConfigWriterTest : public ::testing::Test {
 protected:
  void SetUp() override { unlink(kConf); }
  void TearDown() override { unlink(kConf); }
  int Write(const Strings& endpoints, std::string prefix) {
    return writeconfig(EndPoints(endpoints), &prefix[0]);
  }
  kl::ScopedFakePlatform fake_;
};

TEST_F(ConfigWriterTest, LinesForEachEndpointCount) {
  const std::string second =
      "\tendpoint_size=2\n\tserver_1=192.0.2.11\n\tprotocol_1=https\n\tport_1=8443\n";
  const struct {
    Strings endpoints;
    std::string expected;
  } cases[] = {
      {{}, "\tendpoint_size=1\n" + kMainForRoot},
      {{"192.0.2.10"}, "\tendpoint_size=1\n" + kMainForRoot},
      {{"192.0.2.10", "https://192.0.2.11:8443"}, second + kMainForRoot},
      {{"192.0.2.10", "https://192.0.2.11:8443", "192.0.2.12:99"}, second + kMainForRoot},
  };
  for (const auto& c : cases) {
    unlink(kConf);
    EXPECT_EQ(Write(c.endpoints, "/"), 0);
    EXPECT_EQ(kl::ReadWholeFile(kConf), c.expected) << c.endpoints.size() << " endpoints";
  }
  EXPECT_TRUE(fake_->alerts.empty());
}

TEST_F(ConfigWriterTest, AnotherVolumeGetsASeparatorBeforeApplicationsOnly) {
  ASSERT_EQ(Write({}, "/Volumes/Data"), 0);
  const std::string text = kl::ReadWholeFile(kConf);
  EXPECT_NE(text.find("    logfilename=/Volumes/Data/var/log/Tervox/Kelvory/kelvor.log\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("    homedir=/Volumes/Data/Applications/Kelvory.app/Contents/Daemon/home/"
                      "kelvor\n"),
            std::string::npos)
      << text;
}

TEST_F(ConfigWriterTest, AppendsAfterTheToolsSectionEveryTime) {
  std::ofstream(kConf) << "[server]\n\tserver_0=127.0.0.1\n";
  ASSERT_EQ(Write({}, "/"), 0);
  ASSERT_EQ(Write({}, "/"), 0);
  const std::string block = "\tendpoint_size=1\n" + kMainForRoot;
  EXPECT_EQ(kl::ReadWholeFile(kConf), "[server]\n\tserver_0=127.0.0.1\n" + block + block);
}

TEST_F(ConfigWriterTest, SymbolicLinkIsRefusedAndItsTargetUntouched) {
  char target[] = "/tmp/kelvory_conf_target_XXXXXX";
  const int fd = mkstemp(target);
  ASSERT_GE(fd, 0);
  close(fd);
  ASSERT_EQ(symlink(target, kConf), 0);
  EXPECT_EQ(Write({"192.0.2.10"}, "/"), 3);
  EXPECT_EQ(fake_->alerts, Strings{"Error loading configuration file"});
  EXPECT_EQ(kl::ReadWholeFile(target), "");
  struct stat info {};
  EXPECT_TRUE(lstat(kConf, &info) == 0 && S_ISLNK(info.st_mode));
  unlink(target);
}

TEST(VolumePrefix, TargetVolumeOrTheSingleApplicationsDirectory) {
  const std::string longPath(300, 'v');
  const struct {
    const char* target;
    Strings directories;
    VolumePrefixResult result;
    std::string prefix;
  } cases[] = {
      {"/", {}, VolumePrefixResult::kOk, "/"},
      {"/Volumes/Data", {"/Applications"}, VolumePrefixResult::kOk, "/Volumes/Data"},
      {longPath.c_str(), {}, VolumePrefixResult::kOk, longPath.substr(0, 255)},
      {"/Volumes/D\xC3\xA4ta", {}, VolumePrefixResult::kNotASCII, ""},
      {nullptr, {"/Applications"}, VolumePrefixResult::kOk, "/"},
      {"", {"/usr/lib/GNUstep/Applications"}, VolumePrefixResult::kOk, "/usr/lib/GNUstep/"},
      {nullptr,
       {"/Applications/Tools/Applications"},
       VolumePrefixResult::kOk,
       "/Applications/Tools/"},
      {nullptr, {}, VolumePrefixResult::kNoDestination, ""},
      {nullptr, {"/Applications", "/Network/Applications"}, VolumePrefixResult::kNoDestination, ""},
      {nullptr, {"/opt/apps"}, VolumePrefixResult::kNoDestination, ""},
      {nullptr, {"/Programme/\xC3\x84/Applications"}, VolumePrefixResult::kNotASCII, ""},
  };
  for (const auto& c : cases) {
    std::string prefix = "stale";
    EXPECT_EQ(FindVolumePrefix(c.target, c.directories, &prefix), c.result)
        << (c.target ? c.target : "(none)");
    EXPECT_EQ(prefix, c.prefix) << (c.target ? c.target : "(none)");
  }
}

TEST_F(ConfigWriterTest, WriteConfigurationDecodesTheKeyAgainOrRefuses) {
  const std::string twoEndpoints =
      KLHelper::EncodeBase64("192.0.2.10,https://192.0.2.11:8443|42|1|x");
  ASSERT_TRUE(WriteConfiguration(twoEndpoints, "/"));
  EXPECT_EQ(kl::ReadWholeFile(kConf),
            "\tendpoint_size=2\n\tserver_1=192.0.2.11\n\tprotocol_1=https\n\tport_1=8443\n" +
                kMainForRoot);
  unlink(kConf);

  const struct {
    std::string key;
    const char* target;
    Strings directories;
    std::string alert;
  } refusals[] = {
      {KLHelper::EncodeBase64("192.0.2.10|42|1"), "/", {}, "Invalid activation key format"},
      {"",
       nullptr,
       {"/A/Applications", "/B/Applications"},
       "Please go back and select destination first"},
      {"", "/Volumes/\xC3\xA9", {}, "Destination volume path can only contain ASCII characters"},
  };
  for (const auto& r : refusals) {
    fake_->alerts.clear();
    fake_->applicationDirectories = r.directories;
    EXPECT_FALSE(WriteConfiguration(r.key, r.target)) << r.alert;
    EXPECT_EQ(fake_->alerts, Strings{r.alert});
    EXPECT_NE(access(kConf, F_OK), 0) << "written despite: " << r.alert;
  }
}

}  // namespace
