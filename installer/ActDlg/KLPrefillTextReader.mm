#import "KLPrefillReaders.h"

#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "KLHelper.h"
#include "KLInstallLog.h"
#include "KLPlatform.h"
#import "KLTextDataProvider.h"  // kPrefillMaxBytes

namespace {

// Separators of the key=value text file: "key = value", "key=value, more" and CRLF endings
// all split the same way.
const char kTextSeparators[] = "=, \r\n";

// One read of the text file takes at most 255 bytes; a longer line comes in pieces.
const int kTextLineBuffer = 256;

}  // namespace

void KLReadPrefillText(NSString* path, const KLPrefillFields& fields) {
  // A regular file only, of at most 1 MiB, as the XML form: a FIFO or /dev/zero would never end.
  const int fd = [path length] > 0
                     ? OpenRegularForReading([path fileSystemRepresentation], kPrefillMaxBytes)
                     : -1;
  FILE* file = fd >= 0 ? fdopen(fd, "r") : NULL;
  if (fd >= 0 && file == NULL) close(fd);
  if (file != NULL) {
    char line[kTextLineBuffer];
    while (fgets(line, sizeof line, file) != NULL) {
      kl::CurrentPlatform().ConsoleLog(std::string(line) + "\n");
      // strtok_r: the same splitting as strtok without its hidden shared state.
      char* rest = NULL;
      const char* key = strtok_r(line, kTextSeparators, &rest);
      const char* value = key != NULL ? strtok_r(NULL, kTextSeparators, &rest) : NULL;
      if (value == NULL) {
        continue;
      }
      // Invalid UTF-8 gives nil, which unsets the field again.
      if (strcmp(key, "activationKey") == 0) {
        KLAdoptText(fields.activationKey, [[NSString alloc] initWithUTF8String:value]);
      } else if (strcmp(key, "customerID") == 0) {
        KLAdoptText(fields.customerId, [[NSString alloc] initWithUTF8String:value]);
      } else if (strcmp(key, "customerName") == 0) {
        KLAdoptText(fields.customerName, [[NSString alloc] initWithUTF8String:value]);
      } else if (strcmp(key, "serverURL") == 0) {
        KLAdoptText(fields.serverURL, [[NSString alloc] initWithUTF8String:value]);
      } else if (strcmp(key, "useSecureConnection") == 0) {
        *fields.isHTTPS = KLHelper::Atoi32(value) != 0;
      } else if (strcmp(key, "port") == 0) {
        *fields.serverPort = KLHelper::Atoi32(value);
      }
    }
    fclose(file);
  }
}
