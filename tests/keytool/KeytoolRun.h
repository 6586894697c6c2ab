// The key tool run as a real process, without a shell, and the files its tests hand it.
#ifndef KELVORY_TESTS_KEYTOOL_KEYTOOLRUN_H_
#define KELVORY_TESTS_KEYTOOL_KEYTOOLRUN_H_

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "KLHelper.h"
#include "TempDir.h"
#include "ToolRun.h"

namespace kl {

using nlohmann::json;

inline ProcessRun Keytool(const Args& args) { return RunProcess(KEYTOOL_PATH, args); }

inline std::string Key(const std::string& decoded) { return KLHelper::EncodeBase64(decoded); }

/// `doctor --json ARGS`: the exit code and the report (discarded when not JSON).
inline json DoctorReport(const Args& args, int* exitCode = nullptr) {
  const ProcessRun r = Keytool(Args{"doctor", "--json"} + args);
  if (exitCode != nullptr) *exitCode = r.exitCode;
  return json::parse(r.out, nullptr, false);
}

/// The report's warnings as "code: message" lines.
inline std::string WarningLines(const json& report) {
  std::string lines;
  for (const json& w : report["warnings"]) {
    lines += w["code"].get<std::string>() + ": " + w["message"].get<std::string>() + "\n";
  }
  return lines;
}

class KeytoolFiles : public ::testing::Test {
 protected:
  /// Writes `content` at `name` under the test's folder (one new folder level allowed).
  std::string Write(const std::string& name, const std::string& content) {
    const std::string path = dir_ + "/" + name;
    mkdir(path.substr(0, path.rfind('/')).c_str(), 0755);
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }
  TempDir tmp_;
  const std::string dir_ = tmp_.path;
};

}  // namespace kl

#endif  // KELVORY_TESTS_KEYTOOL_KEYTOOLRUN_H_
