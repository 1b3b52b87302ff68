#include "data/tab_file.h"

#include <string>

#include "data/byte_io.h"
#include "platform/atomic_file.h"

namespace pilvo {
namespace {

// Joints stored by the layouts before version 40.
constexpr int kOldLayoutJoints = 6;
// Parameters stored by versions 10 and 20: 7 groups of 4.
constexpr int kOldLayoutParameters = 28;
constexpr std::size_t kOldLayoutNameSize = 10;
// The old layouts store the joint count minus this.
constexpr std::int32_t kOldJointCountBias = 5;

// Options carried by each layout.
constexpr std::uint32_t kOptionsOfVersion20 = 0b1011;  // reference marks, reset dialog, correction
constexpr std::uint32_t kOptionsOfVersion30 = 0xFFF;
constexpr std::uint32_t kOptionsOfVersion40 = 0x3FFFF;

// Per-joint flags word.
constexpr std::int32_t kJointReversedBit = 1;
constexpr std::int32_t kJointExtendedBit = 2;
constexpr std::int32_t kJointWrapBit = 4;
// Version 20 packs only the extended count and the wrap-around, one bit lower.
constexpr std::int32_t kV20ExtendedBit = 1;
constexpr std::int32_t kV20WrapBit = 2;

constexpr int kOptionSecondJointCorrectionBit = 3;
constexpr int kOptionTemperatureCompensationBit = 9;

bool HasOption(std::int32_t word, int bit) {
  return (word & (1 << bit)) != 0;
}

template <typename T, std::size_t N>
void ReadArray(ByteReader& in, std::array<T, N>& values, int count) {
  for (int i = 0; i < count; ++i) in.Read(values[i]);
}

template <typename T, std::size_t N>
void WriteArray(ByteWriter& out, const std::array<T, N>& values, int count) {
  for (int i = 0; i < count; ++i) out.Write(values[i]);
}

void ReadJointFlags(ByteReader& in, ArmRecord& record, int count) {
  for (int joint = 0; joint < count; ++joint) {
    std::int32_t word = 0;
    in.Read(word);
    record.jointReversed[joint] = (word & kJointReversedBit) != 0;
    record.jointExtendedCount[joint] = (word & kJointExtendedBit) != 0;
    record.jointWrapAround[joint] = (word & kJointWrapBit) != 0;
  }
}

void WriteJointFlags(ByteWriter& out, const ArmRecord& record, int count) {
  for (int joint = 0; joint < count; ++joint) {
    out.Write((record.jointReversed[joint] ? kJointReversedBit : 0) |
              (record.jointExtendedCount[joint] ? kJointExtendedBit : 0) |
              (record.jointWrapAround[joint] ? kJointWrapBit : 0));
  }
}

// The parameter count and the parameters of versions 30 and later.
bool ReadParameters(ByteReader& in, ArmRecord& record) {
  std::int32_t count = 0;
  if (!in.Read(count) || count < 0 || count > kMaxParameters) return false;
  ReadArray(in, record.parameters, count);
  return in.ok();
}

// The writer stores exactly the groups the chain uses: one per joint and one for the probe.
bool WriteParameters(ByteWriter& out, const ArmRecord& record) {
  const std::int32_t count =
      record.modelType == 1 ? (record.jointCount + 1) * 6 : record.jointCount * 4 + 4;
  if (count > kMaxParameters) return false;
  out.Write(count);
  WriteArray(out, record.parameters, count);
  return true;
}

bool JointCountFits(std::int32_t jointCount) {
  return jointCount >= 0 && jointCount <= kMaxJoints;
}

std::int32_t OptionsWord(const ArmOptions& options, std::uint32_t carried) {
  return static_cast<std::int32_t>(OptionsToWord(options) & carried);
}

void ReadOptions(ByteReader& in, ArmRecord& record, std::uint32_t carried) {
  std::int32_t word = 0;
  if (in.Read(word)) record.options = OptionsFromWord(static_cast<std::uint32_t>(word), carried);
}

bool ReadRecordV10V20(ByteReader& in, ArmRecord& record, int version) {
  in.ReadFixedText(record.name, kOldLayoutNameSize);
  std::int32_t storedJoints = 0;
  if (!in.Read(storedJoints)) return false;
  // Widened so that a hostile stored count cannot overflow.
  const std::int64_t jointCount = std::int64_t{storedJoints} + kOldJointCountBias;
  if (jointCount < 0 || jointCount > kMaxJoints) return false;
  record.jointCount = static_cast<std::int32_t>(jointCount);
  ReadArray(in, record.parameters, kOldLayoutParameters);
  for (int joint = 0; joint < kOldLayoutJoints; ++joint) {
    std::int16_t offset = 0;
    in.Read(offset);
    record.encoderOffsets[joint] = offset;
  }
  ReadArray(in, record.encoderLines, kOldLayoutJoints);
  for (int joint = 0; joint < kOldLayoutJoints; ++joint) {
    std::int32_t reversed = 0;
    in.Read(reversed);
    record.jointReversed[joint] = reversed != 0;
  }
  float stylusExtension = 0.0f;
  in.Read(stylusExtension);
  if (stylusExtension != 0.0f) record.parameters[4 * record.jointCount] += stylusExtension;
  if (version == 20) {
    for (int joint = 0; joint < kOldLayoutJoints; ++joint) {
      std::int32_t word = 0;
      in.Read(word);
      record.jointExtendedCount[joint] = (word & kV20ExtendedBit) != 0;
      record.jointWrapAround[joint] = (word & kV20WrapBit) != 0;
    }
    std::int32_t options = 0;
    in.Read(options);
    record.options = OptionsFromWord(static_cast<std::uint32_t>(options), kOptionsOfVersion20);
    if (HasOption(options, kOptionSecondJointCorrectionBit)) {
      in.Read(record.secondJointCorrectionCount);
    }
  }
  return in.ok();
}

void WriteRecordV10V20(ByteWriter& out, const ArmRecord& record, int version) {
  // One byte stays free so the stored name always ends with a zero.
  out.WriteFixedText(std::string_view(record.name).substr(0, kOldLayoutNameSize - 1),
                     kOldLayoutNameSize);
  out.Write(record.jointCount - kOldJointCountBias);
  WriteArray(out, record.parameters, kOldLayoutParameters);
  for (int joint = 0; joint < kOldLayoutJoints; ++joint) {
    out.Write(static_cast<std::int16_t>(record.encoderOffsets[joint]));
  }
  WriteArray(out, record.encoderLines, kOldLayoutJoints);
  for (int joint = 0; joint < kOldLayoutJoints; ++joint) {
    out.Write(std::int32_t{record.jointReversed[joint] ? 1 : 0});
  }
  // The reader has already added any stored extension into the parameters.
  out.Write(0.0f);
  if (version == 20) {
    for (int joint = 0; joint < kOldLayoutJoints; ++joint) {
      out.Write((record.jointExtendedCount[joint] ? kV20ExtendedBit : 0) |
                (record.jointWrapAround[joint] ? kV20WrapBit : 0));
    }
    const std::int32_t options = OptionsWord(record.options, kOptionsOfVersion20);
    out.Write(options);
    if (HasOption(options, kOptionSecondJointCorrectionBit)) {
      out.Write(record.secondJointCorrectionCount);
    }
  }
}

// Versions 30 and later start alike, from the name to the options word; they differ in the
// number of joints they store.
bool ReadModernHead(ByteReader& in, ArmRecord& record, int storedJoints,
                    std::uint32_t carriedOptions) {
  in.ReadText(record.name);
  in.Read(record.jointCount);
  if (!in.ok() || !JointCountFits(record.jointCount)) return false;
  in.Read(record.modelType);
  in.Read(record.serialSpeedCode);
  in.Read(record.armVariant);
  if (!ReadParameters(in, record)) return false;
  ReadArray(in, record.encoderOffsets, storedJoints);
  ReadArray(in, record.encoderLines, storedJoints);
  ReadJointFlags(in, record, storedJoints);
  ReadOptions(in, record, carriedOptions);
  in.Read(record.secondJointCorrectionCount);
  return in.ok();
}

bool WriteModernHead(ByteWriter& out, const ArmRecord& record, int storedJoints,
                     std::int32_t options) {
  if (!out.WriteText(record.name)) return false;
  out.Write(record.jointCount);
  out.Write(record.modelType);
  out.Write(record.serialSpeedCode);
  out.Write(record.armVariant);
  if (!WriteParameters(out, record)) return false;
  WriteArray(out, record.encoderOffsets, storedJoints);
  WriteArray(out, record.encoderLines, storedJoints);
  WriteJointFlags(out, record, storedJoints);
  out.Write(options);
  out.Write(record.secondJointCorrectionCount);
  return true;
}

bool ReadRecordV30(ByteReader& in, ArmRecord& record) {
  if (!ReadModernHead(in, record, kOldLayoutJoints, kOptionsOfVersion30)) return false;
  if (record.options.temperatureCompensation) {
    in.Read(record.temperatureSensors);
    in.Read(record.referenceTemperaturesPacked);
  }
  return in.ok();
}

bool WriteRecordV30(ByteWriter& out, const ArmRecord& record) {
  const std::int32_t options = OptionsWord(record.options, kOptionsOfVersion30);
  if (!WriteModernHead(out, record, kOldLayoutJoints, options)) return false;
  if (HasOption(options, kOptionTemperatureCompensationBit)) {
    out.Write(record.temperatureSensors);
    out.Write(record.referenceTemperaturesPacked);
  }
  return true;
}

void ReadJointLimits(ByteReader& in, ArmRecord& record) {
  for (auto& limit : record.jointLimits) {
    in.Read(limit.minimum);
    in.Read(limit.maximum);
  }
}

bool ReadRecordV40(ByteReader& in, ArmRecord& record, int version) {
  if (!ReadModernHead(in, record, kMaxJoints, kOptionsOfVersion40)) return false;
  in.Read(record.temperatureSensors);
  in.Read(record.referenceTemperaturesPacked);
  in.Read(record.linkType);
  in.Read(record.board1Axes);
  in.Read(record.board2Axes);
  in.Read(record.board3Axes);
  in.Read(record.probeRadius);
  if (version >= 41) {
    in.Read(record.probeCount);
    in.ReadText(record.probeName);
    in.ReadText(record.probeText2);
    ReadJointLimits(in, record);
  }
  if (version >= 42) {
    ReadArray(in, record.expansionCoefficients, 3);
    ReadArray(in, record.spareDoubles, 3);
    in.Read(record.spareDoubleA);
    in.Read(record.spareDoubleB);
  }
  if (version >= 44) {
    in.Read(record.spareWord);
    in.Read(record.batteryPresent);
    ReadArray(in, record.supplyThresholdBytes, 6);
    in.Read(record.batteryCapacity);
    ReadArray(in, record.spareWords, 2);
  }
  return in.ok();
}

bool WriteRecordV40(ByteWriter& out, const ArmRecord& record, int version) {
  if (!WriteModernHead(out, record, kMaxJoints, OptionsWord(record.options, kOptionsOfVersion40))) {
    return false;
  }
  out.Write(record.temperatureSensors);
  out.Write(record.referenceTemperaturesPacked);
  out.Write(record.linkType);
  out.Write(record.board1Axes);
  out.Write(record.board2Axes);
  out.Write(record.board3Axes);
  out.Write(record.probeRadius);
  if (version >= 41) {
    out.Write(record.probeCount);
    if (!out.WriteText(record.probeName) || !out.WriteText(record.probeText2)) return false;
    for (const auto& limit : record.jointLimits) {
      out.Write(limit.minimum);
      out.Write(limit.maximum);
    }
  }
  if (version >= 42) {
    WriteArray(out, record.expansionCoefficients, 3);
    WriteArray(out, record.spareDoubles, 3);
    out.Write(record.spareDoubleA);
    out.Write(record.spareDoubleB);
  }
  if (version >= 44) {
    out.Write(record.spareWord);
    out.Write(record.batteryPresent);
    WriteArray(out, record.supplyThresholdBytes, 6);
    out.Write(record.batteryCapacity);
    WriteArray(out, record.spareWords, 2);
  }
  return true;
}

// Reads one record in the layout of `version` over `record`, which the caller has prepared.
bool ReadTabRecord(ByteReader& in, ArmRecord& record, int version) {
  if (version <= 20) return ReadRecordV10V20(in, record, version);
  if (version == 30) return ReadRecordV30(in, record);
  return ReadRecordV40(in, record, version);
}

bool WriteTabRecord(ByteWriter& out, const ArmRecord& record, int version) {
  if (!JointCountFits(record.jointCount)) return false;
  if (version <= 20) {
    WriteRecordV10V20(out, record, version);
    return true;
  }
  if (version == 30) return WriteRecordV30(out, record);
  return WriteRecordV40(out, record, version);
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

SignatureVersion VersionOfSignature(std::array<char, 4> signature) {
  const std::string_view name(signature.data(), 3);
  if (name == "tab") return {10, TabError::None};
  if (name == "ta2") return {20, TabError::None};
  if (name == "ta3") return {30, TabError::None};
  if (name[0] == 't' && name[1] == '4' && IsDigit(name[2])) {
    const int minor = name[2] - '0';
    if (minor <= 4) return {40 + minor, TabError::None};
    return {0, TabError::LaterVersion};
  }
  if (name[0] == 't' && name[1] >= '5' && name[1] <= '9' && IsDigit(name[2])) {
    return {0, TabError::LaterVersion};
  }
  return {0, TabError::NotValid};
}

bool SignatureOfVersion(int version, std::array<char, 4>& signature) {
  switch (version) {
    case 10:
      signature = {'t', 'a', 'b', '\0'};
      return true;
    case 20:
      signature = {'t', 'a', '2', '\0'};
      return true;
    case 30:
      signature = {'t', 'a', '3', '\0'};
      return true;
    default:
      if (version < 40 || version > kCurrentTabVersion) return false;
      signature = {'t', '4', static_cast<char>('0' + version - 40), '\0'};
      return true;
  }
}

TabError ParseLeadingTabFile(std::span<const std::uint8_t> bytes, TabContents& contents,
                             std::size_t& length) {
  ByteReader in(bytes);
  std::array<std::uint8_t, 4> head{};
  if (!in.ReadBytes(head)) return TabError::NotValid;
  std::array<char, 4> signature{static_cast<char>(head[0]), static_cast<char>(head[1]),
                                static_cast<char>(head[2]), '\0'};
  const SignatureVersion found = VersionOfSignature(signature);
  if (found.error != TabError::None) return found.error;

  // Everything is read into a copy so that a rejected file changes nothing.
  TabContents parsed = contents;
  parsed.main.signature = signature;
  ResetToReaderDefaults(parsed.main);
  if (!ReadTabRecord(in, parsed.main, found.version)) return TabError::NotValid;
  const std::int32_t probeCount = found.version >= 41 ? parsed.main.probeCount : 0;
  if (probeCount < 0 || probeCount > kMaxProbes) return TabError::NotValid;
  for (int i = 0; i < probeCount; ++i) {
    // A probe starts from the defaults too, so that nothing of a previously loaded file's
    // probe survives in fields this version does not carry.
    ArmRecord& probe = parsed.probes[i];
    probe.signature = signature;
    ResetToReaderDefaults(probe);
    if (!ReadTabRecord(in, probe, found.version)) return TabError::NotValid;
  }
  parsed.version = found.version;
  contents = std::move(parsed);
  length = in.position();
  return TabError::None;
}

TabError ParseTabFile(std::span<const std::uint8_t> bytes, TabContents& contents) {
  std::size_t length = 0;
  return ParseLeadingTabFile(bytes, contents, length);
}

TabWriteError SerializeTabFile(const TabContents& contents, std::vector<std::uint8_t>& bytes) {
  bytes.clear();
  const ArmRecord& main = contents.main;
  const SignatureVersion found = VersionOfSignature(main.signature);
  if (found.error != TabError::None) return TabWriteError::BadRecord;
  const std::int32_t probeCount = found.version >= 41 ? main.probeCount : 0;
  if (probeCount < 0 || probeCount > kMaxProbes) return TabWriteError::BadRecord;

  ByteWriter out;
  out.WriteBytes(std::array<std::uint8_t, 4>{static_cast<std::uint8_t>(main.signature[0]),
                                             static_cast<std::uint8_t>(main.signature[1]),
                                             static_cast<std::uint8_t>(main.signature[2]), 0});
  if (!WriteTabRecord(out, main, found.version)) return TabWriteError::BadRecord;
  for (int i = 0; i < probeCount; ++i) {
    if (!WriteTabRecord(out, contents.probes[i], found.version)) return TabWriteError::BadRecord;
  }
  bytes = out.Take();
  return TabWriteError::None;
}

TabWriteError WriteTabFile(const std::filesystem::path& path, const TabContents& contents) {
  std::vector<std::uint8_t> bytes;
  const TabWriteError error = SerializeTabFile(contents, bytes);
  if (error != TabWriteError::None) return error;
  return WriteFileAtomically(path, bytes) ? TabWriteError::FileError : TabWriteError::None;
}

}  // namespace pilvo
