#include <gtest/gtest.h>

#include "KLHelper.h"

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
  for (const auto& c : cases) {
    EXPECT_EQ(KLHelper::SplitString(c.text, c.delimiter), c.parts) << "[" << c.text << "]";
  }
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
               {"\xC2\xA0"
                "5",
                0, false, false}};  // a non-breaking space is not white space
  for (const auto& c : cases) {
    const KLHelper::ScannedInt r = KLHelper::ScanInt32(c.text);
    EXPECT_EQ(std::make_tuple(r.value, r.overflow, r.hasDigits),
              std::make_tuple(c.value, c.overflow, c.hasDigits))
        << c.text;
  }
}

}  // namespace
