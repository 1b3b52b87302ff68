#include "wizard/model/tab_info.h"

#include <cstring>
#include <string_view>

#include "data/local_text.h"

namespace pilvo::wizard {
namespace {

constexpr std::string_view kNotSet = "-";

std::string Enabled(bool set, int textId, const Language& language) {
  return set ? LocalText(textId, language) : std::string(kNotSet);
}

std::string WithNote(int textId, int noteId, const Language& language) {
  return LocalText(textId, language) + " (" + LocalText(noteId, language) + ")";
}

std::string ResetType(const ArmOptions& options, const Language& language) {
  if (!options.referenceMarks) return LocalText(2151, language);
  if (options.resetDialog) return LocalText(2152, language) + " + " + LocalText(2212, language);
  return LocalText(2152, language);
}

std::string ScannerTrigger(const ArmRecord& asRead, const ArmRecord& working,
                           const Language& language) {
  if (asRead.options.auxiliaryInput1) return WithNote(2277, 2438, language);
  if (working.options.auxiliaryInput2) return WithNote(2277, 2439, language);
  return std::string(kNotSet);
}

std::string Connection(const ArmRecord& asRead, const ArmRecord& working) {
  if (asRead.linkType == 1) return "USB";
  switch (working.serialSpeedCode) {
    case 0:
      return "COM: 9.600, 8, 1, NO";
    case 1:
      return "COM: 19.200, 8, 1, NO";
    case 2:
      return "COM: 38.400, 8, 1, NO";
    default:
      return " ?";
  }
}

std::string AdditionalAxis(const ArmOptions& options, const Language& language) {
  if (!options.board3ThirdAxisCompanion) return std::string(kNotSet);
  return options.board3ThirdAxis ? LocalText(2277, language) : WithNote(2277, 2304, language);
}

std::string JointsWithLimits(const ArmRecord& working) {
  std::string joints;
  for (std::size_t joint = 0; joint < working.jointLimits.size(); ++joint) {
    const JointLimit& limit = working.jointLimits[joint];
    if (limit.minimum != 0.0 || limit.maximum != 0.0) joints += std::to_string(joint + 1) + " ";
  }
  return joints.empty() ? std::string(kNotSet) : joints;
}

}  // namespace

std::string SignatureText(const std::array<char, 4>& signature) {
  return std::string(signature.data(), ::strnlen(signature.data(), signature.size()));
}

std::vector<TabInfoRow> TabInfoRows(const ArmRecord& asRead, const ArmRecord& working,
                                    const Language& language) {
  const ArmOptions& options = asRead.options;
  return {
      {LocalText(2209, language), SignatureText(asRead.signature)},
      {LocalText(2210, language), std::to_string(asRead.jointCount)},
      {LocalText(2211, language), ResetType(options, language)},
      {LocalText(2215, language), Enabled(options.statusBit7Button, 2277, language)},
      {LocalText(2216, language), Enabled(options.auxiliaryInput0, 2278, language)},
      {LocalText(2217, language), ScannerTrigger(asRead, working, language)},
      {LocalText(2218, language), Connection(asRead, working)},
      {LocalText(2219, language), Enabled(options.insertedAxis, 2278, language)},
      {LocalText(2290, language), Enabled(options.probeMode, 2277, language)},
      {LocalText(2291, language), Enabled(options.temperatureCompensation, 2278, language)},
      {LocalText(2440, language), AdditionalAxis(working.options, language)},
      {LocalText(2357, language), Enabled(asRead.spareWord > 0, 2278, language)},
      {LocalText(2352, language),
       asRead.batteryPresent > 0 ? std::to_string(asRead.batteryPresent) : std::string(kNotSet)},
      {LocalText(2443, language), JointsWithLimits(working)},
  };
}

}  // namespace pilvo::wizard
