// An operator that answers every port itself, as the console and the scripted operators do.
#pragma once

#include "dialogs/arm_dialogs.h"
#include "dialogs/dialog_views.h"
#include "session/operator_ports.h"

namespace pilvo {

class ArmSession;

class Operator : public Prompts, public ArmStatusDisplay, public DialogViews {
 public:
  Operator() : dialogs_(*this) {}
  Operator(const Operator&) = delete;
  Operator& operator=(const Operator&) = delete;

  OperatorPorts ports() { return {*this, *this, dialogs_}; }

  // The session this operator serves, once it exists: windows that open on their own (the
  // tray's menu, the probes window) work on it. It outlives the operator's use of it.
  virtual void ServeSession(ArmSession& /*session*/) {}
  // Lets what lives between calls (a tray icon, timers, modeless windows) catch up on its
  // events in a client that runs no event loop of its own.
  virtual void ProcessPendingEvents() {}

 private:
  ModelArmDialogs dialogs_;
};

}  // namespace pilvo
