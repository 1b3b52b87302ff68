// A fuzzer's bytes read as a fixed layout of little-endian fields. A field past the end reads as
// zeros, so every input has a meaning and the seed files stay small.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <span>

namespace pilvo::fuzz {

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : bytes_(data, size) {}

  std::uint8_t Byte() { return position_ < bytes_.size() ? bytes_[position_++] : 0; }

  std::uint32_t U32() { return static_cast<std::uint32_t>(Unsigned(4)); }
  std::int32_t I32() { return static_cast<std::int32_t>(U32()); }
  double F64() { return std::bit_cast<double>(Unsigned(8)); }

  template <std::size_t N>
  std::array<std::uint8_t, N> Bytes() {
    std::array<std::uint8_t, N> bytes{};
    for (auto& byte : bytes) byte = Byte();
    return bytes;
  }

  // What is left, in the fuzzer's own buffer so that a read past its end is caught.
  std::span<const std::uint8_t> Rest() {
    const auto rest = bytes_.subspan(position_);
    position_ = bytes_.size();
    return rest;
  }

 private:
  std::uint64_t Unsigned(int size) {
    std::uint64_t value = 0;
    for (int i = 0; i < size; ++i) value |= std::uint64_t{Byte()} << (8 * i);
    return value;
  }

  std::span<const std::uint8_t> bytes_;
  std::size_t position_ = 0;
};

}  // namespace pilvo::fuzz
