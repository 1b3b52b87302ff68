// TAB files assembled byte by byte from the documented layouts, independently of the writer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pilvo::testing {

// Appends little-endian values the way the archive stores them.
class GoldenBytes {
 public:
  GoldenBytes& Raw(std::string_view bytes);
  GoldenBytes& I32(std::int64_t value);
  GoldenBytes& I16(std::int32_t value);
  GoldenBytes& F32(float value);
  GoldenBytes& F64(double value);
  GoldenBytes& Text(std::string_view text);  // one-byte or 0xFF + 16-bit length prefix

  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

 private:
  GoldenBytes& Unsigned(std::uint64_t value, int size);
  std::vector<std::uint8_t> bytes_;
};

// Complete files of each version. Their values are listed in tab_golden.cpp and checked
// field by field by the tests; every one is in the form our writer produces, so writing what
// was read must give the same bytes.
std::vector<std::uint8_t> GoldenTab();  // "tab", with a zero stylus extension
std::vector<std::uint8_t> GoldenTa2();  // "ta2", second-joint correction present
std::vector<std::uint8_t> GoldenTa3(bool withTemperature);       // "ta3", DH
std::vector<std::uint8_t> GoldenT40();                           // six-parameter chain
std::vector<std::uint8_t> GoldenT4x(int minor, int probeCount);  // "t41" … "t44" with probes

}  // namespace pilvo::testing
