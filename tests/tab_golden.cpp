#include "tab_golden.h"

namespace pilvo::testing {
namespace {

// Parameter value i of the golden files: distinct, exactly representable as float.
float Param(int i) {
  return 10.0f * static_cast<float>(i) + 0.25f;
}

// Versions 10 and 20 up to and including the stylus extension.
GoldenBytes OldLayoutHead(std::string_view signature) {
  GoldenBytes b;
  b.Raw(signature).Raw(std::string_view("\0", 1));
  b.Raw(std::string_view("OLDARM\0\0\0\0", 10));
  b.I32(1);  // joint count 6, stored minus 5
  for (int i = 0; i < 28; ++i) b.F32(Param(i));
  for (int offset : {-2, 300, -32768, 32767, 0, 7}) b.I16(offset);
  for (int lines : {5000, 5000, 4000, 4000, 2500, 2500}) b.I32(lines);
  for (int reversed : {0, 1, 0, 0, 1, 0}) b.I32(reversed);
  b.F32(0.0f);
  return b;
}

// Versions 30 and later from the name to the parameters.
void ModernHead(GoldenBytes& b, std::string_view name, int jointCount, int modelType) {
  b.Text(name).I32(jointCount).I32(modelType).I32(2).I32(3);
  const int count = modelType == 1 ? (jointCount + 1) * 6 : jointCount * 4 + 4;
  b.I32(count);
  for (int i = 0; i < count; ++i) b.F32(Param(i));
}

// One record of versions 40 to 44.
void ModernRecord(GoldenBytes& b, int minor, int probeCount, std::string_view probeName) {
  ModernHead(b, "ARM44 main", 6, 1);
  for (int j = 0; j < 8; ++j) b.I32(100 * j - 350);     // encoder offsets
  for (int j = 0; j < 8; ++j) b.I32(j < 6 ? 9000 : 0);  // encoder lines
  for (int j = 0; j < 8; ++j) b.I32(j % 8);             // flags words 0 … 7
  b.I32(0x3FFFF & 0b10'0010'0010'0100'0001);            // options 0, 6, 9, 13, 17
  b.I32(-17);                                           // second-joint correction count
  b.I32(0);                                             // temperature sensors
  b.I32(200205210);
  b.I32(1).I32(4).I32(2).I32(1);  // link type USB, board axes
  b.F32(1.5f);
  if (minor >= 1) {
    b.I32(probeCount).Text(probeName).Text("report line");
    for (int j = 0; j < 8; ++j) b.F64(-10.5 * j).F64(20.25 * j);
  }
  if (minor >= 2) {
    b.F64(1.1e-05).F64(1.2e-05).F64(1.3e-05);
    b.F64(0.5).F64(0.75).F64(1.0);
    b.F64(-2.5).F64(3.5);
  }
  if (minor >= 4) {
    b.I32(77).I32(1);
    for (int v : {0xE4, 0x02, 0x00, 0x03, 0x20, 0x03}) b.I32(v);
    b.I32(480).I32(-1).I32(2);
  }
}

}  // namespace

std::vector<std::uint8_t> GoldenTab() {
  return OldLayoutHead("tab").bytes();
}

std::vector<std::uint8_t> GoldenTa2() {
  GoldenBytes b = OldLayoutHead("ta2");
  for (int word : {1, 2, 3, 0, 1, 2}) b.I32(word);
  b.I32(0b1011);  // reference marks, reset dialog, second-joint correction
  b.I32(25);      // correction count, present because of bit 3
  return b.bytes();
}

std::vector<std::uint8_t> GoldenTa3(bool withTemperature) {
  GoldenBytes b;
  b.Raw(std::string_view("ta3\0", 4));
  ModernHead(b, "ARM30", 6, 0);
  for (int offset : {11, -22, 33, -44, 55, -66}) b.I32(offset);
  for (int lines : {5000, 5000, 4000, 4000, 2500, 2500}) b.I32(lines);
  for (int word : {0, 1, 2, 4, 7, 5}) b.I32(word);
  b.I32(withTemperature ? 0b0010'0000'0101 : 0b0000'0000'0101);  // bits 0, 2 and maybe 9
  b.I32(-3);
  if (withTemperature) b.I32(0).I32(195200205);
  return b.bytes();
}

std::vector<std::uint8_t> GoldenT4x(int minor, int probeCount) {
  GoldenBytes b;
  const char signature[] = {'t', '4', static_cast<char>('0' + minor), '\0'};
  b.Raw(std::string_view(signature, 4));
  ModernRecord(b, minor, probeCount, "main probe");
  for (int i = 0; i < probeCount; ++i) {
    ModernRecord(b, minor, 0, "probe " + std::to_string(i + 1));
  }
  return b.bytes();
}

}  // namespace pilvo::testing
