#include "windows_module.h"

#include <dlfcn.h>

#include <array>

namespace pilvo {
namespace {

constexpr char kModule[] = "libpilvo-ui.so";
constexpr char kEntry[] = "pilvo_ui_open";
using OpenWindows = Operator* (*)(int languageCode, char* why, std::size_t whySize) noexcept;

}  // namespace

std::unique_ptr<Operator> StartWindowsModule(const Language& language, std::string& why) {
  // Found through the library's own run path ($ORIGIN) like the USB access library.
  void* module = ::dlopen(kModule, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (module == nullptr) {
    const char* error = ::dlerror();
    why = error != nullptr ? error : kModule;
    return nullptr;
  }
  const auto open = reinterpret_cast<OpenWindows>(::dlsym(module, kEntry));
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
