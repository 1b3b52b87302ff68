// The arm's buttons and the auxiliary request as the status byte pair of a reading shows them.
#pragma once

#include "link/count_decoding.h"

namespace pilvo {

struct ArmButtons {
  bool button1 = false;
  bool button2 = false;
  bool button3 = false;
  bool statusBit7Button = false;  // a third button on some serial boards
  bool auxiliaryRequest = false;  // the probe of an auxiliary input asks for attention
};

// Every bit is active-low: status byte 1 bit 0 button 1, bit 1 button 2, bit 7 the status bit 7
// button; status byte 0 bit 0 button 3, bit 1 the auxiliary request.
inline ArmButtons DecodeButtons(const StatusPair& status) {
  const auto active = [](std::uint8_t byte, int bit) { return (byte >> bit & 1) == 0; };
  return {.button1 = active(status.status1, 0),
          .button2 = active(status.status1, 1),
          .button3 = active(status.status0, 0),
          .statusBit7Button = active(status.status1, 7),
          .auxiliaryRequest = active(status.status0, 1)};
}

}  // namespace pilvo
