// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The time a long render has taken and has left, in words: the command
// line's progress bar and the window's save progress show the same.

#include <cstddef>
#include <string>

namespace plorvex::picture {

// "0:07", "12:30" or "1:02:03".
std::string clockText(double seconds);

// "0:12 elapsed, 0:17 left" after `elapsed` seconds with `done` of `total`
// finished; the time left only once something is done and something is left.
std::string elapsedAndLeftText(std::size_t done, std::size_t total, double elapsed);

}  // namespace plorvex::picture
