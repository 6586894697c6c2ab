// The install log: time-stamped entries appended to /tmp/kelvor_install.log.
#ifndef KELVORY_COMMON_KLINSTALLLOG_H_
#define KELVORY_COMMON_KLINSTALLLOG_H_

#include <cstdio>
#include <string>

/// The install log's path, "/tmp/kelvor_install.log"; the validation tool is given the same.
std::string InstallLogPath();

/// The agent's configuration file, "/tmp/kelvor.conf": the validation tool creates it, the
/// plug-in then appends to it, and the installer host shows it.
std::string ConfigFilePath();

/// Appends one entry (message, detail) to the install log, opening and closing the file for
/// it. Never fails its caller: a log that cannot be opened (a symbolic link there included)
/// silently gets no entry.
void LogInstallerMessage(const std::string& message, const std::string& detail);

/// Writes one entry to `file`: "stamp\tmessage -- detail\n" with the local time as
/// "%m/%d/%y %H:%M:%S", or "message -- detail\n" when no time stamp can be formed. Message and
/// detail are written unchanged. Does nothing when `file` is null.
void DumpLog(FILE* file, const std::string& message, const std::string& detail);

/// Opens `path` for reading and appending like fopen(path, "a+") (created 0666 less umask when
/// missing, never truncated), except that a symbolic link as the last path component is
/// refused: the file lies in a world-writable directory. Returns null on any failure.
FILE* OpenForAppendNoFollow(const char* path);

#endif  // KELVORY_COMMON_KLINSTALLLOG_H_
