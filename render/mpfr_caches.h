// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// MPFR keeps the constants it works out (pi, ln 2, ...) in caches of the
// thread that asked for them. The render's worker threads call it for the rare
// arguments the fast ways cannot round, and a thread that ends must free its
// own caches or they are lost.

#include <mpfr.h>

namespace plorvex {

inline void freeMpfrCachesAtThreadExit() {
  struct Releaser {
    ~Releaser() { mpfr_free_cache2(MPFR_FREE_LOCAL_CACHE); }
  };
  thread_local Releaser releaser;
  (void)releaser;
}

}  // namespace plorvex
