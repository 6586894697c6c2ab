// kelvory-activate as a real process with a fake tool: sources, outcomes and exit codes,
// --unless-activated, the time limit and signals (the tool's process group ends, nothing is
// written), the lock concurrent runs take turns on; and the platform's managed preferences.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <thread>

#include "FakeTool.h"
#import "KLActivationSource.h"
#include "KLHelper.h"
#include "KLPlatform.h"
#include "KLStringBridge.h"
#include "PlistText.h"
#include "RunProcess.h"
#include "TempDir.h"

namespace {

using kl::Dict;
using kl::Plist;
using nlohmann::json;
using Strings = std::vector<std::string>;
using namespace std::string_literals;  // fixtures' bytes hold NULs
const char kConf[] = "/tmp/kelvor.conf";
const char kLog[] = "/tmp/kelvor_install.log";
const char kLock[] = "/var/run/kelvory-activate.lock";  // root's; the tests run as root
const Strings kCustomer{"--customer-name", "N", "--customer-id", "1", "--server", "127.0.0.1"};
// What the shared writer appends for a customer-form activation on the target "/".
const std::string kBlock =
    "\tendpoint_size=1\n[main]\n    logfilename=//var/log/Tervox/Kelvory/kelvor.log\n"
    "    loglevel=3\n    homedir=/Applications/Kelvory.app/Contents/Daemon/home/kelvor\n"
    "    thread_limitation=50\n    poll_delay=1\n    datablock_size=20\n\n\n";

struct ActivateResult {
  int exitCode = -1;
  std::string out, err;
  nlohmann::json json;  // standard output parsed; discarded when it is no JSON
};
ActivateResult ActivateRun(const Strings& args) {
  const kl::ProcessRun run = kl::RunProcess(ACTIVATE_PATH, args);
  return {run.exitCode, run.out, run.err, json::parse(run.out, nullptr, false)};
}

// A dry run's first tool argument vector after the tool's path, without the fixed -f and -l
// (the values compared with it hold no spaces).
std::string ShownArguments(const json& report) {
  const json argv = report.contains("argv") ? report["argv"].at(0) : json::array();
  std::string shown;
  for (size_t i = 1; i < argv.size(); ++i) {
    if (argv[i] == "-f" || argv[i] == "-l")
      ++i;
    else
      shown += (shown.empty() ? "" : " ") + argv[i].get<std::string>();
  }
  return shown;
}

// A whole profile around its payloads; one of the custom-settings form, one of another type.
std::string Profile(const std::string& payloads) {
  return Plist({"PayloadContent", "<array>" + payloads + "</array>"});
}
const std::string kMcx = Dict(
    {"PayloadType", "com.apple.ManagedClient.preferences", "PayloadUUID", "mcx", "PayloadContent",
     "<dict><key>com.kelvory.activation</key><dict><key>Forced</key><array>" +
         Dict({"mcx_preference_settings",
               Dict({"CustomerName", "MCX", "CustomerID", "3003", "ServerURL", "127.0.0.3"})}) +
         "</array></dict></dict>"});
const std::string kOther = Dict({"PayloadType", "com.example.other", "CustomerName", "Other"});
// A binary property list of hand-written objects, the first at the top: the offset table (four
// bytes an offset) and the trailer with the reference size and object count given.
std::string Binary(const Strings& objects, int refSize = 1, uint64_t count = 0) {
  std::string list = "bplist00", table;
  for (const std::string& object : objects) {
    for (int shift = 24; shift >= 0; shift -= 8) table += static_cast<char>(list.size() >> shift);
    list += object;
  }
  const uint64_t tableAt = list.size();
  list += table + std::string(6, '\0') + '\4' + static_cast<char>(refSize);
  for (uint64_t n : {count != 0 ? count : objects.size(), uint64_t{0}, tableAt}) {
    for (int shift = 56; shift >= 0; shift -= 8) list += static_cast<char>(n >> shift);
  }
  return list;
}
// A binary dictionary of CustomerID, CustomerName and ServerURL 127.0.0.1, the first two given
// as encoded objects (marker byte and bytes).
std::string CustomerBinary(const std::string& id, const std::string& name) {
  return Binary({"\xD3\1\2\3\4\5\6"s, "\x5A" + "CustomerID"s, "\x5C" + "CustomerName"s,
                 "\x59" + "ServerURL"s, id, name, "\x59" + "127.0.0.1"s});
}
std::string Repeat(const std::string& text, int times) {
  std::string repeated;
  while (times-- > 0) repeated += text;
  return repeated;
}
const std::string kExample = EXAMPLES_DIR "/Kelvory-activation.mobileconfig";
Strings With(Strings args, const Strings& more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

class ActivateSources : public ::testing::Test {
 protected:
  // --managed-preferences with `bytes` in a file of the test's folder.
  Strings Prefs(const std::string& name, const std::string& bytes) {
    return {"--managed-preferences", tmp_.Write(name, bytes)};
  }
  void SetUp() override { unlink(kConf), unlink(kLog), unlink(kLock); }
  void TearDown() override { SetUp(); }
  ActivateResult Run(const Strings& args, const kl::FakeTool& tool) {
    return ActivateRun(With({"--json", "--tool", tool.Tool()}, args));
  }
  ActivateResult Run(const Strings& args) { return Run(args, tool_); }
  pid_t Start(const Strings& args, const kl::FakeTool& tool, const std::string& out) {
    return kl::StartProcess(With({ACTIVATE_PATH, "--json", "--tool", tool.Tool()}, args),
                            dir_ + "/" + out, dir_ + "/err");
  }
  kl::TempDir tmp_;
  const std::string dir_ = tmp_.path;
  kl::FakeTool tool_{{"exit 0"}};
  const std::string profile_ = tmp_.Write(
      "profile.plist", Plist({"CustomerName", "Profile", "CustomerID", "2002", "ServerURL",
                              "127.0.0.1", "ServerProtocol", "https", "ServerPort", "8443",
                              "ProxyURL", "127.0.0.1", "ProxyPort", "3128"}));
  const std::string serverOnly_ = tmp_.Write("server.plist", Plist({"ServerURL", "127.0.0.9"}));
};

// Which source supplies the record and what each option changes over it, seen in a dry run's
// tool arguments and report; a dry run starts and writes nothing, the install log included.
TEST_F(ActivateSources, OptionsOverManagedPreferencesOverTheFile) {
  const std::string folder = "a\nSTAMP\tforged -- entry";  // as if naming a log entry
  const std::string package = dir_ + "/" + folder + "/Kelvory.pkg";
  const std::string beside =
      tmp_.Write(folder + "/InstallationData.xml",
                 "<D><Customer><ID>1001</ID><Name>File</Name></Customer><Server>"
                 "<URL>127.0.0.5</URL><Port>8080</Port></Server></D>");
  const std::string data =
      tmp_.Write("data.txt", "customerName=T\ncustomerID=7\nserverURL=127.0.0.6\nport=81\n");
  // A folder whose name is not UTF-8: the path keeps its bytes (JSON shows U+FFFD for them).
  tmp_.Write("caf\xE9/InstallationData.xml",
             "<D><Customer><ID>3</ID><Name>L</Name></Customer><Server><URL>127.0.0.7</URL>"
             "</Server></D>");
  const std::string key = KLHelper::EncodeBase64("127.0.0.4:8080|9|1|");
  const std::string keyFile =
      tmp_.Write("key.xml", "<r><ActivationKey>" + key + "</ActivationKey></r>");
  const struct {
    Strings args;
    std::string source;
    json location;
    Strings overrides;
    std::string argv;  // the tool's, without its path, -f and -l
  } cases[] = {
      {Strings{"--package", package, "--managed-preferences", profile_}, "managed-preferences",
       profile_, Strings{}, "-s 127.0.0.1 -n 8443 -p https -x 127.0.0.1:3128 -c Profile -i 2002"},
      {Strings{"--package", package, "--managed-preferences", serverOnly_}, "package-folder",
       beside, Strings{}, "-s 127.0.0.5 -n 8080 -p http -c File -i 1001"},
      {Strings{"--data", data, "--text", "--managed-preferences", serverOnly_}, "data-file", data,
       Strings{}, "-s 127.0.0.6 -n 81 -p http -c T -i 7"},
      {Strings{"--managed-preferences", profile_, "--customer-id", "77", "--protocol", "http"},
       "managed-preferences", profile_, Strings{"customerId", "protocol"},
       "-s 127.0.0.1 -n 80 -p http -x 127.0.0.1:3128 -c Profile -i 77"},
      {Strings{"--package", package, "--key", key, "--proxy", " 127.0.0.1:3128 "}, "package-folder",
       beside, Strings{"activationKey", "proxy"},
       "-s 127.0.0.4 -n 8080 -p http -x 127.0.0.1:3128 -a 9"},
      {Strings{"--data", keyFile, "--proxy", "127.0.0.1:1"}, "data-file", keyFile, Strings{"proxy"},
       "-s 127.0.0.4 -n 8080 -p http -x 127.0.0.1:1 -a 9"},
      // A whole profile: its one payload for the domain, in either form.
      {Strings{"--managed-preferences", kExample}, "managed-preferences", kExample, Strings{},
       "-s 127.0.0.1 -n 8443 -p https -x 192.0.2.20:3128 -c Demo Customer -i 1001"},
      {Prefs("mcx.mobileconfig", Profile(kOther + kMcx)), "managed-preferences",
       dir_ + "/mcx.mobileconfig", Strings{}, "-s 127.0.0.3 -n 0 -p http -c MCX -i 3003"},
      // Binary: a UTF-16 text and 2^64-1 as a 16-byte integer; a negative one in XML; 32 levels.
      {Prefs("binary", Binary({"\xD3\1\2\3\4\5\6"s, "\x5C" + "CustomerName"s,
                               "\x5A" + "CustomerID"s, "\x59" + "ServerURL"s, "\x63\0B\0i\0n"s,
                               "\x14" + std::string(8, '\0') + std::string(8, '\xFF'),
                               "\x59" + "127.0.0.1"s})),
       "managed-preferences", dir_ + "/binary", Strings{},
       "-s 127.0.0.1 -n 0 -p http -c Bin -i 18446744073709551615"},
      {Prefs("negative",
             Plist({"CustomerName", "N", "CustomerID", "<integer>-5</integer>", "ServerURL",
                    "127.0.0.1", "Deep", Repeat("<array>", 31) + Repeat("</array>", 31)})),
       "managed-preferences", dir_ + "/negative", Strings{},
       "-s 127.0.0.1 -n 0 -p http -c N -i -5"},
      // A proxy host without a port goes to the tool alone.
      {Prefs("proxy.plist", Plist({"CustomerName", "N", "CustomerID", "1", "ServerURL", "127.0.0.1",
                                   "ProxyURL", "127.0.0.1"})),
       "managed-preferences", dir_ + "/proxy.plist", Strings{},
       "-s 127.0.0.1 -n 0 -p http -x 127.0.0.1 -c N -i 1"},
      {With(kCustomer, {"--protocol", "https", "--port", "8444"}), "options", nullptr,
       Strings{"customerName", "customerId", "serverURL", "protocol", "port"},
       "-s 127.0.0.1 -n 8444 -p https -c N -i 1"},
      // The profile's protocol is https only when exactly "https".
      {Prefs("upper.plist", Plist({"CustomerName", "N", "CustomerID", "1", "ServerURL", "127.0.0.1",
                                   "ServerProtocol", "HTTPS"})),
       "managed-preferences", dir_ + "/upper.plist", Strings{},
       "-s 127.0.0.1 -n 0 -p http -c N -i 1"},
      {Strings{"--package", dir_ + "/caf\xE9/Kelvory.pkg"}, "package-folder",
       dir_ + "/caf\xEF\xBF\xBD/InstallationData.xml", Strings{},
       "-s 127.0.0.7 -n 0 -p http -c L -i 3"},
      // A byte that is not UTF-8 in a value: one character, as typed text takes it.
      {Strings{"--customer-name", "A\xFF", "--customer-id", "1", "--server", "127.0.0.1"},
       "options", nullptr, Strings{"customerName", "customerId", "serverURL"},
       "-s 127.0.0.1 -n 80 -p http -c A\xC3\xBF -i 1"},
      // An XML list after a byte-order mark reads as without it.
      {Prefs("bom.plist", "\xEF\xBB\xBF" + Plist({"CustomerName", "B", "CustomerID", "5",
                                                  "ServerURL", "127.0.0.1"})),
       "managed-preferences", dir_ + "/bom.plist", Strings{},
       "-s 127.0.0.1 -n 0 -p http -c B -i 5"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const ActivateResult r = Run(With(c.args, {"--dry-run"}));
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(r.json["outcome"], "dry-run");
    EXPECT_EQ(r.json["source"], c.source);
    EXPECT_EQ(r.json["sourceLocation"], c.location);
    EXPECT_EQ(r.json["overrides"], json(c.overrides));
    EXPECT_EQ(ShownArguments(r.json), c.argv);
    EXPECT_NE(access(kLog, F_OK), 0);
    EXPECT_NE(access(kConf, F_OK), 0);
  }
  EXPECT_EQ(tool_.Runs(), 0);

  // Every place looked at, the profile first, with what it held; the install log's entry for
  // the file beside the package has its control characters escaped, so it forges no entry.
  const json report = Run({"--package", package, "--managed-preferences", serverOnly_}).json;
  EXPECT_EQ(
      report["looked"],
      json::parse(R"([{"source": "managed-preferences", "location": )" + json(serverOnly_).dump() +
                  R"(, "found": true, "hasData": false, "problem": null}, )" +
                  R"({"source": "package-folder", "location": )" + json(beside).dump() +
                  R"(, "found": true, "hasData": true, "problem": null}])"));
  EXPECT_NE(kl::ReadWholeFile(kLog).find(dir_ + "/a\\nSTAMP\\tforged -- entry/InstallationData.xml"
                                                " has been found\n -- \n"),
            std::string::npos);
  // The profile gives the data: no entry for the file. The plain report names the source first.
  unlink(kLog);
  const std::string plain = ActivateRun({"--tool", tool_.Tool(), "--customer-id", "77",
                                         "--managed-preferences", profile_, "--package", package})
                                .out;
  EXPECT_EQ(plain.substr(0, plain.find('\n')),
            "source: managed-preferences (" + profile_ + "), options over it: customerId");
  EXPECT_EQ(kl::ReadWholeFile(kLog).find("InstallationData.xml"), std::string::npos);
  // Nor can the folder's line break forge a line of the plain report.
  const std::string forged =
      ActivateRun({"--tool", tool_.Tool(), "--dry-run", "--package", package}).out;
  EXPECT_EQ(
      forged.substr(0, forged.find('\n')),
      "source: package-folder (" + dir_ + "/a\\nSTAMP\\tforged -- entry/InstallationData.xml)");
  // Nor the message's: the outcome's line is the last, whole.
  const std::string escaped = dir_ + "/a\\nSTAMP\\tforged -- entry";
  const std::string refused = ActivateRun({"--tool", tool_.Tool(), "--data", beside + ".x"}).out;
  EXPECT_EQ(refused.substr(refused.rfind('\n', refused.size() - 2) + 1),
            "refused: Cannot read the pre-fill file " + escaped +
                "/InstallationData.xml.x: no such file in " + escaped + "\n");
}

// Each outcome and exit code, with the attempts made: usage errors (exit 2, nothing on standard
// output), refusals before any tool run (files named on the command line that cannot be read,
// the checks), no data (naming every place looked at), and the tool's verdicts over the server
// addresses in turn, with the configuration the shared writer gives for the default target "/".
TEST_F(ActivateSources, OutcomesAndExitCodes) {
  const std::string noData =
      tmp_.Write("nodata/InstallationData.xml", "<D><Server><URL>127.0.0.1</URL></Server></D>");
  const std::string array =
      tmp_.Write("array.plist", "<?xml version=\"1.0\"?>\n<plist version=\"1.0\"><array/></plist>");
  const std::string unreadable = "Cannot read the managed preferences " + dir_ + "/";
  const std::string fifo = dir_ + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string none =
      "No activation data was found (an activation key, a customer ID or a customer name)";
  const std::string kNotGiven = "Activation key can not be empty (the managed preferences' ";
  const std::string kNotGivenEnd =
      " holds a NUL or text that is not valid, so it counts as not given)";
  const std::string looked = none + ". Looked at: ";
  // Arrays of two references to the next, `levels` deep around `leaf`: 2^levels copies of it
  // once shared values are copied. A chain of arrays of one, 120000 deep (three-byte
  // references): libplist's own walk overflows its stack on it.
  const auto doubling = [](int levels, const std::string& leaf) {
    Strings objects;
    for (int i = 1; i <= levels; ++i) {
      objects.push_back("\xA2" + std::string(2, static_cast<char>(i)));
    }
    objects.push_back(leaf);
    return Binary(objects);
  };
  Strings chain;
  for (int i = 1; i <= 120000; ++i) {
    chain.push_back(
        {'\xA1', static_cast<char>(i >> 16), static_cast<char>(i >> 8), static_cast<char>(i)});
  }
  chain.push_back("\x09");
  const char* const outcomes[] = {"activated", "refused",      "",
                                  "failed",    "config-error", "no-activation-data"};
  const struct {
    Strings args;
    int exitCode;
    std::string message;
    std::string steps = "exit 0";  // the tool's, one a line
    std::string attempts = "[]";
  } cases[] = {
      {Strings{}, 2, ""},
      {Strings{"--managed-preferences", "a", "b"}, 2, ""},  // one property list at most
      {Strings{"--package", "a", "--data", "b"}, 2, ""},
      {With(kCustomer, {"--key", "k"}), 2, ""},
      {With(kCustomer, {"--protocol", "ftp"}), 2, ""},
      {Strings{"--package", dir_ + "/pkg/Kelvory.pkg"}, 5,
       looked + "the file beside the package " + dir_ + "/pkg/InstallationData.xml: no such " +
           "folder: " + dir_ + "/pkg"},
      {Strings{"--managed-preferences", serverOnly_, "--package", dir_ + "/nodata/Kelvory.pkg"}, 5,
       looked + "the managed preferences " + serverOnly_ +
           ": holds none; the file beside the package " + noData + ": holds none"},
      {Strings{"--managed-preferences"}, 5,
       looked + "the managed preferences com.kelvory.activation: no managed preferences are " +
           "forced for this domain"},
      {Strings{"--server", "127.0.0.1", "--proxy", "127.0.0.1:3128"}, 5,
       none + "; no option gave any"},
      {Strings{"--managed-preferences", dir_ + "/no.plist"}, 1,
       "Cannot read the managed preferences " + dir_ + "/no.plist: no such file in " + dir_},
      // A FIFO would block the reader, /dev/zero never end: neither is a file.
      {Strings{"--data", fifo, "--text"}, 1,
       "Cannot read the pre-fill file " + fifo + ": not a regular file (a FIFO or a device is " +
           "never read)"},
      {Strings{"--managed-preferences", array}, 1,
       "Cannot read the managed preferences " + array + ": the property list is not a dictionary"},
      {Prefs("signed", "\x30\x80\x06\x09\x2A\x86\x48\x86"
                       "\xF7\x0D\x01\x07\x02\xA0\x80"),
       1,
       unreadable + "signed: a signed configuration profile, which is not read: pass the " +
           "unsigned profile, or install it"},
      // Crafted lists, each refused with its reason, none crashing the tool (the self-reference,
      // the string length and the 100,000 dictionaries crashed the parser used before).
      {Prefs("self", Binary({"\xA1\0"s})), 1,
       unreadable + "self: a binary property list that refers to itself"},
      {Prefs("length", Binary({"\x5F\x13\x40" + std::string(7, '\0') + "abc"})), 1,
       unreadable + "length: a damaged binary property list"},
      {Prefs("count", Binary({"\xA0"s}, 1, 1ull << 62)), 1,
       unreadable + "count: a damaged binary property list"},
      {Prefs("key", Binary({"\xD1\1\2"s, "\x52\0a"s, "\x09"})), 1,
       unreadable + "key: a damaged binary property list"},  // a NUL in a key
      {Prefs("shared", doubling(30, "\x09")), 1, unreadable + "shared: more than 16384 values"},
      {Prefs("text", doubling(13, "\x5F\x11\x04\x4C" + std::string(1100, 'x'))), 1,
       unreadable + "text: more than 8 MiB of text and data"},
      {Prefs("chain", Binary(chain, 3)), 1, unreadable + "chain: nested deeper than 32 levels"},
      {Prefs("deep", "<plist>" + Repeat("<dict><key>a</key>", 100000) + Repeat("</dict>", 100000) +
                         "</plist>"),
       1, unreadable + "deep: larger than 1 MiB"},
      {Prefs("unclosed", "<plist>" + Repeat("<dict><key>a</key>", 50000)), 1,
       unreadable + "unclosed: nested deeper than 32 levels"},
      {Prefs("33", Plist({"Deep", Repeat("<array>", 32) + Repeat("</array>", 32)})), 1,
       unreadable + "33: nested deeper than 32 levels"},
      {Prefs("33dict", Plist({"Deep", Repeat("<dict><key>a</key>", 32) + Repeat("</dict>", 32)})),
       1, unreadable + "33dict: nested deeper than 32 levels"},
      {Prefs("openstep", "{ CustomerName = N; }"), 1,
       unreadable + "openstep: an OpenStep text property list, which is not read"},
      {Strings{"--managed-preferences", "/dev/zero"}, 1,
       "Cannot read the managed preferences /dev/zero: not a regular file (a FIFO or a device is "
       "never read)"},
      {Prefs("two", Profile(kMcx + Dict({"PayloadType", "com.kelvory.activation", "PayloadUUID",
                                         "U-2", "PayloadIdentifier", "two"}))),
       1,
       unreadable + "two: a configuration profile with 2 payloads for com.kelvory.activation: " +
           "\"mcx\" and \"two\"; keep one"},
      {Prefs("other", Profile(kOther)), 1,
       unreadable + "other: a configuration profile with no payload for com.kelvory.activation"},
      {Strings{"--data", dir_ + "/missing.xml"}, 1,
       "Cannot read the pre-fill file " + dir_ + "/missing.xml: no such file in " + dir_},
      {Strings{"--data", tmp_.Write("bad.xml", "<D><ActivationKey>x")}, 1,
       "Cannot read the pre-fill file " + dir_ + "/bad.xml: not a well-formed XML document"},
      {With(kCustomer, {"--port", "abc"}), 1, "Invalid port format"},
      {With(kCustomer, {"--target", "/V\n[main]"}), 1,
       "Destination volume path can not contain control characters"},
      {With(kCustomer, {"--target", "/Volumes/\xFF"}), 1,
       "Destination volume path can only contain ASCII characters"},
      // A profile text with a NUL, bytes that are not UTF-8 or a lone surrogate is never cut
      // short: it counts as not given (here the customer form lacks it), and the message says so.
      {Prefs("nul-id", CustomerBinary("\x59" + "1001\0evil"s, "\x51N"s)), 1,
       kNotGiven + "CustomerID" + kNotGivenEnd},
      {Prefs("nul-name", CustomerBinary("\x54" + "1001"s, "\x55\0Acme"s)), 1,
       kNotGiven + "CustomerName" + kNotGivenEnd},
      {Prefs("surrogate", CustomerBinary("\x54" + "1001"s, "\x63\0A\xD8\0\0B"s)), 1,
       kNotGiven + "CustomerName" + kNotGivenEnd},
      {Prefs("xml-nul",
             Plist({"CustomerID", "1001\0evil"s, "CustomerName", "N", "ServerURL", "127.0.0.1"})),
       1, kNotGiven + "CustomerID" + kNotGivenEnd},
      {Prefs("latin1",
             Plist({"CustomerID", "1", "CustomerName", "Caf\xE9", "ServerURL", "127.0.0.1"})),
       1, kNotGiven + "CustomerName" + kNotGivenEnd},
      {Strings{"--customer-name", "N", "--customer-id", "1", "--server", "127.0.0.2,127.0.0.1"}, 0,
       "Validation Succeeded", "exit 19\nexit 0",
       R"([{"server": "127.0.0.2", "status": 19, "message": "Launch script returned unexpected )"
       R"(error code: 19"}, {"server": "127.0.0.1", "status": 0, "message": ""}])"},
      {kCustomer, 3, "Launch script failed", "kill -TERM $$",  // 128 + SIGTERM
       R"([{"server": "127.0.0.1", "status": 143, "message": "Launch script failed"}])"},
      // Validated, but the configuration cannot be appended to: a link there is not followed.
      {kCustomer, 4, "Error loading configuration file",
       "ln -s /nonexistent/kelvor.conf /tmp/kelvor.conf",
       R"([{"server": "127.0.0.1", "status": 0, "message": ""}])"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args) + c.steps);
    unlink(kConf);
    kl::FakeTool tool({c.steps});
    const ActivateResult r = Run(c.args, tool);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.out << r.err;
    if (c.exitCode == 2) {
      EXPECT_EQ(r.out, "");
      EXPECT_NE(r.err, "");
      continue;
    }
    EXPECT_EQ(r.json["outcome"], outcomes[c.exitCode]);
    EXPECT_EQ(r.json["message"], c.message);
    EXPECT_EQ(r.json["configWritten"], c.exitCode == 0);
    EXPECT_EQ(kl::ReadWholeFile(kConf), c.exitCode == 0 ? kBlock : "");
    EXPECT_EQ(r.json["attempts"], json::parse(c.attempts));
    EXPECT_EQ(r.json["rounds"], r.json["attempts"].empty() ? 0 : 1);  // none without a run
    EXPECT_EQ(tool.Runs(), static_cast<int>(r.json["attempts"].size()));
  }
  // The file beside the package was needed and missing: the install log says so.
  EXPECT_NE(kl::ReadWholeFile(kLog).find("InstallationData.xml was not found"), std::string::npos);
  const kl::ProcessRun version = kl::RunProcess(ACTIVATE_PATH, {"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, std::string("kelvory-activate ") + KL_VERSION + "\n");
  // The tool: the InitialValidate beside the program unless named; no other name is run.
  const std::string program = ACTIVATE_PATH;
  const Strings form = With(kCustomer, {"--dry-run", "--json"});
  EXPECT_EQ(ActivateRun(form).json["argv"][0][0],
            program.substr(0, program.rfind('/')) + "/InitialValidate");
  const ActivateResult misnamed =
      ActivateRun(With(form, {"--tool", "/usr/bin/NotInitialValidate"}));
  EXPECT_EQ(misnamed.exitCode, 2);
  EXPECT_NE(misnamed.err.find("--tool must name a file called InitialValidate"), std::string::npos);
}

// A byte that is not UTF-8 in the environment ends no run: the report comes, and the validation
// tool still gets the variable as it was.
TEST_F(ActivateSources, EnvironmentBytesThatAreNotUtf8) {
  kl::FakeTool tool({"printf %s \"$KL_LATIN1\" >" + dir_ + "/seen; exit 0"});
  setenv("KL_LATIN1", "caf\xE9", 1);
  const ActivateResult r = Run(kCustomer, tool);
  unsetenv("KL_LATIN1");
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(r.json["outcome"], "activated");
  EXPECT_EQ(kl::ReadWholeFile(dir_ + "/seen"), "caf\xE9");
}

// --unless-activated skips only when the configuration ends with a complete block (the panes
// ran), whatever its age, in a file only the panes or root can have written, and never in a
// command-line install. Any other file is no activation: the run goes on, and the writer then
// refuses another user's file or a second link.
TEST_F(ActivateSources, UnlessActivatedInCommandLineInstalls) {
  const struct {
    const char* name;
    std::string conf;  // empty: no file
    const char* commandLine;
    bool unless;
    const char* outcome;
    uid_t owner = 0;
    const char* installerUser = nullptr;  // --installer-user's value
    bool secondLink = false;
    off_t hole = 0;  // bytes before `conf`, unwritten
  } cases[] = {
      {"the panes ran long ago", kBlock, nullptr, true, "already-activated"},
      {"a command-line install", kBlock, "1", true, "activated"},
      {"another value is no command-line install", kBlock, "0", true, "already-activated"},
      {"no configuration", "", nullptr, true, "activated"},
      {"a block cut short", kBlock.substr(0, kBlock.size() - 3), nullptr, true, "activated"},
      {"without --unless-activated", kBlock, nullptr, false, "activated"},
      {"another user's file", kBlock, nullptr, true, "config-error", 65534},
      {"the Installer's user's file", kBlock, nullptr, true, "already-activated", 65534, "65534"},
      {"the Installer's user by name", kBlock, nullptr, true, "already-activated", 65534, "nobody"},
      {"a second link", kBlock, nullptr, true, "config-error", 0, nullptr, true},
      {"3 GiB, sparse: only the tail is read", "[server]\n" + kBlock, nullptr, true,
       "already-activated", 0, nullptr, false, off_t{3} << 30},
  };
  const std::map<std::string, std::string> messages = {
      {"already-activated", std::string(kConf) + " already ends with a complete activation for "
                                                 "this volume (the installer's panes ran)"},
      {"activated", "Validation Succeeded"},
      {"config-error", "Error loading configuration file"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    unlink(kConf);
    const std::string other = dir_ + "/link";
    unlink(other.c_str());
    if (!c.conf.empty()) {
      std::ofstream file(kConf, std::ios::binary);
      file.seekp(c.hole) << c.conf;
      file.close();
      chmod(kConf, 0600), chown(kConf, c.owner, c.owner);
      if (c.secondLink) link(kConf, other.c_str());
    }
    const timeval past[2] = {{time(nullptr) - 7200, 0}, {time(nullptr) - 7200, 0}};
    utimes(kConf, past);
    if (c.commandLine != nullptr) setenv("COMMAND_LINE_INSTALL", c.commandLine, 1);
    const int runs = tool_.Runs();
    const auto start = std::chrono::steady_clock::now();
    Strings args = c.unless ? With(kCustomer, {"--unless-activated"}) : kCustomer;
    if (c.installerUser != nullptr) args = With(args, {"--installer-user", c.installerUser});
    const json report = Run(args).json;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    unsetenv("COMMAND_LINE_INSTALL");
    const bool skipped = std::string(c.outcome) == "already-activated";
    EXPECT_EQ(tool_.Runs(), runs + (skipped ? 0 : 1));
    EXPECT_EQ(report["outcome"], c.outcome);
    EXPECT_EQ(report["message"], messages.at(c.outcome));
    if (c.hole > 0) {
      std::printf("%s: %.2f s\n", c.name, seconds);
      EXPECT_LT(seconds, 5.0) << "more than the tail was read";
    }
  }
  unlink(kConf);
}

using StopAndLockTest = ActivateSources;

#if defined(__linux__)
// In a child, before the program: mount (and network) namespaces of its own, set up by `shell`.
void Isolate(int namespaces, const std::string& shell) {
  if (unshare(namespaces) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
      system(shell.c_str()) != 0)
    _exit(kl::kNoNamespace);
}
#endif

// A time limit or a signal: exit 6 with its outcome, the tool and what it started end (one of
// them ignores SIGTERM and needs the SIGKILL that follows), and nothing is appended; the message
// says whether the configuration changed meanwhile (the tool rewrites it before it validates).
TEST_F(StopAndLockTest, TimeLimitAndSignalsEndTheToolAndWriteNothing) {
  const std::string graceful =
      "trap 'touch \"$d/term\"' TERM; sleep 60 & echo $! > \"$d/pid\"; wait";
  const std::string rewrite = "printf '[server]\\nnew\\n' > /tmp/kelvor.conf; ";
  const std::string nothing = "; nothing was written";
  const std::string changed = "; /tmp/kelvor.conf changed during the run (the validation tool "
                              "writes it); no activation block was appended";
  const std::string interrupted = "The activation was interrupted",
                    late = "The activation did not end within its time limit";
  const struct {
    std::string step;
    int signal;  // sent once the tool runs; 0: a time limit of 3 s instead
    const char* outcome;
    std::string message;
  } cases[] = {
      {graceful, 0, "timed-out", late + nothing},
      {graceful, SIGTERM, "interrupted", interrupted + nothing},
      {graceful, SIGHUP, "interrupted", interrupted + nothing},
      {"trap '' TERM; sleep 60 & echo $! > \"$d/pid\"; wait", SIGINT, "interrupted",
       interrupted + nothing},
      {rewrite + graceful, SIGTERM, "interrupted", interrupted + changed},
      {rewrite + graceful, 0, "timed-out", late + changed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.step + " " + std::to_string(c.signal));
    std::ofstream(kConf) << "[server]\n";
    kl::FakeTool tool({c.step});
    const pid_t run =
        Start(c.signal != 0 ? kCustomer : With(kCustomer, {"--timeout", "3"}), tool, "out");
    const pid_t started = kl::PidFrom(tool.directory + "/pid");
    ASSERT_GT(started, 0);
    if (c.signal != 0) kill(run, c.signal);
    EXPECT_EQ(kl::ReapProcess(run, 20), 6);
    EXPECT_TRUE(kl::EndsSoon(started));
    // A tool that heeds SIGTERM gets the chance to end on its own.
    EXPECT_EQ(access((tool.directory + "/term").c_str(), F_OK) == 0,
              c.step.find("trap ''") == std::string::npos);
    kill(started, SIGKILL);
    const json report = json::parse(kl::ReadWholeFile(dir_ + "/out"), nullptr, false);
    EXPECT_EQ(report["outcome"], c.outcome);
    EXPECT_EQ(report["message"], c.message);
    EXPECT_EQ(report["configWritten"], false);
    EXPECT_EQ(kl::ReadWholeFile(kConf),
              c.message.find(changed) == std::string::npos ? "[server]\n" : "[server]\nnew\n");
  }
}

// Each fake tool replaces the file at once and then takes its time, as a slow server would:
// without turns, both tools write before either run appends and the file ends with two blocks.
// A lock planted by someone else, a link or another user's file, is replaced, never locked
// through, and a link's target stays untouched (we are root here).
TEST_F(StopAndLockTest, ConcurrentRunsTakeTurns) {
  const std::string target = tmp_.Write("target", "theirs");
  const auto lockIsOurs = [&] {
    struct stat info {};
    return lstat(kLock, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == geteuid() &&
           kl::ReadWholeFile(target) == "theirs";
  };
  symlink(target.c_str(), kLock);
  kl::FakeTool tool(
      {"printf '[server]\\n' > /tmp/kc.$$ && mv /tmp/kc.$$ /tmp/kelvor.conf; sleep 0.5"});
  const pid_t first = Start(kCustomer, tool, "1");
  usleep(100000);
  const pid_t second = Start(kCustomer, tool, "2");
  EXPECT_EQ(kl::ReapProcess(first, 20), 0);
  EXPECT_EQ(kl::ReapProcess(second, 20), 0);
  EXPECT_TRUE(lockIsOurs());
  EXPECT_EQ(kl::ReadWholeFile(kConf), "[server]\n" + kBlock) << "one block only";

  // A run that never gets its turn within its time limit: busy, exit 6, nothing run.
  unlink(kLock), close(creat(kLock, 0666)), chown(kLock, 65534, 65534);
  kl::FakeTool slow({"echo $$ > \"$d/pid\"; exec sleep 60"});
  const pid_t holder = Start(kCustomer, slow, "3");
  ASSERT_GT(kl::PidFrom(slow.directory + "/pid"), 0);
  EXPECT_TRUE(lockIsOurs());
  kl::FakeTool waiting({"exit 0"});
  const ActivateResult busy = Run(With(kCustomer, {"--timeout", "1"}), waiting);
  kill(holder, SIGTERM);
  kl::ReapProcess(holder, 20);
  EXPECT_EQ(busy.exitCode, 6);
  EXPECT_EQ(busy.json["outcome"], "busy");
  for (const char* key : {"source", "sourceLocation", "overrides", "looked", "rounds"}) {
    EXPECT_TRUE(busy.json.contains(key)) << key;  // the keys every outcome has
  }
  EXPECT_EQ(waiting.Runs(), 0);
}

// One deadline from the first instruction, and stops that say what is true: a signal that came
// before the handlers (held back here by a blocked mask) ends the run as interrupted; a host name
// the resolver never answers gives up at the time limit. A lock that cannot be made fails at once
// with the system's reason, and nothing another user plants at /tmp/kelvor.conf.lock blocks root,
// whose lock lies in /var/run. Each run that needs it has mount and network namespaces of its own.
TEST_F(StopAndLockTest, TheDeadlineHoldsAndALockThatCannotBeMadeFailsAtOnce) {
#if defined(__linux__)
  const std::string resolver =
      tmp_.Write("resolv.conf", "nameserver 127.0.0.1\noptions timeout:30 attempts:1\n");
  const auto silentResolver = [&] {
    Isolate(CLONE_NEWNS | CLONE_NEWNET,
            "ip link set lo up && mount --bind " + resolver + " /etc/resolv.conf");
    const int s = socket(AF_INET, SOCK_DGRAM, 0);  // port 53, never read: no answer comes
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(53);
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(s, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) _exit(kl::kNoNamespace);
  };
  const auto readOnlyRun = [] { Isolate(CLONE_NEWNS, "mount -t tmpfs -o ro none /var/run"); };
  const auto unwritableTmp = [] {
    Isolate(CLONE_NEWNS, "mount -t tmpfs -o mode=0755 none /tmp");
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(kl::kNoNamespace);
  };
  const Strings unanswered{"--key", KLHelper::EncodeBase64("never.answers.test:8080|9|1|"),
                           "--timeout", "2"};
  const std::string lockError = "Cannot make the activation lock ";
#else
  std::printf("Not run here: the silent resolver, the read-only /var/run and the unwritable /tmp "
              "need Linux's mount and network namespaces\n");
#endif
  const struct {
    const char* name;
    std::function<void()> prepare;
    Strings args;
    int exitCode;
    const char* outcome;
    std::string message;
  } cases[] = {
    {"SIGTERM before the handlers", nullptr, kCustomer, 6, "interrupted",
     "The activation was interrupted; nothing was written"},
#if defined(__linux__)
    {"a resolver that never answers", silentResolver, unanswered, 6, "timed-out",
     "The activation did not end within its time limit; nothing was written"},
    {"root's lock in a read-only /var/run", readOnlyRun, kCustomer, 4, "config-error",
     lockError + "/var/run/kelvory-activate.lock: Read-only file system"},
    {"a user whose /tmp it cannot write", unwritableTmp, With(kCustomer, {"--timeout", "5"}), 4,
     "config-error", lockError + "/tmp/kelvor.conf.lock: Permission denied"},
#endif
    {"another user's directory at /tmp/kelvor.conf.lock", nullptr, kCustomer, 0, "activated",
     "Validation Succeeded"},
  };
  const char* const planted = "/tmp/kelvor.conf.lock";
  unlink(planted), mkdir(planted, 0700), chown(planted, 65534, 65534);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    unlink(kConf);
    kl::FakeTool tool({"exit 0"});
    const bool early = c.exitCode == 6 && c.prepare == nullptr;
    sigset_t term, previous;
    sigemptyset(&term), sigaddset(&term, SIGTERM);
    if (early) sigprocmask(SIG_BLOCK, &term, &previous);  // inherited by the program
    const auto start = std::chrono::steady_clock::now();
    const pid_t run =
        kl::StartProcess(With({ACTIVATE_PATH, "--json", "--tool", tool.Tool()}, c.args),
                         dir_ + "/out", dir_ + "/err", false, c.prepare);
    if (early) kill(run, SIGTERM), sigprocmask(SIG_SETMASK, &previous, nullptr);
    const int code = kl::ReapProcess(run, 60);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s: exit %d after %.2f s\n", c.name, code, seconds);
    ASSERT_NE(code, kl::kNoNamespace) << "no namespace for this case";
    const json report = json::parse(kl::ReadWholeFile(dir_ + "/out"), nullptr, false);
    EXPECT_EQ(code, c.exitCode) << kl::ReadWholeFile(dir_ + "/err");
    EXPECT_EQ(report["outcome"], c.outcome);
    EXPECT_EQ(report["message"], c.message);
    EXPECT_EQ(tool.Runs(), c.exitCode == 0 ? 1 : 0);
    EXPECT_LT(seconds, 15.0) << "the run outlived its time limit";
  }
  rmdir(planted);
}

class ProfilePlatform : public kl::DefaultPlatform {
 public:
  std::string ManagedPreferences(const std::string& domain,
                                 const std::vector<std::string>& keys) override {
    asked = domain;
    for (const std::string& key : keys) asked += " " + key;
    return forced;
  }
  std::string forced, asked;
};

// A FIFO renamed over the pre-fill file or the profile while they are read is judged by what
// was opened: never waited on (in the window, a hang). A thread swaps a FIFO and a file into
// each place as fast as it can; a read still running after half a second is let go by opening
// the FIFO for writing, and counted.
TEST(SourceChoice, AFifoSwappedInIsNeverWaitedOn) {
  NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
  kl::TempDir tmp;
  const std::string fifo = tmp.path + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string xmlText = "<D><ActivationKey>k</ActivationKey></D>";
  const std::string plistText = Plist({"ActivationKey", "k"});
  const std::string xml = tmp.Write("xml", xmlText), plist = tmp.Write("plist", plistText);
  // Each place holds a good file or the FIFO, never anything else.
  const std::string prefill = tmp.Write("pkg/InstallationData.xml", xmlText);
  const std::string profile = tmp.Write("profile.plist", plistText);
  std::atomic<bool> done{false};
  std::atomic<int64_t> since{0};  // when the read under way started (ms), 0 between reads
  int released = 0;
  const auto now = [] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  };
  std::thread swapper([&] {
    for (int i = 0; !done; ++i) {
      for (const auto& [from, to] : {std::make_pair(i % 2 ? fifo : xml, prefill),
                                     std::make_pair(i % 2 ? fifo : plist, profile)}) {
        link(from.c_str(), (to + ".new").c_str());
        rename((to + ".new").c_str(), to.c_str());
      }
      const int64_t started = since;
      if (started != 0 && now() - started > 500) {
        const int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) ++released, close(writer);
      }
    }
  });
  KLSourceRequest beside, data, managed;
  beside.packagePath = tmp.path + "/pkg/Kelvory.pkg";
  data.dataPath = prefill;
  managed.managedPreferences = true;
  managed.managedPreferencesPath = profile;
  int reads = 0, fifos = 0;
  for (const int64_t end = now() + 1500; now() < end; ++reads) {
    for (const KLSourceRequest* request : {&beside, &data, &managed}) {
      since = now();
      const KLSourceChoice choice = KLChooseActivationSource(*request);
      since = 0;
      ASSERT_EQ(choice.looked.size(), 1u);
      const KLSourceLook& look = choice.looked[0];
      if (look.found) {
        EXPECT_TRUE(look.hasData);
      } else {
        EXPECT_EQ(look.problem, "not a regular file (a FIFO or a device is never read)");
        ++fifos;
      }
    }
  }
  done = true;
  swapper.join();
  EXPECT_EQ(released, 0) << "reads that waited on the FIFO";
  EXPECT_GT(fifos, 0);
  std::printf("%d rounds of three reads, %d of them met the FIFO\n", reads, fifos);
  [pool drain];
}

// The platform's managed preferences (a configuration profile on macOS): the domain and keys
// asked for; what is forced (an integer too) gives the record, and a typed proxy overrides it.
TEST(SourceChoice, ThePlatformsForcedPreferences) {
  NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
  ProfilePlatform platform;
  kl::ScopedPlatform scope(&platform);
  platform.forced = Plist({"ActivationKey", "a2V5", "ServerPort", "<integer>8443</integer>"});
  KLSourceRequest request;
  request.managedPreferences = true;
  request.typed.proxy = "127.0.0.1:3128";
  const KLSourceChoice choice = KLChooseActivationSource(request);
  EXPECT_EQ(platform.asked,
            "com.kelvory.activation ActivationKey CustomerID CustomerName ServerURL "
            "ServerProtocol ServerPort ProxyURL ProxyPort");
  EXPECT_EQ(KLStdString(choice.input.activationKey), "a2V5");
  EXPECT_EQ(KLStdString(choice.input.port), "8443");
  EXPECT_EQ(KLStdString(choice.input.proxy), "127.0.0.1:3128");
  EXPECT_EQ(choice.overrides, std::vector<std::string>({"proxy"}));
  [pool drain];
}

}  // namespace
