#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <string>

namespace pilvo {
namespace {

std::error_code LastError() {
  return {errno, std::generic_category()};
}

std::error_code WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return {};
}

// A rename reaches the disk with the folder, not with the file: until the folder is flushed a
// crash may bring back the previous file.
std::error_code SyncFolder(const std::filesystem::path& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return LastError();
  std::error_code error;
  if (::fsync(fd) != 0) error = LastError();
  if (::close(fd) != 0 && !error) error = LastError();
  return error;
}

}  // namespace

std::error_code WriteFileAtomically(const std::filesystem::path& target,
                                    std::span<const std::uint8_t> bytes) {
  // The temporary file must sit in the target's folder so that the rename cannot cross
  // file systems and is atomic.
  std::string pattern = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX"));
  // Close-on-exec: a program the host starts meanwhile must not inherit the descriptor.
  const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) return LastError();

  std::error_code error = WriteAll(fd, bytes.data(), bytes.size());
  // mkostemp creates the file 0600: keep the mode of the file being replaced, else the usual
  // mode of a user's document.
  struct stat existing {};
  const mode_t mode = ::stat(target.c_str(), &existing) == 0 ? existing.st_mode & 07777 : 0644;
  if (!error && ::fchmod(fd, mode) != 0) error = LastError();
  if (!error && ::fsync(fd) != 0) error = LastError();
  if (::close(fd) != 0 && !error) error = LastError();
  if (!error && ::rename(pattern.c_str(), target.c_str()) != 0) error = LastError();
  if (error) {
    ::unlink(pattern.c_str());
    return error;
  }
  return SyncFolder(target.parent_path());
}

std::error_code WriteFileAtomically(const std::filesystem::path& target, std::string_view text) {
  return WriteFileAtomically(
      target, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
  if (in.bad()) return std::nullopt;
  return bytes;
}

}  // namespace pilvo
