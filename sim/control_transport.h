// Carrying the control language: lines from a stream (standard input, a socket connection) or
// from the connections to a Unix socket, one connection at a time.
#pragma once

#include <string>

#include "sim/control.h"

namespace pilvo::sim {

enum class ControlEnd {
  EndOfInput,  // the input ended or the answers could not be written
  Stopped,     // `stopFd` became readable
};

// Answers every line read from `inFd` on `outFd` until the input ends or `stopFd` (an eventfd,
// a signalfd, a pipe) becomes readable. A last line without its line end is answered too.
ControlEnd ServeControlStream(ControlInterpreter& interpreter, int inFd, int outFd, int stopFd);

// Listens on a Unix socket at `path` and serves its connections one after another until
// `stopFd` becomes readable; then removes the socket. A stale socket left at `path` is replaced;
// any other file there is not. False, with errno set, when the socket cannot be made.
bool ServeControlSocket(ControlInterpreter& interpreter, const std::string& path, int stopFd);

}  // namespace pilvo::sim
