#include "tab_conversion.h"

namespace pilvo {
namespace {

// What a file of the contents' version would give back when read.
bool RoundTrip(const TabContents& contents, TabContents& result) {
  std::vector<std::uint8_t> bytes;
  if (SerializeTabFile(contents, bytes) != TabWriteError::None) return false;
  return ParseTabFile(bytes, result) == TabError::None;
}

}  // namespace

TabContents WithVersion(TabContents contents, int version) {
  std::array<char, 4> signature{};
  if (!SignatureOfVersion(version, signature)) return contents;
  contents.main.signature = signature;
  for (auto& probe : contents.probes) probe.signature = signature;
  contents.version = version;
  return contents;
}

bool StoresWithoutLoss(const TabContents& contents) {
  TabContents asIs;
  TabContents asCurrent;
  if (!RoundTrip(contents, asIs) ||
      !RoundTrip(WithVersion(contents, kCurrentTabVersion), asCurrent)) {
    return false;
  }
  if (asIs.main.probeCount != asCurrent.main.probeCount) return false;
  asIs = WithVersion(asIs, kCurrentTabVersion);
  if (asIs.main != asCurrent.main) return false;
  for (int i = 0; i < asCurrent.main.probeCount; ++i) {
    if (asIs.probes[i] != asCurrent.probes[i]) return false;
  }
  return true;
}

}  // namespace pilvo
