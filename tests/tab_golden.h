// TAB files assembled byte by byte from the documented layouts, independently of the writer.
#pragma once

#include <bit>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pilvo::testing {

// Appends little-endian values the way the archive stores them.
class GoldenBytes {
 public:
  GoldenBytes& Raw(std::string_view bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
  }
  GoldenBytes& I32(std::int64_t value) { return Unsigned(static_cast<std::uint32_t>(value), 4); }
  GoldenBytes& I16(std::int32_t value) { return Unsigned(static_cast<std::uint16_t>(value), 2); }
  GoldenBytes& F32(float value) { return Unsigned(std::bit_cast<std::uint32_t>(value), 4); }
  GoldenBytes& F64(double value) { return Unsigned(std::bit_cast<std::uint64_t>(value), 8); }
  // A one-byte length, or 0xFF and a 16-bit length, then the text.
  GoldenBytes& Text(std::string_view text) {
    if (text.size() < 255) return Unsigned(text.size(), 1).Raw(text);
    return Unsigned(0xFF, 1).Unsigned(text.size(), 2).Raw(text);
  }

  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

 private:
  GoldenBytes& Unsigned(std::uint64_t value, int size) {
    for (int i = 0; i < size; ++i) bytes_.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    return *this;
  }
  std::vector<std::uint8_t> bytes_;
};

// Complete files of each version. Their values are listed in tab_golden.cpp and checked
// field by field by the tests; every one is in the form our writer produces, so writing what
// was read must give the same bytes.
std::vector<std::uint8_t> GoldenTab();  // "tab", with a zero stylus extension
std::vector<std::uint8_t> GoldenTa2();  // "ta2", second-joint correction present
std::vector<std::uint8_t> GoldenTa3(bool withTemperature);       // "ta3", DH
std::vector<std::uint8_t> GoldenT4x(int minor, int probeCount);  // "t40" … "t44" with probes

}  // namespace pilvo::testing
