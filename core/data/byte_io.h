// Little-endian reading and writing of the archive encoding used by TAB and report files:
// 32-bit integers, IEEE floats and doubles, and length-prefixed single-byte texts.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pilvo {

// Longest text the length prefix can carry: a 16-bit length of 0xFFFE or 0xFFFF would announce
// a wider prefix, which this format does not use.
inline constexpr std::size_t kMaxArchiveTextLength = 0xFFFD;

// Reads from a byte span. The first read past the end, or of a malformed text prefix, sets
// the reader failed; later reads then fail too and leave their outputs unchanged.
class ByteReader {
 public:
  explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  bool ok() const { return ok_; }
  std::size_t position() const { return position_; }

  bool Read(std::int32_t& value);
  bool Read(std::int16_t& value);
  bool Read(float& value);
  bool Read(double& value);
  bool Read(std::uint8_t& value);
  bool ReadText(std::string& text);
  bool ReadFixedText(std::string& text, std::size_t size);  // up to the first zero byte
  bool ReadBytes(std::span<std::uint8_t> out);

 private:
  std::span<const std::uint8_t> Take(std::size_t count);

  std::span<const std::uint8_t> bytes_;
  std::size_t position_ = 0;
  bool ok_ = true;
};

class ByteWriter {
 public:
  void Write(std::int32_t value);
  void Write(std::int16_t value);
  void Write(float value);
  void Write(double value);
  void Write(std::uint8_t value);
  // False (nothing written) when the text is longer than kMaxArchiveTextLength.
  bool WriteText(std::string_view text);
  // Exactly `size` bytes: the text cut to `size` and zero bytes after it.
  void WriteFixedText(std::string_view text, std::size_t size);
  void WriteBytes(std::span<const std::uint8_t> bytes);

  const std::vector<std::uint8_t>& bytes() const { return bytes_; }
  std::vector<std::uint8_t> Take() { return std::move(bytes_); }

 private:
  void WriteLittleEndian(std::uint64_t value, int byteCount);

  std::vector<std::uint8_t> bytes_;
};

}  // namespace pilvo
