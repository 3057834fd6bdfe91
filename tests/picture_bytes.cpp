// SPDX-License-Identifier: GPL-3.0-or-later
// Paints one pattern's picture headless, with one worker per core, and writes
// its outcome and canvas (the colours' bytes, row by row) to the standard
// output: built twice, with and without fused multiply-add instructions, for
// same_with_fma.sh to compare.
// Usage: picture_bytes PATTERN-INDEX FIELD1 FIELD2 FIELD3 FIELD4 FIELD5

#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "catalogue.h"
#include "column_pool.h"
#include "headless.h"

int main(int argc, char** argv) {
  using namespace plorvex;
  const PatternEntry* pattern = argc == 7 ? patternAt(std::atoi(argv[1])) : nullptr;
  if (pattern == nullptr) {
    std::fprintf(stderr, "usage: %s PATTERN-INDEX (0..18) FIELD1 FIELD2 FIELD3 FIELD4 FIELD5\n", argv[0]);
    return 2;
  }
  ColumnPool pool(std::max(1u, std::thread::hardware_concurrency()));
  HeadlessHost host(FieldTexts{argv[2], argv[3], argv[4], argv[5], argv[6]});
  host.pool = &pool;
  const RenderOutcome outcome = pattern->render(host);
  std::printf("%s: end %d, fault %d, %zu columns, %d x %d\n", pattern->caption, static_cast<int>(outcome.end),
              static_cast<int>(outcome.fault), outcome.columnsPainted, host.width(), host.height());
  std::vector<Colour> row(static_cast<std::size_t>(host.width()));
  for (int y = 0; y < host.height(); ++y) {
    for (int x = 0; x < host.width(); ++x) row[static_cast<std::size_t>(x)] = host.pixel(x, y);
    std::fwrite(row.data(), sizeof(Colour), row.size(), stdout);
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
