// A fresh directory under /tmp for one test, removed with all it holds at the end.
#ifndef KELVORY_TESTS_TEMPDIR_H_
#define KELVORY_TESTS_TEMPDIR_H_

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace kl {

class TempDir {
 public:
  TempDir() {
    char dir[] = "/tmp/kelvory_test_XXXXXX";
    if (mkdtemp(dir) != nullptr) path = dir;
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
  }
  /// Writes `content` at `name` below the directory (one new folder level allowed); its path.
  std::string Write(const std::string& name, const std::string& content) const {
    const std::string file = path + "/" + name;
    mkdir(file.substr(0, file.rfind('/')).c_str(), 0755);
    std::ofstream(file, std::ios::binary) << content;
    return file;
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string path;  ///< empty when no directory could be made
};

}  // namespace kl

#endif  // KELVORY_TESTS_TEMPDIR_H_
