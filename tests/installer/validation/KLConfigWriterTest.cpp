// The lines appended to /tmp/kelvor.conf, the volume prefix, and the refusals.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>

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
    std::string expected;
  } cases[] = {
      {{}, kOne + Main("/", "/")},
      {{"192.0.2.10"}, kOne + Main("/", "/")},
      {{"192.0.2.10", "https://192.0.2.11:8443", "192.0.2.12:99"}, kTwo + Main("/", "/")},
  };
  for (const auto& c : cases) {
    unlink(kConf);
    EXPECT_EQ(Write(c.endpoints, "/"), 0);
    EXPECT_EQ(kl::ReadWholeFile(kConf), c.expected) << c.endpoints.size();
    // What --unless-activated takes for a complete block: each of these, and none cut short.
    EXPECT_TRUE(kl::EndsWithAppendedBlock("[server]\n" + c.expected, "/")) << c.endpoints.size();
    EXPECT_FALSE(kl::EndsWithAppendedBlock(c.expected.substr(c.expected.find('\n') + 1), "/"));
  }
  // Appended after the tool's section, every time.
  std::ofstream(kConf) << "[server]\n";
  ASSERT_EQ(Write({}, "/"), 0);
  ASSERT_EQ(Write({}, "/"), 0);
  EXPECT_EQ(kl::ReadWholeFile(kConf), "[server]\n" + kOne + Main("/", "/") + kOne + Main("/", "/"));
  EXPECT_TRUE(fake_->alerts.empty());
}

// Whatever let a value through, a control character in it never reaches the file: it would
// start lines or sections of its own.
TEST_F(ConfigWriterTest, AValueWithAControlCharacterWritesNothing) {
  for (const std::string field : {"host", "protocol", "prefix"}) {
    std::vector<KLEndPoint> endpoints{KLEndPoint("192.0.2.10"), KLEndPoint("192.0.2.11")};
    std::string prefix = "/";
    (field == "host"       ? endpoints[1].host
     : field == "protocol" ? endpoints[1].protocol
                           : prefix) += "\n[main]\n    homedir=/evil";
    fake_->alerts.clear();
    EXPECT_EQ(writeconfig(endpoints, &prefix[0]), 3) << field;
    EXPECT_EQ(fake_->alerts, Strings{"Error loading configuration file"}) << field;
    EXPECT_NE(access(kConf, F_OK), 0) << field;  // not even created
  }
}

// Files someone else may have put at the fixed path are never written through; a file of ours
// that others can read or write is tightened; a new one is private.
TEST_F(ConfigWriterTest, OnlyAPrivateRegularFileOfOursIsAppendedTo) {
  const auto ours = [] { std::ofstream(kConf) << "[server]\n"; };
  const struct {
    const char* name;
    std::function<void()> plant;
    bool written;
  } cases[] = {
      {"missing", [] {}, true},
      {"ours, readable by others", [&] { ours(), chmod(kConf, 0604); }, true},
      {"ours, readable by the group", [&] { ours(), chmod(kConf, 0640); }, true},
      {"another user's", [&] { ours(), chown(kConf, 65534, 65534); }, false},
      {"two links", [&] { ours(), link(kConf, "/tmp/kelvor.conf.2"); }, false},
      {"a FIFO", [] { mkfifo(kConf, 0600); }, false},
      {"a symbolic link",
       [] { close(creat("/tmp/kelvor.conf.2", 0600)), symlink("/tmp/kelvor.conf.2", kConf); },
       false},
      {"a directory", [] { mkdir(kConf, 0700); }, false},
  };
  for (const auto& c : cases) {
    unlink(kConf), rmdir(kConf), unlink("/tmp/kelvor.conf.2");
    fake_->alerts.clear();
    c.plant();
    struct stat before {};
    stat(kConf, &before);
    EXPECT_EQ(Write({}, "/"), c.written ? 0 : 3) << c.name;
    struct stat after {};
    ASSERT_EQ(stat(kConf, &after), 0) << c.name;
    if (c.written) {
      EXPECT_TRUE(fake_->alerts.empty()) << c.name;
      EXPECT_EQ(after.st_mode & 0777, 0600u) << c.name;
      EXPECT_NE(kl::ReadWholeFile(kConf).find(kOne + Main("/", "/")), std::string::npos);
    } else {
      EXPECT_EQ(fake_->alerts, Strings{"Error loading configuration file"}) << c.name;
      EXPECT_EQ(after.st_size, before.st_size) << c.name;
      EXPECT_EQ(after.st_mode, before.st_mode) << c.name;
    }
  }
  unlink("/tmp/kelvor.conf.2"), rmdir(kConf);
}

// A disk that fills up in the middle of the block: the file is left as the tool made it and the
// verdict is a failure, never half a block with a success.
TEST_F(ConfigWriterTest, AFailedAppendLeavesTheFileAsItWas) {
  const std::string tool = "[server]\n    server_0=127.0.0.1\n";
  std::ofstream(kConf) << tool;
  signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails instead of killing the test
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  for (const rlim_t room : {rlim_t{0}, rlim_t{7}, rlim_t{40}}) {
    rlimit limited = saved;
    limited.rlim_cur = tool.size() + room;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    fake_->alerts.clear();
    const int result = Write({"192.0.2.10", "https://192.0.2.11:8443"}, "/");
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(result, 3) << room;
    EXPECT_EQ(fake_->alerts, Strings{"Error loading configuration file"}) << room;
    EXPECT_EQ(kl::ReadWholeFile(kConf), tool) << room;
  }
  signal(SIGXFSZ, SIG_DFL);
}

// The key is decoded again; the prefix is the target volume, else the single applications
// directory less its last "Applications", cut at 255 bytes. A refusal writes nothing and shows
// only its alert.
TEST_F(ConfigWriterTest, WriteConfigurationDecodesTheKeyAgainOrRefuses) {
  const std::string longPath(300, 'v'), cut = longPath.substr(0, 255);
  const std::string noDestination = "Please go back and select destination first";
  const std::string controls = "Destination volume path can not contain control characters";
  const std::string twoEndpoints = "192.0.2.10,https://192.0.2.11:8443|42|1|x";
  const struct {
    const char* target;
    Strings directories;
    std::string written;  // or the alert
    std::string key = "";
  } cases[] = {
      {"/", {}, kTwo + Main("/", "/"), KLHelper::EncodeBase64(twoEndpoints)},
      {longPath.c_str(), {"/Applications"}, kOne + Main(cut, cut + "/")},
      {"", {"/G/Applications"}, kOne + Main("/G/", "/G/")},  // an empty target counts as none
      {nullptr, {"/Applications/Applications"}, kOne + Main("/Applications/", "/Applications/")},
      {"/", {}, "Invalid activation key format", KLHelper::EncodeBase64("192.0.2.10|42|1")},
      {nullptr, {}, noDestination},
      {nullptr, {"/A/Applications", "/B/Applications"}, noDestination},
      {nullptr, {"/opt/apps"}, noDestination},
      {"/Volumes/\xC3\xA9", {}, "Destination volume path can only contain ASCII characters"},
      {"/V\n[server]", {}, controls},
      {"/Volumes/X\x7F", {}, controls},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.written);
    unlink(kConf);
    fake_->alerts.clear();
    fake_->applicationDirectories = c.directories;
    const bool written = c.written.rfind(kOne, 0) == 0 || c.written.rfind(kTwo, 0) == 0;
    EXPECT_EQ(kl::WriteConfiguration(c.key, c.target), written);
    EXPECT_EQ(fake_->alerts, written ? Strings{} : Strings{c.written});
    EXPECT_EQ(kl::ReadWholeFile(kConf), written ? c.written : "");
  }
}

}  // namespace
