// SPDX-License-Identifier: GPL-3.0-or-later
// The bands of a poster rendered alone, on the poster's threads and in its
// order, with nothing encoded or written: what a poster would take if its
// encoding were wholly hidden behind the render. bench/gigapixel.sh times a
// poster against it.
//   usage: poster_render_bench PATTERN SIZE ZOOM DENSITY THREADS
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "catalogue.h"
#include "poster.h"

using namespace plorvex;

namespace {

// Every band of the source once, a band to a thread at a time, each band's
// rows in one go (the poster renders them a chunk at a time; the pixels are
// the same); false on a fault.
bool renderEveryBand(const BandSource& source, unsigned threads) {
  const BandLayout& layout = source.layout();
  std::atomic<std::size_t> next{0};
  std::atomic<bool> faulted{false};
  const auto work = [&] {
    std::vector<unsigned char> rgb(layout.bandRows * layout.width * 3);
    std::vector<double> carried(layout.width);
    BandControl control;
    for (std::size_t band = next++; band < layout.bands() && !faulted; band = next++) {
      if (!source.topEdge(band, carried.data()) ||
          source.renderRows(band, 0, layout.rowsOf(band), carried.data(), rgb.data(), control) != Fault::None)
        faulted = true;
    }
  };
  std::vector<std::thread> workers;
  for (unsigned n = 0; n < threads; ++n) workers.emplace_back(work);
  for (std::thread& worker : workers) worker.join();
  return !faulted;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: %s PATTERN SIZE ZOOM DENSITY THREADS\n", argv[0]);
    return 2;
  }
  picture::PosterRequest request;
  request.pattern = findPattern(argv[1]);
  request.fields.size = argv[2];
  request.fields.zoom = argv[3];
  request.sampling.density = std::atoi(argv[4]);
  const unsigned threads = static_cast<unsigned>(std::atoi(argv[5]));
  Fault fault = Fault::None;
  const auto source = request.pattern ? picture::posterBands(request, fault) : nullptr;
  if (!source || threads == 0) {
    std::fprintf(stderr, "the view cannot be a poster\n");
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  if (source->needsChain() && source->runChain(threads, "/tmp", {}, {}) != Fault::None) return 3;
  if (!renderEveryBand(*source, threads)) return 3;
  const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
  std::printf("%zu x %zu, %zu bands: rendered in %.2f s\n", source->layout().width, source->layout().height,
              source->layout().bands(), seconds.count());
  return 0;
}
