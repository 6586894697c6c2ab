// The pre-fill file: where it is (InstallationData.xml beside the package), how it is read (one
// opening, a regular file of at most 1 MiB), and the install log's entry for what was found.
#ifndef KELVORY_INSTALLER_ACTDLG_PREFILL_KLPREFILLFILE_H_
#define KELVORY_INSTALLER_ACTDLG_PREFILL_KLPREFILLFILE_H_

#import <Foundation/Foundation.h>

#include <stdint.h>

#include <string>

#include "KLInstallLog.h"  // FileRead
#import "KLPrefillReaders.h"

@class KLTextDataProvider;

namespace kl {

/// The largest pre-fill file read, in bytes. Real ones are a few hundred bytes; a larger file
/// reads as nothing, like an unreadable one.
constexpr int64_t kPrefillMaxBytes = 1 << 20;

}  // namespace kl

/// The bytes of the pre-fill file at `path` (autoreleased): a regular file of at most
/// kl::kPrefillMaxBytes, opened once without blocking; nil for anything else (see
/// kl::ReadRegularFile).
NSData* KLPrefillFileBytes(NSString* path);

namespace kl {

/// True when `read` (of `path`) found a regular file, even one too large or not readable: such
/// a file gives a record, empty when it could not be read. A directory, a FIFO or a device
/// never does.
bool IsPrefillFile(const std::string& path, const FileRead& read);

}  // namespace kl

/// The path of InstallationData.xml in the folder of `packagePath`; nil for an empty path.
NSString* KLPrefillPathBeside(NSString* packagePath);

/// Which install log entry a look for the pre-fill file writes.
enum class KLPrefillLog {
  kNone,      ///< none (checks, dry runs)
  kPane,      ///< found, or not found and "User will be prompted for Activation parameters"
  kHeadless,  ///< found, or not found and that nobody is prompted (a run without a window)
};

/// The pre-fill file InstallationData.xml in the folder of `packagePath` (autoreleased), or nil
/// when there is none (a missing folder, a missing file, a directory, a FIFO or a device of that
/// name). The file is opened once; `read`, when given, gets what that found, and `report` what
/// the XML reader passed over. The install log gets the entry `log` names.
KLTextDataProvider* KLReadPrefillBeside(NSString* packagePath, KLPrefillLog log,
                                        kl::FileRead* read = nullptr,
                                        KLPrefillReport* report = nullptr);

/// The same for the pre-fill file at `path` itself, as bytes (empty: none).
KLTextDataProvider* KLReadPrefillAt(const std::string& path, KLPrefillLog log, kl::FileRead* read,
                                    KLPrefillReport* report = nullptr);

#endif  // KELVORY_INSTALLER_ACTDLG_PREFILL_KLPREFILLFILE_H_
