// The tool's argument vector, its launch without a shell, and the message for each status.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "FakeTool.h"
#include "KLValidationTool.h"

namespace {

using Strings = std::vector<std::string>;

ValidationRequest KeyForm() { return {"192.0.2.10", 8443, "https", "", "", "", 42}; }
ValidationRequest CustomerForm() {
  return {"a.invalid, b.invalid", 80, "http", "127.0.0.1:3128", "Demo Customer", "1001", 0};
}

TEST(ValidationArguments, OptionOrderAndOmissions) {
  ValidationRequest minusFive = KeyForm();
  minusFive.serverURL = "";
  minusFive.applianceId = -5;
  const struct {
    const char* name;
    std::string directory;
    ValidationRequest request;
    Strings argv;
  } cases[] = {
      {"key form: -a, no -c/-i/-x",
       "/res",
       KeyForm(),
       {"/res/InitialValidate", "-s", "192.0.2.10", "-n", "8443", "-p", "https", "-f",
        "/tmp/kelvor.conf", "-a", "42", "-l", "/tmp/kelvor_install.log"}},
      {"customer form: -x, -c, -i, no -a",
       "/res",
       CustomerForm(),
       {"/res/InitialValidate", "-s", "a.invalid, b.invalid", "-n", "80", "-p", "http", "-x",
        "127.0.0.1:3128", "-f", "/tmp/kelvor.conf", "-c", "Demo Customer", "-i", "1001", "-l",
        "/tmp/kelvor_install.log"}},
      {"empty URL still given, negative appliance",
       "/res",
       minusFive,
       {"/res/InitialValidate", "-s", "", "-n", "8443", "-p", "https", "-f", "/tmp/kelvor.conf",
        "-a", "-5", "-l", "/tmp/kelvor_install.log"}},
      {"directory trimmed, inner blanks kept",
       "  /My Plug-in/Resources  ",
       KeyForm(),
       {"/My Plug-in/Resources/InitialValidate", "-s", "192.0.2.10", "-n", "8443", "-p", "https",
        "-f", "/tmp/kelvor.conf", "-a", "42", "-l", "/tmp/kelvor_install.log"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ValidationArguments(c.directory, c.request), c.argv) << c.name;
  }
  // The directory is cut at 2047 bytes before the tool's name is added.
  EXPECT_EQ(ValidationToolPath(std::string(3000, 'd')),
            std::string(2047, 'd') + "/InitialValidate");
}

TEST(LaunchValidation, HostileValuesReachTheToolIntact) {
  kl::FakeTool tool({"exit 0"});
  const std::string owned = tool.directory + "/owned";
  ValidationRequest request = CustomerForm();
  request.customerName = "\"; touch " + owned + "; \"$(touch " + owned + ")`touch " + owned +
                         "`\nsecond line 'quoted' \\ %s";
  request.customerId = "1001; touch " + owned;
  request.proxy = "p\"roxy $HOME";
  request.serverURL = std::string(5000, 'u');  // longer than any command text could be
  EXPECT_EQ(launchvalidation(tool.directory.c_str(), request), 0);
  EXPECT_EQ(tool.Runs(), 1);
  EXPECT_EQ(tool.Arguments(1), ValidationArguments(tool.directory, request));
  EXPECT_NE(access(owned.c_str(), F_OK), 0) << "a value was run as a command";
}

TEST(LaunchValidation, StatusesOfEveryWayTheToolEnds) {
  kl::FakeTool tool({"exit 0", "exit 3", "exit 255", "kill -KILL $$"});
  const char* dir = tool.directory.c_str();
  EXPECT_EQ(launchvalidation(dir, KeyForm()), 0);
  EXPECT_EQ(launchvalidation(dir, KeyForm()), 3 << 8);
  EXPECT_EQ(launchvalidation(dir, KeyForm()), 255 << 8);
  const int32_t killed = launchvalidation(dir, KeyForm());
  EXPECT_TRUE(WIFSIGNALED(killed) && WTERMSIG(killed) == SIGKILL) << killed;
  EXPECT_EQ(tool.Runs(), 4);

  // No resource directory: nothing is started.
  EXPECT_EQ(launchvalidation(nullptr, KeyForm()), -1);
  EXPECT_EQ(tool.Runs(), 4);

  // A tool that cannot be executed reads like a shell's "command not found".
  chmod(tool.Tool().c_str(), 0644);
  EXPECT_EQ(launchvalidation(dir, KeyForm()), 32512);
  unlink(tool.Tool().c_str());
  EXPECT_EQ(launchvalidation(dir, KeyForm()), 32512);
  EXPECT_EQ(tool.Runs(), 4);
}

TEST(ValidationStatusMessage, EveryKindOfStatus) {
  const struct {
    int64_t status;
    std::string message;
  } cases[] = {
      {0, ""},
      {256, "Input connection option is invalid. Missing server IP, protocol or port."},
      {1536,
       "Input validation option is invalid. Only one item of customer name, customer ID or "
       "appliance ID can be included in the input."},
      {2560, "Connection failed. Can not connect to the server with the input parameters."},
      {3072, "Validation failed. The specified customer ID can not be validated."},
      {4608, "Runtime exception occurred."},
      {4864, "Launch script returned unexpected error code: 19"},
      {65280, "Launch script returned unexpected error code: 255"},
      {-256, "Launch script returned unexpected error code: -1"},
      {-1, "Launch script failed"},
      {32512, "Launch script failed"},
      {SIGKILL, "Launch script failed"},         // ended by a signal: never a success
      {SIGSEGV | 0x80, "Launch script failed"},  // with a core dump
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ValidationStatusMessage(c.status), c.message) << c.status;
  }
  for (int code = 1; code <= 18; ++code) {
    EXPECT_EQ(ValidationStatusMessage(code << 8), ERRORS[code]) << code;
  }
}

}  // namespace
