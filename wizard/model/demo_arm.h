// The arm the wizard offers when none is attached (PilvoWizard --demo): a virtual arm in the same
// process that moves by itself, passes its reference marks and takes a point with button 1 now
// and then. It stands in for an arm only when asked for, never in place of a real one.
#pragma once

#include <filesystem>
#include <memory>

#include "session/arm_session.h"
#include "sim/demo_motion.h"
#include "sim/in_process_transport.h"
#include "sim/virtual_arm.h"

namespace pilvo::wizard {

class DemoArm {
 public:
  explicit DemoArm(ArmSession& session) : session_(session) {}

  // Before a connection: a fresh arm made from the TAB file at `tab`, its marks not yet passed,
  // on both links of the session. False when the file cannot be read (the link is left alone).
  bool Attach(const std::filesystem::path& tab);
  // One step of its motion, every sim::kDemoTick.
  void Step();

 private:
  ArmSession& session_;
  std::unique_ptr<sim::VirtualArm> arm_;
  std::unique_ptr<sim::InProcessTransports> transports_;
  std::unique_ptr<sim::DemoMotion> motion_;
};

}  // namespace pilvo::wizard
