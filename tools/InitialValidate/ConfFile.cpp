#include "ConfFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

namespace kl::validate {

std::string NotReplaceable(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return errno == ENOENT ? "" : strerror(errno);
  if (S_ISLNK(st.st_mode)) return "it is a symbolic link";
  if (!S_ISREG(st.st_mode)) return "it is not a regular file";
  if (st.st_uid != geteuid()) return "another user owns it";
  if (st.st_nlink != 1) return "it has more than one link";
  return "";
}

std::string ConfText(const Options& o, const std::string& applianceId) {
  std::string text = "[server]\n\tserver_0=" + o.server + "\n\tprotocol_0=" + o.protocol +
                     "\n\tport_0=" + o.port + "\n";
  if (!o.proxy.empty()) text += "\tproxy_0=" + o.proxy + "\n";
  return text + "\tappliance_id=" + applianceId + "\n";
}

}  // namespace kl::validate
