// The arm parameter record: the in-memory form of one TAB record. The same type serves the
// base record of the file, every probe record and the working record of the measurement.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace pilvo {

inline constexpr int kMaxJoints = 8;
inline constexpr int kMaxParameters = 60;
inline constexpr int kMaxProbes = 10;

// The 18 option flags, one per bit of the stored options word (bit number in the comment).
struct ArmOptions {
  bool referenceMarks = false;            // 0: the joints have reference marks
  bool resetDialog = false;               // 1: initialisation shows the reset dialog
  bool auxiliaryInput0 = false;           // 2
  bool secondJointCorrection = false;     // 3
  bool extraStatus = false;               // 4: the serial register list reads the second status
  bool statusBit7Button = false;          // 5: bit 7 of status byte 1 is a third button
  bool tableChannel = false;              // 6: the last encoder channel is the rotating table
  bool tabSwapByButton = false;           // 7: holding button 2 loads another TAB file
  bool movedAxis = false;                 // 8: the last axis of board 1 goes to the end
  bool temperatureCompensation = false;   // 9
  bool insertedAxis = false;              // 10: a fixed joint 2 is inserted into the counts
  bool auxiliaryInput1 = false;           // 11
  bool probeMode = false;                 // 12
  bool motionDirection = false;           // 13: readings pushed by the probe radius
  bool buttonRemap = false;               // 14: button 3 acts as button 1
  bool auxiliaryInput2 = false;           // 15
  bool board3ThirdAxis = false;           // 16
  bool board3ThirdAxisCompanion = false;  // 17

  bool operator==(const ArmOptions&) const = default;
};

inline constexpr int kOptionCount = 18;

// Name and flag of each bit of the options word, bit 0 first.
struct OptionBit {
  const char* name;
  bool ArmOptions::*flag;
};
extern const std::array<OptionBit, kOptionCount> kOptionBits;

// The options word of the file: bit i is option i. Bits outside `readMask` are ignored on
// reading, so older layouts that carry fewer options leave the others at their default.
ArmOptions OptionsFromWord(std::uint32_t word, std::uint32_t readMask);
std::uint32_t OptionsToWord(const ArmOptions& options);

struct JointLimit {
  double minimum = 0.0;  // degrees; (0, 0) means no limit
  double maximum = 0.0;
  bool operator==(const JointLimit&) const = default;
};

struct ArmRecord {
  std::string name;                 // its first 4 characters identify the arm
  std::array<char, 4> signature{};  // 3 characters naming the version, then 0
  std::int32_t jointCount = 0;
  std::array<float, kMaxParameters> parameters{};  // (n + 1) groups of 4 or 6 values
  std::array<std::int32_t, kMaxJoints> encoderOffsets{};
  std::array<std::int32_t, kMaxJoints> encoderLines{};
  std::int32_t modelType = 0;        // 1 = six-parameter chain, else Denavit-Hartenberg
  std::int32_t serialSpeedCode = 0;  // 1 = 19200, 2 = 38400, else 9600 baud
  std::int32_t armVariant = 0;       // geometry of the 3-D arm view
  std::int32_t secondJointCorrectionCount = 0;
  std::array<bool, kMaxJoints> jointReversed{};
  std::array<bool, kMaxJoints> jointExtendedCount{};
  std::array<bool, kMaxJoints> jointWrapAround{};
  ArmOptions options;
  std::int32_t temperatureSensors = 1;  // 0: the ambient temperature typed by the user is used
  std::int32_t referenceTemperaturesPacked = 210210210;  // tenths of a degree, 3 digit groups
  std::int32_t ambientTemperature = 0;                   // degrees C; never stored in the file
  std::int32_t linkType = 0;                             // 1 = USB, else serial
  std::int32_t board1Axes = 6;
  std::int32_t board2Axes = 0;
  std::int32_t board3Axes = 0;
  float probeRadius = 2.0f;     // mm
  std::int32_t probeCount = 0;  // probe records after the main record
  std::string probeName;
  std::string probeText2;
  std::array<JointLimit, kMaxJoints> jointLimits{};
  std::array<double, 3> expansionCoefficients{2.4e-05, 2.4e-05, 2.4e-05};  // per degree C
  std::array<double, 3> spareDoubles{};
  double spareDoubleA = 0.0;
  double spareDoubleB = 0.0;
  std::int32_t spareWord = 0;
  std::int32_t batteryPresent = 0;
  // Three 16-bit supply thresholds as (low byte, high byte) pairs.
  std::array<std::int32_t, 6> supplyThresholdBytes{};
  std::int32_t batteryCapacity = 0;  // minutes
  std::array<std::int32_t, 2> spareWords{};
  std::array<double, 3> referenceTemperatures{};  // derived from the packed value, degrees C

  bool operator==(const ArmRecord&) const = default;
};

// Sets every field that the reader resets before a record is read. Model type, serial speed
// code, arm variant, second-joint correction count and the ambient temperature are kept.
void ResetToReaderDefaults(ArmRecord& record);

// The serial speed of a speed code: 1 = 19200, 2 = 38400, any other code 9600 baud.
int BaudRateOfSpeedCode(std::int32_t speedCode);

// The three supply thresholds, high byte x 256 + low byte.
std::array<double, 3> SupplyThresholds(const ArmRecord& record);

// Unpacks the reference temperatures: a packed value below 50 is one temperature for all
// three; otherwise three groups of three decimal digits in tenths of a degree (T2 T1 T0).
std::array<double, 3> UnpackReferenceTemperatures(std::int32_t packed);

}  // namespace pilvo
