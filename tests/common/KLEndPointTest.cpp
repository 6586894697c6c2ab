#include <gtest/gtest.h>

#include "FakePlatform.h"
#include "KLEndPoint.h"

namespace {

std::string ProtocolMessage(const std::string& p, const std::string& t) {
  return "Error: invalid protocol: " + p + " found in endpoint: " + t + "\n";
}
std::string HostMessage(const std::string& h, const std::string& t) {
  return " Error: hostname: " + h + " found in endpoint " + t +
         " is not valid IP address or can't be resolved to an IP address\n";
}
std::string PortMessage(const std::string& r, const std::string& t) {
  return "Error: invalid port: " + r + " found in endpoint " + t + "\n";
}

struct Case {
  std::string text;
  bool valid;
  std::string protocol, host;
  int32_t port;
  std::string error;
};

TEST(KLEndPoint, ParsesTextForms) {
  kl::ScopedFakePlatform fake;
  fake->resolvableNames = {"mgmt.example.test"};
  const std::string bad300 = "https://192.0.2.300:abc";
  const Case cases[] = {
      {"https://192.0.2.10:8443", true, "https", "192.0.2.10", 8443, ""},
      {"192.0.2.10", true, "http", "192.0.2.10", 80, ""},
      {"192.0.2.10:8080", true, "http", "192.0.2.10", 8080, ""},
      {"", true, "http", "", 80, ""},
      {"https://192.0.2.10:70000", true, "https", "192.0.2.10", 70000, ""},
      {"https;//192.0.2.10", true, "https", "192.0.2.10", 443, ""},
      {" HttPs ://192.0.2.10", true, "https", "192.0.2.10", 443, ""},
      {"https://mgmt.example.test:4443", true, "https", "mgmt.example.test", 4443, ""},
      {"http://10.1:81", true, "http", "10.1", 81, ""},             // inet_addr form, no lookup
      {"http://192. 0.2.10", true, "http", "192. 0.2.10", 80, ""},  // a dotted quad, no lookup
      // Beyond 32 bits saturates: a truncating atoi would wrap 4294967297 to 1.
      {"https://192.0.2.10:4294967297", true, "https", "192.0.2.10", 2147483647, ""},
      {"ftp://192.0.2.10:21", false, "ftp", "", 80, ProtocolMessage("ftp", "ftp://192.0.2.10:21")},
      {"//192.0.2.10", false, "//192.0.2.10", "", 80,
       ProtocolMessage("//192.0.2.10", "//192.0.2.10")},
      {"https://192.0.2.10:", false, "https", "192.0.2.10", 80,
       PortMessage("", "https://192.0.2.10:")},
      {"https://192.0.2.10:0", false, "https", "192.0.2.10", 80,
       PortMessage("0", "https://192.0.2.10:0")},
      {"https://192.0.2.10: 443", false, "https", "192.0.2.10", 80,
       PortMessage(" 443", "https://192.0.2.10: 443")},
      {"https://192.0.2.10:443/x", false, "https", "192.0.2.10", 80,
       PortMessage("443/x", "https://192.0.2.10:443/x")},
      {bad300, false, "https", "192.0.2.300", 80,
       HostMessage("192.0.2.300", bad300) + PortMessage("abc", bad300)},
      {"https://[2001:db8::1]:443", false, "https", "[2001", 80,
       HostMessage("[2001", "https://[2001:db8::1]:443") +
           PortMessage("db8::1]:443", "https://[2001:db8::1]:443")},
      {"https://nowhere.invalid", false, "https", "nowhere.invalid", 443,
       HostMessage("nowhere.invalid", "https://nowhere.invalid")},
      {"gopher://never.invalid", false, "gopher", "", 80,  // stops before the host lookup
       ProtocolMessage("gopher", "gopher://never.invalid")},
  };
  for (const Case& c : cases) {
    const KLEndPoint e(c.text);
    EXPECT_EQ(e.isValid, c.valid) << c.text;
    EXPECT_EQ(e.protocol, c.protocol) << c.text;
    EXPECT_EQ(e.host, c.host) << c.text;
    EXPECT_EQ(e.port, c.port) << c.text;
    EXPECT_EQ(e.errorMessage, c.error) << c.text;
  }
  EXPECT_EQ(fake->lookups, (std::vector<std::string>{"mgmt.example.test", "192.0.2.300", "[2001",
                                                     "nowhere.invalid"}));
}

TEST(KLEndPoint, CopyAssignmentAndEquality) {
  kl::ScopedFakePlatform fake;
  const KLEndPoint bad("ftp://192.0.2.11");
  const KLEndPoint copy(bad);  // only the message survives a copy
  EXPECT_FALSE(copy.isValid);
  EXPECT_EQ(copy.errorMessage, bad.errorMessage);
  EXPECT_EQ(copy.protocol + copy.host, "");
  KLEndPoint target("https://192.0.2.10:8443");
  target = bad;  // the target keeps its own fields
  EXPECT_FALSE(target.isValid);
  EXPECT_EQ(target, KLEndPoint("https://192.0.2.10:8443"));
  EXPECT_EQ(target.errorMessage, bad.errorMessage);
  target = KLEndPoint("http://192.0.2.12:81");
  EXPECT_TRUE(target.isValid);
  EXPECT_EQ(target.host + ":" + std::to_string(target.port) + target.errorMessage, "192.0.2.12:81");
  // Equality compares protocol, host and port only.
  EXPECT_EQ(KLEndPoint("192.0.2.10"), KLEndPoint("http://192.0.2.10:80"));
  EXPECT_NE(KLEndPoint("192.0.2.10"), KLEndPoint("https://192.0.2.10:80"));
  EXPECT_NE(KLEndPoint("192.0.2.10"), KLEndPoint("192.0.2.10:81"));
  EXPECT_NE(KLEndPoint("192.0.2.10"), KLEndPoint("192.0.2.1"));
}

}  // namespace
