// The serial port choice of the wizard: COM1 to COM20 with the device each stands for, which of
// them could be opened when the window opened, and what Detect found on each.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/local_text.h"

namespace pilvo::wizard {

inline constexpr int kListedPorts = 20;

enum class PortDevice { Unknown, Modem, Arm };

struct PortLine {
  std::string port;  // "COMn"
  std::string path;  // the device it stands for here, " -" when none
  bool openable = false;
  std::string state;   // "Enabled" or " -"
  std::string device;  // "Modem", "Detected" or " -"
};

class PortSelection {
 public:
  // Whether port n (1 … 20) can be opened now, and the device path it stands for.
  using Probe = std::function<bool(int port)>;
  using PathOf = std::function<std::optional<std::string>(int port)>;
  // What answers on port n: an arm, a modem echoing the request, or nothing.
  using Detector = std::function<PortDevice(int port)>;

  // `portIndex`: the port in use, 0-based. The openable marks are taken here, once. Its texts
  // are in `language`, which must outlive it.
  PortSelection(int portIndex, const Probe& canOpen, const PathOf& pathOf,
                const Language& language);

  std::string title() const;
  std::vector<std::string> columns() const;  // Port, Path, State, Device
  const std::vector<PortLine>& lines() const { return lines_; }
  int portIndex() const { return portIndex_; }

  // Tries the arm on every port openable at the start, in order, telling `progress` of each
  // port (1 … 20) before trying it.
  void Detect(const Detector& detect, const std::function<void(int port)>& progress);

  // OK with line `selected` (0-based): the port chosen, or the one in use when no line is.
  int Accept(std::optional<int> selected);

 private:
  const Language& language_;
  int portIndex_;
  std::vector<PortLine> lines_;
};

// "COMn" of a 0-based port index, as the profile keeps it.
std::string PortName(int portIndex);
// The 0-based port index of a stored "COMn" (the number after the first three characters,
// less 1); 0, the default COM1, when the text names no port from COM1 up.
int PortIndexOf(std::string_view portName);

}  // namespace pilvo::wizard
