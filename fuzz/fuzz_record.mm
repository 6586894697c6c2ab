// The activation data record's file readers on any bytes: the pre-fill XML reader
// (fuzz_xml) or the key=value text reader (fuzz_text), through a file as the pane and the tool
// use them. GNUstep and libxml2 are not instrumented: coverage counts only our code.
#import <Foundation/Foundation.h>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "FakePlatform.h"
#import "KLTextDataProvider.h"

namespace {

std::string gPath;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char path[] = "/tmp/kl_fuzz_record_XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) abort();
  close(fd);
  gPath = path;
  atexit([] { unlink(gPath.c_str()); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* file = fopen(gPath.c_str(), "wb");
  if (file == nullptr || fwrite(data, 1, size, file) != size || fclose(file) != 0) abort();
  kl::ScopedFakePlatform fake;  // the text reader echoes each line to the console
  NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
  NSString* path = [NSString stringWithUTF8String:gPath.c_str()];
  KLTextDataProvider* record = [KLTextDataProvider alloc];
#ifdef KL_FUZZ_TEXT
  record = [record initWithTextFile:path];
#else
  record = [record initWithXmlFile:path];
#endif
  // Every reader answers, and the rotation walks a list that ends.
  if ([record activationKey] == nil || [record proxyServer] == nil) abort();
  [record resetURLs];
  const NSUInteger most = [[record serverURL] length] + 1;  // pieces between commas
  NSUInteger seen = 0;
  do {
    if ([record currentURL] == nil || ++seen > most) abort();
  } while ([record nextURL]);
  [record release];
  [pool drain];
  return 0;
}
