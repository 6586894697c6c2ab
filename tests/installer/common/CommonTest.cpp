// The shared helpers: text and number rules, endpoints, the install log.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <functional>

#include "FakePlatform.h"
#include "KLEndPoint.h"
#include "KLHelper.h"
#include "KLInstallLog.h"
#include "LogText.h"

namespace {

using Strings = std::vector<std::string>;

TEST(KLHelper, SplitStringKeepsEmptyTokensAndTrimsTheRest) {
  const struct {
    std::string text, delimiter;
    Strings parts;
  } cases[] = {{" a , b ", ",", {"a", "b"}},
               {"\t a ,b\n", ",", {"\t a", "b\n"}},  // spaces only are trimmed
               {"a,,b,", ",", {"a", "", "b", ""}},
               {",a", ",", {"", "a"}},
               {"", ",", {""}},
               {"  no comma  ", ",", {"  no comma  "}},  // no delimiter: untrimmed
               {"a::b::c", "::", {"a", "b", "c"}},
               {"a:b", "::", {"a:b"}},
               {"x", "", {"x"}},
               // The rest is trimmed before the next search, unless it is spaces only.
               {"a   b", " ", {"a", "b"}},
               {"a,   ", ",", {"a", "   "}},
               {"a    ", " ", {"a", "", "", "", ""}},
               {"a,b , ", ", ", {"a,b", ""}}};
  for (const auto& c : cases)
    EXPECT_EQ(KLHelper::SplitString(c.text, c.delimiter), c.parts) << "[" << c.text << "]";
}

TEST(KLHelper, DecodeBase64NeverRefuses) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"TWFu", "Man"},
      {"TWE=", "Ma"},
      {"TQ==", "M"},
      {"TWE", "Ma"},
      {"T", "\x4f"},  // 'T' then a missing sextet (all ones)
      {"TW=u", "M"},
      {"TWE=TWFu", "Ma"},  // '=' ends the decoding
      {"TWF*", "Ma\xff"},  // outside the alphabet, 4th place
      {"*W*u", "\xfd\x6f\xee"},
      {"=WFu", "\xfd\x61\x6e"},               // ... counts as 63 in places 1-3
      {"TWFu\nTWFu", "Man\xfd\x35\x85\xbb"},  // a line break shifts the groups
      {KLHelper::EncodeBase64(std::string("\xff|\0x", 4)), std::string("\xff|\0x", 4)}};
  for (const auto& [in, out] : cases) EXPECT_EQ(KLHelper::DecodeBase64(in), out) << in;
}

TEST(KLHelper, IsValidIPIsAStrictDottedQuad) {
  for (const char* text :
       {"192.0.2.1", "0.0.0.0", "255.255.255.255", "1.2.3.010", " 192 . 0.2.1 "}) {
    EXPECT_TRUE(KLHelper::IsValidIP(text)) << text;
  }
  for (const char* text : {"256.1.1.1", "1.2.3", "1.2.3.4.", "1.2.3.4.5", "1.2.3.00", "1.2.3.-1",
                           "a.b.c.d", "", "1..2.3", "1.2.3.+4", "1.2.3.4294967297"}) {
    EXPECT_FALSE(KLHelper::IsValidIP(text)) << text;  // the last must not wrap around to 1
  }
}

TEST(KLHelper, ScanInt32SaturatesAndStopsAtTheFirstNonDigit) {
  const struct {
    const char* text;
    int32_t value;
    bool overflow, hasDigits;
  } cases[] = {{"42", 42, false, true},
               {" \t\n\v\f\r-7x", -7, false, true},
               {"+8443abc", 8443, false, true},
               {"2147483648", INT32_MAX, true, true},
               {"-2147483648", INT32_MIN, false, true},
               {"-2147483649", INT32_MIN, true, true},
               {"99999999999999999999999999", INT32_MAX, true, true},
               {"", 0, false, false},
               {"+-1", 0, false, false},
               {"\u00A05", 0, false, false}};  // a non-breaking space is not white space
  for (const auto& c : cases) {
    const KLHelper::ScannedInt r = KLHelper::ScanInt32(c.text);
    EXPECT_EQ(std::make_tuple(r.value, r.overflow, r.hasDigits),
              std::make_tuple(c.value, c.overflow, c.hasDigits))
        << c.text;
  }
}

TEST(KLEndPoint, ParsesTextForms) {
  kl::ScopedFakePlatform fake;
  fake->resolvableNames = {"mgmt.example.test"};
  // A message names the endpoint's text: one for a protocol other than http(s), then one for a bad
  // host, then one for the port's text `badPort`.
  const struct {
    std::string text;
    bool valid;
    std::string protocol, host;
    int32_t port;
    bool badHost = false;
    const char* badPort = nullptr;
  } cases[] = {
      {"https://192.0.2.10:8443", true, "https", "192.0.2.10", 8443},
      {"192.0.2.10", true, "http", "192.0.2.10", 80},
      {"192.0.2.10:8080", true, "http", "192.0.2.10", 8080},
      {"", true, "http", "", 80},
      {"https://192.0.2.10:70000", true, "https", "192.0.2.10", 70000},
      {"https;//192.0.2.10", true, "https", "192.0.2.10", 443},
      {" HttPs ://192.0.2.10", true, "https", "192.0.2.10", 443},
      {"https://mgmt.example.test:4443", true, "https", "mgmt.example.test", 4443},
      {"http://10.1:81", true, "http", "10.1", 81},    // inet_addr form, no lookup
      {"192.0.2.09", true, "http", "192.0.2.09", 80},  // decimal here, not octal: no lookup
      // Blanks and control characters fail, whatever inet_addr accepts; no lookup.
      {"http://192. 0.2.10", false, "http", "192. 0.2.10", 80, true},
      {"http://1.2.3.4 x", false, "http", "1.2.3.4 x", 80, true},
      {"http://1.2.3.4\n[main]\n", false, "http", "1.2.3.4\n[main]\n", 80, true},
      // Beyond 32 bits saturates: a truncating atoi would wrap 4294967297 to 1.
      {"https://192.0.2.10:4294967297", true, "https", "192.0.2.10", 2147483647},
      {"ftp://192.0.2.10:21", false, "ftp", "", 80},
      {"//192.0.2.10", false, "//192.0.2.10", "", 80},
      {"https://192.0.2.10:", false, "https", "192.0.2.10", 80, false, ""},
      {"https://192.0.2.10:0", false, "https", "192.0.2.10", 80, false, "0"},
      {"https://192.0.2.10: 443", false, "https", "192.0.2.10", 80, false, " 443"},
      {"https://192.0.2.10:443/x", false, "https", "192.0.2.10", 80, false, "443/x"},
      {"https://192.0.2.300:abc", false, "https", "192.0.2.300", 80, true, "abc"},
      {"https://[2001:db8::1]:443", false, "https", "[2001", 80, true, "db8::1]:443"},
      {"https://nowhere.invalid", false, "https", "nowhere.invalid", 443, true},
      {"gopher://never.invalid", false, "gopher", "", 80},  // stops before the host lookup
  };
  for (const auto& c : cases) {
    const KLEndPoint e(c.text);
    EXPECT_EQ(std::tie(e.isValid, e.protocol, e.host, e.port),
              std::tie(c.valid, c.protocol, c.host, c.port))
        << c.text;
    std::string error;
    if (c.protocol != "http" && c.protocol != "https")
      error = "Error: invalid protocol: " + c.protocol + " found in endpoint: " + c.text + "\n";
    if (c.badHost)
      error += " Error: hostname: " + c.host + " found in endpoint " + c.text +
               " is not valid IP address or can't be resolved to an IP address\n";
    if (c.badPort)
      error +=
          "Error: invalid port: " + std::string(c.badPort) + " found in endpoint " + c.text + "\n";
    EXPECT_EQ(e.errorMessage, error) << c.text;
  }
  EXPECT_EQ(fake->lookups, (std::vector<std::string>{"mgmt.example.test", "192.0.2.300", "[2001",
                                                     "nowhere.invalid"}));
}

TEST(KLEndPoint, CopyAssignmentAndEquality) {
  kl::ScopedFakePlatform fake;
  const KLEndPoint bad("ftp://192.0.2.11");
  const KLEndPoint copy(bad);  // only the message survives a copy
  EXPECT_FALSE(copy.isValid);
  EXPECT_EQ(copy.protocol + copy.host + copy.errorMessage, bad.errorMessage);
  KLEndPoint target("https://192.0.2.10:8443");
  target = bad;  // the target keeps its own fields
  EXPECT_FALSE(target.isValid);
  EXPECT_EQ(target, KLEndPoint("https://192.0.2.10:8443"));
  EXPECT_EQ(target.errorMessage, bad.errorMessage);
  // Equality (the key decoder's tests compare lists with it) takes protocol, host and port.
  EXPECT_EQ(KLEndPoint("192.0.2.10"), KLEndPoint("http://192.0.2.10:80"));
  for (const char* other : {"https://192.0.2.10:80", "192.0.2.10:81", "192.0.2.1"})
    EXPECT_NE(KLEndPoint("192.0.2.10"), KLEndPoint(other)) << other;
}

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
  EXPECT_EQ(kl::EscapeControlCharacters(std::string("a\nb\r\t\\ \x01\x7F\x1F\xC3\xA9~\0", 14)),
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
  const std::pair<std::function<void()>, std::string> cases[] = {
      {[&] { symlink(target, kLogPath); }, "it is a symbolic link"},
      {[] { close(creat(kLogPath, 0666)), chown(kLogPath, 65534, 0); }, "another user owns it"},
      {[&] { link(target, kLogPath); }, "it has more than one link"},
  };
  for (const auto& [plant, why] : cases) {
    SCOPED_TRACE(why);
    unlink(kLogPath);
    plant();
    kl::ScopedFakePlatform fake;
    LogInstallerMessage("must not", "arrive");
    EXPECT_EQ(kl::ReadWholeFile(target), "");
    EXPECT_EQ(kl::ReadWholeFile(kLogPath).find("arrive"), std::string::npos);
    const std::string said = "Install log /tmp/kelvor_install.log not written: " + why;
    EXPECT_EQ(fake->console, std::vector<std::string>{said});
  }
  unlink(target);
}

}  // namespace
