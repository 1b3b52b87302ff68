// An operator that answers every port itself, as the console and the scripted operators do.
#pragma once

#include "dialogs/arm_dialogs.h"
#include "dialogs/dialog_views.h"
#include "session/operator_ports.h"

namespace pilvo {

class Operator : public Prompts, public ArmStatusDisplay, public DialogViews {
 public:
  Operator() : dialogs_(*this) {}
  Operator(const Operator&) = delete;
  Operator& operator=(const Operator&) = delete;

  OperatorPorts ports() { return {*this, *this, dialogs_}; }

 private:
  ModelArmDialogs dialogs_;
};

}  // namespace pilvo
