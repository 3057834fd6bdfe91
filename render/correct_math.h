// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The picture's maths: correctly rounded elementary functions, the same bits on
// every machine.

namespace plorvex {

double crSin(double x);
double crCos(double x);
double crTan(double x);

// The same for four arguments at once (out may be in): with AVX2 where the CPU
// has it, the same bits as the functions above everywhere.
void crSin4(const double in[4], double out[4]);
void crCos4(const double in[4], double out[4]);
void crTan4(const double in[4], double out[4]);

}  // namespace plorvex
