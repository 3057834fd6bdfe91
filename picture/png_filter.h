// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <vector>

namespace plorvex::picture {

// Filters one row of 8-bit RGB with the PNG filter whose output has the
// smallest sum of magnitudes (libpng's own heuristic; the first of equal
// sums wins). Without a row above (`above` null) only None and Sub, which do
// not read it. `out` receives the filter byte and `bytes` filtered bytes;
// `scratch` is working room kept between rows.
void filterRow(const unsigned char* row, const unsigned char* above, std::size_t bytes, unsigned char* out,
               std::vector<unsigned char>& scratch);

}  // namespace plorvex::picture
