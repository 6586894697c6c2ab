#include <gtest/gtest.h>

#include "FakePlatform.h"
#include "KLHelper.h"

namespace {

using Strings = std::vector<std::string>;

TEST(TrimSpace, RemovesOnlyOuterSpaces) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"  a b  ", "a b"}, {"\t a ", "\t a"},  // a tab is not a space
      {"   ", "   "},                         // only spaces: nothing to anchor on, unchanged
      {"", ""},           {"a\n ", "a\n"},   {" x", "x"},
  };
  for (const auto& c : cases) {
    std::string text = c.in;
    KLHelper::TrimSpace(text);
    EXPECT_EQ(text, c.out) << "input [" << c.in << "]";
  }
}

TEST(SplitString, KeepsEmptyTokensAndTrims) {
  const struct {
    std::string text, delimiter;
    Strings parts;
  } cases[] = {
      {"a,b", ",", {"a", "b"}},
      {" a , b ", ",", {"a", "b"}},
      {"a,,b", ",", {"a", "", "b"}},
      {"a,", ",", {"a", ""}},
      {",a", ",", {"", "a"}},
      {"", ",", {""}},
      {"  no comma  ", ",", {"  no comma  "}},  // no delimiter: untrimmed
      {"a::b::c", "::", {"a", "b", "c"}},
      {"a:b", "::", {"a:b"}},
      {"x", "", {"x"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(KLHelper::SplitString(c.text, c.delimiter), c.parts) << "[" << c.text << "]";
  }
}

TEST(DecodeBase64, EdgeRules) {
  const struct {
    const char* in;
    std::string out;
  } cases[] = {
      {"", ""},
      {"TWFu", "Man"},
      {"TWE=", "Ma"},
      {"TQ==", "M"},
      {"TWE", "Ma"},                                   // unpadded three: two bytes
      {"TQ", "M"},                                     // unpadded two: one byte
      {"T", std::string(1, static_cast<char>(0x4F))},  // 'T'=19: 010011 then two 1-bits
      {"TQ==TWFu", "M"},                               // padding ends the decoding
      {"TW=u", "M"},                                   // '=' third: first byte only
      {"TWE=TWFu", "Ma"},
      {"TWF*", std::string("Ma") + static_cast<char>(0xFF)},  // bad fourth char: 0xFF
      {"AAAA", std::string(3, '\0')},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(KLHelper::DecodeBase64(c.in), c.out) << c.in;
  }
}

TEST(DecodeBase64, OutsideAlphabetCountsAsAllOnesAndIsNeverSkipped) {
  // '*' and a leading '=' in places 1-3 count as '/' (63); in place 4 see EdgeRules.
  EXPECT_EQ(KLHelper::DecodeBase64("*W*u"), KLHelper::DecodeBase64("/W/u"));
  EXPECT_EQ(KLHelper::DecodeBase64("=WFu"), KLHelper::DecodeBase64("/WFu"));
  // A line break spoils its group and shifts the rest: 3 + 3 + 1 bytes.
  EXPECT_EQ(KLHelper::DecodeBase64("TWFu\nTWFu").size(), 7u);
  EXPECT_EQ(KLHelper::DecodeBase64(KLHelper::EncodeBase64("\xff|\x00x")), "\xff|\x00x");
}

TEST(IsValidIP, StrictDottedQuad) {
  const struct {
    const char* text;
    bool valid;
  } cases[] = {
      {"192.0.2.1", true},
      {"0.0.0.0", true},
      {"255.255.255.255", true},
      {"1.2.3.010", true},
      {" 192.0.2.1 ", true},
      {"192 . 0.2.1", true},
      {"256.1.1.1", false},
      {"1.2.3", false},
      {"1.2.3.4.", false},
      {"1.2.3.00", false},
      {"1.2.3.-1", false},
      {"a.b.c.d", false},
      {"", false},
      {"1..2.3", false},
      {"1.2.3.+4", false},
      {"0x1.2.3.4", false},
      {"1.2.3.4.5", false},
      {"1.2.3.4294967297", false},  // must not wrap around to 1
  };
  for (const auto& c : cases) EXPECT_EQ(KLHelper::IsValidIP(c.text), c.valid) << c.text;
}

TEST(IsValidFQDN, NumericFormsNeedNoLookupNamesGoToTheResolver) {
  kl::ScopedFakePlatform fake;
  fake->resolvableNames = {"mgmt.example.test"};
  for (const char* text : {"10.1", "0x7f000001", "017.1.2.3", "mgmt.example.test"}) {
    EXPECT_TRUE(KLHelper::IsValidFQDN(text)) << text;
  }
  EXPECT_FALSE(KLHelper::IsValidFQDN("nowhere.invalid"));
  EXPECT_EQ(fake->lookups, (Strings{"mgmt.example.test", "nowhere.invalid"}));
}

TEST(IsValidFQDN, RealResolver) {
  EXPECT_TRUE(KLHelper::IsValidFQDN("localhost"));
  EXPECT_FALSE(KLHelper::IsValidFQDN("kelvory-test.invalid"));
}

TEST(ScanInt32, SaturatesAndStopsAtFirstNonDigit) {
  const struct {
    const char* text;
    int32_t value;
    bool overflow, hasDigits;
  } cases[] = {
      {"42", 42, false, true},
      {" \t\n\v\f\r-7x", -7, false, true},
      {"+8443abc", 8443, false, true},
      {"2147483648", 2147483647, true, true},
      {"-2147483648", INT32_MIN, false, true},
      {"-2147483649", INT32_MIN, true, true},
      {"99999999999999999999999999", 2147483647, true, true},
      {"", 0, false, false},
      {"+-1", 0, false, false},
      {"\xC2\xA0"
       "5",
       0, false, false},  // a non-breaking space is not white space
  };
  for (const auto& c : cases) {
    const KLHelper::ScannedInt r = KLHelper::ScanInt32(c.text);
    EXPECT_EQ(r.value, c.value) << c.text;
    EXPECT_EQ(r.overflow, c.overflow) << c.text;
    EXPECT_EQ(r.hasDigits, c.hasDigits) << c.text;
  }
}

}  // namespace
