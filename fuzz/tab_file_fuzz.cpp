// Any bytes as a TAB file of any version: a refused file changes nothing, and an accepted one
// writes back as a file that reads as the same arm and writes the same bytes again.
//
// Input: the file.
#include "data/tab_file.h"
#include "fuzz_check.h"

namespace {

using namespace pilvo;
using fuzz::Check;

// What a caller held before the parse: a refused file must leave it exactly so.
TabContents Previous() {
  TabContents contents;
  contents.main.name = "previous";
  contents.main.jointCount = 6;
  contents.main.probeCount = 1;
  contents.probes[0].name = "previous probe";
  contents.version = 42;
  return contents;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const TabContents previous = Previous();
  TabContents contents = previous;
  if (ParseTabFile(std::span(data, size), contents) != TabError::None) {
    Check(contents.main == previous.main && contents.probes == previous.probes &&
              contents.version == previous.version,
          "a refused file changes nothing");
    return 0;
  }
  std::vector<std::uint8_t> bytes;
  Check(SerializeTabFile(contents, bytes) == TabWriteError::None, "what is read can be written");
  TabContents again;
  Check(ParseTabFile(bytes, again) == TabError::None, "what is written reads back");
  Check(again.version == contents.version && again.main.jointCount == contents.main.jointCount &&
            again.main.probeCount == contents.main.probeCount,
        "the version, joints and probes stay");
  // The older layouts keep nine characters of the name in a ten-byte field.
  const std::size_t kept = contents.version <= 20 ? 9 : std::string::npos;
  Check(again.main.name == contents.main.name.substr(0, kept), "the name stays");
  std::vector<std::uint8_t> rewritten;
  Check(SerializeTabFile(again, rewritten) == TabWriteError::None && rewritten == bytes,
        "what is read back writes the same bytes");
  return 0;
}
