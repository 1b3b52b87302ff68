// The control language of the virtual arms: one text line in, one line out ("ok …" or
// "error: …"). A test or a person moves joints, presses buttons, sets sensors and injects
// faults with it; `help` lists the commands.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "sim/virtual_arm.h"

namespace pilvo::sim {

class ControlInterpreter {
 public:
  // The arms are numbered from 0 in this order; commands act on arm 0 until `arm N`.
  explicit ControlInterpreter(std::vector<VirtualArm*> arms);

  // The answer to one command line, without its line end. Any input gives an answer.
  std::string Execute(std::string_view line);

 private:
  std::vector<VirtualArm*> arms_;
  std::size_t selected_ = 0;
};

}  // namespace pilvo::sim
