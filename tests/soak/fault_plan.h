// What goes wrong during a soak, and what the driver must answer: the kinds of fault each link
// suffers, the codes a client is promised for them, and the seeded schedule that picks when and
// which.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <random>
#include <set>
#include <string_view>
#include <vector>

namespace pilvo::soak {

enum class SoakLink { Serial, Usb };

enum class Disturbance {
  Silence,       // the board answers nothing
  ShortReply,    // the reply loses its last byte
  WrongEcho,     // USB: the echo byte spoilt; serial: every byte (a register list has no echo)
  CorruptBytes,  // every byte behind the echo spoilt, the length kept
  Unplug,        // the arm unplugged, then plugged in again
  PortLost,      // serial: the port itself gone (its adapter pulled out), then back
};

inline constexpr std::array kDisturbances = {Disturbance::Silence,   Disturbance::ShortReply,
                                             Disturbance::WrongEcho, Disturbance::CorruptBytes,
                                             Disturbance::Unplug,    Disturbance::PortLost};

std::string_view NameOf(Disturbance kind);
std::string_view NameOf(SoakLink link);

// The kinds of fault a link can suffer: only a serial port can vanish under the driver.
std::vector<Disturbance> DisturbancesOf(SoakLink link);

// True when the reply keeps its length and its echo: the board protocol has no checksum, so only
// joints that cannot be the arm's tell the fault from a good reply.
bool PassesLinkChecks(SoakLink link, Disturbance kind);

// The results the reading that meets the fault may give. A reply that passes the link's checks
// gives 0 when the driver read the board again and took that, or the link's short-reply code
// when neither read could be the arm's.
std::set<std::int32_t> ReadingCodesFor(SoakLink link, Disturbance kind);

// The results ResetEncoder may give while the fault lasts: on serial -2 (the board does not
// answer) or, with the port gone, -1 (it cannot be opened); on USB -1 (the link cannot be
// opened or the configuration failed).
std::set<std::int32_t> ResetCodesFor(SoakLink link, Disturbance kind);

struct PlannedFault {
  Disturbance kind = Disturbance::Silence;
  // Replies spoilt in a row (detectable spoilt replies only, so that the resets meet them too);
  // every other fault spoils one.
  int replies = 1;
  // Unplug and PortLost: the resets that fail before the arm or its port is back.
  int deadResets = 0;
};

// Seeded: the same seed, link and rate give the same faults at the same readings. The kinds
// come round in a shuffled order, each once a round, so that a short run meets them all; the
// gaps between faults are random, at least two readings, so that the reading after a fault is
// a clean one.
class FaultSchedule {
 public:
  // `rate`: the chance of a fault at a reading, 0 (none) to 0.5.
  FaultSchedule(SoakLink link, std::uint32_t seed, double rate);

  // The fault to inject before the next reading, if any.
  std::optional<PlannedFault> Next();

 private:
  int Gap();

  SoakLink link_;
  double rate_;
  std::mt19937 random_;
  std::vector<Disturbance> round_;
  std::size_t nextInRound_;
  int readingsToFault_;
};

}  // namespace pilvo::soak
