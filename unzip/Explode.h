// Explode internals shared with the tests (private to unzip/).
#pragma once

#include <cstdint>

// Lookup bits of the distance table: 8 for entries of more than 200000
// compressed bytes, else 7.
inline unsigned ExplodeDistanceBits(int64_t packedSize) {
  return packedSize > 200000 ? 8 : 7;
}
