#include "catalogue.h"

#include <array>
#include <charconv>

#include "aries.h"
#include "blood.h"

namespace plorvex {
namespace {

const std::array kCatalogue{
    PatternEntry{0, "atlas", "aries", &aries},
    PatternEntry{1, "bobcat", "blood", &blood},
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
