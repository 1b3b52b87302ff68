#include "sim/serial_registers.h"

#include <array>
#include <optional>

#include "sim/encoder_counts.h"

namespace pilvo::sim {
namespace {

constexpr std::array<std::uint8_t, 6> kLowRegisters{0x22, 0x42, 0x62, 0x82, 0xA2, 0x92};
constexpr std::array<std::uint8_t, 6> kMiddleRegisters{0x20, 0x40, 0x60, 0x80, 0xA0, 0x90};
constexpr std::array<std::uint8_t, 6> kHighRegisters{0xC2, 0x10, 0x30, 0x50, 0x70, 0xB0};
constexpr std::uint8_t kStatus0Register = 0xF0;
constexpr std::uint8_t kStatus1Register = 0xE0;
constexpr std::uint8_t kAcknowledgeRegister = 0xD0;
constexpr std::uint8_t kMarkStatusRegister = 0xEC;
// Every register read at this distance above its address gives its latched copy.
constexpr std::uint8_t kLatchedOffset = 0x0C;

class SerialBoard {
 public:
  SerialBoard(const ArmRecord& record, ArmState& state)
      : state_(state), channels_(ReadChannels(record, state.joints)) {}

  std::uint8_t Read(std::uint8_t address) {
    if (address == kMarkStatusRegister) return MarkStatus();
    // A joint's counter latches when it passes its mark and then counts on from there, so the
    // latched registers read what the live ones read.
    if (const auto live = LiveRegister(address)) return *live;
    if (const auto latched = LiveRegister(static_cast<std::uint8_t>(address - kLatchedOffset))) {
      return *latched;
    }
    return 0;
  }

 private:
  std::optional<std::uint8_t> LiveRegister(std::uint8_t address) {
    for (std::size_t axis = 0; axis < kLowRegisters.size(); ++axis) {
      const int shift = address == kLowRegisters[axis]      ? 0
                        : address == kMiddleRegisters[axis] ? 8
                        : address == kHighRegisters[axis]   ? 16
                                                            : -1;
      if (shift >= 0) return CounterByte(axis, shift);
    }
    switch (address) {
      case kStatus0Register:
        return ActiveLow(
            {Pressed(3), state_.auxiliaryRequest, false, false, false, false, false, false});
      case kStatus1Register:
        return ActiveLow({Pressed(1), Pressed(2), false, false, false, false, false, Pressed(4)});
      case kAcknowledgeRegister:
        state_.auxiliaryRequest = false;
        state_.observations.acknowledgedInputs.push_back(-1);
        return 0;
      default:
        return std::nullopt;
    }
  }

  std::uint8_t CounterByte(std::size_t axis, int shift) const {
    if (axis >= channels_.size()) return 0;
    return static_cast<std::uint8_t>(static_cast<std::uint32_t>(channels_[axis].count) >> shift);
  }

  // The latched copy of status byte 1: buttons 1 and 2 in bits 0 and 1 as live, and bits 2 to 7
  // clear for axes 1 to 6 that have passed their mark.
  std::uint8_t MarkStatus() const {
    std::array<bool, 8> marked{};
    marked[0] = Pressed(1);
    marked[1] = Pressed(2);
    for (std::size_t axis = 0; axis < 6 && axis < channels_.size(); ++axis) {
      marked[axis + 2] = channels_[axis].marked;
    }
    return ActiveLow(marked);
  }

  bool Pressed(int button) const {
    const auto& boards = state_.buttons[static_cast<std::size_t>(button - 1)];
    return boards[0] || boards[1];
  }

  static std::uint8_t ActiveLow(const std::array<bool, 8>& active) {
    std::uint8_t bits = 0xFF;
    for (std::size_t bit = 0; bit < active.size(); ++bit) {
      if (active[bit]) bits &= static_cast<std::uint8_t>(~(1u << bit));
    }
    return bits;
  }

  ArmState& state_;
  const std::vector<ChannelReading> channels_;
};

}  // namespace

std::vector<std::uint8_t> AnswerSerialRequest(const ArmRecord& record, ArmState& state,
                                              std::span<const std::uint8_t> registers) {
  SerialBoard board(record, state);
  std::vector<std::uint8_t> reply;
  reply.reserve(registers.size());
  for (const std::uint8_t address : registers) reply.push_back(board.Read(address));
  return reply;
}

}  // namespace pilvo::sim
