// An invariant of a fuzz target: when it fails the input is a finding, so say which one and
// stop the way libFuzzer records a crash.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace pilvo::fuzz {

inline void Check(bool holds, const char* invariant) {
  if (holds) return;
  std::fprintf(stderr, "invariant broken: %s\n", invariant);
  std::abort();
}

}  // namespace pilvo::fuzz
