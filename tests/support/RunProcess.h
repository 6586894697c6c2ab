// Runs programs as real processes, without a shell, for the tests of our command-line tools.
#ifndef KELVORY_TESTS_RUNPROCESS_H_
#define KELVORY_TESTS_RUNPROCESS_H_

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "LogText.h"
#include "TempDir.h"

namespace kl {

/// The exit code of a child started with `noHostName` that could not take the host name away.
constexpr int kNoNamespace = 99;

/// Whether a child can run with an empty host name at all (a UTS namespace: Linux only).
#if defined(__linux__)
constexpr bool kCanClearHostName = true;
#else
constexpr bool kCanClearHostName = false;
#endif

/// Starts `argv` (argv[0] is the program's path) with standard output in the file `out` and
/// standard error in `err` (which may be the same file). With `noHostName`, the child runs in a
/// UTS namespace whose host name is empty; that needs root (and Linux), and without it the child
/// exits with kNoNamespace. `prepare`, when given, runs in the child just before the program.
inline pid_t StartProcess(const std::vector<std::string>& argv, const std::string& out,
                          const std::string& err, bool noHostName = false,
                          const std::function<void()>& prepare = nullptr) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const pid_t pid = fork();
  if (pid != 0) return pid;
  dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
  dup2(err == out ? 1 : open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
#if defined(__linux__)
  if (noHostName && (unshare(CLONE_NEWUTS) != 0 || sethostname("", 0) != 0)) _exit(kNoNamespace);
#else
  if (noHostName) _exit(kNoNamespace);
#endif
  if (prepare) prepare();
  execv(args[0], args.data());
  _exit(127);
}

/// Waits at most `seconds` for `pid`, then kills it. The exit code, or 128 + N for signal N.
inline int ReapProcess(pid_t pid, int seconds) {
  int status = 0;
  for (int i = 0; waitpid(pid, &status, WNOHANG) == 0; ++i) {
    if (i > seconds * 200) kill(pid, SIGKILL);  // 5 ms a turn, give or take
    usleep(5000);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

struct ProcessRun {
  int exitCode = -1;  ///< 128+N when signal N ended it
  std::string out, err;
};

/// Runs `path` with `args` to its end (killed after 60 s), standard output and error captured.
inline ProcessRun RunProcess(const std::string& path, const std::vector<std::string>& args) {
  std::vector<std::string> argv{path};
  argv.insert(argv.end(), args.begin(), args.end());
  const TempDir dir;
  ProcessRun run;
  run.exitCode = ReapProcess(StartProcess(argv, dir.path + "/out", dir.path + "/err"), 60);
  run.out = ReadWholeFile(dir.path + "/out");
  run.err = ReadWholeFile(dir.path + "/err");
  return run;
}

}  // namespace kl

#endif  // KELVORY_TESTS_RUNPROCESS_H_
