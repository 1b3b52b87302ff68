// Serial encoder reads: the register list built for any record and register offset, and the
// counts decoded from a reply of any length.
//
// Input: the record's layout fields (link_record_input.h), the register offset byte, the
// wrap-around window W (32-bit), then the reply bytes.
#include <algorithm>

#include "fuzz_check.h"
#include "link/count_decoding.h"
#include "link_record_input.h"

namespace {

using namespace pilvo;
using fuzz::Check;

// Every register of the encoder read, before the offset is added.
constexpr std::array<std::uint8_t, 22> kReadRegisters = {
    0x01, 0x00, 0x22, 0x42, 0x62, 0x82, 0xA2, 0x92, 0x20, 0x40, 0x60,
    0x80, 0xA0, 0x90, 0xC2, 0x10, 0x30, 0x50, 0x70, 0xB0, 0xF0, 0xE0};

int ExtendedAxes(const ArmRecord& record, int axes) {
  return static_cast<int>(std::count(record.jointExtendedCount.begin(),
                                     record.jointExtendedCount.begin() + axes, true));
}

void CheckRequest(const ArmRecord& record, std::uint8_t offset, const SerialRequest& request) {
  const int axes = SerialAxisCount(record);
  Check(axes >= 4 && axes <= 6, "serial boards read 4 to 6 axes");
  const std::size_t expected = 2 + 2 * static_cast<std::size_t>(axes) +
                               static_cast<std::size_t>(ExtendedAxes(record, axes)) +
                               (request.hasSecondStatusRegister ? 1 : 0) + 2;
  Check(request.length == expected && request.length <= kMaxSerialRequest,
        "the list holds the counters, the status registers and the offset");
  Check(request.offset == offset && request.registers[request.length - 1] == offset,
        "the list ends with the offset it was built for");
  for (std::size_t i = 0; i + 1 < request.length; ++i) {
    const auto base = static_cast<std::uint8_t>(request.registers[i] - offset);
    Check(std::find(kReadRegisters.begin(), kReadRegisters.end(), base) != kReadRegisters.end(),
          "only registers of the encoder read are listed");
  }
}

// The count of a 24-bit (or 16-bit, `bits`) two's-complement value.
std::int32_t SignExtended(std::uint32_t value, int bits) {
  const int unused = 32 - bits;
  return static_cast<std::int32_t>(value << unused) >> unused;
}

void CheckCounts(const ArmRecord& record, std::span<const std::uint8_t> reply, std::int32_t window,
                 const CountList& counts) {
  const int axes = SerialAxisCount(record);
  int extended = 0;
  for (int i = 0; i < kMaxJoints; ++i) {
    if (i >= axes) {
      Check(counts[i] == 0, "entries past the axes are 0");
      continue;
    }
    std::uint32_t value = std::uint32_t{reply[2 + axes + i]} << 8 | reply[2 + i];
    int bits = 16;
    if (record.jointExtendedCount[i]) {
      value |= std::uint32_t{reply[2 + 2 * axes + extended++]} << 16;
      bits = 24;
    }
    const std::int32_t count = SignExtended(value, bits);
    if ((i == 1 || i == 2) && record.jointWrapAround[i]) {
      const std::int32_t low16 = SignExtended(value & 0xFFFF, 16);
      const bool kept = low16 < 0 && std::int64_t{low16} > -std::int64_t{window};
      Check(counts[i] == (kept ? low16 : (low16 & 0xFFFF)),
            "a wrap-around joint reads unsigned outside the window");
    } else {
      Check(counts[i] == count, "a count is its register bytes");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput in(data, size);
  const ArmRecord record = fuzz::LinkRecordFrom(in);
  const std::uint8_t offset = in.Byte();
  const std::int32_t window = in.I32();
  const std::span<const std::uint8_t> reply = in.Rest();

  const SerialRequest request = BuildSerialRegisterList(record, offset);
  CheckRequest(record, offset, request);

  // The counters come first in the list, the status registers and the offset after them.
  const std::size_t counters = request.length - (request.hasSecondStatusRegister ? 3 : 2);
  CountList counts{};
  const bool decoded = DecodeSerialCounts(record, reply, window, counts);
  Check(decoded == (reply.size() >= counters), "a reply is decoded when it holds the counters");
  if (!decoded) {
    Check(counts == CountList{}, "a reply too short gives no counts");
    return 0;
  }
  CheckCounts(record, reply, window, counts);
  CountList counted{};
  DecodeSerialCounts(record, reply.first(counters), window, counted);
  Check(counted == counts, "the counts come from the counter registers only");
  return 0;
}
