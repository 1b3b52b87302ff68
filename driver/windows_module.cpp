#include "windows_module.h"

#include <dlfcn.h>

#include <array>

#include "platform/module_path.h"

namespace pilvo {
namespace {

constexpr char kModule[] = "libpilvo-ui.so";
constexpr char kEntry[] = "pilvo_ui_open";
using OpenWindows = Operator* (*)(int languageCode, char* why, std::size_t whySize) noexcept;

}  // namespace

std::unique_ptr<Operator> StartWindowsModule(const Language& language, std::string& why) {
  // Beside the library, named by its full path: a run path ($ORIGIN) would not survive a
  // sanitizer's dlopen wrapper, which makes the call in the library's place.
  static const char anchor = 0;
  const std::filesystem::path library = ModulePathOf(&anchor);
  const std::string module =
      library.empty() ? std::string(kModule) : (library.parent_path() / kModule).string();
  void* handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (handle == nullptr) {
    const char* error = ::dlerror();
    why = error != nullptr ? error : module;
    return nullptr;
  }
  const auto open = reinterpret_cast<OpenWindows>(::dlsym(handle, kEntry));
  if (open == nullptr) {
    why = std::string(kModule) + " has no " + kEntry;
    return nullptr;
  }
  std::array<char, 256> reason{};
  std::unique_ptr<Operator> windows(open(language.base() / 1000, reason.data(), reason.size()));
  if (!windows) why = reason.data();
  return windows;
}

}  // namespace pilvo
