// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Unevaluated sums of two doubles (hi + lo, |lo| <= ulp(hi) / 2): about 106
// bits of precision from plain double arithmetic. Every step is exact or has a
// known error bound. The only place a fused multiply-add may enter is an exact
// product (Products::Fused, in code built for CPUs that have the instruction),
// where it gives the very pair Dekker's splitting gives: the results are the
// same bits whatever instructions the compiler or the CPU offers.

namespace plorvex {

struct DoubleDouble {
  double hi;
  double lo;
};

// a + b exactly, when |a| >= |b| (or a is zero).
inline DoubleDouble fastTwoSum(double a, double b) {
  const double sum = a + b;
  const double error = b - (sum - a);
  return {sum, error};
}

// a + b exactly, in any order of magnitude.
inline DoubleDouble twoSum(double a, double b) {
  const double sum = a + b;
  const double bVirtual = sum - a;
  const double aVirtual = sum - bVirtual;
  const double error = (a - aVirtual) + (b - bVirtual);
  return {sum, error};
}

// Splits a into two halves of 26 bits each (Veltkamp), so that their products
// are exact. Valid while |a| < 2^996.
inline DoubleDouble veltkampSplit(double a) {
  constexpr double kSplitter = 134217729.0;  // 2^27 + 1
  const double scaled = kSplitter * a;
  const double high = scaled - (scaled - a);
  return {high, a - high};
}

// How an exact product is formed: by Dekker's splitting, plain double
// arithmetic for any CPU, or by one fused multiply-add, only to be used in
// functions built for CPUs that have it ([[gnu::target("fma")]]). Where the
// product's error is representable (no overflow, |a| and |b| below 2^996, and
// the exponents of a and b summing to at least -969) both give the one exact
// pair a * b = hi + lo, so the choice changes the speed and never a bit.
enum class Products { Split, Fused };

// a * b exactly, barring overflow and underflow.
template <Products kProducts = Products::Split>
[[gnu::always_inline]] inline DoubleDouble twoProduct(double a, double b) {
  const double product = a * b;
  if constexpr (kProducts == Products::Fused) {
    return {product, __builtin_fma(a, b, -product)};
  } else {
    const DoubleDouble as = veltkampSplit(a);
    const DoubleDouble bs = veltkampSplit(b);
    const double error =
        ((as.hi * bs.hi - product) + as.hi * bs.lo + as.lo * bs.hi) + as.lo * bs.lo;
    return {product, error};
  }
}

// (a.hi + a.lo) + (b.hi + b.lo), relative error below 2^-103 or so.
inline DoubleDouble add(DoubleDouble a, DoubleDouble b) {
  const DoubleDouble sum = twoSum(a.hi, b.hi);
  const DoubleDouble tails = twoSum(a.lo, b.lo);
  DoubleDouble partial = fastTwoSum(sum.hi, sum.lo + tails.hi);
  return fastTwoSum(partial.hi, partial.lo + tails.lo);
}

// (a.hi + a.lo) * (b.hi + b.lo), relative error below 2^-102 or so.
template <Products kProducts = Products::Split>
[[gnu::always_inline]] inline DoubleDouble multiply(DoubleDouble a, DoubleDouble b) {
  const DoubleDouble product = twoProduct<kProducts>(a.hi, b.hi);
  const double cross = a.hi * b.lo + a.lo * b.hi;
  return fastTwoSum(product.hi, product.lo + cross);
}

template <Products kProducts = Products::Split>
[[gnu::always_inline]] inline DoubleDouble multiply(DoubleDouble a, double b) {
  const DoubleDouble product = twoProduct<kProducts>(a.hi, b);
  return fastTwoSum(product.hi, product.lo + a.lo * b);
}

}  // namespace plorvex
