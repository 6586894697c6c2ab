// Runs a program as a real process, without a shell, for the tests of our command-line tools.
#ifndef KELVORY_TESTS_RUNPROCESS_H_
#define KELVORY_TESTS_RUNPROCESS_H_

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "LogText.h"

extern char** environ;

namespace kl {

struct ProcessRun {
  int exitCode = -1;  ///< 128+N when signal N ended it; -1 when it could not be started
  std::string out, err;
};

/// Runs `path` with `args`, standard output and error captured whole.
inline ProcessRun RunProcess(const std::string& path, const std::vector<std::string>& args) {
  char outPath[] = "/tmp/kelvory_run_out_XXXXXX";
  char errPath[] = "/tmp/kelvory_run_err_XXXXXX";
  const int outFd = mkstemp(outPath);
  const int errFd = mkstemp(errPath);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, outFd, 1);
  posix_spawn_file_actions_adddup2(&actions, errFd, 2);
  std::vector<std::string> all{path};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  ProcessRun run;
  pid_t pid = 0;
  if (posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  close(outFd);
  close(errFd);
  run.out = ReadWholeFile(outPath);
  run.err = ReadWholeFile(errPath);
  unlink(outPath);
  unlink(errPath);
  return run;
}

}  // namespace kl

#endif  // KELVORY_TESTS_RUNPROCESS_H_
