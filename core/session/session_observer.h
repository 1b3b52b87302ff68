// What a window learns of the session without polling it. Called on the session's thread, from
// the reading path too: keep every call cheap.
#pragma once

#include <cstdint>

namespace pilvo {

class SessionObserver {
 public:
  virtual ~SessionObserver() = default;

  // The arm is initialised and measures.
  virtual void ArmConnected() {}
  // The link has closed.
  virtual void ArmDisconnected() {}
  // Another probe is in use, or the probe table changed.
  virtual void ProbeChanged() {}
  // A reading brought news of the supply.
  virtual void SupplyChanged() {}
  // The set of joints outside their limits changed (bit j: joint j).
  virtual void LimitsChanged(std::uint32_t /*outMask*/) {}
};

}  // namespace pilvo
