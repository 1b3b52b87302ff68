// The driver keeps a port name of at most 11 characters. A longer device path (a name under
// /dev/serial/by-id, say) is reached through a symbolic link with a short name of its own.
#pragma once

#include <string>

namespace pilvo {

class PortAlias {
 public:
  // The port itself when it fits or is not a path (the driver judges such names); else a link
  // "/tmp/XXXXXX" to it. Throws std::runtime_error when the link cannot be made.
  explicit PortAlias(std::string port);
  ~PortAlias();
  PortAlias(const PortAlias&) = delete;
  PortAlias& operator=(const PortAlias&) = delete;

  // The name to give the driver.
  const std::string& name() const { return name_; }
  bool linked() const { return linked_; }

 private:
  std::string name_;
  bool linked_ = false;
};

}  // namespace pilvo
