// The install log: time-stamped entries appended to /tmp/kelvor_install.log, and the careful
// open that both fixed files in /tmp get.
#ifndef KELVORY_INSTALLER_COMMON_KLINSTALLLOG_H_
#define KELVORY_INSTALLER_COMMON_KLINSTALLLOG_H_

#include <cstdio>
#include <string>

namespace kl {

/// The install log's path, "/tmp/kelvor_install.log"; the validation tool is given the same.
std::string InstallLogPath();

/// The agent's configuration file, "/tmp/kelvor.conf": the validation tool creates it, the
/// plug-in then appends to it, and the installer host shows it.
std::string ConfigFilePath();

}  // namespace kl

/// Appends one entry (message, detail) to the install log, opening and closing the file for
/// it. Never fails its caller: a log that cannot be opened, or that is not ours to write (see
/// kl::OpenOwnedForAppend), gets no entry and the console gets one line saying why.
void LogInstallerMessage(const std::string& message, const std::string& detail);

/// Writes one entry to `file`: "stamp\tmessage -- detail\n" with the local time as
/// "%m/%d/%y %H:%M:%S", or "message -- detail\n" when no time stamp can be formed. Message and
/// detail are written unchanged: callers escape the values they put in them (see
/// kl::EscapeControlCharacters). Does nothing when `file` is null.
void DumpLog(FILE* file, const std::string& message, const std::string& detail);

namespace kl {

/// `text` with every control character (below 0x20, and 0x7F) written as a visible escape:
/// "\n", "\r", "\t" and "\\" for a backslash, "\xNN" for the others. Values from outside (a
/// path, a server's message) then cannot start a line of their own in a log.
std::string EscapeControlCharacters(const std::string& text);

/// Opens `path` for appending (O_APPEND, created 0600 when missing, never truncated) and
/// returns the descriptor, or -1 with `*why` saying why not. A file in a world-writable
/// directory may have been put there by someone else, so it is refused when the last path
/// component is a symbolic link, when it is not a regular file, when another user owns it or
/// when it has more than one link. A file of ours that others may read or write is tightened
/// to 0600 first: it holds credentials.
int OpenOwnedForAppend(const char* path, std::string* why);

/// Opens `path` for reading when it is a regular file of at most `maxBytes` bytes and returns
/// the descriptor (close-on-exec), or -1. Anything else (a directory, a FIFO that would block
/// the reader, a device such as /dev/zero that never ends, a larger file) counts as no file:
/// the opening never blocks, and the type and size are those of the file opened.
int OpenRegularForReading(const char* path, long long maxBytes);

/// What ReadRegularFile found at a path.
enum class FileReadStatus {
  kRead,        ///< a regular file, read whole into `bytes`
  kMissing,     ///< nothing there, or a path component is not a directory
  kDirectory,   ///< a directory of that name
  kNotRegular,  ///< a FIFO, a device or a socket: never read
  kTooLarge,    ///< a regular file larger than the limit: never read
  kFailed,      ///< could not be opened or read (`error`)
};

struct FileRead {
  FileReadStatus status = FileReadStatus::kFailed;
  int error = 0;      ///< errno when kFailed (or kMissing)
  std::string bytes;  ///< the file's bytes when kRead
};

/// Opens `path` once, without blocking and without taking a terminal, and judges what was
/// opened, not the name: a regular file of at most `maxBytes` bytes is read whole (one that grew
/// past the limit since is kTooLarge); anything else is never read. A FIFO swapped in after
/// some earlier check neither blocks nor is read.
FileRead ReadRegularFile(const char* path, long long maxBytes);

}  // namespace kl

#endif  // KELVORY_INSTALLER_COMMON_KLINSTALLLOG_H_
