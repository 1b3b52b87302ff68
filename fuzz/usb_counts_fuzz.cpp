// USB count blocks: the counts, reference marks, status bits, temperatures and supply decoded
// from any block under any board layout the record can describe.
//
// Input: the record's layout fields (link_record_input.h), one flags byte (bit 0: the probe's
// board-3 third-axis companion flag), then the 50 bytes of a count block with supply.
#include <algorithm>

#include "fuzz_check.h"
#include "link/count_decoding.h"
#include "link/reply_decoding.h"
#include "link_record_input.h"

namespace {

using namespace pilvo;
using fuzz::Check;
using Block = std::array<std::uint8_t, kUsbCountBlockWithSupply>;

constexpr std::int32_t kSmallestCount = -(1 << 22);
constexpr std::int32_t kLargestCount = (1 << 22) - 1;
// Where an axis may start: board 1 axes 1-6, board 2 axes 1-3, board 3 axes 1-3.
constexpr std::array<std::size_t, 12> kAxisOffsets = {1, 4, 7, 10, 13, 16, 23, 26, 29, 36, 39, 42};
constexpr std::size_t kBoard1Status = 19;
constexpr std::size_t kBoard3Status = 45;

// The 23-bit count as the top bits of a 32-bit word, shifted back down with its sign.
std::int32_t Count23(const std::uint8_t* bytes) {
  const std::uint32_t top = std::uint32_t{bytes[2] & 0x7Fu} << 25 | std::uint32_t{bytes[1]} << 17 |
                            std::uint32_t{bytes[0]} << 9;
  return static_cast<std::int32_t>(top) >> 9;
}

std::span<const std::uint8_t, kUsbCountBlock> Counts(const Block& block) {
  return std::span(block).first<kUsbCountBlock>();
}

void CheckCounts(const ArmRecord& record, const Block& block, const CountList& counts) {
  const UsbAxisLayout layout = UsbAxisLayoutOf(record);
  Check(layout.count <= counts.size(), "at most eight axes are listed");
  Check(layout.zeroedEntry < static_cast<int>(layout.count), "the zeroed axis is a listed one");
  for (std::size_t i = 0; i < counts.size(); ++i) {
    if (i >= layout.count) {
      Check(counts[i] == 0, "entries past the listed axes are 0");
      continue;
    }
    const std::size_t offset = layout.offsets[i];
    Check(std::find(kAxisOffsets.begin(), kAxisOffsets.end(), offset) != kAxisOffsets.end(),
          "an axis starts where a board's axis is");
    Check(std::count(layout.offsets.begin(), layout.offsets.begin() + layout.count, offset) == 1,
          "no axis is listed twice");
    const std::int32_t expected =
        static_cast<int>(i) == layout.zeroedEntry ? 0 : Count23(&block[offset]);
    Check(counts[i] == expected, "a count is the axis's 23-bit value");
    Check(counts[i] >= kSmallestCount && counts[i] <= kLargestCount, "a count has 23 bits");
  }
}

void CheckStatus(const ArmRecord& record, const Block& block) {
  const StatusPair status = DecodeUsbStatus(record, Counts(block));
  Check((status.status0 | 0x03) == 0xFF && (status.status1 | 0x03) == 0xFF,
        "USB reports buttons 1-3 and the auxiliary request only");
  // The status bytes of boards 1 and 3 are all that counts.
  Block others = block;
  for (std::size_t i = 0; i < others.size(); ++i) {
    if (i != kBoard1Status && i != kBoard3Status) others[i] = static_cast<std::uint8_t>(~others[i]);
  }
  const StatusPair again = DecodeUsbStatus(record, Counts(others));
  Check(again.status0 == status.status0 && again.status1 == status.status1,
        "status depends on the boards' status bytes only");
  Block quiet = block;
  quiet[kBoard1Status] = quiet[kBoard3Status] = 0xFF;
  const StatusPair idle = DecodeUsbStatus(record, Counts(quiet));
  Check(idle.status0 == 0xFF && idle.status1 == 0xFF, "nothing active when no bit is");
  Block pressed = block;
  pressed[kBoard1Status] = pressed[kBoard3Status] = 0x00;
  const StatusPair all = DecodeUsbStatus(record, Counts(pressed));
  Check(all.status0 == 0xFC && all.status1 == 0xFC, "everything active when every bit is");
}

void CheckSupplyAndTemperatures(const Block& block) {
  const SupplyStatus supply = DecodeSupply(block);
  Check(supply.reading >= 0 && supply.reading <= 0x3FFF && supply.reading == int(supply.reading),
        "the supply reading has 14 bits");
  Check(supply.monitor == ((block[49] & 0x80) != 0), "bit 7 says the supply is reported");
  Check(!supply.onBattery || supply.monitor, "on battery only when the supply is reported");
  const std::array<double, 3> uncalibrated = TemperaturesOf(RawTemperaturesOf(Counts(block)), {});
  Check(std::all_of(uncalibrated.begin(), uncalibrated.end(), [](double t) { return t == -60.0; }),
        "temperatures are -60 until calibrated");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput in(data, size);
  const ArmRecord record = fuzz::LinkRecordFrom(in);
  const bool thirdAxisCompanion = (in.Byte() & 1) != 0;
  const Block block = in.Bytes<kUsbCountBlockWithSupply>();

  CountList counts{};
  DecodeUsbCounts(record, Counts(block), counts);
  CheckCounts(record, block, counts);

  std::array<bool, kMaxJoints> marked{};
  const std::size_t axes = DecodeUsbMarks(record, thirdAxisCompanion, Counts(block), marked);
  Check(axes <= marked.size(), "at most eight marks");
  Check(std::none_of(marked.begin() + axes, marked.end(), [](bool m) { return m; }),
        "no mark past the axes");

  // The mark flag is bit 7 of each high byte: it turns every mark over and no count.
  Block flipped = block;
  for (std::size_t offset : kAxisOffsets) flipped[offset + 2] ^= 0x80;
  CountList flippedCounts{};
  DecodeUsbCounts(record, Counts(flipped), flippedCounts);
  Check(flippedCounts == counts, "the mark flag is no part of a count");
  std::array<bool, kMaxJoints> flippedMarks{};
  Check(DecodeUsbMarks(record, thirdAxisCompanion, Counts(flipped), flippedMarks) == axes,
        "the marked axes depend on the layout only");
  for (std::size_t i = 0; i < axes; ++i) {
    Check(flippedMarks[i] != marked[i], "a mark is the flag of its axis");
  }

  CheckStatus(record, block);
  CheckSupplyAndTemperatures(block);

  CountList inserted = counts;
  InsertFixedJoint(inserted);
  Check(
      inserted[2] == 0 && std::equal(counts.begin() + 2, counts.begin() + 7, inserted.begin() + 3),
      "the inserted joint reads 0 and moves the later entries up");
  return 0;
}
