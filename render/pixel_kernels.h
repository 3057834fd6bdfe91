// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Computing a pattern's output pixels: the samples of a span of pixels in
// sweep order, their conversion, the mean of each pixel's samples, and the
// detection of arithmetic faults at the sample that raised them.
//
// A pattern supplies `intake` and either `pixel(params, i, j, carried)` or,
// when it carries a value from pixel to pixel, the two halves of it:
// `prepare(params, i, j)`, everything that does not depend on the carried
// value, and `complete(params, prepared, carried)`, the chain through it and
// what follows. Prepared halves can be computed in parallel; completions run in
// sweep order. Composed, the halves are the pixel: the same operations in the
// same order on the same values.

#include <cstddef>

#include "frame.h"
#include "lanes.h"

namespace plorvex {

// Whether pattern P passes a value from pixel to pixel (it declares
// `static constexpr bool kCarriesValue = true;`); its samples are completed in
// sweep order, never in parallel.
template <class P>
constexpr bool carriesValue() {
  if constexpr (requires { P::kCarriesValue; }) return P::kCarriesValue;
  return false;
}

// Whether pattern P writes its pixel's formulas once for one sample or four
// (`template <class R> static ChannelsOf<R> at(params, R i, R j)`).
template <class P>
constexpr bool computesLanes() {
  return requires(const typename P::Params& params, Lanes x) { P::at(params, x, x); };
}

template <class P>
constexpr bool splitsPixel() {
  return requires { typename P::Prepared; };
}

// Whether pattern P prepares four samples at a time (its Prepared is
// `PreparedAt<double>` and `prepare` a template over the number type).
template <class P>
constexpr bool preparesLanes() {
  return requires(const typename P::Params& params, Lanes x) { P::prepare(params, x, x); };
}

// Whether pattern P computes what follows its carried chain four samples at a
// time: `chain(params, prepared, carried)`, the chain alone (its value), and
// `template <class R> finish(params, PreparedAt<R>, R chained)`, the rest;
// its `complete` is finish after chain.
template <class P>
constexpr bool finishesLanes() {
  if constexpr (preparesLanes<P>())
    return requires(const typename P::Params& params, const typename P::template PreparedAt<Lanes>& four,
                    Lanes x) { P::finish(params, four, x); };
  return false;
}

// Whether pattern P computes four samples at a time, whole or up to its carried value.
template <class P>
constexpr bool computesFour() {
  return computesLanes<P>() || preparesLanes<P>();
}

// Rows first .. first + 3 of the plan, as four samples' j.
inline Lanes fourRows(const SweepPlan& plan, std::size_t first) {
  const double* j = &plan.rows[first];
  return {{j[0], j[1], j[2], j[3]}};
}

// What a pattern without halves of its own keeps of a sample before completing it.
struct SampleAt {
  double i = 0;
  double j = 0;
};

template <class P>
struct PreparedOf {
  using type = SampleAt;
};
template <class P>
  requires(splitsPixel<P>())
struct PreparedOf<P> {
  using type = typename P::Prepared;
};
template <class P>
using Prepared = typename PreparedOf<P>::type;

template <class P>
Prepared<P> prepareSample(const typename P::Params& params, double i, double j) {
  if constexpr (splitsPixel<P>())
    return P::prepare(params, i, j);
  else
    return SampleAt{i, j};
}

template <class P>
Channels completeSample(const typename P::Params& params, const Prepared<P>& prepared,
                        double& carried) {
  if constexpr (splitsPixel<P>())
    return P::complete(params, prepared, carried);
  else
    return P::pixel(params, prepared.i, prepared.j, carried);
}

// Completes four prepared samples in sweep order, take(channels) for each: the
// chains one by one, what follows them four at a time where the pattern can.
// `lanes` is the four samples as one PreparedAt<Lanes>, for finish.
template <class P, class Take>
void completeFour(const typename P::Params& params, const Prepared<P>* four,
                  const typename P::template PreparedAt<Lanes>& lanes, double& carried, Take&& take) {
  if constexpr (finishesLanes<P>()) {
    Lanes chained;
    for (int lane = 0; lane < 4; ++lane) chained.v[lane] = P::chain(params, four[lane], carried);
    const ChannelsOf<Lanes> channels = P::finish(params, lanes, chained);
    for (int lane = 0; lane < 4; ++lane) take(laneOf<Channels>(channels, lane));
  } else {
    for (int lane = 0; lane < 4; ++lane) take(P::complete(params, four[lane], carried));
  }
}

// Four samples in sweep order, take(channels) for each: computed side by side,
// or their halves before the carried value side by side and the rest in order.
template <class P, class Take>
void computeFour(const typename P::Params& params, const Lanes& i, const Lanes& j, double& carried,
                 Take&& take) {
  if constexpr (computesLanes<P>()) {
    const ChannelsOf<Lanes> four = P::at(params, i, j);
    for (int lane = 0; lane < 4; ++lane) take(laneOf<Channels>(four, lane));
  } else {
    const auto four = P::prepare(params, i, j);
    Prepared<P> samples[4];
    for (int lane = 0; lane < 4; ++lane) samples[lane] = laneOf<Prepared<P>>(four, lane);
    completeFour<P>(params, samples, four, carried, take);
  }
}

template <class P>
Channels pixelOf(const typename P::Params& params, double i, double j, double& carried) {
  return completeSample<P>(params, prepareSample<P>(params, i, j), carried);
}


// Visits the samples of a span in sweep order: sample(i, j) for each (false
// stops the walk), then pixelDone(p) after the last sample of span pixel p.
// `counter` is the column's counter value i_k.
template <class Sample, class PixelDone>
void walkSamples(const SweepPlan& plan, const PixelSpan& span, double counter, Sample&& sample,
                 PixelDone&& pixelDone) {
  if (plan.sampling.plain()) {
    for (std::size_t p = 0; p < span.count; ++p) {
      if (!sample(counter, plan.rows[span.first + p])) return;
      pixelDone(p);
    }
    return;
  }
  const std::size_t density = static_cast<std::size_t>(plan.sampling.density);
  const std::size_t smooth = static_cast<std::size_t>(plan.sampling.smooth);
  const std::size_t outputRows = plan.outputRows();
  for (std::size_t p = 0; p < span.count; ++p) {
    const std::size_t index = span.first + p;
    const std::size_t m = index / outputRows, y = index % outputRows;
    const double* iOffsets = &plan.offsets[m * smooth];
    const double* jOffsets = &plan.offsets[(y % density) * smooth];
    const double row = plan.rows[y / density];
    for (std::size_t q = 0; q < smooth; ++q) {
      const double i = counter + iOffsets[q];
      for (std::size_t t = 0; t < smooth; ++t)
        if (!sample(i, row + jOffsets[t])) return;
    }
    pixelDone(p);
  }
}

// walkSamples four samples at a time: four(i, j) with each group of four in
// sweep order, one(i, j) for the last few.
template <class Four, class One>
void walkSamplesByFour(const SweepPlan& plan, const PixelSpan& span, double counter, Four&& four,
                       One&& one) {
  Lanes i, j;
  int filled = 0;
  walkSamples(
      plan, span, counter,
      [&](double sampleI, double sampleJ) {
        i.v[filled] = sampleI;
        j.v[filled] = sampleJ;
        if (++filled == 4) {
          four(i, j);
          filled = 0;
        }
        return true;
      },
      [](std::size_t) {});
  for (int k = 0; k < filled; ++k) one(i.v[k], j.v[k]);
}

// Gathers the samples of each output pixel into its colour.
class PixelMaker {
 public:
  PixelMaker(const Sampling& sampling, Colour* out)
      : single_(sampling.smooth == 1), samples_(sampling.samplesPerPixel()), out_(out) {}
  void add(Colour colour) {
    if (single_)
      last_ = colour;
    else
      mean_.add(colour);
  }
  void finish(std::size_t p) {
    out_[p] = single_ ? last_ : mean_.mean(samples_);
    mean_ = LinearLightMean{};
  }
  // The span's next sample in sweep order, its pixel finished with its last
  // sample; false when the channels do not convert (an overflow).
  bool takeNext(const Channels& channels) {
    Colour colour = 0;
    const bool converted = toColour(channels, colour);
    add(colour);
    if (++inPixel_ == samples_) {
      finish(nextPixel_++);
      inPixel_ = 0;
    }
    return converted;
  }

 private:
  const bool single_;
  const std::size_t samples_;
  Colour* const out_;
  Colour last_ = 0;
  LinearLightMean mean_;
  std::size_t nextPixel_ = 0, inPixel_ = 0;  // for takeNext
};

// A span checked for faults sample by sample, so that a fault is reported at
// the output pixel and the sample that raised it.
template <class P>
ColumnResult computeSpanSampleBySample(const typename P::Params& params, const SweepPlan& plan,
                                       const PixelSpan& span, double& carried, Colour* out) {
  clearFaultFlags();
  double counter = plan.columns[span.column];
  launder(counter);
  ColumnResult result{span.count};
  std::size_t pixel = 0;
  PixelMaker maker(plan.sampling, out);
  walkSamples(
      plan, span, counter,
      [&](double i, double j) {
        const Channels channels = pixelOf<P>(params, i, j, carried);
        keepEvaluated(channels);
        Fault fault = raisedFault();
        Colour colour = 0;
        if (fault == Fault::None && !toColour(channels, colour)) fault = Fault::Overflow;
        if (fault != Fault::None) {
          result = {pixel, fault, i, j};
          return false;
        }
        maker.add(colour);
        return true;
      },
      [&](std::size_t p) {
        maker.finish(p);
        ++pixel;
      });
  return result;
}

// A span of a pattern's output pixels. The fault flags are tested once, after
// the span; only a span that raised one is made again sample by sample (from
// the same carried value, so identically) to find where.
template <class P>
ColumnResult computeSpan(const typename P::Params& params, const SweepPlan& plan,
                         const PixelSpan& span, double& carried, Colour* out) {
  const double carriedAtStart = carried;
  clearFaultFlags();
  double counter = plan.columns[span.column];
  launder(counter);
  bool converted = true;
  if (plan.sampling.plain()) {
    // One sample a pixel, straight into its place: the common case, kept lean;
    // four rows at a time where the pattern computes four.
    std::size_t p = 0;
    if constexpr (computesFour<P>()) {
      const Lanes i = broadcast(counter);
      for (; p + 4 <= span.count; p += 4) {
        int lane = 0;
        computeFour<P>(params, i, fourRows(plan, span.first + p), carried,
                       [&](const Channels& channels) { converted &= toColour(channels, out[p + lane++]); });
      }
    }
    for (; p < span.count; ++p)
      converted &= toColour(pixelOf<P>(params, counter, plan.rows[span.first + p], carried), out[p]);
  } else if constexpr (computesFour<P>()) {
    // Several samples a pixel: four at a time, across pixels where they fall
    // so, in sweep order (the carried value goes through them in that order).
    PixelMaker maker(plan.sampling, out);
    const auto take = [&](const Channels& channels) { converted &= maker.takeNext(channels); };
    walkSamplesByFour(
        plan, span, counter,
        [&](const Lanes& i, const Lanes& j) { computeFour<P>(params, i, j, carried, take); },
        [&](double i, double j) { take(pixelOf<P>(params, i, j, carried)); });
  } else {
    PixelMaker maker(plan.sampling, out);
    walkSamples(
        plan, span, counter,
        [&](double i, double j) {
          Colour colour = 0;
          converted &= toColour(pixelOf<P>(params, i, j, carried), colour);
          maker.add(colour);
          return true;
        },
        [&](std::size_t p) { maker.finish(p); });
  }
  keepEvaluated(converted);
  if (converted && raisedFault() == Fault::None) return {span.count};
  carried = carriedAtStart;
  return computeSpanSampleBySample<P>(params, plan, span, carried, out);
}

// The first half of every sample of a span, in sweep order; false if a fault
// flag was raised (the span then faults somewhere when it is completed).
template <class P>
bool prepareSpan(const typename P::Params& params, const SweepPlan& plan, const PixelSpan& span,
                 Prepared<P>* out) {
  clearFaultFlags();
  double counter = plan.columns[span.column];
  launder(counter);
  std::size_t s = 0;
  if constexpr (preparesLanes<P>()) {
    const auto prepareFour = [&](const Lanes& i, const Lanes& j) {
      const auto four = P::prepare(params, i, j);
      for (int lane = 0; lane < 4; ++lane) out[s++] = laneOf<Prepared<P>>(four, lane);
    };
    if (plan.sampling.plain()) {
      while (s + 4 <= span.count) prepareFour(broadcast(counter), fourRows(plan, span.first + s));
      for (; s < span.count; ++s) out[s] = P::prepare(params, counter, plan.rows[span.first + s]);
    } else {
      walkSamplesByFour(plan, span, counter, prepareFour,
                        [&](double i, double j) { out[s++] = P::prepare(params, i, j); });
    }
    return raisedFault() == Fault::None;
  }
  walkSamples(
      plan, span, counter,
      [&](double i, double j) {
        out[s++] = prepareSample<P>(params, i, j);
        return true;
      },
      [](std::size_t) {});
  return raisedFault() == Fault::None;
}

// The second half of every sample of a prepared span, in sweep order, through
// the carried value. A span whose preparation or completion raised a fault is
// made again whole, sample by sample, from the carried value it started with.
template <class P>
ColumnResult completeSpan(const typename P::Params& params, const SweepPlan& plan,
                          const PixelSpan& span, const Prepared<P>* prepared, bool preparedCleanly,
                          double& carried, Colour* out) {
  const double carriedAtStart = carried;
  if (preparedCleanly) {
    clearFaultFlags();
    bool converted = true;
    PixelMaker maker(plan.sampling, out);
    const std::size_t total = span.count * plan.sampling.samplesPerPixel();
    std::size_t s = 0;
    const auto take = [&](const Channels& channels) { converted &= maker.takeNext(channels); };
    if constexpr (finishesLanes<P>())
      for (; s + 4 <= total; s += 4)
        completeFour<P>(params, &prepared[s], lanesOf<typename P::template PreparedAt<Lanes>>(&prepared[s]),
                        carried, take);
    for (; s < total; ++s) take(completeSample<P>(params, prepared[s], carried));
    keepEvaluated(converted);
    if (converted && raisedFault() == Fault::None) return {span.count};
    carried = carriedAtStart;
  }
  return computeSpanSampleBySample<P>(params, plan, span, carried, out);
}

// Computes a pattern's columns in sweep order on the calling thread.
template <class P>
class SequentialColumns final : public ColumnSource {
 public:
  SequentialColumns(const typename P::Params& params, const SweepPlan& plan)
      : params_(params), plan_(plan) {}
  ColumnResult column(std::size_t k, Colour* out) override {
    return computeSpan<P>(params_, plan_, {k, 0, plan_.pixelsPerColumn()}, carried_, out);
  }

 private:
  typename P::Params params_;
  const SweepPlan& plan_;
  double carried_ = 0;  // passed from pixel to pixel, 0 at the start of a render
};

}  // namespace plorvex
