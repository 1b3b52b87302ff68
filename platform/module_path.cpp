#include "platform/module_path.h"

#include <link.h>

#include <cstdint>
#include <string>
#include <system_error>

namespace pilvo {
namespace {

struct ObjectSearch {
  std::uintptr_t address = 0;
  std::string name;
};

int FindObjectContaining(dl_phdr_info* info, std::size_t /*size*/, void* data) {
  auto* search = static_cast<ObjectSearch*>(data);
  for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& segment = info->dlpi_phdr[i];
    if (segment.p_type != PT_LOAD) continue;
    const std::uintptr_t start = info->dlpi_addr + segment.p_vaddr;
    if (search->address >= start && search->address - start < segment.p_memsz) {
      search->name = info->dlpi_name != nullptr ? info->dlpi_name : "";
      return 1;
    }
  }
  return 0;
}

}  // namespace

std::filesystem::path ModulePathOf(const void* address) {
  ObjectSearch search{reinterpret_cast<std::uintptr_t>(address), {}};
  if (::dl_iterate_phdr(&FindObjectContaining, &search) == 0) return {};
  // The main program is listed without a name.
  const std::filesystem::path object = search.name.empty() ? "/proc/self/exe" : search.name;
  std::error_code error;
  std::filesystem::path resolved = std::filesystem::canonical(object, error);
  if (error) return {};
  return resolved;
}

}  // namespace pilvo
