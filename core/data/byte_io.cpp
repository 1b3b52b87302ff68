#include "data/byte_io.h"

#include <algorithm>
#include <bit>

namespace pilvo {
namespace {

std::uint64_t LittleEndian(std::span<const std::uint8_t> bytes) {
  std::uint64_t value = 0;
  for (std::size_t i = bytes.size(); i-- > 0;) value = (value << 8) | bytes[i];
  return value;
}

}  // namespace

std::span<const std::uint8_t> ByteReader::Take(std::size_t count) {
  if (!ok_ || bytes_.size() - position_ < count) {
    ok_ = false;
    return {};
  }
  auto taken = bytes_.subspan(position_, count);
  position_ += count;
  return taken;
}

bool ByteReader::Read(std::int32_t& value) {
  const auto bytes = Take(4);
  if (!ok_) return false;
  value = static_cast<std::int32_t>(static_cast<std::uint32_t>(LittleEndian(bytes)));
  return true;
}

bool ByteReader::Read(std::int16_t& value) {
  const auto bytes = Take(2);
  if (!ok_) return false;
  value = static_cast<std::int16_t>(static_cast<std::uint16_t>(LittleEndian(bytes)));
  return true;
}

bool ByteReader::Read(float& value) {
  const auto bytes = Take(4);
  if (!ok_) return false;
  value = std::bit_cast<float>(static_cast<std::uint32_t>(LittleEndian(bytes)));
  return true;
}

bool ByteReader::Read(double& value) {
  const auto bytes = Take(8);
  if (!ok_) return false;
  value = std::bit_cast<double>(LittleEndian(bytes));
  return true;
}

bool ByteReader::Read(std::uint8_t& value) {
  const auto bytes = Take(1);
  if (!ok_) return false;
  value = bytes[0];
  return true;
}

bool ByteReader::ReadText(std::string& text) {
  std::uint8_t shortLength = 0;
  if (!Read(shortLength)) return false;
  std::size_t length = shortLength;
  if (shortLength == 0xFF) {
    std::int16_t wide = 0;
    if (!Read(wide)) return false;
    length = static_cast<std::uint16_t>(wide);
    if (length > kMaxArchiveTextLength) {
      ok_ = false;
      return false;
    }
  }
  const auto bytes = Take(length);
  if (!ok_) return false;
  text.assign(bytes.begin(), bytes.end());
  return true;
}

bool ByteReader::ReadFixedText(std::string& text, std::size_t size) {
  const auto bytes = Take(size);
  if (!ok_) return false;
  text.assign(bytes.begin(), std::find(bytes.begin(), bytes.end(), std::uint8_t{0}));
  return true;
}

bool ByteReader::ReadBytes(std::span<std::uint8_t> out) {
  const auto bytes = Take(out.size());
  if (!ok_) return false;
  std::copy(bytes.begin(), bytes.end(), out.begin());
  return true;
}

void ByteWriter::WriteLittleEndian(std::uint64_t value, int byteCount) {
  for (int i = 0; i < byteCount; ++i) {
    bytes_.push_back(static_cast<std::uint8_t>(value & 0xFF));
    value >>= 8;
  }
}

void ByteWriter::Write(std::int32_t value) {
  WriteLittleEndian(static_cast<std::uint32_t>(value), 4);
}
void ByteWriter::Write(std::int16_t value) {
  WriteLittleEndian(static_cast<std::uint16_t>(value), 2);
}
void ByteWriter::Write(float value) {
  WriteLittleEndian(std::bit_cast<std::uint32_t>(value), 4);
}
void ByteWriter::Write(double value) {
  WriteLittleEndian(std::bit_cast<std::uint64_t>(value), 8);
}
void ByteWriter::Write(std::uint8_t value) {
  bytes_.push_back(value);
}

bool ByteWriter::WriteText(std::string_view text) {
  if (text.size() > kMaxArchiveTextLength) return false;
  if (text.size() < 0xFF) {
    Write(static_cast<std::uint8_t>(text.size()));
  } else {
    Write(std::uint8_t{0xFF});
    Write(static_cast<std::int16_t>(static_cast<std::uint16_t>(text.size())));
  }
  bytes_.insert(bytes_.end(), text.begin(), text.end());
  return true;
}

void ByteWriter::WriteFixedText(std::string_view text, std::size_t size) {
  const std::size_t kept = std::min(text.size(), size);
  bytes_.insert(bytes_.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(kept));
  bytes_.insert(bytes_.end(), size - kept, std::uint8_t{0});
}

void ByteWriter::WriteBytes(std::span<const std::uint8_t> bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
}

}  // namespace pilvo
