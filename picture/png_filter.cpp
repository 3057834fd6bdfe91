// SPDX-License-Identifier: GPL-3.0-or-later
#include "png_filter.h"

#include <cstdint>
#include <algorithm>
#include <cstdlib>

namespace plorvex::picture {
namespace {

constexpr std::size_t kPixelBytes = 3;
constexpr int kFilters = 5;

int paeth(int a, int b, int c) {
  const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
  return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// One filter over the row: each byte minus its prediction from the byte to
// its left (a), above (b) and above-left (c), and the sum of the results'
// magnitudes. Written without branches in the loop so that the compiler
// makes it vector code; this is most of the encoder's own time.
template <class Predict>
std::uint64_t filterWith(const unsigned char* row, const unsigned char* above, std::size_t bytes, unsigned char* out,
                         Predict predict) {
  std::uint64_t sum = 0;
  const std::size_t head = bytes < kPixelBytes ? bytes : kPixelBytes;
  for (std::size_t x = 0; x < head; ++x) {
    out[x] = static_cast<unsigned char>(row[x] - predict(0, above ? above[x] : 0, 0));
    sum += static_cast<std::uint64_t>(std::abs(static_cast<int>(static_cast<signed char>(out[x]))));
  }
  std::uint32_t rest = 0;  // at most 128 a byte: rows up to 2^25 bytes fit
  for (std::size_t x = head; x < bytes; ++x) {
    const int b = above ? above[x] : 0, c = above ? above[x - kPixelBytes] : 0;
    out[x] = static_cast<unsigned char>(row[x] - predict(row[x - kPixelBytes], b, c));
    rest += static_cast<std::uint32_t>(std::abs(static_cast<int>(static_cast<signed char>(out[x]))));
  }
  return sum + rest;
}

std::uint64_t filterAs(int filter, const unsigned char* row, const unsigned char* above, std::size_t bytes,
                       unsigned char* out) {
  switch (filter) {
    case 1: return filterWith(row, above, bytes, out, [](int a, int, int) { return a; });
    case 2: return filterWith(row, above, bytes, out, [](int, int b, int) { return b; });
    case 3: return filterWith(row, above, bytes, out, [](int a, int b, int) { return (a + b) >> 1; });
    case 4: return filterWith(row, above, bytes, out, paeth);
    default: return filterWith(row, above, bytes, out, [](int, int, int) { return 0; });
  }
}

}  // namespace

void filterRow(const unsigned char* row, const unsigned char* above, std::size_t bytes, unsigned char* out,
               std::vector<unsigned char>& scratch) {
  scratch.resize(bytes);
  unsigned char* best = out + 1;
  std::uint64_t bestSum = filterAs(0, row, above, bytes, best);
  out[0] = 0;
  for (int filter = 1; filter < (above ? kFilters : 2); ++filter) {
    const std::uint64_t sum = filterAs(filter, row, above, bytes, scratch.data());
    if (sum < bestSum) {
      bestSum = sum;
      out[0] = static_cast<unsigned char>(filter);
      std::copy(scratch.begin(), scratch.end(), best);
    }
  }
}

}  // namespace plorvex::picture
