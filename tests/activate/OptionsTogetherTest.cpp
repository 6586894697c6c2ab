// kelvory-activate's options where they meet: a dry run next to the pre-fill, a proxy next to a
// key, a port next to a protocol, and a pre-fill path that could forge log lines.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>

#include "FakeTool.h"
#include "KLHelper.h"
#include "RunProcess.h"

namespace {

using Strings = std::vector<std::string>;
const char kLog[] = "/tmp/kelvor_install.log";

// The value after `option` in the first tool run of a dry run's JSON, or "(none)".
std::string ValueOf(const nlohmann::json& json, const std::string& option) {
  if (!json.contains("argv") || json["argv"].empty()) return "(no argv)";
  const Strings argv = json["argv"][0].get<Strings>();
  const auto at = std::find(argv.begin(), argv.end(), option);
  return at == argv.end() || at + 1 == argv.end() ? "(none)" : *(at + 1);
}

TEST(OptionsTogether, EachOptionCountsNextToTheOthers) {
  kl::TempDir dir;
  kl::FakeTool tool({"exit 10"});
  const std::string key = KLHelper::EncodeBase64("127.0.0.1|42|1|x");
  std::ofstream(dir.path + "/InstallationData.xml")
      << "<r><ActivationKey>" << key << "</ActivationKey></r>";
  const std::string package = dir.path + "/Kelvory.pkg";
  const Strings customer{"--customer-name", "Demo",     "--customer-id", "1001",
                         "--server",        "127.0.0.1"};
  const struct {
    const char* name;
    Strings args;
    const char* option;
    const char* value;
  } cases[] = {
      {"a proxy next to a key",
       {"--key", key, "--proxy", "127.0.0.1:3128"},
       "-x",
       "127.0.0.1:3128"},
      {"a proxy next to the pre-filled key", {"--package", package, "--proxy", "p:1"}, "-x", "p:1"},
      {"a port after a protocol", {"--protocol", "https", "--port", "8443"}, "-n", "8443"},
      {"a protocol alone", {"--protocol", "https"}, "-n", "443"},
  };
  for (const auto& c : cases) {
    unlink(kLog);
    Strings args = c.args;
    if (std::string(c.option) == "-n") args.insert(args.begin(), customer.begin(), customer.end());
    args.insert(args.end(), {"--tool", tool.Tool(), "--dry-run", "--json"});
    const kl::ProcessRun run = kl::RunProcess(ACTIVATE_PATH, args);
    EXPECT_EQ(run.exitCode, 0) << c.name << ": " << run.out << run.err;
    EXPECT_EQ(ValueOf(nlohmann::json::parse(run.out, nullptr, false), c.option), c.value) << c.name;
    // A dry run writes nothing, the install log included.
    EXPECT_NE(access(kLog, F_OK), 0) << c.name;
  }
  EXPECT_EQ(tool.Runs(), 0);
}

// The pre-fill's path goes into the install log with its control characters escaped: one
// entry, whatever the folder is called.
TEST(OptionsTogether, APrefillPathCannotForgeLogLines) {
  kl::TempDir dir;
  const std::string folder = dir.path + "/a\nSTAMP\tforged -- entry";
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  std::ofstream(folder + "/InstallationData.xml")
      << "<r><ActivationKey>" << KLHelper::EncodeBase64("127.0.0.1|42|1|x")
      << "</ActivationKey></r>";
  kl::FakeTool tool({"exit 10"});
  unlink(kLog);
  kl::RunProcess(ACTIVATE_PATH, {"--package", folder + "/Kelvory.pkg", "--tool", tool.Tool()});
  const std::string log = kl::ReadWholeFile(kLog);
  EXPECT_NE(log.find(dir.path + "/a\\nSTAMP\\tforged -- entry/InstallationData.xml has been "
                                "found\n -- \n"),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("\tforged"), std::string::npos) << log;
  unlink(kLog);
}

}  // namespace
