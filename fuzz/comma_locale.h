// Fuzz targets that read number texts run under a decimal-comma locale when one is installed
// (scripts/run-fuzz.sh compiles one when it is not).
#pragma once

#include <cstdio>

#include "../tests/comma_locale.h"

namespace pilvo::fuzz {

inline void UseCommaLocale() {
  if (testing::SetCommaLocale() == nullptr) {
    std::fprintf(stderr, "no locale with a decimal comma: numbers are read in the C locale only\n");
  }
}

}  // namespace pilvo::fuzz
