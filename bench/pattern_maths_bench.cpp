// SPDX-License-Identifier: GPL-3.0-or-later
// Every pattern's frame at size 384 (384 x 384 pixels), on one thread and with
// one worker per core: the milliseconds of the fastest of RUNS renders, one
// line per pattern. Built twice, with the program's correctly rounded maths
// (pattern_maths_bench) and with the same kernels calling the C library's
// (pattern_maths_bench_library); bench/maths_ratio.py compares the two.
// The one-thread column is the calling thread's processor time, so that other
// programs' turns on a shared machine do not count; the workers' column is
// wall time.
// Usage: pattern_maths_bench [RUNS]    (default 3)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>

#include "catalogue.h"
#include "column_pool.h"
#include "headless.h"

namespace {

using namespace plorvex;

double threadMilliseconds() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) * 1e-6;
}

double wallMilliseconds() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double bestMilliseconds(const PatternEntry& pattern, ColumnPool* pool, int runs) {
  double (*const clock)() = pool == nullptr ? threadMilliseconds : wallMilliseconds;
  double best = 1e300;
  for (int run = 0; run < runs; ++run) {
    HeadlessHost host(FieldTexts{"1", "1", "384", "1", "150"});
    host.pool = pool;
    const double start = clock();
    pattern.render(host);
    best = std::min(best, clock() - start);
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 3;
  if (runs < 1) {
    std::fprintf(stderr, "usage: %s [RUNS]    (RUNS a whole number from 1)\n", argv[0]);
    return 2;
  }
  ColumnPool pool(std::max(1u, std::thread::hardware_concurrency()));
  for (int index = 0; index < kPatternButtons; ++index) {
    const PatternEntry& pattern = *patternAt(index);
    const double one = bestMilliseconds(pattern, nullptr, runs);
    const double workers = bestMilliseconds(pattern, &pool, runs);
    std::printf("%d %s %.3f %.3f\n", index, pattern.caption, one, workers);
  }
  return 0;
}
