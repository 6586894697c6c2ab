// The activation data: the key decoder, and the record with its readers and address rotation.
#import <Foundation/Foundation.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "AllocationCount.h"
#include "FakePlatform.h"
#include "KLHelper.h"
#include "KLKeyDecoder.h"
#import "KLTextDataProvider.h"
#include "TempDir.h"

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

TEST(KeyDecode, StopsAtTheFirstBadEndpoint) {
  kl::ScopedFakePlatform fake;
  std::vector<KLEndPoint> list;
  EXPECT_EQ(keydecode(Key("a.invalid,192.0.2.10:0,c.invalid|1|1|").c_str(), list), -1);
  EXPECT_EQ(keydecode(Key("a.invalid|1|3|").c_str(), list), -1);  // type first: no lookup
  EXPECT_EQ(fake->lookups, Strings{"a.invalid"});  // the third host is never asked about
  // The analysis keeps no endpoint of a refused key, not even the good ones before the bad one.
  EXPECT_TRUE(kl::AnalyzeKey(Key("192.0.2.10,ftp://192.0.2.11|1|1|").c_str()).endpoints.empty());
  EXPECT_EQ(fake->alerts, (Strings{kEndpoint, kType}));
}

std::string Str(NSString* s) { return s == nil ? "<nil>" : [s UTF8String]; }
NSString* NSPath(const std::string& path) { return [NSString stringWithUTF8String:path.c_str()]; }

// The whole record as "containData|key|customer ID|customer name|server URL|isHTTPS|port|
// appliance ID|proxy", so a value set by mistake fails as surely as one missed.
std::string Read(KLTextDataProvider* r) {
  return std::to_string([r containData]) + "|" + Str([r activationKey]) + "|" +
         Str([r customerId]) + "|" + Str([r customerName]) + "|" + Str([r serverURL]) + "|" +
         std::to_string([r isHTTPS]) + "|" + std::to_string([r serverPort]) + "|" +
         std::to_string([r applianceId]) + "|" + Str([r proxyServer]);
}
const char kNothing[] = "0|||||0|0|0|";
const size_t kMiB = 1024 * 1024;

KLTextDataProvider* KeyRecord(NSString* key, NSString* url, NSString* name, NSString* cid,
                              int64_t appliance) {
  return [[[KLTextDataProvider alloc] initWithKey:key
                                        serverURL:url
                                             port:8443
                                         isSecure:YES
                                            proxy:@"p:1"
                                     customerName:name
                                       customerId:cid
                                      applianceId:appliance] autorelease];
}

class RecordTest : public ::testing::Test {
 protected:
  void TearDown() override { [pool_ drain]; }
  NSString* Write(const std::string& bytes) { return NSPath(tmp_.Write("data", bytes)); }
  // A record from initWithXmlFile: or initWithTextFile: (xml_, text_) of a path or of bytes.
  std::string Load(SEL init, NSString* path) {
    return Read([[[KLTextDataProvider alloc] performSelector:init withObject:path] autorelease]);
  }
  std::string Load(SEL init, const std::string& bytes) { return Load(init, Write(bytes)); }

  NSAutoreleasePool* pool_ = [[NSAutoreleasePool alloc] init];
  kl::ScopedFakePlatform fake_;
  kl::TempDir tmp_;
  const SEL xml_ = @selector(initWithXmlFile:), text_ = @selector(initWithTextFile:);
};

TEST_F(RecordTest, KeyInitializerCopiesAndCountsEmptyTextsAsGiven) {
  EXPECT_EQ(Read(KeyRecord(nil, nil, nil, nil, 0)), "0|||||1|8443|0|p:1");
  EXPECT_EQ(Read(KeyRecord(nil, nil, nil, nil, -3)), "1|||||1|8443|-3|p:1");
  NSMutableString* key = [NSMutableString stringWithString:@"K"];
  KLTextDataProvider* r = KeyRecord(key, @"a,b", @"Acme", @"42", 7);
  [key appendString:@"changed"];
  EXPECT_EQ(Read(r), "1|K|42|Acme|a,b|1|8443|7|p:1");
}

TEST_F(RecordTest, XmlReader) {
  const std::pair<std::string, std::string> cases[] = {
      {"<ActivationKey>K</ActivationKey><Customer><ID>42</ID><Name>Acme Inc</Name></Customer>"
       "<Server><URL>a,b</URL><Protocol>https</Protocol><Port>8443x</Port></Server>"
       "<Proxy><URL>px</URL><Port>3128</Port></Proxy>",
       "1|K|42|Acme Inc|a,b|1|8443|0|px:3128"},
      {"<ActivationKey/><Customer><ID/><Name></Name></Customer><Server><URL>u</URL></Server>",
       "0||||u|0|0|0|"},
      {"<?ActivationKey K?><Customer><!----><ID> 4 </ID><?ID?><Name>A<b>B<i>C</i></b></Name>"
       "</Customer>",
       "1|| 4 |ABC||0|0|0|"},
      {"<customer><ID>1</ID></customer><Customer><id>2</id><ActivationKey>K</ActivationKey>"
       "</Customer><Wrap><Customer><ID>3</ID></Customer></Wrap><ID>4</ID>",
       kNothing},
      {"<Customer><ID>1</ID><Name>A</Name></Customer><Customer><ID>2</ID><ID>3</ID></Customer>"
       "<Server><Port>1</Port></Server><Server><Port>abc</Port></Server>",
       "1||3|A||0|0|0|"},
      // "HTTPS" is not https; port 0 gives the host alone; a port without a host is no proxy.
      {"<Server><Protocol>HTTPS</Protocol><Port>4294967376</Port></Server><Proxy><URL>p</URL>"
       "<Port>0</Port></Proxy><Proxy><Port>9</Port></Proxy>",
       "0|||||0|2147483647|0|p"},
      {"<a><Customer><ID>1</ID></Customer>", kNothing},  // not well-formed
      // 1 MiB is the most a pre-fill file may hold; one byte more makes it unusable.
      {"<ActivationKey>K</ActivationKey>" + std::string(kMiB - 39, ' '), "1|K||||0|0|0|"},
      {"<ActivationKey>K</ActivationKey>" + std::string(kMiB - 38, ' '), kNothing},
  };
  for (const auto& c : cases) EXPECT_EQ(Load(xml_, "<r>" + c.first + "</r>"), c.second) << c.first;
  EXPECT_TRUE(fake_->console.empty());
  for (NSString* p : {Write(""), NSPath(tmp_.path), NSPath("/nonexistent")}) {
    EXPECT_EQ(Load(xml_, p) + Load(text_, p), std::string(kNothing) + kNothing) << Str(p);
  }
}

TEST_F(RecordTest, TextReader) {
  const std::pair<std::string, std::string> cases[] = {
      {"activationKey=K\r\ncustomerID=42\ncustomerName=Acme Corp\nserverURL=a,b\n"
       "useSecureConnection=1\nport = 443\r\n",  // CRLF endings too
       "1|K|42|Acme|a|1|443|0|"},
      {"useSecureConnection=-1\n", "0|||||1|0|0|"},  // any number but 0
      {"customerName=Acme\ncustomerName=\xff\n", kNothing},
      {"portal=1\nserverURLs=x\nactivationKeys=K\n", kNothing},  // whole keys only
      // The first 255 bytes are one piece; the rest is read as a line of its own.
      {"customerName=" + std::string(242, 'A') + "customerID=9\n",
       "1||9|" + std::string(242, 'A') + "||0|0|0|"},
  };
  for (const auto& c : cases) EXPECT_EQ(Load(text_, c.first), c.second) << c.first;
}

TEST_F(RecordTest, ServerAddressRotation) {
  // Four rounds of currentURL and nextURL ("+" for YES, "-" for NO), then resetURLs, currentURL.
  const std::pair<NSString*, std::string> cases[] = {
      {@"a,b,c", "a+b+c-a+|a"}, {@"a, b", "a+ b-a+ b-|a"}, {@"", "----|"}};
  for (const auto& [url, want] : cases) {
    KLTextDataProvider* r = KeyRecord(nil, url, nil, nil, 0);
    std::string seen;
    Strings logged;
    fake_->console.clear();
    for (int i = 0; i < 5; ++i) {
      if (i == 4) [r resetURLs];
      const std::string current = Str([r currentURL]);
      logged.push_back("Server URl: " + current);  // each call logs its answer, once
      seen += (i == 4 ? "|" : "") + current + (i == 4 ? "" : [r nextURL] ? "+" : "-");
    }
    EXPECT_EQ(seen, want) << Str(url);
    EXPECT_EQ(fake_->console, logged) << Str(url);
  }
}

TEST_F(RecordTest, RecordsFreeEverythingTheyOwn) {
#ifndef GNUSTEP
  GTEST_SKIP() << "instances are counted by GNUstep's allocation counters";
#else
  GSDebugAllocationActive(YES);
  // Replaced values too: a second Name, and a formatted proxy replacing a plain one.
  NSString* xml = Write("<r><ActivationKey>K</ActivationKey><Customer><ID>1</ID><Name>N</Name>"
                        "<Name>M</Name></Customer><Server><URL>a,b</URL></Server><Proxy><URL>q"
                        "</URL></Proxy><Proxy><URL>p</URL><Port>2</Port></Proxy></r>");
  std::map<Class, int> before;  // keyed by class, so taking the counts allocates no objects
  for (int round = 0; round < 2; ++round) {  // the first round fills caches
    for (Class* c = GSDebugAllocationClassList(); *c; ++c) before[*c] = GSDebugAllocationCount(*c);
    NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
    KLTextDataProvider* r = [[KLTextDataProvider alloc] initWithXmlFile:xml];
    [r nextURL];
    [r release];
    [pool drain];
  }
  Strings grown;
  for (Class* c = GSDebugAllocationClassList(); *c; ++c) {
    if (GSDebugAllocationCount(*c) > before[*c]) grown.push_back(class_getName(*c));
  }
  EXPECT_EQ(grown, Strings());
#endif
}

}  // namespace
