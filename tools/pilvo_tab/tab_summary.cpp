#include "tab_summary.h"

#include <iomanip>

namespace pilvo {
namespace {

const char* ChainName(const ArmRecord& record) {
  return record.modelType == 1 ? "six-parameter chain" : "Denavit-Hartenberg";
}

const char* ProbeMode(const ArmOptions& options) {
  if (options.auxiliaryInput0) return "Renishaw";
  if (options.auxiliaryInput1) return "ECU";
  if (options.auxiliaryInput2) return "Probe";
  return "Standard";
}

void PrintOptions(std::ostream& out, const ArmOptions& options) {
  out << "options:";
  bool any = false;
  for (const auto& bit : kOptionBits) {
    if (options.*bit.flag) {
      out << ' ' << bit.name;
      any = true;
    }
  }
  out << (any ? "\n" : " none\n");
}

void PrintJoints(std::ostream& out, const ArmRecord& record) {
  out << "joint  lines     offset  reversed  extended  wrap  limits (deg)\n";
  for (int joint = 0; joint < record.jointCount; ++joint) {
    const JointLimit& limit = record.jointLimits[joint];
    out << std::setw(5) << joint + 1 << std::setw(7) << record.encoderLines[joint] << std::setw(11)
        << record.encoderOffsets[joint] << std::setw(10)
        << (record.jointReversed[joint] ? "yes" : "no") << std::setw(10)
        << (record.jointExtendedCount[joint] ? "yes" : "no") << std::setw(6)
        << (record.jointWrapAround[joint] ? "yes" : "no") << "  ";
    if (limit.minimum == 0.0 && limit.maximum == 0.0) {
      out << "none\n";
    } else {
      out << limit.minimum << " to " << limit.maximum << '\n';
    }
  }
}

}  // namespace

void PrintTabSummary(std::ostream& out, const TabContents& contents) {
  const ArmRecord& arm = contents.main;
  out << "arm: " << arm.name << "\nversion: " << std::string(arm.signature.data(), 3) << " ("
      << contents.version << ")\njoints: " << arm.jointCount << ", " << ChainName(arm)
      << "\nlink: ";
  if (arm.linkType == 1) {
    out << "USB";
  } else {
    out << "serial, " << BaudRateOfSpeedCode(arm.serialSpeedCode) << " baud";
  }
  out << "\nboard axes: " << arm.board1Axes << ' ' << arm.board2Axes << ' ' << arm.board3Axes
      << "\nprobe radius: " << arm.probeRadius << " mm\n";
  const auto reference = UnpackReferenceTemperatures(arm.referenceTemperaturesPacked);
  out << "temperature: " << (arm.temperatureSensors != 0 ? "sensors" : "typed by the user")
      << ", reference " << reference[0] << ' ' << reference[1] << ' ' << reference[2]
      << " C, expansion " << arm.expansionCoefficients[0] << ' ' << arm.expansionCoefficients[1]
      << ' ' << arm.expansionCoefficients[2] << " /C\n";
  if (arm.batteryPresent > 0) {
    const auto thresholds = SupplyThresholds(arm);
    out << "battery: " << arm.batteryCapacity << " min, supply thresholds " << thresholds[0] << ' '
        << thresholds[1] << ' ' << thresholds[2] << '\n';
  }
  PrintOptions(out, arm.options);
  PrintJoints(out, arm);
  out << "probes: " << arm.probeCount << '\n';
  for (int i = 0; i < arm.probeCount && i < kMaxProbes; ++i) {
    const ArmRecord& probe = contents.probes[i];
    out << std::setw(3) << i + 1 << "  " << probe.probeName << ", radius " << probe.probeRadius
        << " mm, mode " << ProbeMode(probe.options) << '\n';
  }
}

}  // namespace pilvo
