#include <gtest/gtest.h>

#include "FakePlatform.h"
#include "KLHelper.h"
#include "KLKeyDecoder.h"

namespace {

using Strings = std::vector<std::string>;

std::string Key(const std::string& decoded) { return KLHelper::EncodeBase64(decoded); }

const char kFormat[] = "Invalid activation key format";
const char kType[] = "Activation key is invalid for this agent type";
const char kEndpoint[] = "LRC checksum test failed";
const char kUnknown[] = "Unknown error";

TEST(KeyDecode, ResultsAlertsAndTheEndpointList) {
  const struct {
    std::string decoded;
    int32_t result;
    std::string alert;  // empty: none
    size_t listSize;    // the list held one earlier endpoint before the call
  } cases[] = {
      {"192.0.2.10||1|", 0, "", 2},  // empty identifier is 0
      {"192.0.2.10| 0042 | 8 |anything", 42, "", 2},
      {"192.0.2.10|7|9|", 7, "", 2},
      {"|7|1|", 7, "", 2},  // empty endpoint text is a valid endpoint
      {"192.0.2.10,,192.0.2.11,|7|1|", 7, "", 5},
      {"192.0.2.10|2147483647|1|", 2147483647, "", 2},
      // Endpoint and identifier faults empty the list; format and type faults keep it.
      {"192.0.2.10|2147483648|1|", -1, kUnknown, 0},  // never -1 for an accepted key
      {"192.0.2.10|4294967295|1|", -1, kUnknown, 0},
      {"192.0.2.10|-1|1|", -1, kUnknown, 0},
      {"192.0.2.10|4 2|1|", -1, kUnknown, 0},
      {"192.0.2.10|+42|1|", -1, kUnknown, 0},
      {"192.0.2.10|42|01|", -1, kType, 1},
      {"192.0.2.10|42|18|", -1, kType, 1},
      {"192.0.2.10|42|2|", -1, kType, 1},
      {"192.0.2.10|42|\t1|", -1, kType, 1},   // only spaces are trimmed
      {"192.0.2.10|42|1", -1, kFormat, 1},    // three fields
      {"192.0.2.10|42|1||", -1, kFormat, 1},  // five fields
      {"", -1, kFormat, 1},
      {"192.0.2.10,ftp://192.0.2.11|42|1|", -1, kEndpoint, 0},
      {"ftp://192.0.2.10|4x|1|", -1, kEndpoint, 0},  // endpoints are checked first
      {"ftp://192.0.2.10|4x|7|", -1, kType, 1},      // type before endpoints
  };
  for (const auto& c : cases) {
    kl::ScopedFakePlatform fake;
    std::vector<KLEndPoint> list{KLEndPoint("192.0.2.99")};
    EXPECT_EQ(keydecode(Key(c.decoded).c_str(), list), c.result) << c.decoded;
    EXPECT_EQ(fake->alerts, c.alert.empty() ? Strings{} : Strings{c.alert}) << c.decoded;
    EXPECT_EQ(list.size(), c.listSize) << c.decoded;
  }
  // Appended after what the list held, in the key's order.
  kl::ScopedFakePlatform fake;
  std::vector<KLEndPoint> list{KLEndPoint("192.0.2.99")};
  EXPECT_EQ(keydecode(Key("https://192.0.2.10:8443, 192.0.2.11 |4|1|").c_str(), list), 4);
  EXPECT_EQ(list, (std::vector<KLEndPoint>{KLEndPoint("192.0.2.99"),
                                           KLEndPoint("https://192.0.2.10:8443"),
                                           KLEndPoint("192.0.2.11")}));
}

TEST(KeyDecode, StopsAtTheFirstBadEndpointAndUsesTheKeyAsGiven) {
  kl::ScopedFakePlatform fake;
  std::vector<KLEndPoint> list;
  EXPECT_EQ(keydecode(Key("a.invalid,192.0.2.10:0,c.invalid|1|1|").c_str(), list), -1);
  EXPECT_EQ(keydecode(Key("a.invalid|1|3|").c_str(), list), -1);  // type first: no lookup
  EXPECT_EQ(fake->lookups, Strings{"a.invalid"});  // the third host is never asked about
  // The analysis keeps no endpoint of a refused key, not even the good ones before the bad one.
  EXPECT_TRUE(AnalyzeKey(Key("192.0.2.10,ftp://192.0.2.11|1|1|").c_str()).endpoints.empty());
  // A space before the key spoils the base64 groups; it is not trimmed.
  EXPECT_EQ(keydecode((" " + Key("192.0.2.10|1|1|")).c_str(), list), -1);
  EXPECT_EQ(fake->alerts, (Strings{kEndpoint, kType, kFormat}));
}

}  // namespace
