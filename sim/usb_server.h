// Serves virtual arms as USB devices to the simulator flavour of the USB access library, over a
// Unix stream socket (framing in sim/usb_wire.h). The arms are the devices in the order given;
// an unplugged arm is left out of the numbering and the pipes opened on it fail until the
// client opens them again. One thread serves every connection.
#pragma once

#include <sys/types.h>

#include <string>
#include <thread>
#include <vector>

#include "sim/unique_fd.h"

namespace pilvo::sim {

class VirtualArm;

class UsbSimServer {
 public:
  // The arms must outlive the server.
  UsbSimServer(std::vector<VirtualArm*> arms, std::string socketPath);
  ~UsbSimServer();
  UsbSimServer(const UsbSimServer&) = delete;
  UsbSimServer& operator=(const UsbSimServer&) = delete;

  // Listens on the socket path, replacing a stale socket left by a server that has gone, and
  // serves on its own thread. False when the server already runs, another live server answers
  // on the path, the path is taken by something that is not a socket, or the socket cannot be
  // made.
  bool Start();
  // Ends every connection (pending reads fail as unplugged), stops the thread and removes the
  // socket file. Does nothing when not running.
  void Stop();

 private:
  std::vector<VirtualArm*> arms_;
  std::string socketPath_;
  UniqueFd listener_;
  UniqueFd wake_;  // an eventfd that ends the serving thread
  ino_t socketInode_ = 0;
  std::thread thread_;
};

}  // namespace pilvo::sim
