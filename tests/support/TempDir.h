// A fresh directory under /tmp for one test, removed with all it holds at the end.
#ifndef KELVORY_TESTS_TEMPDIR_H_
#define KELVORY_TESTS_TEMPDIR_H_

#include <stdlib.h>

#include <filesystem>
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
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string path;  ///< empty when no directory could be made
};

}  // namespace kl

#endif  // KELVORY_TESTS_TEMPDIR_H_
