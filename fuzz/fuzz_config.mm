// Any key text and any typed values through the activation checks and the configuration writer's
// block: whatever passes, what would be written has the block's shape (the same lines and keys in
// the same order) and no value holds a control character. Input: key, server list, proxy and
// volume prefix, separated by NUL bytes. Host names are answered from a table (no lookups).
#import <Foundation/Foundation.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "FakePlatform.h"
#import "KLActivationInput.h"
#include "KLConfigWriter.h"
#include "KLHelper.h"
#include "KLKeyDecoder.h"
#import "KLTextDataProvider.h"

namespace {

bool HasControl(const std::string& text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  }
  return false;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  if (start != text.size()) abort();  // every line ends with its line break
  return lines;
}

// The block writeconfig appends: the count, the second endpoint's three lines for a count of 2,
// then the [main] section's header, its six settings and two empty lines.
void CheckBlock(const std::string& block) {
  static const char* const kMain[] = {
      "    logfilename=",       "    loglevel=",   "    homedir=",
      "    thread_limitation=", "    poll_delay=", "    datablock_size="};
  const std::vector<std::string> lines = Lines(block);
  size_t at = 0;
  const auto expect = [&](const std::string& head) {
    if (at >= lines.size() || lines[at].compare(0, head.size(), head) != 0) abort();
    const std::string value = lines[at].substr(head.size());
    if (HasControl(value)) abort();
    ++at;
  };
  if (lines.empty()) abort();
  const bool two = lines[0] == "\tendpoint_size=2";
  if (!two && lines[0] != "\tendpoint_size=1") abort();
  ++at;
  if (two) {
    expect("\tserver_1=");
    expect("\tprotocol_1=");
    expect("\tport_1=");
  }
  if (at >= lines.size() || lines[at++] != "[main]") abort();
  for (const char* key : kMain) expect(key);
  if (lines.size() != at + 2 || !lines[at].empty() || !lines[at + 1].empty()) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> parts(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0 && parts.size() < 4) {
      parts.emplace_back();
    } else {
      parts.back() += static_cast<char>(data[i]);
    }
  }
  parts.resize(4);
  const std::string& key = parts[0];
  kl::ScopedFakePlatform fake;
  fake->resolvableNames = {"mgmt.example.test"};

  // The key's endpoints, as the writer decodes them again.
  const kl::KeyAnalysis analysis = kl::AnalyzeKey(key.c_str());
  if (analysis.status == kl::KeyDecodeStatus::kOk) {
    for (const KLEndPoint& endpoint : analysis.endpoints) {
      if (KLHelper::HasSpaceOrControl(endpoint.host)) abort();
    }
    // The volume prefix as the writer gets it: found (and cut) from the target volume path.
    std::string prefix, refused;
    if (kl::FindVolumePrefix(parts[3].c_str(), {}, &prefix) == kl::VolumePrefixResult::kOk) {
      const std::string block = kl::ConfigBlock(analysis.endpoints, prefix.c_str(), &refused);
      if (block.empty() != !refused.empty()) abort();
      if (!block.empty()) CheckBlock(block);
    }
  }

  // The customer form's server list and proxy, as the tool would write them.
  NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
  KLActivationInput input;
  input.activationOption = 1;
  input.customerName = @"Customer";
  input.customerId = @"42";
  input.serverURL = [[[NSString alloc] initWithBytes:parts[1].data()
                                              length:parts[1].size()
                                            encoding:NSISOLatin1StringEncoding] autorelease];
  input.proxyOption = 1;
  input.proxy = [[[NSString alloc] initWithBytes:parts[2].data()
                                          length:parts[2].size()
                                        encoding:NSISOLatin1StringEncoding] autorelease];
  KLActivationRefusal refusal;
  KLTextDataProvider* record = KLCreateCheckedRecord(input, &refusal);
  if (record != nil) {
    // Each address the tool would get, less its spaces at either end (spaces alone: nothing).
    do {
      std::string text = [[record currentURL] UTF8String];
      text.erase(0, text.find_first_not_of(' '));
      text.erase(text.find_last_not_of(' ') + 1);
      if (KLHelper::HasSpaceOrControl(text)) abort();
    } while ([record nextURL]);
    if (KLHelper::HasSpaceOrControl([[record proxyServer] UTF8String])) abort();
    [record release];
  }
  [pool drain];
  return 0;
}
