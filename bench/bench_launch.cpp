// The cost of one validation attempt (argument vector, launch, wait, status to message) against
// a bare posix_spawn + waitpid of the same no-op tool with the same arguments.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "KLValidationTool.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

void BM_ValidationAttemptVsBareSpawn(benchmark::State& state) {
  char dir[] = "/tmp/kelvory_bench_XXXXXX";
  if (mkdtemp(dir) == nullptr ||
      symlink("/bin/true", (std::string(dir) + "/InitialValidate").c_str())) {
    state.SkipWithError("cannot lay out the no-op tool");
    return;
  }
  const kl::ValidationRequest request{"127.0.0.1", 8443, "https", "", "Demo Customer", "1001", 0};
  std::vector<std::string> args = kl::ValidationArguments(dir, request);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);

  double bare = 0, attempt = 0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    pid_t pid = 0;
    int status = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0) {
      waitpid(pid, &status, 0);
    }
    const auto t1 = Clock::now();
    benchmark::DoNotOptimize(kl::ValidationStatusMessage(launchvalidation(dir, request)));
    const auto t2 = Clock::now();
    bare += std::chrono::duration<double>(t1 - t0).count();
    attempt += std::chrono::duration<double>(t2 - t1).count();
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["bare_us"] = bare / n * 1e6;
  state.counters["attempt_us"] = attempt / n * 1e6;
  state.counters["ratio"] = attempt / bare;
  (void)system(("rm -rf '" + std::string(dir) + "'").c_str());
}
BENCHMARK(BM_ValidationAttemptVsBareSpawn)->Unit(benchmark::kMicrosecond);

}  // namespace
