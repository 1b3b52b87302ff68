// Any bytes given as a TAB file: parsing must not crash, and whatever is accepted must write
// back and parse to the same records.
#include <cstdlib>

#include "data/tab_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pilvo;
  TabContents contents;
  if (ParseTabFile(std::span(data, size), contents) != TabError::None) return 0;
  std::vector<std::uint8_t> bytes;
  if (SerializeTabFile(contents, bytes) != TabWriteError::None) std::abort();
  TabContents again;
  if (ParseTabFile(bytes, again) != TabError::None ||
      again.main.jointCount != contents.main.jointCount ||
      again.main.name.substr(0, 9) != contents.main.name.substr(0, 9)) {
    std::abort();
  }
  return 0;
}
