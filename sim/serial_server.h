// A virtual arm's serial board on a pseudo-terminal. The host opens slavePath() as its serial
// port, writes a register list in one go and reads one byte back per register.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "sim/unique_fd.h"
#include "sim/virtual_arm.h"

namespace pilvo::sim {

// The longest register list the host sends; a longer burst is answered in pieces of this size.
inline constexpr std::size_t kMaxRegisterList = 23;
// How long the server rests after a hang-up before it looks again.
inline constexpr std::chrono::microseconds kHangUpPause{2000};

class SerialSimServer {
 public:
  // With `wireTime`, each reply is held back for as long as the request and the reply take on
  // a real line at the arm's baud rate (10 bits a byte): a pseudo-terminal has no speed.
  explicit SerialSimServer(VirtualArm& arm, bool wireTime = false);
  SerialSimServer(const SerialSimServer&) = delete;
  SerialSimServer& operator=(const SerialSimServer&) = delete;
  ~SerialSimServer();

  // Creates the pseudo-terminal and starts answering. False, with errno set, when the terminal
  // cannot be made; false when already started.
  bool Start();
  // Stops answering at once, even in the middle of a wire-time wait, and closes the terminal.
  void Stop();
  // The device the host opens, e.g. "/dev/pts/7"; empty before Start.
  const std::string& slavePath() const { return slavePath_; }

 private:
  enum class Wait { Readable, Quiet, Stopped };

  void Serve();
  Wait WaitForInput() const;
  void ReadAvailable(std::vector<std::uint8_t>& request) const;
  void WriteReply(const std::vector<std::uint8_t>& reply) const;

  VirtualArm& arm_;
  const bool wireTime_;
  const int baudRate_;
  UniqueFd master_;
  // Held open so that the master never sees a hang-up while no host has the port open, and so
  // that the raw line settings stay between one host and the next.
  UniqueFd slave_;
  UniqueFd wake_;
  std::string slavePath_;
  std::thread thread_;
};

}  // namespace pilvo::sim
