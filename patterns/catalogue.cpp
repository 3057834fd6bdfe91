// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue.h"

#include <array>
#include <charconv>

#include "moved_render.h"

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

// Hands five fixed texts to an intake; nothing is ever painted on it.
class TextsOnlyHost final : public RenderHost {
 public:
  explicit TextsOnlyHost(const FieldTexts& texts) : texts_(texts) {}
  std::string fieldText(Field field) override { return texts_[field]; }
  PictureLimits pictureLimits() const override { return {}; }
  bool beginPicture(std::size_t, std::size_t) override { return false; }
  void plot(int, int, Colour) override {}
  void columnPainted(int, int, int) override {}
  void yield() override {}
  std::string haltFlag() const override { return "p"; }
  bool abandoned() const override { return true; }

 private:
  const FieldTexts& texts_;
};

template <class P>
Fault sweepOf(const FieldTexts& texts, SweepOrigin& sweep) {
  TextsOnlyHost host(texts);
  Intake<typename P::Params> intake;
  const Fault fault = takeIntake<P>(host, intake);
  sweep = intake.sweep;
  return fault;
}

template <class P>
constexpr MovedRenderer movedOf() {
  if constexpr (carriesValue<P>())
    return nullptr;
  else
    return &renderMoved<P>;
}

const std::array kCatalogue{
    PatternEntry{0, "atlas", "aries", &aries, &sweepOf<Atlas>, movedOf<Atlas>(), &makePatternBands<Atlas>},
    PatternEntry{1, "bobcat", "blood", &blood, &sweepOf<Bobcat>, movedOf<Bobcat>(), &makePatternBands<Bobcat>},
    PatternEntry{2, "canut", "celt", &celt, &sweepOf<Canut>, movedOf<Canut>(), &makePatternBands<Canut>},
    PatternEntry{3, "dada", "dune", &dune, &sweepOf<Dada>, movedOf<Dada>(), &makePatternBands<Dada>},
    PatternEntry{4, "entropy", "eeee", &eeee, &sweepOf<Entropy>, movedOf<Entropy>(), &makePatternBands<Entropy>},
    PatternEntry{5, "frazzle", "fun", &fun, &sweepOf<Frazzle>, movedOf<Frazzle>(), &makePatternBands<Frazzle>},
    PatternEntry{6, "griffin", "grin", &grin, &sweepOf<Griffin>, movedOf<Griffin>(), &makePatternBands<Griffin>},
    PatternEntry{7, "helios", "hix", &hix, &sweepOf<Helios>, movedOf<Helios>(), &makePatternBands<Helios>},
    PatternEntry{8, "icey", "ice", &ice, &sweepOf<Icey>, movedOf<Icey>(), &makePatternBands<Icey>},
    PatternEntry{9, "jolli", "joke", &joke, &sweepOf<Jolli>, movedOf<Jolli>(), &makePatternBands<Jolli>},
    PatternEntry{10, "kate", "kraken", &kraken, &sweepOf<Kate>, movedOf<Kate>(), &makePatternBands<Kate>},
    PatternEntry{11, "lazy", "limbo", &limbo, &sweepOf<Lazy>, movedOf<Lazy>(), &makePatternBands<Lazy>},
    PatternEntry{12, "nitegale", "numb", &numb, &sweepOf<Nitegale>, movedOf<Nitegale>(), &makePatternBands<Nitegale>},
    PatternEntry{13, "ombud", "ooh", &ooh, &sweepOf<Ombud>, movedOf<Ombud>(), &makePatternBands<Ombud>},
    PatternEntry{14, "pluck", "Punk", &Punk, &sweepOf<Pluck>, movedOf<Pluck>(), &makePatternBands<Pluck>},
    PatternEntry{15, "quaff", "qwin", &qwin, &sweepOf<Quaff>, movedOf<Quaff>(), &makePatternBands<Quaff>},
    PatternEntry{16, "ripple", "ripple", &ripple, &sweepOf<Ripple>, movedOf<Ripple>(), &makePatternBands<Ripple>},
    PatternEntry{17, "sizzle", "sizZle", &sizZle, &sweepOf<Sizzle>, movedOf<Sizzle>(), &makePatternBands<Sizzle>},
    PatternEntry{18, "tracer", "Tame", &Tame, &sweepOf<Tracer>, movedOf<Tracer>(), &makePatternBands<Tracer>},
};

}  // namespace

std::span<const PatternEntry> patternCatalogue() { return kCatalogue; }

const PatternEntry* patternAt(int index) {
  for (const PatternEntry& entry : kCatalogue)
    if (entry.index == index) return &entry;
  return nullptr;
}

Fault viewGeometryOf(const PatternEntry& pattern, const FieldTexts& texts, ViewGeometry& geometry) {
  SweepOrigin sweep;
  if (const Fault fault = pattern.sweep(texts, sweep); fault != Fault::None) {
    geometry = ViewGeometry{};
    return fault;
  }
  return makeViewGeometry(texts, sweep, geometry);
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
