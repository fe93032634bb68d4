// What the fuzz targets assert with: a failed check ends the run with abort(),
// which libFuzzer reports as a crash and keeps the input for.
#pragma once

#include <cstdlib>

#include "text/text.h"

namespace tavrel {

inline void check(bool ok) {
  if (!ok) std::abort();
}

inline bool holds_zero(const Text& t) { return t.find('\0') != Text::npos; }

}  // namespace tavrel
