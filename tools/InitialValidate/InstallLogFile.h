// The install log as InitialValidate writes it: escaped entries, and a failure that ends the run.
#ifndef KELVORY_TOOLS_INITIALVALIDATE_INSTALLLOGFILE_H_
#define KELVORY_TOOLS_INITIALVALIDATE_INSTALLLOGFILE_H_

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

#include "KLInstallLog.h"

namespace kl::validate {

// An install-log entry that could not be written. Until the configuration file is in place it
// ends the run with ToolExitCode::kLogFile: a run whose log is lost is not reported as a success.
class LogUnwritable : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Writes entries through the plug-in's own install-log code, and closes the file at the end.
class InstallLog {
 public:
  explicit InstallLog(FILE* file) : file_(file) {}
  ~InstallLog() { fclose(file_); }
  InstallLog(const InstallLog&) = delete;
  InstallLog& operator=(const InstallLog&) = delete;

  // Throws LogUnwritable when the entry is not written whole.
  void Entry(const std::string& message, const std::string& detail) {
    if (!TryEntry(message, detail)) throw LogUnwritable(why_);
  }
  // Values from outside (server messages, paths, the server and proxy given) are escaped, so
  // that none can start a line of its own. After the first failure nothing more is written.
  bool TryEntry(const std::string& message, const std::string& detail) {
    if (!why_.empty()) return false;
    DumpLog(file_, kl::EscapeControlCharacters(message), kl::EscapeControlCharacters(detail));
    if (fflush(file_) != 0 || ferror(file_)) why_ = errno != 0 ? strerror(errno) : "write failed";
    return why_.empty();
  }
  const std::string& why() const { return why_; }

 private:
  FILE* file_;
  std::string why_;  // why the log failed; empty while it works
};

}  // namespace kl::validate

#endif  // KELVORY_TOOLS_INITIALVALIDATE_INSTALLLOGFILE_H_
