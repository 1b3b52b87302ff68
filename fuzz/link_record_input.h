// The fields of the arm record that shape the board's replies, taken from a fuzzer's bytes, so
// that every layout a TAB file can describe is tried, not only the sensible ones.
#pragma once

#include "data/arm_record.h"
#include "fuzz_input.h"

namespace pilvo::fuzz {

// 22 bytes: joint count, axes on boards 1, 2 and 3 (32-bit each), the options word, then one
// byte of joint extended-count bits and one of joint wrap-around bits (bit j: joint j).
inline ArmRecord LinkRecordFrom(FuzzInput& in) {
  ArmRecord record;
  record.jointCount = in.I32();
  record.board1Axes = in.I32();
  record.board2Axes = in.I32();
  record.board3Axes = in.I32();
  record.options = OptionsFromWord(in.U32(), ~0u);
  const std::uint8_t extended = in.Byte();
  const std::uint8_t wrap = in.Byte();
  for (int joint = 0; joint < kMaxJoints; ++joint) {
    record.jointExtendedCount[joint] = (extended >> joint & 1) != 0;
    record.jointWrapAround[joint] = (wrap >> joint & 1) != 0;
  }
  return record;
}

}  // namespace pilvo::fuzz
