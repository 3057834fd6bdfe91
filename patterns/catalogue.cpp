// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue.h"

#include <array>
#include <charconv>

#include "aries.h"
#include "blood.h"
#include "celt.h"
#include "dune.h"
#include "eeee.h"
#include "fun.h"
#include "grin.h"
#include "hix.h"
#include "ice.h"
#include "joke.h"
#include "kraken.h"
#include "limbo.h"
#include "numb.h"
#include "ooh.h"
#include "Punk.h"
#include "qwin.h"
#include "ripple.h"
#include "sizZle.h"
#include "Tame.h"

namespace plorvex {
namespace {

const std::array kCatalogue{
    PatternEntry{0, "atlas", "aries", &aries},
    PatternEntry{1, "bobcat", "blood", &blood},
    PatternEntry{2, "canut", "celt", &celt},
    PatternEntry{3, "dada", "dune", &dune},
    PatternEntry{4, "entropy", "eeee", &eeee},
    PatternEntry{5, "frazzle", "fun", &fun},
    PatternEntry{6, "griffin", "grin", &grin},
    PatternEntry{7, "helios", "hix", &hix},
    PatternEntry{8, "icey", "ice", &ice},
    PatternEntry{9, "jolli", "joke", &joke},
    PatternEntry{10, "kate", "kraken", &kraken},
    PatternEntry{11, "lazy", "limbo", &limbo},
    PatternEntry{12, "nitegale", "numb", &numb},
    PatternEntry{13, "ombud", "ooh", &ooh},
    PatternEntry{14, "pluck", "Punk", &Punk},
    PatternEntry{15, "quaff", "qwin", &qwin},
    PatternEntry{16, "ripple", "ripple", &ripple},
    PatternEntry{17, "sizzle", "sizZle", &sizZle},
    PatternEntry{18, "tracer", "Tame", &Tame},
};

}  // namespace

std::span<const PatternEntry> patternCatalogue() { return kCatalogue; }

const PatternEntry* patternAt(int index) {
  for (const PatternEntry& entry : kCatalogue)
    if (entry.index == index) return &entry;
  return nullptr;
}

const PatternEntry* findPattern(std::string_view captionOrIndex) {
  for (const PatternEntry& entry : kCatalogue)
    if (captionOrIndex == entry.caption) return &entry;
  int index = -1;
  const char* end = captionOrIndex.data() + captionOrIndex.size();
  const auto parsed = std::from_chars(captionOrIndex.data(), end, index);
  if (parsed.ec != std::errc() || parsed.ptr != end) return nullptr;
  return patternAt(index);
}

}  // namespace plorvex
