// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Posters: a view rendered in bands of 256 output rows and written as PNG as
// it goes, every band rendered and encoded on the worker threads while the
// bands before it are written, so that memory holds a few bands, never the
// picture. A whole poster is made through a hidden part file beside the
// target, kept when the run is killed: run again, it renders only the bands
// that file does not hold whole. A part (--bands) holds some bands for a join.

#include <QByteArray>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "band_render.h"
#include "catalogue.h"
#include "parameters.h"
#include "png_stream.h"

class QImage;
class QIODevice;

namespace plorvex::picture {

// The most output columns or rows of a poster: what libpng reads by default.
inline constexpr std::size_t kMaxPosterSide = kMaxPngSide;

// What a band costs in memory on a worker thread, whatever the width: its
// rows are rendered a chunk at a time (at most chunkBytes of pixels, at least
// one row) and encoded as they come, and its deflated piece is held in memory
// up to heldBytes, beyond that in a scratch file. The file's bytes do not
// depend on them.
struct BandBounds {
  std::size_t chunkBytes = std::size_t{16} << 20;
  std::size_t heldBytes = std::size_t{8} << 20;
};

// Bands rendered and encoded on `threads` threads (fewer where bands so wide
// would take more than 224 MiB at once), handed over in order.
struct BandRun {
  const BandSource& source;
  std::size_t first = 0, last = 0;  // inclusive
  unsigned threads = 1;
  // From the calling thread, after each band handed over and while one is
  // awaited: the output columns rendered so far, of all bands from `first`
  // on (a band's rows in part count as that part of its columns).
  std::function<void(std::size_t columns)> onColumns;
  std::function<bool()> keepGoing;
  BandBounds bounds;
  std::string scratchFolder;  // where pieces too large for memory go
};
// How a run of bands ended: the fault of a band that raised one (and nothing
// handed over from it on), or a scratch file that failed (problem says), or
// stopped: `take` said false or keepGoing did.
struct BandsEnd {
  Fault fault = Fault::None;
  std::string problem;
  bool stopped = false;
};
// Hands every band's piece to `take` in order.
BandsEnd runBands(const BandRun& run, const std::function<bool(const BandPiece&)>& take);

// The bands of an image (the picture as painted, e.g. after a fault).
std::unique_ptr<BandSource> imageBands(const QImage& image);

// Writes the image as PNG through the band writer, on every core.
bool writePngImage(const QImage& image, QIODevice& out, const PictureParameters& parameters, std::string& error,
                   const std::function<bool()>& keepGoing);

struct PosterRequest {
  const PatternEntry* pattern = nullptr;
  FieldTexts fields;
  Sampling sampling;
  unsigned threads = 1;
  std::string version;
  std::optional<std::pair<std::size_t, std::size_t>> bands;  // --bands A-B: a part file
  std::function<void(std::size_t done, std::size_t total)> onProgress;
  // Asked between columns of the first pass and between bands; false cancels:
  // Failed with kWriteCancelled, and nothing is left under or beside `out`.
  std::function<bool()> keepGoing;
  BandBounds bounds;
};

enum class PosterEnd {
  Written,     // the poster (or the part) is in its file
  Refused,     // the view cannot be a poster: too large, a stalled counter (error says)
  Faulted,     // an arithmetic error: the picture is written the way the window paints it, if at all
  NotStreamed, // a view only the column sweep paints as it should (a fault, counters off their pixels)
  Failed,      // the file could not be written (error says)
};

struct PosterResult {
  PosterEnd end = PosterEnd::Written;
  std::string error;
  std::size_t bands = 0;      // of the picture
  std::size_t kept = 0;       // bands found whole in the hidden part and not rendered again
  bool edgesKept = false;     // the band edges too: no first pass
  std::size_t width = 0, height = 0;
};

// The request's view as bands (nothing and the fault when the pattern
// refuses it); the renders of makePoster, without the file.
std::unique_ptr<BandSource> posterBands(const PosterRequest& request, Fault& fault);

// The picture's size and band count, or the reason it cannot be a poster.
PosterResult posterLayout(const PosterRequest& request);

// Renders the poster (or the part) into `out`: a regular file or a new name
// through the hidden part beside it and an atomic rename, anything else in
// place. The names are the system's bytes, kept as given even when they are
// not UTF-8. NotStreamed leaves nothing and asks the caller to paint the view
// whole instead.
PosterResult makePoster(const PosterRequest& request, const QByteArray& out);

// The hidden part file a poster at `target` keeps its finished bands in.
QByteArray resumeFileOf(const QByteArray& target);
// The hidden file a poster of a pattern that carries a value keeps its band
// edges in (the first pass's result) until the poster is written.
QByteArray edgesFileOf(const QByteArray& target);

}  // namespace plorvex::picture
