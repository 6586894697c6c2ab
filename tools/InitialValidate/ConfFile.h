// The configuration file: written whole beside the old one, then renamed over it.
#ifndef KELVORY_TOOLS_INITIALVALIDATE_CONFFILE_H_
#define KELVORY_TOOLS_INITIALVALIDATE_CONFFILE_H_

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "Options.h"

namespace kl::validate {

// Why `path` may not be replaced ("" when it may): what is there must be a regular file of
// ours with one link, or nothing. Another user's file, or a link to one, is never touched.
std::string NotReplaceable(const std::string& path);

// The configuration as a new file of our own beside the old one, renamed over it only when
// written whole: a full disk, a short write or a failed close leaves the old file as it was.
class NewConfFile {
 public:
  explicit NewConfFile(std::string path) : path_(std::move(path)) {}
  ~NewConfFile() {
    if (!temp_.empty()) unlink(temp_.c_str());
  }
  NewConfFile(const NewConfFile&) = delete;
  NewConfFile& operator=(const NewConfFile&) = delete;

  bool Write(const std::string& text, std::string& why) {
    const size_t slash = path_.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : path_.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path_ : path_.substr(slash + 1);
    std::random_device rng;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
      char suffix[20];
      snprintf(suffix, sizeof suffix, ".%08x%08x", rng(), rng());
      temp_ = dir + (slash == std::string::npos ? "/." : ".") + name + suffix;
      fd = open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
      if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
      why = strerror(errno);
      temp_.clear();
      return false;
    }
    size_t done = 0;
    errno = 0;
    while (done < text.size()) {
      const ssize_t n = write(fd, text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    if (done < text.size()) why = errno != 0 ? strerror(errno) : "short write";
    if (why.empty() && fsync(fd) != 0) why = strerror(errno);
    if (close(fd) != 0 && why.empty()) why = strerror(errno);
    return why.empty();
  }

  // Renames the written file over the path, if what is there now may still be replaced.
  bool Commit(std::string& why) {
    why = NotReplaceable(path_);
    if (why.empty() && rename(temp_.c_str(), path_.c_str()) != 0) why = strerror(errno);
    if (!why.empty()) return false;
    temp_.clear();
    return true;
  }

 private:
  std::string path_, temp_;  // temp_: the new file while it is ours to remove
};

// The [server] section for `o` and the appliance ID.
std::string ConfText(const Options& o, const std::string& applianceId);

}  // namespace kl::validate

#endif  // KELVORY_TOOLS_INITIALVALIDATE_CONFFILE_H_
