// A fresh settings folder for one test: made under the temporary folder, with a library's
// context that keeps its settings there, removed with everything in it afterwards.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

#include "data/product_context.h"

namespace pilvo::testing {

// The installation name of a library installed in /opt/pilvo/lib/.
inline const std::string kTestInstallation = InstallationNameFor("/opt/pilvo/lib/libpilvo.so");

class ScopedConfigDir {
 public:
  explicit ScopedConfigDir(const std::string& prefix)
      : path_(MakeFolder(prefix)), context_(Program::Library, path_, kTestInstallation) {}
  ScopedConfigDir(const ScopedConfigDir&) = delete;
  ScopedConfigDir& operator=(const ScopedConfigDir&) = delete;
  ~ScopedConfigDir() { std::filesystem::remove_all(path_); }

  const std::filesystem::path& path() const { return path_; }
  ProductContext& context() { return context_; }
  SettingsStore Store(std::string_view name) const { return context_.Store(name); }

 private:
  static std::filesystem::path MakeFolder(const std::string& prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + ".XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("no temporary folder");
    return pattern;
  }

  std::filesystem::path path_;
  ProductContext context_;
};

}  // namespace pilvo::testing
