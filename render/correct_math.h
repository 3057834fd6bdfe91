// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The picture's maths: correctly rounded elementary functions, the same bits on
// every machine.

namespace plorvex {

double crSin(double x);
double crCos(double x);
double crTan(double x);

}  // namespace plorvex
