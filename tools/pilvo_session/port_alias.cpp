#include "port_alias.h"

#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace pilvo {
namespace {

constexpr std::size_t kPortNameField = 11;

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

}  // namespace

PortAlias::PortAlias(std::string port) : name_(std::move(port)) {
  if (name_.size() <= kPortNameField || name_.front() != '/') return;
  // mkstemp reserves a free name, which the link then replaces in one step.
  std::string alias = "/tmp/XXXXXX";
  const int fd = ::mkstemp(alias.data());
  if (fd < 0) Fail("cannot make a short name for " + name_);
  ::close(fd);
  const std::string made = alias + ".link";
  if (::symlink(name_.c_str(), made.c_str()) != 0 || ::rename(made.c_str(), alias.c_str()) != 0) {
    const int error = errno;
    ::unlink(made.c_str());
    ::unlink(alias.c_str());
    errno = error;
    Fail("cannot link " + alias + " to " + name_);
  }
  name_ = alias;
  linked_ = true;
}

PortAlias::~PortAlias() {
  if (linked_) ::unlink(name_.c_str());
}

}  // namespace pilvo
