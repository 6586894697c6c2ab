#import "KLPrefillFile.h"

#include <sys/stat.h>

#include <utility>

#include "KLPlatform.h"
#import "KLTextDataProvider.h"

NSData* KLPrefillFileBytes(NSString* path) {
  if ([path length] == 0) return nil;
  kl::FileRead read = kl::ReadRegularFile([path fileSystemRepresentation], kl::kPrefillMaxBytes);
  if (read.status != kl::FileReadStatus::kRead) return nil;
  return [NSData dataWithBytes:read.bytes.data() length:read.bytes.size()];
}

bool kl::IsPrefillFile(const std::string& path, const FileRead& read) {
  struct stat info;
  return read.status == FileReadStatus::kRead || read.status == FileReadStatus::kTooLarge ||
         (read.status == FileReadStatus::kFailed && stat(path.c_str(), &info) == 0 &&
          S_ISREG(info.st_mode));
}

NSString* KLPrefillPathBeside(NSString* packagePath) {
  if ([packagePath length] == 0) return nil;
  return [[packagePath stringByDeletingLastPathComponent]
      stringByAppendingPathComponent:@"InstallationData.xml"];
}

KLTextDataProvider* KLReadPrefillBeside(NSString* packagePath, KLPrefillLog log, kl::FileRead* read,
                                        KLPrefillReport* report) {
  NSString* path = KLPrefillPathBeside(packagePath);
  return KLReadPrefillAt(path != nil ? [path fileSystemRepresentation] : "", log, read, report);
}

KLTextDataProvider* KLReadPrefillAt(const std::string& path, KLPrefillLog log, kl::FileRead* read,
                                    KLPrefillReport* report) {
  // Only a regular file is one: a directory, a FIFO (which would hang the window) or a device
  // of that name is none. Judged by what one opening found, so nothing swapped in after it
  // is read.
  kl::FileRead file;
  file.status = kl::FileReadStatus::kMissing;
  if (!path.empty()) file = kl::ReadRegularFile(path.c_str(), kl::kPrefillMaxBytes);
  const bool regular = kl::IsPrefillFile(path, file);
  NSData* data = file.status == kl::FileReadStatus::kRead
                     ? [NSData dataWithBytes:file.bytes.data() length:file.bytes.size()]
                     : nil;
  if (read != nullptr) *read = std::move(file);
  if (regular) {
    KLTextDataProvider* record = [[[KLTextDataProvider alloc] initWithXmlData:data
                                                                       report:report] autorelease];
    // The path comes from outside: escaped, so only the entry's own line break stays.
    if (log != KLPrefillLog::kNone) {
      LogInstallerMessage(kl::EscapeControlCharacters(path) + " has been found\n", "");
    }
    return record;
  }
  if (log != KLPrefillLog::kNone) {
    LogInstallerMessage("InstallationData.xml was not found",
                        log == KLPrefillLog::kPane
                            ? "User will be prompted for Activation parameters"
                            : "Nobody is prompted: the activation runs without a window");
  }
  // Where the Installer hosts the plug-in in a service of its own, the window may name no
  // package: said apart from a folder without the file, which logs the same entry.
  if (log == KLPrefillLog::kPane && path.empty()) {
    kl::CurrentPlatform().ConsoleLog(kl::ConsoleCategory::kActivation,
                                     "The package's location is not known: no represented URL");
  }
  return nil;
}
