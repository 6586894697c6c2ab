// The lines appended to /tmp/kelvor.conf, the volume prefix, and the refusals.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "FakePlatform.h"
#include "KLConfigWriter.h"
#include "KLHelper.h"
#include "LogText.h"

namespace {

using Strings = std::vector<std::string>;
const char kConf[] = "/tmp/kelvor.conf";

// The [main] section and the two empty lines, for the volume prefix `v` and its homedir prefix.
std::string Main(const std::string& v, const std::string& home) {
  return "[main]\n    logfilename=" + v + "/var/log/Tervox/Kelvory/kelvor.log\n    loglevel=3\n" +
         "    homedir=" + home + "Applications/Kelvory.app/Contents/Daemon/home/kelvor\n" +
         "    thread_limitation=50\n    poll_delay=1\n    datablock_size=20\n\n\n";
}
const std::string kOne = "\tendpoint_size=1\n";
const std::string kTwo =
    "\tendpoint_size=2\n\tserver_1=192.0.2.11\n\tprotocol_1=https\n\tport_1=8443\n";

class ConfigWriterTest : public ::testing::Test {
 protected:
  void SetUp() override { unlink(kConf); }
  void TearDown() override { unlink(kConf); }
  int Write(const Strings& texts, std::string prefix) {
    std::vector<KLEndPoint> endpoints(texts.begin(), texts.end());
    return writeconfig(endpoints, &prefix[0]);
  }
  kl::ScopedFakePlatform fake_;
};

TEST_F(ConfigWriterTest, LinesForEachEndpointCountAndVolume) {
  const struct {
    Strings endpoints;
    std::string prefix, expected;
  } cases[] = {
      {{}, "/", kOne + Main("/", "/")},
      {{"192.0.2.10"}, "/", kOne + Main("/", "/")},
      {{"192.0.2.10", "https://192.0.2.11:8443"}, "/", kTwo + Main("/", "/")},
      {{"192.0.2.10", "https://192.0.2.11:8443", "192.0.2.12:99"}, "/", kTwo + Main("/", "/")},
      {{}, "/Volumes/Data", kOne + Main("/Volumes/Data", "/Volumes/Data/")},
  };
  for (const auto& c : cases) {
    unlink(kConf);
    EXPECT_EQ(Write(c.endpoints, c.prefix), 0);
    EXPECT_EQ(kl::ReadWholeFile(kConf), c.expected) << c.endpoints.size() << " " << c.prefix;
  }
  // Appended after the tool's section, every time.
  std::ofstream(kConf) << "[server]\n";
  ASSERT_EQ(Write({}, "/"), 0);
  ASSERT_EQ(Write({}, "/"), 0);
  EXPECT_EQ(kl::ReadWholeFile(kConf), "[server]\n" + kOne + Main("/", "/") + kOne + Main("/", "/"));
  EXPECT_TRUE(fake_->alerts.empty());
}

TEST_F(ConfigWriterTest, SymbolicLinkIsRefusedAndItsTargetUntouched) {
  char target[] = "/tmp/kelvory_conf_target_XXXXXX";
  close(mkstemp(target));
  ASSERT_EQ(symlink(target, kConf), 0);
  EXPECT_EQ(Write({"192.0.2.10"}, "/"), 3);
  EXPECT_EQ(fake_->alerts, Strings{"Error loading configuration file"});
  EXPECT_EQ(kl::ReadWholeFile(target), "");
  unlink(target);
}

TEST(VolumePrefix, TargetVolumeOrTheSingleApplicationsDirectory) {
  using R = VolumePrefixResult;
  const std::string longPath(300, 'v');
  const struct {
    const char* target;
    Strings directories;
    R result;
    std::string prefix;
  } cases[] = {
      {"/", {}, R::kOk, "/"},
      {longPath.c_str(), {"/Applications"}, R::kOk, longPath.substr(0, 255)},
      {"/Volumes/D\xC3\xA4ta", {}, R::kNotASCII, ""},
      {nullptr, {"/Applications"}, R::kOk, "/"},
      {"", {"/usr/lib/GNUstep/Applications"}, R::kOk, "/usr/lib/GNUstep/"},
      {nullptr, {"/Applications/X/Applications"}, R::kOk, "/Applications/X/"},
      {nullptr, {}, R::kNoDestination, ""},
      {nullptr, {"/Applications", "/Network/Applications"}, R::kNoDestination, ""},
      {nullptr, {"/opt/apps"}, R::kNoDestination, ""},
  };
  for (const auto& c : cases) {
    std::string prefix = "stale";
    EXPECT_EQ(FindVolumePrefix(c.target, c.directories, &prefix), c.result) << c.prefix;
    EXPECT_EQ(prefix, c.prefix);
  }
}

TEST_F(ConfigWriterTest, WriteConfigurationDecodesTheKeyAgainOrRefuses) {
  ASSERT_TRUE(
      WriteConfiguration(KLHelper::EncodeBase64("192.0.2.10,https://192.0.2.11:8443|42|1|x"), "/"));
  EXPECT_EQ(kl::ReadWholeFile(kConf), kTwo + Main("/", "/"));
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
    EXPECT_FALSE(WriteConfiguration(r.key, r.target));
    EXPECT_EQ(fake_->alerts, Strings{r.alert});
    EXPECT_NE(access(kConf, F_OK), 0) << "written despite: " << r.alert;
  }
}

}  // namespace
