// The board's bytes as encoder counts and status bits, for both links. Pure functions of the
// record and the reply, so that every layout can be checked without a board.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "data/arm_record.h"

namespace pilvo {

inline constexpr std::size_t kMaxSerialRequest = 23;
inline constexpr std::size_t kUsbCountBlock = 48;
inline constexpr std::size_t kUsbCountBlockWithSupply = 50;
inline constexpr std::uint8_t kLatchedRegisterOffset = 12;

using CountList = std::array<std::int32_t, kMaxJoints>;

// The register list of the serial encoder read.
struct SerialRequest {
  std::array<std::uint8_t, kMaxSerialRequest> registers{};
  std::size_t length = 0;  // L + 1
  bool hasSecondStatusRegister = false;
  std::uint8_t offset = 0;
};

// Axes a serial board reports: the joint count within the 4 to 6 that its registers cover.
int SerialAxisCount(const ArmRecord& record);

SerialRequest BuildSerialRegisterList(const ArmRecord& record, std::uint8_t offset);

// Counts from a serial reply to the record's register list; wrapWindow is W of the wrap-around
// joints. False, with every count 0, when the reply is too short to hold the record's axes.
bool DecodeSerialCounts(const ArmRecord& record, std::span<const std::uint8_t> reply,
                        std::int32_t wrapWindow, CountList& counts);

// One USB axis: 23-bit two's complement, and bit 7 of the high byte the reference-mark flag.
std::int32_t UsbAxisCount(const std::uint8_t* bytes);
bool UsbAxisMarked(const std::uint8_t* bytes);

// Where the axes of the count list stand in a count block, in list order.
struct UsbAxisLayout {
  std::array<std::size_t, kMaxJoints> offsets{};
  std::size_t count = 0;
  // The list entry of board 3's third axis when the record says it reads 0, else -1.
  int zeroedEntry = -1;
};
UsbAxisLayout UsbAxisLayoutOf(const ArmRecord& record);

void DecodeUsbCounts(const ArmRecord& record, std::span<const std::uint8_t, kUsbCountBlock> block,
                     CountList& counts);
// The reference-mark flags of the axes, in the order of the count list; returns how many.
// `thirdAxisCompanion`: that of the probe in use, which decides whether board 3's third axis
// is read.
std::size_t DecodeUsbMarks(const ArmRecord& record, bool thirdAxisCompanion,
                           std::span<const std::uint8_t, kUsbCountBlock> block,
                           std::array<bool, kMaxJoints>& marked);

struct StatusPair {
  std::uint8_t status0 = 0xFF;  // bit 0 button 3, bit 1 auxiliary request; active-low
  std::uint8_t status1 = 0xFF;  // bit 0 button 1, bit 1 button 2, bit 7 extra button
};

StatusPair DecodeUsbStatus(const ArmRecord& record,
                           std::span<const std::uint8_t, kUsbCountBlock> block);

// The inserted axis: the arm's third joint has no encoder, so entries 2 … 6 move up one.
void InsertFixedJoint(CountList& counts);

}  // namespace pilvo
