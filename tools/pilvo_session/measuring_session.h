// A measuring application without a window: the driver's calling order from the interface
// check to the closing of the port, with the readings polled in between.
#pragma once

#include <csignal>
#include <ostream>
#include <string>

namespace pilvo {

struct SessionSettings {
  std::string port;      // as the driver takes it: at most 11 characters
  std::string tab;       // the arm's TAB file
  int points = 0;        // stop after this many points; 0: no limit
  double seconds = 0.0;  // stop after polling this long; 0: no limit
};

// Runs the session until its points or its time are done, or until `stop` becomes non-zero.
// Returns the exit status: 0, or 1 when the interface, the TAB file or the reset failed.
int RunMeasuringSession(const SessionSettings& settings, const volatile std::sig_atomic_t& stop,
                        std::ostream& out);

}  // namespace pilvo
