#include <gtest/gtest.h>

#include "FakePlatform.h"
#include "KLHelper.h"
#include "KLKeyDecoder.h"

namespace {

using Strings = std::vector<std::string>;

std::string Key(const std::string& decoded) { return KLHelper::EncodeBase64(decoded); }

struct Decoded {
  int32_t result;
  std::vector<KLEndPoint> endpoints;
  Strings alerts;
  Strings lookups;
};

Decoded Decode(const std::string& decodedText, std::vector<KLEndPoint> start = {}) {
  kl::ScopedFakePlatform fake;
  fake->resolvableNames = {"mgmt.example.test"};
  Decoded d;
  d.endpoints = std::move(start);
  d.result = keydecode(Key(decodedText).c_str(), d.endpoints);
  d.alerts = fake->alerts;
  d.lookups = fake->lookups;
  return d;
}

const char kFormat[] = "Invalid activation key format";
const char kType[] = "Activation key is invalid for this agent type";
const char kEndpoint[] = "LRC checksum test failed";
const char kUnknown[] = "Unknown error";

TEST(KeyDecode, AcceptsAndKeepsEndpointOrder) {
  const Decoded d = Decode("https://192.0.2.10:8443, 192.0.2.11 ,http://mgmt.example.test|42|1|x");
  EXPECT_EQ(d.result, 42);
  EXPECT_TRUE(d.alerts.empty());
  ASSERT_EQ(d.endpoints.size(), 3u);
  EXPECT_EQ(d.endpoints[0], KLEndPoint("https://192.0.2.10:8443"));
  EXPECT_EQ(d.endpoints[1].host, "192.0.2.11");
  EXPECT_EQ(d.endpoints[1].protocol, "http");
  EXPECT_EQ(d.endpoints[2].host, "mgmt.example.test");
  EXPECT_TRUE(d.endpoints[2].isValid);
}

TEST(KeyDecode, ResultsAndAlertsByCase) {
  const struct {
    std::string decoded;
    int32_t result;
    std::string alert;  // empty: none
    size_t endpoints;
  } cases[] = {
      {"192.0.2.10||1|", 0, "", 1},  // empty identifier is 0
      {"192.0.2.10| 0042 | 8 |anything", 42, "", 1},
      {"192.0.2.10|7|9|", 7, "", 1},
      {"|7|1|", 7, "", 1},  // empty endpoint text is a valid endpoint
      {"192.0.2.10,,192.0.2.11,|7|1|", 7, "", 4},
      {"192.0.2.10|2147483647|1|", 2147483647, "", 1},
      {"192.0.2.10|2147483648|1|", -1, kUnknown, 0},  // never yields -1 for an accepted key
      {"192.0.2.10|4294967295|1|", -1, kUnknown, 0},
      {"192.0.2.10|-1|1|", -1, kUnknown, 0},
      {"192.0.2.10|4 2|1|", -1, kUnknown, 0},
      {"192.0.2.10|+42|1|", -1, kUnknown, 0},
      {"192.0.2.10|42|01|", -1, kType, 0},
      {"192.0.2.10|42|18|", -1, kType, 0},
      {"192.0.2.10|42|2|", -1, kType, 0},
      {"192.0.2.10|42|\t1|", -1, kType, 0},   // only spaces are trimmed
      {"192.0.2.10|42|1", -1, kFormat, 0},    // three fields
      {"192.0.2.10|42|1||", -1, kFormat, 0},  // five fields
      {"", -1, kFormat, 0},
      {"ftp://192.0.2.10|42|1|", -1, kEndpoint, 0},
      {"ftp://192.0.2.10|4x|1|", -1, kEndpoint, 0},  // endpoints are checked first
      {"ftp://192.0.2.10|4x|7|", -1, kType, 0},      // type before endpoints
  };
  for (const auto& c : cases) {
    const Decoded d = Decode(c.decoded);
    EXPECT_EQ(d.result, c.result) << c.decoded;
    EXPECT_EQ(d.alerts, c.alert.empty() ? Strings{} : Strings{c.alert}) << c.decoded;
    EXPECT_EQ(d.endpoints.size(), c.endpoints) << c.decoded;
  }
}

TEST(KeyDecode, ListEmptiedOnEndpointAndIdentifierFaultsOnly) {
  const std::vector<KLEndPoint> earlier{KLEndPoint("192.0.2.99")};
  EXPECT_EQ(Decode("192.0.2.10|1|1", earlier).endpoints.size(), 1u);   // format
  EXPECT_EQ(Decode("192.0.2.10|1|5|", earlier).endpoints.size(), 1u);  // type
  EXPECT_EQ(Decode("192.0.2.10,ftp://x|1|1|", earlier).endpoints.size(), 0u);
  EXPECT_EQ(Decode("192.0.2.10|x|1|", earlier).endpoints.size(), 0u);
  // Success appends after what was there.
  const Decoded ok = Decode("192.0.2.10|1|1|", earlier);
  ASSERT_EQ(ok.endpoints.size(), 2u);
  EXPECT_EQ(ok.endpoints[0].host, "192.0.2.99");
}

TEST(KeyDecode, StopsAtFirstBadEndpointWithoutLookingFurther) {
  const Decoded d = Decode("a.invalid,192.0.2.10:0,c.invalid|1|1|");
  EXPECT_EQ(d.alerts, Strings{kEndpoint});
  EXPECT_EQ(d.lookups, Strings{"a.invalid"});  // the third host is never asked about
  const Decoded wrongType = Decode("a.invalid|1|3|");
  EXPECT_TRUE(wrongType.lookups.empty());  // type checked before any endpoint
}

TEST(KeyDecode, KeyIsUsedAsGiven) {
  kl::ScopedFakePlatform fake;
  std::vector<KLEndPoint> list;
  // A space before the key spoils the base64 groups; it is not trimmed.
  EXPECT_EQ(keydecode((" " + Key("192.0.2.10|1|1|")).c_str(), list), -1);
  EXPECT_EQ(keydecode(Key("192.0.2.10|1|1|").c_str(), list), 1);
}

TEST(AnalyzeKey, ReportsWhyAnEndpointWasRejected) {
  kl::ScopedFakePlatform fake;
  const KeyAnalysis a = AnalyzeKey(Key("https://192.0.2.10,ftp://192.0.2.11|42|1|x").c_str());
  EXPECT_EQ(a.status, kKeyDecodeBadEndpoint);
  EXPECT_EQ(a.decoded, "https://192.0.2.10,ftp://192.0.2.11|42|1|x");
  EXPECT_EQ(a.fields.size(), 4u);
  EXPECT_EQ(a.rejectedEndpointText, "ftp://192.0.2.11");
  EXPECT_EQ(a.rejectedEndpointMessage,
            "Error: invalid protocol: ftp found in endpoint: ftp://192.0.2.11\n");
  EXPECT_TRUE(a.endpoints.empty());
  EXPECT_TRUE(fake->alerts.empty());  // analysis shows nothing
}

}  // namespace
