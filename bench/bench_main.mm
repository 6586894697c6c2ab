// Speed of the per-key and per-file work of the activation pane: key decoding, endpoint parsing,
// base64, splitting and the pre-fill file. Figures only; nothing here asserts a time.
// "(void)_;" in each loop: the static analyzer otherwise reports the loop variable as unread.
#import <Foundation/Foundation.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "KLEndPoint.h"
#include "KLHelper.h"
#include "KLKeyDecoder.h"
#include "KLPlatform.h"
#import "KLTextDataProvider.h"

namespace {

// Answers host names from a table and drops alerts: no resolver, no recording that grows.
class TablePlatform : public kl::DefaultPlatform {
 public:
  void ShowCriticalAlert(const std::string&) override {}
  bool ResolveHostName(const std::string& name) override { return names.count(name) != 0; }
  std::set<std::string> names{"mgmt1.example.test", "mgmt2.example.test", "mgmt3.example.test"};
};

void DecodeKey(benchmark::State& state, const std::string& decoded) {
  TablePlatform platform;
  kl::ScopedPlatform scope(&platform);
  const std::string key = KLHelper::EncodeBase64(decoded);
  for (auto _ : state) {
    (void)_;
    std::vector<KLEndPoint> endpoints;
    benchmark::DoNotOptimize(keydecode(key.c_str(), endpoints));
    if (endpoints.size() != 3) state.SkipWithError("the key did not decode");
  }
}

void BM_KeyDecodeIPv4(benchmark::State& state) {
  DecodeKey(state, "https://192.0.2.10:8443,https://192.0.2.11:8443,http://192.0.2.12|42|1|token");
}
BENCHMARK(BM_KeyDecodeIPv4);

void BM_KeyDecodeHostNames(benchmark::State& state) {
  DecodeKey(state, "https://mgmt1.example.test:8443,https://mgmt2.example.test:8443,"
                   "http://mgmt3.example.test|42|1|token");
}
BENCHMARK(BM_KeyDecodeHostNames);

void BM_EndpointParse(benchmark::State& state) {
  for (auto _ : state) {
    (void)_;
    KLEndPoint endpoint("https://192.0.2.10:8443");
    benchmark::DoNotOptimize(endpoint.port);
  }
}
BENCHMARK(BM_EndpointParse);

void BM_DecodeBase64Key255(benchmark::State& state) {
  std::string decoded = "https://192.0.2.10:8443,https://192.0.2.11:8443|42|1|";
  decoded += std::string(189 - decoded.size(), 't');  // 189 bytes: 252 characters
  const std::string key = (KLHelper::EncodeBase64(decoded) + "QUJD").substr(0, 255);
  for (auto _ : state) {
    (void)_;
    benchmark::DoNotOptimize(KLHelper::DecodeBase64(key));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(key.size()));
}
BENCHMARK(BM_DecodeBase64Key255);

// Comma-separated endpoint texts, as a huge decoded key would hold them.
void BM_SplitString(benchmark::State& state) {
  std::string text;
  while (text.size() < static_cast<size_t>(state.range(0))) text += "https://192.0.2.10:8443, ";
  text.resize(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    (void)_;
    benchmark::DoNotOptimize(KLHelper::SplitString(text, ","));
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SplitString)->Arg(100 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

// Reads the pre-fill `xml` from a temporary file as the activation pane does, once an iteration.
void ReadPrefillLoop(benchmark::State& state, const std::string& xml) {
  char path[] = "/tmp/kl_bench_prefill_XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0 || write(fd, xml.data(), xml.size()) != static_cast<ssize_t>(xml.size())) {
    state.SkipWithError("cannot write the pre-fill file");
  }
  close(fd);
  NSString* file = [NSString stringWithUTF8String:path];
  for (auto _ : state) {
    (void)_;
    NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
    KLTextDataProvider* record = [[KLTextDataProvider alloc] initWithXmlFile:file];
    if (![record containData]) state.SkipWithError("the pre-fill file was not read");
    [record release];
    [pool drain];
  }
  unlink(path);
}

void BM_ReadInstallationData(benchmark::State& state) {
  ReadPrefillLoop(state,
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<InstallationData>\n"
                  "  <Customer>\n    <ID>104233</ID>\n    <Name>Example Customer Inc.</Name>\n"
                  "  </Customer>\n  <Server>\n    <URL>192.0.2.10,192.0.2.11</URL>\n"
                  "    <Protocol>https</Protocol>\n    <Port>8443</Port>\n  </Server>\n"
                  "  <Proxy>\n    <URL>proxy.example.test</URL>\n    <Port>3128</Port>\n"
                  "  </Proxy>\n</InstallationData>\n");
}
BENCHMARK(BM_ReadInstallationData)->Unit(benchmark::kMicrosecond);

// A hostile pre-fill file of N sibling elements under the size limit: the time must grow with N,
// not with its square (a document tree of NSXMLNodes did, at seconds for 100,000).
void BM_ReadPrefillSiblings(benchmark::State& state) {
  std::string xml = "<r>";
  for (int64_t i = 0; i < state.range(0); ++i) xml += "<Customer><ID>1</ID></Customer>";
  ReadPrefillLoop(state, xml + "</r>");
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ReadPrefillSiblings)
    ->Arg(3000)
    ->Arg(10000)
    ->Arg(30000)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  [pool drain];
  return 0;
}
