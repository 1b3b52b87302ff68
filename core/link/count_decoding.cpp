#include "link/count_decoding.h"

#include <algorithm>

namespace pilvo {
namespace {

constexpr std::array<std::uint8_t, 6> kLowRegisters = {0x22, 0x42, 0x62, 0x82, 0xA2, 0x92};
constexpr std::array<std::uint8_t, 6> kMiddleRegisters = {0x20, 0x40, 0x60, 0x80, 0xA0, 0x90};
constexpr std::array<std::uint8_t, 6> kHighRegisters = {0xC2, 0x10, 0x30, 0x50, 0x70, 0xB0};
constexpr std::uint8_t kStatus0Register = 0xF0;
constexpr std::uint8_t kStatus1Register = 0xE0;

constexpr std::size_t kBoard1Status = 19;
constexpr std::size_t kBoard3Status = 45;
constexpr std::size_t kBoard2Axis1 = 23;
constexpr std::size_t kBoard2Axis2 = 26;
constexpr std::size_t kBoard2Axis3 = 29;
constexpr std::size_t kBoard3Axis1 = 36;
constexpr int kMaxBoard1Axes = 6;
constexpr int kMaxSmallBoardAxes = 3;

bool Bit(std::uint8_t byte, int bit) {
  return (byte >> bit & 1) != 0;
}

void SetBit(std::uint8_t& byte, int bit, bool set) {
  if (!set) byte = static_cast<std::uint8_t>(byte & ~(1u << bit));
}

// Joints 2 and 3 may count one way only: a small negative count is a real position below the
// zero, anything else is read as an unsigned 16-bit value.
std::int32_t WrapAround(std::int32_t count, std::int32_t window) {
  const auto v = static_cast<std::int16_t>(static_cast<std::uint16_t>(count & 0xFFFF));
  if (v >= 0 || v <= -static_cast<std::int64_t>(window)) return static_cast<std::uint16_t>(v);
  return v;
}

}  // namespace

int SerialAxisCount(const ArmRecord& record) {
  return std::clamp(record.jointCount, 4, 6);
}

SerialRequest BuildSerialRegisterList(const ArmRecord& record, std::uint8_t offset) {
  SerialRequest request;
  request.offset = offset;
  auto push = [&request, offset](std::uint8_t address) {
    request.registers[request.length++] = static_cast<std::uint8_t>(address + offset);
  };
  const int axes = SerialAxisCount(record);
  push(0x01);
  push(0x00);
  for (int i = 0; i < axes; ++i) push(kLowRegisters[i]);
  for (int i = 0; i < axes; ++i) push(kMiddleRegisters[i]);
  for (int i = 0; i < axes; ++i) {
    if (record.jointExtendedCount[i]) push(kHighRegisters[i]);
  }
  const ArmOptions& o = record.options;
  request.hasSecondStatusRegister =
      o.extraStatus || o.auxiliaryInput0 || o.auxiliaryInput1 || o.auxiliaryInput2;
  if (request.hasSecondStatusRegister) push(kStatus0Register);
  push(kStatus1Register);
  push(0x00);
  return request;
}

bool DecodeSerialCounts(const ArmRecord& record, std::span<const std::uint8_t> reply,
                        std::int32_t wrapWindow, CountList& counts) {
  counts.fill(0);
  const int axes = SerialAxisCount(record);
  const auto extendedAxes = static_cast<std::size_t>(std::count(
      record.jointExtendedCount.begin(), record.jointExtendedCount.begin() + axes, true));
  if (reply.size() < 2 + 2 * static_cast<std::size_t>(axes) + extendedAxes) return false;
  int extended = 0;
  for (int i = 0; i < axes; ++i) {
    const std::uint8_t low = reply[2 + i];
    const std::uint8_t middle = reply[2 + axes + i];
    const std::int32_t high = record.jointExtendedCount[i]
                                  ? static_cast<std::int8_t>(reply[2 + 2 * axes + extended++])
                                  : (middle >= 128 ? -1 : 0);
    counts[i] = high * 65536 + middle * 256 + low;
  }
  for (int i : {1, 2}) {
    if (record.jointWrapAround[i]) counts[i] = WrapAround(counts[i], wrapWindow);
  }
  return true;
}

std::int32_t UsbAxisCount(const std::uint8_t* bytes) {
  const std::int32_t value = (bytes[2] & 0x7F) << 16 | bytes[1] << 8 | bytes[0];
  // Sign-extended from bit 22.
  return (value & 0x400000) != 0 ? value - 0x800000 : value;
}

bool UsbAxisMarked(const std::uint8_t* bytes) {
  return Bit(bytes[2], 7);
}

namespace {

// `board3Axes` of board 3 are read; `zeroThird`: its third axis reads 0.
UsbAxisLayout LayoutOf(const ArmRecord& record, int board3Axes, bool zeroThird) {
  const int c1 = std::clamp(record.board1Axes, 0, kMaxBoard1Axes);
  const int c2 = std::clamp(record.board2Axes, 0, kMaxSmallBoardAxes);
  const int c3 = std::clamp(board3Axes, 0, kMaxSmallBoardAxes);
  const int moved = (record.options.tableChannel || record.options.movedAxis) && c1 > 0 ? 1 : 0;

  UsbAxisLayout layout;
  auto add = [&layout](std::size_t offset) {
    if (layout.count < layout.offsets.size()) layout.offsets[layout.count++] = offset;
  };
  for (int axis = 0; axis < c1 - moved; ++axis) add(1 + 3 * static_cast<std::size_t>(axis));
  // Board 2 reports its second and third axes before its first.
  if (c2 >= 2) add(kBoard2Axis2);
  if (c2 >= 3) add(kBoard2Axis3);
  if (c2 >= 1) add(kBoard2Axis1);
  for (int axis = 0; axis < c3; ++axis) {
    if (axis == 2 && zeroThird && layout.count < layout.offsets.size()) {
      layout.zeroedEntry = static_cast<int>(layout.count);
    }
    add(kBoard3Axis1 + 3 * static_cast<std::size_t>(axis));
  }
  if (moved == 1) add(3 * static_cast<std::size_t>(c1) - 2);
  return layout;
}

}  // namespace

UsbAxisLayout UsbAxisLayoutOf(const ArmRecord& record) {
  return LayoutOf(record, record.board3Axes,
                  record.options.board3ThirdAxis && !record.options.board3ThirdAxisCompanion);
}

void DecodeUsbCounts(const ArmRecord& record, std::span<const std::uint8_t, kUsbCountBlock> block,
                     CountList& counts) {
  counts.fill(0);
  const UsbAxisLayout layout = UsbAxisLayoutOf(record);
  for (std::size_t i = 0; i < layout.count; ++i) {
    counts[i] = UsbAxisCount(&block[layout.offsets[i]]);
  }
  if (layout.zeroedEntry >= 0) counts[layout.zeroedEntry] = 0;
}

std::size_t DecodeUsbMarks(const ArmRecord& record, bool thirdAxisCompanion,
                           std::span<const std::uint8_t, kUsbCountBlock> block,
                           std::array<bool, kMaxJoints>& marked) {
  marked.fill(false);
  // An unread third axis of board 3 has no mark to wait for: board 3's last axis is left out.
  const bool unread = record.options.board3ThirdAxis && !thirdAxisCompanion;
  const int board3Axes =
      unread && record.board3Axes > 0 ? record.board3Axes - 1 : record.board3Axes;
  const UsbAxisLayout layout = LayoutOf(record, board3Axes, false);
  for (std::size_t i = 0; i < layout.count; ++i) {
    marked[i] = UsbAxisMarked(&block[layout.offsets[i]]);
  }
  return layout.count;
}

StatusPair DecodeUsbStatus(const ArmRecord& record,
                           std::span<const std::uint8_t, kUsbCountBlock> block) {
  const std::uint8_t s1 = block[kBoard1Status];
  const std::uint8_t s3 = block[kBoard3Status];
  const bool board3 = record.board3Axes > 0;
  // A bit stays set (inactive) only if it is set on every board that is read.
  auto both = [&](int bit) { return Bit(s1, bit) && (!board3 || Bit(s3, bit)); };

  bool button1 = Bit(s1, 0);
  if (board3) {
    const ArmOptions& o = record.options;
    if (!o.auxiliaryInput1 && !o.auxiliaryInput2 && !o.auxiliaryInput0) {
      button1 = Bit(s1, 0) && Bit(s3, 0);
    } else if (o.auxiliaryInput1 && !o.auxiliaryInput2) {
      button1 = Bit(s1, 0);
    } else {
      button1 = Bit(s3, 0);
    }
  }
  StatusPair status;
  SetBit(status.status1, 0, button1);
  SetBit(status.status1, 1, both(1));
  SetBit(status.status0, 0, both(2));
  SetBit(status.status0, 1, board3 ? Bit(s3, 3) : Bit(s1, 3));
  return status;
}

void InsertFixedJoint(CountList& counts) {
  std::copy_backward(counts.begin() + 2, counts.begin() + 7, counts.begin() + 8);
  counts[2] = 0;
}

}  // namespace pilvo
