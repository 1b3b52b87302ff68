#include "sim/control_transport.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cerrno>

#include "sim/unique_fd.h"
#include "sim/usb_wire.h"

namespace pilvo::sim {
namespace {

// A line longer than this is refused whole, so that a stream without line ends cannot make
// the simulator hold ever more memory.
constexpr std::size_t kMaxLineLength = 4096;

enum class Ready { Input, Stop };

Ready WaitForInputOrStop(int inFd, int stopFd) {
  std::array<pollfd, 2> entries{pollfd{stopFd, POLLIN, 0}, pollfd{inFd, POLLIN, 0}};
  int ready = 0;
  do {
    ready = ::poll(entries.data(), entries.size(), -1);
  } while (ready < 0 && errno == EINTR);
  if (ready < 0 || entries[0].revents != 0) return Ready::Stop;
  return Ready::Input;
}

bool WriteAll(int fd, const std::string& text) {
  std::size_t written = 0;
  while (written < text.size()) {
    // A client that has gone must not kill the simulator with SIGPIPE.
    ssize_t count = ::send(fd, text.data() + written, text.size() - written, MSG_NOSIGNAL);
    if (count < 0 && errno == ENOTSOCK) {
      count = ::write(fd, text.data() + written, text.size() - written);
    }
    if (count > 0) {
      written += static_cast<std::size_t>(count);
    } else if (count < 0 && errno == EINTR) {
      continue;
    } else {
      return false;
    }
  }
  return true;
}

class LineAnswerer {
 public:
  LineAnswerer(ControlInterpreter& interpreter, int outFd)
      : interpreter_(interpreter), outFd_(outFd) {}

  // Answers the complete lines of `bytes`; false when an answer cannot be written.
  bool Take(std::string_view bytes) {
    for (const char c : bytes) {
      if (c == '\n') {
        if (!Finish()) return false;
      } else if (pending_.size() < kMaxLineLength) {
        pending_ += c;
      } else {
        tooLong_ = true;
      }
    }
    return true;
  }

  bool FinishLastLine() {
    if (pending_.empty() && !tooLong_) return true;
    return Finish();
  }

 private:
  bool Finish() {
    const std::string answer =
        tooLong_ ? "error: line longer than " + std::to_string(kMaxLineLength) + " characters"
                 : interpreter_.Execute(pending_);
    pending_.clear();
    tooLong_ = false;
    return WriteAll(outFd_, answer + "\n");
  }

  ControlInterpreter& interpreter_;
  const int outFd_;
  std::string pending_;
  bool tooLong_ = false;
};

}  // namespace

ControlEnd ServeControlStream(ControlInterpreter& interpreter, int inFd, int outFd, int stopFd) {
  LineAnswerer answerer(interpreter, outFd);
  std::array<char, 4096> buffer{};
  for (;;) {
    if (WaitForInputOrStop(inFd, stopFd) == Ready::Stop) return ControlEnd::Stopped;
    const ssize_t count = ::read(inFd, buffer.data(), buffer.size());
    if (count < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (count <= 0) {
      answerer.FinishLastLine();
      return ControlEnd::EndOfInput;
    }
    if (!answerer.Take(std::string_view(buffer.data(), static_cast<std::size_t>(count)))) {
      return ControlEnd::EndOfInput;
    }
  }
}

bool ServeControlSocket(ControlInterpreter& interpreter, const std::string& path, int stopFd) {
  sockaddr_un address{};
  if (!wire::MakeUnixAddress(path, address)) {
    errno = ENAMETOOLONG;
    return false;
  }
  struct stat existing {};
  if (::lstat(path.c_str(), &existing) == 0 && S_ISSOCK(existing.st_mode)) ::unlink(path.c_str());
  UniqueFd listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!listener.valid() ||
      ::bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    return false;
  }
  if (::listen(listener.get(), 4) != 0) {
    const int error = errno;
    ::unlink(path.c_str());
    errno = error;
    return false;
  }
  while (WaitForInputOrStop(listener.get(), stopFd) == Ready::Input) {
    UniqueFd client(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!client.valid()) continue;
    if (ServeControlStream(interpreter, client.get(), client.get(), stopFd) ==
        ControlEnd::Stopped) {
      break;
    }
  }
  ::unlink(path.c_str());
  return true;
}

}  // namespace pilvo::sim
