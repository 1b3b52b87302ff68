#include "data/arm_record.h"

namespace pilvo {
const std::array<OptionBit, kOptionCount> kOptionBits = {{
    {"referenceMarks", &ArmOptions::referenceMarks},
    {"resetDialog", &ArmOptions::resetDialog},
    {"auxiliaryInput0", &ArmOptions::auxiliaryInput0},
    {"secondJointCorrection", &ArmOptions::secondJointCorrection},
    {"extraStatus", &ArmOptions::extraStatus},
    {"statusBit7Button", &ArmOptions::statusBit7Button},
    {"tableChannel", &ArmOptions::tableChannel},
    {"tabSwapByButton", &ArmOptions::tabSwapByButton},
    {"movedAxis", &ArmOptions::movedAxis},
    {"temperatureCompensation", &ArmOptions::temperatureCompensation},
    {"insertedAxis", &ArmOptions::insertedAxis},
    {"auxiliaryInput1", &ArmOptions::auxiliaryInput1},
    {"probeMode", &ArmOptions::probeMode},
    {"motionDirection", &ArmOptions::motionDirection},
    {"buttonRemap", &ArmOptions::buttonRemap},
    {"auxiliaryInput2", &ArmOptions::auxiliaryInput2},
    {"board3ThirdAxis", &ArmOptions::board3ThirdAxis},
    {"board3ThirdAxisCompanion", &ArmOptions::board3ThirdAxisCompanion},
}};

ArmOptions OptionsFromWord(std::uint32_t word, std::uint32_t readMask) {
  ArmOptions options;
  for (int bit = 0; bit < kOptionCount; ++bit) {
    if ((word & readMask & (1u << bit)) != 0) options.*kOptionBits[bit].flag = true;
  }
  return options;
}

std::uint32_t OptionsToWord(const ArmOptions& options) {
  std::uint32_t word = 0;
  for (int bit = 0; bit < kOptionCount; ++bit) {
    if (options.*kOptionBits[bit].flag) word |= 1u << bit;
  }
  return word;
}

void ResetToReaderDefaults(ArmRecord& record) {
  ArmRecord defaults;
  defaults.modelType = record.modelType;
  defaults.serialSpeedCode = record.serialSpeedCode;
  defaults.armVariant = record.armVariant;
  defaults.secondJointCorrectionCount = record.secondJointCorrectionCount;
  defaults.ambientTemperature = record.ambientTemperature;
  defaults.signature = record.signature;
  record = std::move(defaults);
}

int BaudRateOfSpeedCode(std::int32_t speedCode) {
  switch (speedCode) {
    case 1:
      return 19200;
    case 2:
      return 38400;
    default:
      return 9600;
  }
}

std::array<double, 3> SupplyThresholds(const ArmRecord& record) {
  const auto& bytes = record.supplyThresholdBytes;
  std::array<double, 3> thresholds{};
  for (std::size_t k = 0; k < thresholds.size(); ++k) {
    thresholds[k] = static_cast<double>(bytes[2 * k + 1]) * 256.0 + bytes[2 * k];
  }
  return thresholds;
}

std::array<double, 3> UnpackReferenceTemperatures(std::int32_t packed) {
  if (packed < 50) {
    const auto all = static_cast<double>(packed);
    return {all, all, all};
  }
  return {(packed % 1000) * 0.1, ((packed % 1000000) / 1000) * 0.1, (packed / 1000000) * 0.1};
}

}  // namespace pilvo
