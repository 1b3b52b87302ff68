#include "sim/control.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <span>
#include <stdexcept>

#include "data/number_text.h"

namespace pilvo::sim {
namespace {

using Args = std::span<const std::string_view>;

class ControlError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  constexpr std::string_view kBlanks = " \t\r\n";
  for (std::size_t at = line.find_first_not_of(kBlanks); at != std::string_view::npos;) {
    const std::size_t end = std::min(line.find_first_of(kBlanks, at), line.size());
    words.push_back(line.substr(at, end - at));
    at = line.find_first_not_of(kBlanks, end);
  }
  return words;
}

std::string Quoted(std::string_view word) {
  return "\"" + std::string(word) + "\"";
}

template <typename Integer>
Integer ParseInteger(std::string_view word) {
  Integer value{};
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
  if (error != std::errc() || end != word.data() + word.size()) {
    throw ControlError(Quoted(word) + " is not a whole number in range");
  }
  return value;
}

double ParseNumber(std::string_view word) {
  double value = 0.0;
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
  if (error != std::errc() || end != word.data() + word.size() || !std::isfinite(value)) {
    throw ControlError(Quoted(word) + " is not a number");
  }
  return value;
}

bool ParseOnOff(std::string_view word) {
  if (word == "on") return true;
  if (word == "off") return false;
  throw ControlError("expected on or off, not " + Quoted(word));
}

int ParseJoint(const VirtualArm& arm, std::string_view word) {
  const int joint = ParseInteger<int>(word);
  if (joint < 0 || joint >= arm.jointCount()) {
    throw ControlError("no joint " + std::string(word) + ": the arm has joints 0 to " +
                       std::to_string(arm.jointCount() - 1));
  }
  return joint;
}

double ParseAngle(std::string_view word) {
  const double degrees = ParseNumber(word);
  if (std::abs(degrees) > kMaxJointAngle) {
    throw ControlError("angle " + std::string(word) + " is beyond ±100000 degrees");
  }
  return degrees;
}

std::string Number(double value) {
  return GeneralText(value);
}

template <typename Range, typename Format>
std::string Joined(const Range& values, Format format) {
  std::string text;
  for (const auto& value : values) text += (text.empty() ? "" : ",") + format(value);
  return text;
}

std::string FaultName(Fault fault) {
  switch (fault) {
    case Fault::Silence:
      return "silence";
    case Fault::ShortReply:
      return "short";
    case Fault::WrongEcho:
      return "echo";
    case Fault::CorruptBytes:
      return "corrupt";
  }
  return "";
}

std::string Joint(VirtualArm& arm, Args args) {
  const int joint = ParseJoint(arm, args[0]);
  arm.SetJointAngle(joint, ParseAngle(args[1]));
  return "ok joint " + std::to_string(joint) + " at " + Number(arm.jointAngles()[joint]);
}

std::string Angles(VirtualArm& arm, Args args) {
  if (args.size() > static_cast<std::size_t>(arm.jointCount())) {
    throw ControlError("the arm has only " + std::to_string(arm.jointCount()) + " joints");
  }
  std::vector<double> degrees;
  for (const std::string_view word : args) degrees.push_back(ParseAngle(word));
  arm.SetJointAngles(degrees);
  return "ok angles " + Joined(arm.jointAngles(), Number);
}

std::string Button(VirtualArm& arm, Args args) {
  const int button = ParseInteger<int>(args[0]);
  if (button < 1 || button > kButtonCount) throw ControlError("buttons are 1 to 4");
  if (args[1] != "down" && args[1] != "up") {
    throw ControlError("expected down or up, not " + Quoted(args[1]));
  }
  std::optional<ButtonBoard> board;
  if (args.size() == 3) {
    if (args[2] == "board1") {
      board = ButtonBoard::Board1;
    } else if (args[2] == "board3") {
      board = ButtonBoard::Board3;
    } else if (args[2] == "both") {
      board = ButtonBoard::Both;
    } else {
      throw ControlError("expected board1, board3 or both, not " + Quoted(args[2]));
    }
  }
  arm.SetButton(button, args[1] == "down", board);
  return "ok button " + std::to_string(button) + " " + std::string(args[1]);
}

std::string Auxiliary(VirtualArm& arm, Args args) {
  arm.SetAuxiliaryRequest(ParseOnOff(args[0]));
  return "ok aux " + std::string(args[0]);
}

std::string Temperatures(VirtualArm& arm, Args args) {
  arm.SetTemperatures({ParseNumber(args[0]), ParseNumber(args[1]), ParseNumber(args[2])});
  return "ok temp " + Joined(arm.snapshot().temperatures, Number);
}

std::string Calibration(VirtualArm& arm, Args args) {
  arm.SetCalibrationWords({ParseInteger<std::uint16_t>(args[0]),
                           ParseInteger<std::uint16_t>(args[1]),
                           ParseInteger<std::uint16_t>(args[2])});
  return "ok calibration " + Joined(args, [](std::string_view w) { return std::string(w); });
}

std::string SupplyText(const SupplyState& supply) {
  return std::to_string(supply.reading) + (supply.onBattery ? " battery" : " external") +
         (supply.monitored ? " monitor" : " nomonitor");
}

std::string Supply(VirtualArm& arm, Args args) {
  SupplyState supply = arm.snapshot().supply;
  const auto reading = ParseInteger<std::uint16_t>(args[0]);
  if (reading > kMaxSupplyReading) throw ControlError("the supply reading has 14 bits: 0 to 16383");
  supply.reading = reading;
  for (const std::string_view word : args.subspan(1)) {
    if (word == "battery" || word == "external") {
      supply.onBattery = word == "battery";
    } else if (word == "monitor" || word == "nomonitor") {
      supply.monitored = word == "monitor";
    } else {
      throw ControlError("expected battery, external, monitor or nomonitor, not " + Quoted(word));
    }
  }
  arm.SetSupply(supply);
  return "ok supply " + SupplyText(supply);
}

std::string Firmware(VirtualArm& arm, Args args) {
  const std::string_view text = args[0];
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  const bool digits = text.size() == 3 && digit(text[0]) && text[1] == '.' && digit(text[2]);
  if (!digits) throw ControlError("a firmware version is a digit, a point and a digit, e.g. 1.4");
  arm.SetFirmware(FirmwareVersion{text[0] - '0', text[2] - '0'});
  return "ok firmware " + std::string(text);
}

std::string Identifier(VirtualArm& arm, Args args) {
  if (!arm.SetIdentifier(args[0])) throw ControlError("an identifier has 1 to 4 characters");
  return "ok identifier " + std::string(args[0]);
}

std::string ValidReference(VirtualArm& arm, Args args) {
  arm.SetValidReference(ParseOnOff(args[0]));
  return "ok valid-reference " + std::string(args[0]);
}

std::string Mark(VirtualArm& arm, Args args) {
  const int joint = ParseJoint(arm, args[0]);
  arm.PassReferenceMark(joint);
  return "ok joint " + std::to_string(joint) + " referenced";
}

std::string MarkAngle(VirtualArm& arm, Args args) {
  const int joint = ParseJoint(arm, args[0]);
  arm.SetMarkAngle(joint, ParseAngle(args[1]));
  return "ok joint " + std::to_string(joint) + " mark at " + std::string(args[1]);
}

std::string Referenced(VirtualArm& arm, Args args) {
  arm.SetAllReferenced(ParseOnOff(args[0]));
  return "ok referenced " + std::string(args[0]);
}

std::string Shift(VirtualArm& arm, Args args) {
  const int joint = ParseJoint(arm, args[0]);
  arm.SetPowerOnShift(joint, ParseInteger<std::int32_t>(args[1]));
  return "ok joint " + std::to_string(joint) + " shift " + std::string(args[1]);
}

std::string Unplug(VirtualArm& arm, Args) {
  arm.SetPlugged(false);
  return "ok unplugged";
}

std::string Plug(VirtualArm& arm, Args) {
  arm.SetPlugged(true);
  return "ok plugged";
}

std::string InjectFault(VirtualArm& arm, Args args) {
  constexpr std::array kFaults{Fault::Silence, Fault::ShortReply, Fault::WrongEcho,
                               Fault::CorruptBytes};
  const auto fault = std::find_if(kFaults.begin(), kFaults.end(),
                                  [&](Fault f) { return FaultName(f) == args[0]; });
  if (fault == kFaults.end()) {
    throw ControlError("expected silence, short, echo or corrupt, not " + Quoted(args[0]));
  }
  std::optional<int> replies = 1;
  if (args.size() == 2) replies = args[1] == "always" ? kUntilCleared : ParseInteger<int>(args[1]);
  if (!arm.InjectFault(*fault, replies)) throw ControlError("the count must be at least 1");
  return "ok fault " + FaultName(*fault) + " " +
         (replies ? std::to_string(*replies) + " replies" : "always");
}

std::string ClearFaults(VirtualArm& arm, Args) {
  arm.ClearFaults();
  return "ok faults cleared";
}

std::string OnOff(bool on) {
  return on ? "on" : "off";
}

std::string ButtonsText(const std::array<std::array<bool, 2>, kButtonCount>& buttons) {
  std::vector<std::string> pressed;
  for (std::size_t b = 0; b < buttons.size(); ++b) {
    const auto [board1, board3] = buttons[b];
    if (!board1 && !board3) continue;
    pressed.push_back(std::to_string(b + 1) + ":" +
                      (board1 && board3 ? "both"
                       : board1         ? "board1"
                                        : "board3"));
  }
  return pressed.empty() ? "none" : Joined(pressed, [](const std::string& p) { return p; });
}

std::string FaultText(const FaultPlan& faults) {
  if (!faults.fault) return "none";
  return FaultName(*faults.fault) + "/" +
         (faults.remaining ? std::to_string(*faults.remaining) : "always");
}

std::string Status(VirtualArm& arm, Args) {
  const ArmState state = arm.snapshot();
  const std::vector<std::string> parts{
      "identifier " + std::string(state.identifier.begin(), state.identifier.end()),
      "firmware " + std::to_string(state.firmware.major) + "." +
          std::to_string(state.firmware.minor),
      state.plugged ? "plugged" : "unplugged",
      "angles " + Joined(state.joints, [](const JointState& j) { return Number(j.angle); }),
      "referenced " +
          Joined(state.joints,
                 [](const JointState& j) { return std::string(j.referenced ? "1" : "0"); }),
      "valid-reference " + OnOff(state.validReference),
      "aux " + OnOff(state.auxiliaryRequest),
      "buttons " + ButtonsText(state.buttons),
      "temp " + Joined(state.temperatures, Number),
      "supply " + SupplyText(state.supply),
      "fault " + FaultText(state.faults),
      "requests " + std::to_string(state.observations.requestsHandled),
  };
  std::string text = "ok";
  for (const std::string& part : parts) text += " " + part;
  return text;
}

struct Command {
  std::string_view name;
  std::string_view arguments;  // for help and for errors
  std::size_t minArguments;
  std::size_t maxArguments;
  std::string (*run)(VirtualArm&, Args);
};

constexpr std::size_t kAny = kMaxJoints;

constexpr std::array kCommands{
    Command{"joint", "J DEG", 2, 2, Joint},
    Command{"angles", "DEG0 DEG1 ...", 1, kAny, Angles},
    Command{"button", "B down|up [board1|board3|both]", 2, 3, Button},
    Command{"aux", "on|off", 1, 1, Auxiliary},
    Command{"temp", "T0 T1 T2", 3, 3, Temperatures},
    Command{"calibration", "W1 W2 W3", 3, 3, Calibration},
    Command{"supply", "R [battery|external] [monitor|nomonitor]", 1, 3, Supply},
    Command{"firmware", "M.N", 1, 1, Firmware},
    Command{"identifier", "TEXT", 1, 1, Identifier},
    Command{"valid-reference", "on|off", 1, 1, ValidReference},
    Command{"mark", "J", 1, 1, Mark},
    Command{"mark-angle", "J DEG", 2, 2, MarkAngle},
    Command{"referenced", "on|off", 1, 1, Referenced},
    Command{"shift", "J COUNTS", 2, 2, Shift},
    Command{"unplug", "", 0, 0, Unplug},
    Command{"plug", "", 0, 0, Plug},
    Command{"fault", "silence|short|echo|corrupt [COUNT|always]", 1, 2, InjectFault},
    Command{"clear", "", 0, 0, ClearFaults},
    Command{"status", "", 0, 0, Status},
};

std::string Usage(const Command& command) {
  return std::string(command.name) +
         (command.arguments.empty() ? "" : " " + std::string(command.arguments));
}

std::string Help() {
  std::string text = "ok commands: arm N; help";
  for (const Command& command : kCommands) text += "; " + Usage(command);
  return text;
}

}  // namespace

ControlInterpreter::ControlInterpreter(std::vector<VirtualArm*> arms) : arms_(std::move(arms)) {}

std::string ControlInterpreter::Execute(std::string_view line) {
  const std::vector<std::string_view> words = Words(line);
  if (words.empty()) return "error: empty command; try help";
  const Args args = Args(words).subspan(1);
  try {
    if (words[0] == "help") return Help();
    if (words[0] == "arm") {
      if (args.size() != 1) throw ControlError("usage: arm N");
      const auto arm = ParseInteger<std::size_t>(args[0]);
      if (arm >= arms_.size()) {
        throw ControlError("no arm " + std::string(args[0]) + ": there are " +
                           std::to_string(arms_.size()));
      }
      selected_ = arm;
      return "ok arm " + std::to_string(arm);
    }
    const auto command = std::find_if(kCommands.begin(), kCommands.end(),
                                      [&](const Command& c) { return c.name == words[0]; });
    if (command == kCommands.end()) {
      return "error: unknown command " + Quoted(words[0]) + "; try help";
    }
    if (args.size() < command->minArguments || args.size() > command->maxArguments) {
      throw ControlError("usage: " + Usage(*command));
    }
    if (arms_.empty()) throw ControlError("no arm to control");
    return command->run(*arms_[selected_], args);
  } catch (const ControlError& error) {
    return std::string("error: ") + error.what();
  }
}

}  // namespace pilvo::sim
