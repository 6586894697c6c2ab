#import <Foundation/Foundation.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "FakePlatform.h"
#import "KLDataProviderStub.h"
#import "KLTextDataProvider.h"

namespace {

using Strings = std::vector<std::string>;

// Everything a reader can answer, so that each case compares the whole record: a value set
// by mistake fails as surely as one that was missed.
struct Values {
  bool containData;
  std::string activationKey, customerId, customerName, serverURL;
  bool isHTTPS;
  int64_t serverPort, applianceId;
  std::string proxyServer;
  bool operator==(const Values& o) const {
    return std::tie(containData, activationKey, customerId, customerName, serverURL, isHTTPS,
                    serverPort, applianceId, proxyServer) ==
           std::tie(o.containData, o.activationKey, o.customerId, o.customerName, o.serverURL,
                    o.isHTTPS, o.serverPort, o.applianceId, o.proxyServer);
  }
};
void PrintTo(const Values& v, std::ostream* os) {
  *os << "{data=" << v.containData << " key='" << v.activationKey << "' id='" << v.customerId
      << "' name='" << v.customerName << "' url='" << v.serverURL << "' https=" << v.isHTTPS
      << " port=" << v.serverPort << " appliance=" << v.applianceId << " proxy='" << v.proxyServer
      << "'}";
}
const Values kNothing = {false, "", "", "", "", false, 0, 0, ""};

std::string Str(NSString* s) { return s == nil ? "<nil>" : std::string([s UTF8String]); }

Values Read(id<KLDataProvider> r) {
  return {static_cast<bool>([r containData]),
          Str([r activationKey]),
          Str([r customerId]),
          Str([r customerName]),
          Str([r serverURL]),
          static_cast<bool>([r isHTTPS]),
          [r serverPort],
          [r applianceId],
          Str([r proxyServer])};
}

KLTextDataProvider* KeyRecord(NSString* key, NSString* url, NSString* name, NSString* cid,
                              int64_t appliance) {
  return [[[KLTextDataProvider alloc] initWithKey:key
                                        serverURL:url
                                             port:0
                                         isSecure:NO
                                            proxy:nil
                                     customerName:name
                                       customerId:cid
                                      applianceId:appliance] autorelease];
}

std::string Xml(const std::string& children) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<InstallationData>" + children +
         "</InstallationData>\n";
}

// Each test runs inside its own autorelease pool, with files in a fresh directory.
class RecordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pool_ = [[NSAutoreleasePool alloc] init];
    std::string pattern = (std::filesystem::temp_directory_path() / "kl-record-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::filesystem::remove_all(dir_);
    [pool_ drain];
  }
  NSString* Write(const std::string& bytes, const std::string& name = "data") {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return [NSString stringWithUTF8String:path.c_str()];
  }
  KLTextDataProvider* FromXml(const std::string& bytes) {
    return [[[KLTextDataProvider alloc] initWithXmlFile:Write(bytes)] autorelease];
  }
  KLTextDataProvider* FromText(const std::string& bytes) {
    return [[[KLTextDataProvider alloc] initWithTextFile:Write(bytes)] autorelease];
  }

  kl::ScopedFakePlatform fake_;
  NSAutoreleasePool* pool_ = nil;
  std::string dir_;
};

TEST_F(RecordTest, KeyInitializerCountsEveryPassedTextAsGiven) {
  NSString* e = @"";
  struct Case {
    NSString *key, *name, *cid;
    int64_t appliance;
    bool containData;
  } cases[] = {{nil, nil, nil, 0, false}, {e, nil, nil, 0, true},    {nil, e, nil, 0, true},
               {nil, nil, e, 0, true},    {nil, nil, nil, -3, true}, {e, e, e, 0, true}};
  for (const Case& c : cases) {
    EXPECT_EQ(Read(KeyRecord(c.key, nil, c.name, c.cid, c.appliance)),
              (Values{c.containData, "", "", "", "", false, 0, c.appliance, ""}));
  }
  NSMutableString* key = [NSMutableString stringWithString:@"S0VZ"];
  KLTextDataProvider* r = [[[KLTextDataProvider alloc] initWithKey:key
                                                         serverURL:@"a,b"
                                                              port:8443
                                                          isSecure:YES
                                                             proxy:@"p:3128"
                                                      customerName:@"Acme"
                                                        customerId:@"42"
                                                       applianceId:7] autorelease];
  [key appendString:@"changed"];  // the record keeps its own copy
  EXPECT_EQ(Read(r), (Values{true, "S0VZ", "42", "Acme", "a,b", true, 8443, 7, "p:3128"}));
}

TEST_F(RecordTest, XmlReader) {
  const std::string server = "<Server><URL>a,b</URL><Protocol>https</Protocol><Port>8443x</Port>"
                             "</Server>";
  struct Case {
    const char* what;
    std::string xml;
    Values want;
  } cases[] = {
      {"full",
       Xml("<ActivationKey>S0VZ</ActivationKey><Customer><ID>42</ID><Name>Acme Inc"
           "</Name></Customer>" +
           server +
           "<Proxy><URL>proxy.example</URL><Port>3128"
           "</Port></Proxy>"),
       {true, "S0VZ", "42", "Acme Inc", "a,b", true, 8443, 0, "proxy.example:3128"}},
      {"any root name, no declaration",
       "<Anything><Customer><Name>A</Name></Customer></Anything>",
       {true, "", "", "A", "", false, 0, 0, ""}},
      {"server alone is no data", Xml(server), {false, "", "", "", "a,b", true, 8443, 0, ""}},
      {"ID alone is data",
       Xml("<Customer><ID>7</ID></Customer>"),
       {true, "", "7", "", "", false, 0, 0, ""}},
      {"empty texts are no data", Xml("<ActivationKey/><Customer><ID></ID><Name/></Customer>"),
       kNothing},
      {"text kept untrimmed, entities and nested text",
       Xml("<Customer><ID> 4 </ID><Name>A &amp; <b>B</b><!--c--><![CDATA[<C>]]></Name></Customer>"),
       {true, "", " 4 ", "A & B<C>", "", false, 0, 0, ""}},
      {"comments, PIs and text between elements",
       Xml("stray<!-- x --><?ActivationKey K?><Customer><!--z-->t<ID>1</ID><?ID 9?></Customer>"),
       {true, "", "1", "", "", false, 0, 0, ""}},
      {"names are exact and only at their level",
       Xml("<customer><ID>1</ID></customer><Customer><id>2</id><ActivationKey>K</ActivationKey>"
           "</Customer><Wrap><Customer><ID>3</ID></Customer></Wrap><ID>4</ID>"),
       kNothing},
      {"attributes are not read",
       Xml("<Customer ID=\"9\"><Name>N</Name></Customer>"),
       {true, "", "", "N", "", false, 0, 0, ""}},
      {"last element wins, across and within parents",
       Xml("<Customer><ID>1</ID><Name>A</Name></Customer><Customer><ID>2</ID><ID>3</ID>"
           "</Customer><Server><Protocol>https</Protocol><Port>1</Port></Server>"
           "<Server><Protocol>http</Protocol></Server>"),
       {true, "", "3", "A", "", false, 1, 0, ""}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Read(FromXml(c.xml)), c.want) << c.what;
  }
  EXPECT_TRUE(fake_->console.empty());
}

TEST_F(RecordTest, XmlProtocolAndPortConversions) {
  const std::pair<const char*, bool> protocols[] = {
      {"https", true}, {"HTTPS", false}, {"https ", false}, {" https", false}, {"http", false}};
  for (const auto& p : protocols) {
    const std::string xml =
        Xml(std::string("<Server><Protocol>") + p.first + "</Protocol></Server>");
    EXPECT_EQ(static_cast<bool>([FromXml(xml) isHTTPS]), p.second) << p.first;
  }
  // "\302\240" is a no-break space: not white space for the integer rule.
  // clang-format off
  const std::pair<const char*, int64_t> ports[] = {
      {"8443x", 8443}, {"abc", 0}, {"", 0}, {" \t\n 80", 80}, {"-12", -12}, {"+7", 7},
      {"+-5", 0}, {"- 5", 0}, {"\302\2405", 0} /* no-break space */, {"0000443", 443},
      {"2147483647", INT32_MAX}, {"4294967376", INT32_MAX}, {"99999999999", INT32_MAX},
      {"-2147483649", INT32_MIN}};
  // clang-format on
  for (const auto& p : ports) {
    const std::string xml = Xml(std::string("<Server><Port>") + p.first + "</Port></Server>");
    EXPECT_EQ([FromXml(xml) serverPort], p.second) << "'" << p.first << "'";
  }
}

TEST_F(RecordTest, XmlProxyAssembly) {
  const std::pair<std::string, std::string> cases[] = {
      {"<Proxy><URL>p</URL><Port>3128</Port></Proxy>", "p:3128"},
      {"<Proxy><Port>3128</Port><URL>p</URL></Proxy>", "p:3128"},
      {"<Proxy><URL>p</URL><Port>0</Port></Proxy>", "p"},
      {"<Proxy><URL>p</URL><Port>none</Port></Proxy>", "p"},
      {"<Proxy><URL>p</URL></Proxy>", "p"},
      {"<Proxy><URL>p</URL><Port>-1</Port></Proxy>", "p:-1"},
      {"<Proxy><URL>p</URL><Port>99999999999</Port></Proxy>", "p:2147483647"},
      {"<Proxy><URL></URL><Port>3128</Port></Proxy>", ""},
      {"<Proxy><Port>3128</Port></Proxy>", ""},
      {"<Proxy><URL>a</URL><URL>b</URL><Port>1</Port><Port>2</Port></Proxy>", "b:2"},
      // A Proxy without a host leaves an earlier one; one with a host replaces it.
      {"<Proxy><URL>a</URL><Port>1</Port></Proxy><Proxy><Port>2</Port></Proxy>", "a:1"},
      {"<Proxy><URL>a</URL><Port>1</Port></Proxy><Proxy><URL>b</URL></Proxy>", "b"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Read(FromXml(Xml(c.first))), (Values{false, "", "", "", "", false, 0, 0, c.second}))
        << c.first;
  }
}

TEST_F(RecordTest, UnusableFilesGiveEmptyRecordSilently) {
  NSString* paths[] = {nil,
                       @"",
                       Write("", "empty"),
                       Write(std::string("\x00\x01\xff\xfe<x>", 7), "binary"),
                       Write("<a><Customer><ID>1</ID></Customer>", "unclosed"),
                       Write("<a><Customer><ID>1</ID></Customer></a><b/>", "two roots"),
                       Write("<a><Customer><ID>1</Customer></ID></a>", "misnested"),
                       Write("just text", "text"),
                       [NSString stringWithUTF8String:dir_.c_str()],
                       [NSString stringWithUTF8String:(dir_ + "/missing.xml").c_str()]};
  for (NSString* path : paths) {
    EXPECT_EQ(Read([[[KLTextDataProvider alloc] initWithXmlFile:path] autorelease]), kNothing)
        << Str(path);
  }
  EXPECT_EQ(Read([[[KLTextDataProvider alloc] initWithTextFile:paths[9]] autorelease]), kNothing);
  EXPECT_TRUE(fake_->console.empty());
}

TEST_F(RecordTest, DeepAndHugeXmlDoNotCrash) {
  // 100000 levels: the parser may refuse the document (nothing set) or read it whole.
  std::string deep = "<r><Customer><ID>1</ID></Customer>";
  for (int i = 0; i < 100000; ++i) deep += "<a>";
  for (int i = 0; i < 100000; ++i) deep += "</a>";
  const Values got = Read(FromXml(deep + "</r>"));
  EXPECT_TRUE(got == kNothing || got == (Values{true, "", "1", "", "", false, 0, 0, ""}));

  // Nested text is collected through every level.
  std::string nested = "<Customer><Name>";
  for (int i = 0; i < 200; ++i) nested += "<a>x";
  for (int i = 0; i < 200; ++i) nested += "</a>";
  EXPECT_EQ(Str([FromXml(Xml(nested + "</Name></Customer>")) customerName]), std::string(200, 'x'));

  // About 10 MB in 2000 repeated elements: the last of each still wins. (Not hundreds of
  // thousands of siblings: GNUstep's node wrappers make that quadratic, slow but harmless.)
  const std::string filler(5000, 'f');
  std::string huge;
  for (int i = 0; i < 2000; ++i) {
    huge += "<Customer><ID>" + std::to_string(i) + "</ID><Name>" + filler + "</Name></Customer>";
  }
  huge += "<Server><Port>443</Port></Server><Customer><Name>Last</Name></Customer>";
  const Values big = Read(FromXml(Xml(huge)));
  EXPECT_EQ(big, (Values{true, "", "1999", "Last", "", false, 443, 0, ""}));
}

TEST_F(RecordTest, TextReader) {
  static const char kNulLines[] = "customerID=5\0x\ncustomerName=\0N\n";
  const std::string longValue(300, 'A');
  struct Case {
    const char* what;
    std::string text;
    Values want;
  } cases[] = {
      {"every key",
       "activationKey=S0VZ\ncustomerID=42\ncustomerName=Acme\nserverURL=h\n"
       "useSecureConnection=1\nport=8443\n",
       {true, "S0VZ", "42", "Acme", "h", true, 8443, 0, ""}},
      {"separators split values",
       "customerName=Acme Corp\nserverURL=a,b\nport = 443\r\n,= customerID==7, x\r\n",
       {true, "", "7", "Acme", "a", false, 443, 0, ""}},
      {"useSecureConnection is numeric", "useSecureConnection=yes\n", kNothing},
      {"negative counts as set",
       "useSecureConnection=-1\n",
       {false, "", "", "", "", true, 0, 0, ""}},
      {"port conversions", "port=\t80x\n", {false, "", "", "", "", false, 80, 0, ""}},
      {"port saturates", "port=99999999999\n", {false, "", "", "", "", false, INT32_MAX, 0, ""}},
      {"port saturates low", "port=-99999999999", {false, "", "", "", "", false, INT32_MIN, 0, ""}},
      {"keys are exact; no proxy or appliance",
       "customerId=1\nPort=2\nproxy=p\napplianceId=5\nactivationkey=k\n", kNothing},
      {"a line without value is ignored",
       "customerID=1\ncustomerID=\ncustomerID\n",
       {true, "", "1", "", "", false, 0, 0, ""}},
      {"later lines replace",
       "customerID=1\ncustomerID=2",
       {true, "", "2", "", "", false, 0, 0, ""}},
      {"invalid UTF-8 unsets", "customerName=Acme\ncustomerName=\xff\n", kNothing},
      {"long line read in 255-byte pieces",
       "customerName=" + longValue + "\n",
       {true, "", "", std::string(255 - 13, 'A'), "", false, 0, 0, ""}},
      {"a piece can be a line of its own",
       "x=" + std::string(253, 'y') + "customerID=9\n",
       {true, "", "9", "", "", false, 0, 0, ""}},
      {"a NUL ends the line's text",
       std::string(kNulLines, sizeof kNulLines - 1),
       {true, "", "5", "", "", false, 0, 0, ""}},
      {"empty file", "", kNothing},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Read(FromText(c.text)), c.want) << c.what;
  }
}

TEST_F(RecordTest, TextReaderEchoesEachReadToConsole) {
  FromText("customerID=42\r\nport=1\n\n" + std::string(300, 'z'));
  EXPECT_EQ(fake_->console, (Strings{"customerID=42\r\n\n", "port=1\n\n", "\n\n",
                                     std::string(255, 'z') + "\n", std::string(45, 'z') + "\n"}));
  fake_->console.clear();
  [[[KLTextDataProvider alloc] initWithTextFile:@"/nonexistent/kl-data"] autorelease];
  EXPECT_TRUE(fake_->console.empty());
}

TEST_F(RecordTest, ServerAddressRotation) {
  // Steps: "=x" currentURL gives x, "+" / "-" nextURL gives yes / no, "0" resetURLs.
  const std::pair<NSString*, Strings> cases[] = {
      {@"a,b,c", {"=a", "+", "=b", "+", "=c", "-", "=a", "+", "=b"}},
      {@"a, b", {"+", "= b", "-", "=a"}},
      {@"a,,b,", {"=a", "+", "=", "+", "=b", "+", "=", "-", "=a"}},
      {@"", {"=", "-", "="}},
      {nil, {"-", "="}},
      {@"a,b,c", {"+", "+", "=c", "0", "=a", "+", "=b"}},
  };
  for (const auto& c : cases) {
    KLTextDataProvider* r = KeyRecord(nil, c.first, nil, nil, 0);
    Strings seen, logged;
    for (const std::string& step : c.second) {
      if (step[0] == '=') {
        seen.push_back("=" + Str([r currentURL]));
        logged.push_back("Server URl: " + step.substr(1));
      } else if (step[0] == '0') {
        [r resetURLs];
        seen.push_back(step);
      } else {
        seen.push_back([r nextURL] ? "+" : "-");
      }
    }
    EXPECT_EQ(seen, c.second) << Str(c.first);
    EXPECT_EQ(fake_->console, logged) << Str(c.first);
    fake_->console.clear();
  }
}

TEST_F(RecordTest, StubAnswersFixedValues) {
  KLDataProviderStub* stub = [[[KLDataProviderStub alloc] init] autorelease];
  EXPECT_EQ(Read(stub), (Values{true, "<nil>", "<nil>", "Example Customer", "192.0.2.1", false, 80,
                                0, "<nil>"}));
}

#ifdef GNUSTEP
// GNUstep declares its allocation counters only without NDEBUG, but always provides them.
#ifdef NDEBUG
extern "C" {
BOOL GSDebugAllocationActive(BOOL active);
int GSDebugAllocationCount(Class c);
Class* GSDebugAllocationClassList(void);
}
#endif

// Every object that reading and rotation create is freed with the record: after a warm-up
// round (caches), a second round leaves no class with more live instances than before.
TEST_F(RecordTest, RecordsFreeEverythingTheyOwn) {
  GSDebugAllocationActive(YES);
  NSString* xml = Write(Xml("<ActivationKey>K</ActivationKey><Customer><ID>1</ID><Name>N\xc3\xab"
                            "</Name></Customer><Server><URL>a,b</URL><Port>1</Port></Server>"
                            "<Proxy><URL>p</URL><Port>2</Port></Proxy><Proxy><URL>q</URL></Proxy>"),
                        "x");
  NSString* text = Write("activationKey=K\ncustomerID=1\ncustomerName=N\xc3\xab\nserverURL=a,b\n"
                         "customerName=\xff\n",
                         "t");
  // Keyed by class, so that taking the counts creates no objects of its own.
  std::map<Class, int> before;
  for (int round = 0; round < 2; ++round) {
    before.clear();
    for (Class* c = GSDebugAllocationClassList(); *c != Nil; ++c) {
      before[*c] = GSDebugAllocationCount(*c);
    }
    NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
    KLTextDataProvider* records[] = {
        [[KLTextDataProvider alloc] initWithXmlFile:xml],
        [[KLTextDataProvider alloc] initWithTextFile:text],
        [KeyRecord([NSString stringWithFormat:@"k%d", round], @"u,v", @"n", @"i", 3) retain]};
    for (KLTextDataProvider* r : records) {
      [r currentURL];
      [r nextURL];
      [r release];
    }
    [pool drain];
  }
  Strings grown;
  for (Class* c = GSDebugAllocationClassList(); *c != Nil; ++c) {
    if (GSDebugAllocationCount(*c) > before[*c])
      grown.push_back([NSStringFromClass(*c) UTF8String]);
  }
  EXPECT_EQ(grown, Strings());
  Class recordClass = [KLTextDataProvider class];
  EXPECT_EQ(GSDebugAllocationCount(recordClass), before[recordClass]);
}
#endif

}  // namespace
