#include "soak/resident_memory.h"

#include <unistd.h>

#include <fstream>

namespace pilvo::soak {

long ResidentKilobytes() {
  // statm: total pages, then resident pages.
  std::ifstream statm("/proc/self/statm");
  long total = 0;
  long resident = 0;
  if (!(statm >> total >> resident)) return -1;
  return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

}  // namespace pilvo::soak
