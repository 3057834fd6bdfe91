// SPDX-License-Identifier: GPL-3.0-or-later
// Speed of every pattern at size 768 (1024 x 768 pixels), four ways:
//   Pure    the per-pixel computation alone, one thread, into memory
//   Frame1  the headless frame, one thread
//   FrameN  the headless frame with one worker per core
//   Window  the window (offscreen), press to last column, with its workers
// plus the time from a click on "halt !" to the end of a running render, and
// samples per second of one 384 x 384 view plain, at density 2 and smoothed
// 4 x 4, on one thread and with the workers (Plain1 .. SmoothN).
// bench/report.py turns repeated runs into the table of medians and ratios.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>

#include <atomic>
#include <chrono>
#include <thread>
#include <tuple>

#include "Punk.h"
#include "Tame.h"
#include "aries.h"
#include "blood.h"
#include "catalogue.h"
#include "celt.h"
#include "dune.h"
#include "eeee.h"
#include "fun.h"
#include "grin.h"
#include "headless.h"
#include "pixel_kernels.h"
#include "hix.h"
#include "ice.h"
#include "joke.h"
#include "kraken.h"
#include "limbo.h"
#include "main_window.h"
#include "numb.h"
#include "ooh.h"
#include "qwin.h"
#include "ripple.h"
#include "sizZle.h"

namespace {

using namespace plorvex;

// In button order.
using Patterns = std::tuple<Atlas, Bobcat, Canut, Dada, Entropy, Frazzle, Griffin, Helios, Icey,
                            Jolli, Kate, Lazy, Nitegale, Ombud, Pluck, Quaff, Ripple, Sizzle, Tracer>;

const FieldTexts kFullPicture{"1", "1", "768", "1", "150"};

void countPixels(benchmark::State& state, std::size_t pixels) {
  state.counters["pixels_per_s"] =
      benchmark::Counter(static_cast<double>(pixels), benchmark::Counter::kIsIterationInvariantRate);
}

template <class P>
void Pure(benchmark::State& state) {
  HeadlessHost fields(kFullPicture);
  Intake<typename P::Params> intake;
  takeIntake<P>(fields, intake);
  SweepPlan plan;
  planSweep(intake.sweep, fields.pictureLimits(), plan);
  std::vector<Colour> picture(plan.columns.size() * plan.rows.size());
  for (auto _ : state) {
    double carried = 0;
    Colour* out = picture.data();
    for (double i : plan.columns)
      for (double j : plan.rows) {
        const Channels channels = pixelOf<P>(intake.params, i, j, carried);
        toColour(channels, *out++);
      }
    benchmark::DoNotOptimize(picture.data());
    benchmark::ClobberMemory();
  }
  countPixels(state, picture.size());
}

void Frame(benchmark::State& state, int index, ColumnPool* pool) {
  const PatternEntry* pattern = patternAt(index);
  for (auto _ : state) {
    HeadlessHost host(kFullPicture);
    host.pool = pool;
    benchmark::DoNotOptimize(pattern->render(host));
  }
  countPixels(state, 1024 * 768);
}

// The one view of 384 x 384 plain pixels, sampled once, at density 2 (four
// samples a plain pixel) and smoothed 4 x 4 (sixteen): the samples lie in the
// same part of the pattern, so their costs compare.
const FieldTexts kSampledView{"1", "1", "384", "1", "150"};

void Sampled(benchmark::State& state, int index, Sampling sampling, ColumnPool* pool) {
  const PatternEntry* pattern = patternAt(index);
  for (auto _ : state) {
    HeadlessHost host(kSampledView);
    host.samplingToUse = sampling;
    host.pool = pool;
    benchmark::DoNotOptimize(pattern->render(host));
  }
  const std::size_t samples = 384 * 384 * static_cast<std::size_t>(sampling.density * sampling.density) *
                              sampling.samplesPerPixel();
  state.counters["samples_per_s"] =
      benchmark::Counter(static_cast<double>(samples), benchmark::Counter::kIsIterationInvariantRate);
}

app::WindowServices quietServices() {
  app::WindowServices services = app::defaultServices();
  services.showCritical = [](QWidget*, const QString&, const QString&) {};
  services.beep = [] {};
  return services;
}

void setFields(app::MainWindow& window, const FieldTexts& f) {
  for (auto [name, text] : {std::pair{"TextOne", f.x}, {"TextTwo", f.y}, {"TextThree", f.size},
                            {"TextFour", f.zoom}, {"Textfive", f.brightness}})
    window.findChild<QLineEdit*>(name)->setText(QString::fromStdString(text));
}

void Window(benchmark::State& state, int index) {
  app::MainWindow window(quietServices());
  window.showMaximized();
  QCoreApplication::processEvents();
  setFields(window, kFullPicture);
  for (auto _ : state) window.renderer().press(index);
  countPixels(state, 1024 * 768);
}

// From a click on "halt !", posted by another thread 60 ms into the render as
// a user's click arrives, to the end of the render: the wait for the next
// yield is included.
void HaltLatency(benchmark::State& state, int index) {
  app::MainWindow window(quietServices());
  window.showMaximized();
  QCoreApplication::processEvents();
  setFields(window, kFullPicture);
  QWidget* halt = window.findChild<QPushButton*>("cmdstop");
  const QPointF centre = QRectF(halt->rect()).center();
  const QPointF global = halt->mapToGlobal(centre);
  double worstMs = 0;
  for (auto _ : state) {
    std::atomic<std::int64_t> clickedAt{0};
    QElapsedTimer clock;
    clock.start();
    std::thread user([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(60));
      clickedAt = clock.nsecsElapsed();
      QCoreApplication::postEvent(halt, new QMouseEvent(QEvent::MouseButtonPress, centre, global,
                                                        Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
      QCoreApplication::postEvent(halt, new QMouseEvent(QEvent::MouseButtonRelease, centre, global,
                                                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
    });
    window.renderer().press(index);
    const std::int64_t endedAt = clock.nsecsElapsed();
    user.join();
    if (clickedAt == 0 || endedAt < clickedAt) {
      state.SkipWithError("the render ended before the click");
      break;
    }
    const double ms = static_cast<double>(endedAt - clickedAt) / 1e6;
    worstMs = std::max(worstMs, ms);
    state.SetIterationTime(ms / 1000);
  }
  state.counters["worst_ms"] = worstMs;
}

template <class P>
void registerPattern(int index, ColumnPool* pool) {
  const auto name = [&](const char* kind) {
    return std::string(kind) + "/" + std::to_string(index) + "_" + patternAt(index)->caption;
  };
  benchmark::RegisterBenchmark(name("Pure").c_str(), Pure<P>)
      ->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
  benchmark::RegisterBenchmark(name("Frame1").c_str(), Frame, index, nullptr)
      ->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
  benchmark::RegisterBenchmark(name("FrameN").c_str(), Frame, index, pool)
      ->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
  benchmark::RegisterBenchmark(name("Window").c_str(), Window, index)
      ->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
  benchmark::RegisterBenchmark(name("HaltLatency").c_str(), HaltLatency, index)
      ->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();
  const std::pair<const char*, Sampling> samplings[] = {
      {"Plain", {1, 1}}, {"Dense", {2, 1}}, {"Smooth", {1, 4}}};
  for (const auto& [kind, sampling] : samplings)
    for (ColumnPool* workers : {static_cast<ColumnPool*>(nullptr), pool})
      benchmark::RegisterBenchmark(name((std::string(kind) + (workers ? "N" : "1")).c_str()).c_str(),
                                   Sampled, index, sampling, workers)
          ->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
}

template <std::size_t... I>
void registerAll(std::index_sequence<I...>, ColumnPool* pool) {
  (registerPattern<std::tuple_element_t<I, Patterns>>(static_cast<int>(I), pool), ...);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  app::registerFontSubstitutes();
  ColumnPool pool(std::max(2u, std::thread::hardware_concurrency()));
  registerAll(std::make_index_sequence<std::tuple_size_v<Patterns>>{}, &pool);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
