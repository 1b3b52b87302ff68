// A fresh settings folder for one test: made under the temporary folder, named by
// PILVO_CONFIG_DIR while the object lives, removed with everything in it afterwards.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>

namespace pilvo::testing {

class ScopedConfigDir {
 public:
  explicit ScopedConfigDir(const std::string& prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + ".XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("no temporary folder");
    path_ = pattern;
    ::setenv("PILVO_CONFIG_DIR", path_.c_str(), 1);
  }
  ScopedConfigDir(const ScopedConfigDir&) = delete;
  ScopedConfigDir& operator=(const ScopedConfigDir&) = delete;
  ~ScopedConfigDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
    ::unsetenv("PILVO_CONFIG_DIR");
  }

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace pilvo::testing
