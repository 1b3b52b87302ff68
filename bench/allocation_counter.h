// Counts the heap allocations made by the calling thread, so that a benchmark can report how
// many one operation makes (the servers of the virtual arm run on threads of their own).
#pragma once

#include <cstdint>

namespace pilvo::bench {

std::uint64_t AllocationsOnThisThread();

}  // namespace pilvo::bench
