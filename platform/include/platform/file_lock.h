// An exclusive advisory lock on a file, held for the lifetime of the object, so that processes
// locking the same file take turns.
#pragma once

#include <filesystem>

namespace pilvo {

class FileLock {
 public:
  // Creates the lock file when missing and waits until the lock is ours; held() says whether
  // that worked.
  explicit FileLock(const std::filesystem::path& path);
  ~FileLock();

  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace pilvo
