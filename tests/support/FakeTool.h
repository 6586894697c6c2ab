// A stand-in InitialValidate in a temporary resource directory. Run N records its whole argv
// (NUL-separated, argv[0] first) in run.N, then executes line N of its steps as shell text
// ("exit 10", "sleep 2; exit 0", "kill -KILL $$"); the last line repeats for later runs. It
// never connects anywhere.
#ifndef KELVORY_TESTS_FAKETOOL_H_
#define KELVORY_TESTS_FAKETOOL_H_

#include <errno.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "LogText.h"
#include "TempDir.h"

namespace kl {

class FakeTool {
 public:
  explicit FakeTool(const std::vector<std::string>& steps) {
    std::ofstream(directory + "/InitialValidate")
        << "#!/bin/sh\n"
           "d=$(dirname \"$0\")\n"
           "n=$(( $(cat \"$d/count\" 2>/dev/null || echo 0) + 1 ))\n"
           "echo \"$n\" > \"$d/count\"\n"
           "for a in \"$0\" \"$@\"; do printf '%s\\0' \"$a\"; done > \"$d/run.$n\"\n"
           "step=$(sed -n \"${n}p\" \"$d/steps\")\n"
           "[ -n \"$step\" ] || step=$(tail -n 1 \"$d/steps\")\n"
           "eval \"$step\"\n";
    chmod(Tool().c_str(), 0755);
    std::ofstream steps_file(directory + "/steps");
    for (const std::string& step : steps) steps_file << step << "\n";
  }
  std::string Tool() const { return directory + "/InitialValidate"; }

  /// How many times the tool has run.
  int Runs() const { return std::atoi(ReadWholeFile(directory + "/count").c_str()); }

  /// The argv of run `n` (from 1), argv[0] included.
  std::vector<std::string> Arguments(int n) const {
    const std::string bytes = ReadWholeFile(directory + "/run." + std::to_string(n));
    std::vector<std::string> argv;
    size_t start = 0;
    for (size_t end; (end = bytes.find('\0', start)) != std::string::npos; start = end + 1)
      argv.push_back(bytes.substr(start, end - start));
    return argv;
  }

  const TempDir dir_;                       // before `directory`, which is made from it
  const std::string directory = dir_.path;  ///< the resource directory that holds the tool
};

/// The pid a tool step wrote into `file` ("echo $$ > ..."), waiting up to 10 s for it; 0 if none.
inline pid_t PidFrom(const std::string& file) {
  for (int i = 0; i < 1000; ++i) {
    const pid_t pid = std::atoi(ReadWholeFile(file).c_str());
    if (pid > 0) return pid;
    usleep(10000);
  }
  return 0;
}

/// True once `pid` has ended, polled for up to 5 s: gone, or on Linux a zombie nobody reaped
/// yet. Elsewhere a pid that still exists counts as running (zombies are reaped quickly there).
inline bool EndsSoon(pid_t pid) {
  for (int i = 0; i < 500; ++i) {
    if (kill(pid, 0) != 0 && errno == ESRCH) return true;
#if defined(__linux__)
    const std::string stat = ReadWholeFile("/proc/" + std::to_string(pid) + "/stat");
    if (stat.find(") Z ") != std::string::npos) return true;
#endif
    usleep(10000);
  }
  return false;
}

}  // namespace kl

#endif  // KELVORY_TESTS_FAKETOOL_H_
