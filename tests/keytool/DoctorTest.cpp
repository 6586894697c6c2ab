// The key tool's doctor, run as a real process on pre-fill files and keys.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "KLHelper.h"
#include "LogText.h"

extern char** environ;

namespace {

using nlohmann::json;

struct DoctorRun {
  int exitCode = -1;
  std::string out;
};

// Runs `kelvory-keytool doctor ARGS` without a shell; standard error is dropped.
DoctorRun Doctor(const std::vector<std::string>& args) {
  char outPath[] = "/tmp/doctor_out_XXXXXX";
  const int outFd = mkstemp(outPath);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, outFd, 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<std::string> all{KEYTOOL_PATH, "doctor"};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  DoctorRun run;
  pid_t pid;
  if (posix_spawn(&pid, KEYTOOL_PATH, &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  close(outFd);
  run.out = kl::ReadWholeFile(outPath);
  unlink(outPath);
  return run;
}

const std::string kKey = KLHelper::EncodeBase64("https://192.0.2.10:8443,localhost|42|1|t");

std::vector<std::string> Argv(std::vector<std::string> options) {
  std::vector<std::string> argv{"<resources>/InitialValidate"};
  argv.insert(argv.end(), options.begin(), options.end());
  argv.push_back("-l");
  argv.push_back("/tmp/kelvor_install.log");
  return argv;
}

class DoctorFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/doctor_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
  }
  void TearDown() override { (void)system(("rm -rf '" + dir_ + "'").c_str()); }
  // Writes `content` as InstallationData.xml in the folder `name`; returns the file's path.
  std::string Write(const std::string& name, const std::string& content) {
    mkdir((dir_ + "/" + name).c_str(), 0755);
    const std::string path = dir_ + "/" + name + "/InstallationData.xml";
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }
  std::string Package(const std::string& name) { return dir_ + "/" + name + "/Kelvory.pkg"; }
  std::string dir_;
};

TEST_F(DoctorFiles, SaysWhatThePaneWouldDoAndWhy) {
  const std::string good =
      Write("good", "<Data><ActivationKey>" + kKey + "</ActivationKey></Data>");
  Write("indented", "<Data>\n  <ActivationKey>\n    " + kKey + "\n  </ActivationKey>\n</Data>");
  mkdir((dir_ + "/dir").c_str(), 0755);
  mkdir((dir_ + "/dir/InstallationData.xml").c_str(), 0755);
  const std::string bad = Write("bad", "<Data><ActivationKey>x");
  const std::string customer = "<Customer><ID>42</ID><Name>Example Customer</Name></Customer>";
  const std::string server =
      "<Server><URL>192.0.2.20,localhost</URL><Protocol>https</Protocol><Port>8443</Port></Server>";
  Write("server", "<Data>" + server + "</Data>");
  Write("id", "<Data><Customer><ID>42</ID></Customer></Data>");
  Write("customer", "<Data>" + customer + server +
                        "<Proxy><URL>proxy.invalid</URL><Port>3128</Port></Proxy></Data>");
  const std::string text = Write("text", "customerName=A\ncustomerID=7\nserverURL=localhost\n");
  const std::vector<std::string> customerOptions = {
      "-p", "https", "-x", "proxy.invalid:3128", "-f", "/tmp/kelvor.conf", "-c", "Example Customer",
      "-i", "42"};
  auto With = [](std::vector<std::string> head, const std::vector<std::string>& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return Argv(head);
  };
  const struct {
    std::vector<std::string> args;
    int exitCode;
    json expected;  // members that must equal the report's
  } cases[] = {
      {{"--package", Package("good")},
       0,
       {{"file", {{"path", good}, {"found", true}, {"problem", nullptr}}},
        {"form", "key"},
        {"alert", nullptr},
        {"likelyCause", nullptr},
        {"validation",
         {{{"server", "192.0.2.10"},
           {"resolves", true},
           {"argv", Argv({"-s", "192.0.2.10", "-n", "8443", "-p", "https", "-f", "/tmp/kelvor.conf",
                          "-a", "42"})}}}}}},
      {{"--package", Package("indented")},
       1,
       {{"alert", "Invalid activation key format"},
        {"field", "activationKey"},
        {"validation", json::array()}}},
      {{"--package", Package("none")},
       1,
       {{"file",
         {{"path", dir_ + "/none/InstallationData.xml"},
          {"found", false},
          {"problem", "no such folder: " + dir_ + "/none"}}},
        {"read", nullptr}}},
      {{"--package", dir_ + "/Kelvory.pkg"},
       1,
       {{"file",
         {{"path", dir_ + "/InstallationData.xml"},
          {"found", false},
          {"problem", "no such file in " + dir_}}}}},
      {{"--package", Package("dir")},
       1,
       {{"file",
         {{"path", dir_ + "/dir/InstallationData.xml"},
          {"found", false},
          {"problem", "a directory of that name, not a file"}}}}},
      {{"--data", bad},
       1,
       {{"file", {{"path", bad}, {"found", true}, {"problem", "not a well-formed XML document"}}},
        {"alert", nullptr}}},
      // A server address alone is no activation data: the pane asks, with no alert.
      {{"--package", Package("server")},
       1,
       {{"alert", nullptr},
        {"form", nullptr},
        {"read",
         {{"containData", false},
          {"activationKey", ""},
          {"customerId", ""},
          {"customerName", ""},
          {"serverURL", "192.0.2.20,localhost"},
          {"isHTTPS", true},
          {"serverPort", 8443},
          {"proxyServer", ""}}}}},
      {{"--package", Package("id")},
       1,
       {{"alert", "Activation key can not be empty"}, {"field", "activationKey"}, {"form", "key"}}},
      {{"--package", Package("customer")},
       0,
       {{"form", "customer"},
        {"key", nullptr},
        {"validation",
         {{{"server", "192.0.2.20"},
           {"resolves", true},
           {"argv", With({"-s", "192.0.2.20", "-n", "8443"}, customerOptions)}},
          {{"server", "localhost"},
           {"resolves", true},
           {"argv", With({"-s", "localhost", "-n", "8443"}, customerOptions)}}}}}},
      // The text form has no port here: the file's 0 stands.
      {{"--data", text, "--text"},
       0,
       {{"validation",
         {{{"server", "localhost"},
           {"resolves", true},
           {"argv", Argv({"-s", "localhost", "-n", "0", "-p", "http", "-f", "/tmp/kelvor.conf",
                          "-c", "A", "-i", "7"})}}}}}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args{"--json"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const DoctorRun r = Doctor(args);
    EXPECT_EQ(r.exitCode, c.exitCode) << c.args[1];
    ASSERT_NO_THROW(json::parse(r.out)) << r.out;
    const json report = json::parse(r.out);
    EXPECT_EQ(report["passes"], c.exitCode == 0) << c.args[1];
    for (const auto& member : c.expected.items()) {
      EXPECT_EQ(report[member.key()], member.value()) << c.args[1] << " " << member.key();
    }
  }

  // The slip is named in plain words.
  EXPECT_NE(Doctor({"--package", Package("indented")})
                .out.find("likely cause: The key holds line breaks, tabs or spaces around it: a "
                          "key written on its own line inside <ActivationKey>"),
            std::string::npos);
  EXPECT_NE(Doctor({"--package", Package("id")})
                .out.find("likely cause: The file gives a customer "
                          "ID or a customer name but not both"),
            std::string::npos);
  EXPECT_EQ(Doctor({"--package", Package("none")}).out,
            "pre-fill file: \"" + dir_ +
                "/none/InstallationData.xml\"\nfound: no\nproblem: no "
                "such folder: " +
                dir_ + "/none\npasses by itself: no\n");
}

// Every endpoint with its own message, past the first bad one, and each host's resolution.
TEST(DoctorKey, EveryEndpointAndEveryHost) {
  const std::string decoded = "192.0.2.10,ftp://192.0.2.11,http://doctor.invalid,localhost:0|7|1|";
  const DoctorRun r = Doctor({"--json", "--key", KLHelper::EncodeBase64(decoded)});
  EXPECT_EQ(r.exitCode, 1);
  const json report = json::parse(r.out);
  EXPECT_EQ(report["alert"], "LRC checksum test failed");
  EXPECT_EQ(report["key"]["decoded"], decoded);
  EXPECT_EQ(report["key"]["applianceId"], "7");
  EXPECT_EQ(report["key"]["applianceType"], "1");
  const json& endpoints = report["key"]["endpoints"];
  ASSERT_EQ(endpoints.size(), 4u) << r.out;
  const struct {
    bool valid;
    json resolves;
    std::string message;
  } expected[] = {
      {true, true, ""},
      {false, nullptr, "Error: invalid protocol: ftp found in endpoint: ftp://192.0.2.11\n"},
      {false, false,
       " Error: hostname: doctor.invalid found in endpoint http://doctor.invalid is not valid IP "
       "address or can't be resolved to an IP address\n"},
      {false, true, "Error: invalid port: 0 found in endpoint localhost:0\n"},
  };
  for (size_t i = 0; i < endpoints.size(); ++i) {
    EXPECT_EQ(endpoints[i]["valid"], expected[i].valid) << i;
    EXPECT_EQ(endpoints[i]["resolves"], expected[i].resolves) << i;
    EXPECT_EQ(endpoints[i]["message"], expected[i].message) << i;
  }

  // A key after a tab: the plain cause for a typed key; a good key passes.
  const DoctorRun typed = Doctor({"--key", "\t" + kKey});
  EXPECT_EQ(typed.exitCode, 1);
  EXPECT_NE(typed.out.find("likely cause: The key holds line breaks, tabs or spaces around it, "
                           "and the pane uses a key exactly as given."),
            std::string::npos)
      << typed.out;
  EXPECT_EQ(Doctor({"--key", kKey}).exitCode, 0);
}

TEST(DoctorUsage, ExactlyOneInput) {
  const std::vector<std::vector<std::string>> cases = {{},
                                                       {"--json"},
                                                       {"--key", "k", "--data", "f"},
                                                       {"--package", "p", "--key", "k"},
                                                       {"--key", "k", "--text"},
                                                       {"--package", "p", "--text"},
                                                       {"--data"}};
  for (const auto& args : cases) {
    const DoctorRun r = Doctor(args);
    EXPECT_EQ(r.exitCode, 2) << ::testing::PrintToString(args);
    EXPECT_EQ(r.out, "");
  }
}

}  // namespace
