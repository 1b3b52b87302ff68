// The TAB tool's JSON input: any text is refused with TabJsonError or gives contents that the
// tool writes back unchanged, both as JSON and, when its version can hold them, as a TAB file.
//
// Input: the JSON text.
#include <algorithm>
#include <string>

#include "data/byte_io.h"
#include "fuzz_check.h"
#include "pilvo_tab/tab_conversion.h"
#include "pilvo_tab/tab_json.h"

namespace {

using namespace pilvo;
using fuzz::Check;

bool SameRecords(const TabContents& a, const TabContents& b) {
  if (a.main != b.main) return false;
  for (int i = 0; i < a.main.probeCount; ++i) {
    if (a.probes[i] != b.probes[i]) return false;
  }
  return true;
}

// Whether the JSON written holds every member `given` as given: whole numbers exactly, other
// numbers as the float they are kept in at least, everything else equal.
bool Keeps(const nlohmann::json& given, const nlohmann::ordered_json& written) {
  if (given.is_object()) {
    return written.is_object() &&
           std::all_of(given.items().begin(), given.items().end(), [&written](const auto& member) {
             return written.contains(member.key()) && Keeps(member.value(), written[member.key()]);
           });
  }
  if (given.is_array()) {
    if (!written.is_array() || written.size() != given.size()) return false;
    for (std::size_t i = 0; i < given.size(); ++i) {
      if (!Keeps(given[i], written[i])) return false;
    }
    return true;
  }
  if (given.is_number_integer() && written.is_number_integer()) {
    return given.dump() == written.dump();  // == would take 2^64 - 1 for -1
  }
  if (given.is_number() && written.is_number()) {
    return static_cast<float>(given.get<double>()) == static_cast<float>(written.get<double>());
  }
  return given.dump() == written.dump();
}

bool TextTooLong(const ArmRecord& record) {
  return record.name.size() > kMaxArchiveTextLength ||
         record.probeName.size() > kMaxArchiveTextLength ||
         record.probeText2.size() > kMaxArchiveTextLength;
}

bool AnyTextTooLong(const TabContents& contents) {
  if (TextTooLong(contents.main)) return true;
  for (int i = 0; i < contents.main.probeCount; ++i) {
    if (TextTooLong(contents.probes[i])) return true;
  }
  return false;
}

void CheckTabRoundTrip(const TabContents& contents) {
  std::vector<std::uint8_t> bytes;
  if (SerializeTabFile(contents, bytes) != TabWriteError::None) {
    Check(AnyTextTooLong(contents), "the writer refuses only texts too long to store");
    return;
  }
  TabContents read;
  Check(ParseTabFile(bytes, read) == TabError::None, "what is written reads back");
  std::vector<std::uint8_t> again;
  Check(SerializeTabFile(read, again) == TabWriteError::None && again == bytes,
        "what is read writes the same bytes");
  if (contents.version == kCurrentTabVersion) {
    Check(StoresWithoutLoss(contents), "the current version holds everything");
  }
  if (StoresWithoutLoss(contents)) {
    Check(SameRecords(read, contents), "a version that holds everything gives it back");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const nlohmann::json json = nlohmann::json::parse(data, data + size, nullptr, false);
  if (json.is_discarded()) return 0;
  TabContents contents;
  try {
    contents = TabFromJson(json);
  } catch (const TabJsonError&) {
    return 0;
  }
  const nlohmann::ordered_json written = TabToJson(contents);
  Check(Keeps(json["main"], written["main"]) &&
            Keeps(json.value("probes", nlohmann::json::array()), written["probes"]),
        "every member given is kept as given");
  // The tool's to-json output must load as the same arm.
  const std::string text = written.dump(2);
  const nlohmann::json reloaded = nlohmann::json::parse(text, nullptr, false);
  Check(!reloaded.is_discarded(), "the JSON written parses");
  try {
    Check(SameRecords(TabFromJson(reloaded), contents), "the JSON written loads as the same arm");
  } catch (const TabJsonError& error) {
    Check(false, error.what());
  }
  CheckTabRoundTrip(contents);
  return 0;
}
