#include "wizard/model/port_selection.h"

#include <charconv>

#include "data/local_text.h"

namespace pilvo::wizard {
namespace {

constexpr char kNone[] = " -";

PortLine LineFor(int port, bool openable, const std::optional<std::string>& path, PortDevice device,
                 const Language& language) {
  std::string found = kNone;
  if (device == PortDevice::Modem) found = LocalText(2279, language);
  if (device == PortDevice::Arm) found = LocalText(2280, language);
  return {PortName(port - 1), path.value_or(kNone), openable,
          openable ? LocalText(2278, language) : std::string(kNone), found};
}

}  // namespace

PortSelection::PortSelection(int portIndex, const Probe& canOpen, const PathOf& pathOf,
                             const Language& language)
    : language_(language), portIndex_(portIndex) {
  for (int port = 1; port <= kListedPorts; ++port) {
    lines_.push_back(LineFor(port, canOpen(port), pathOf(port), PortDevice::Unknown, language_));
  }
}

std::string PortSelection::title() const {
  return LocalText(2272, language_);
}

std::vector<std::string> PortSelection::columns() const {
  return {LocalText(2274, language_), "Path", LocalText(2275, language_),
          LocalText(2276, language_)};
}

void PortSelection::Detect(const Detector& detect, const std::function<void(int port)>& progress) {
  for (int port = 1; port <= kListedPorts; ++port) {
    progress(port);
    PortLine& line = lines_[port - 1];
    if (!line.openable) continue;
    const PortDevice device = detect(port);
    line.device = LineFor(port, true, std::nullopt, device, language_).device;
  }
}

int PortSelection::Accept(std::optional<int> selected) {
  if (selected && *selected >= 0 && *selected < kListedPorts) portIndex_ = *selected;
  return portIndex_;
}

std::string PortName(int portIndex) {
  return "COM" + std::to_string(portIndex + 1);
}

int PortIndexOf(std::string_view portName) {
  int number = 0;
  if (portName.size() > 3) {
    const char* first = portName.data() + 3;
    std::from_chars(first, portName.data() + portName.size(), number);
  }
  return number >= 1 ? number - 1 : 0;
}

}  // namespace pilvo::wizard
