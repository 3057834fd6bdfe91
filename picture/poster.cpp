// SPDX-License-Identifier: GPL-3.0-or-later
#include "poster.h"

#include <QFile>
#include <QImage>
#include <QIODevice>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "band_file.h"
#include "file_write.h"
#include "picture.h"
#include "picture_render.h"

namespace plorvex::picture {
namespace {

// The texts and sampling of a poster, for a pattern's intake and plan.
class RequestHost final : public RenderHost {
 public:
  RequestHost(const FieldTexts& fields, Sampling sampling) : fields_(fields), sampling_(sampling) {}
  std::string fieldText(Field field) override { return fields_[field]; }
  PictureLimits pictureLimits() const override {
    return {kMaxPictureSide, kMaxPictureSide, kMaxPosterSide * kMaxPosterSide};
  }
  Sampling sampling() const override { return sampling_; }
  bool beginPicture(std::size_t, std::size_t) override { return true; }
  void plot(int, int, Colour) override {}
  void columnPainted(int, int, int) override {}
  void yield() override {}
  std::string haltFlag() const override { return {}; }
  bool abandoned() const override { return false; }

 private:
  const FieldTexts& fields_;
  const Sampling sampling_;
};

class ImageBands final : public BandSource {
 public:
  explicit ImageBands(const QImage& image) : image_(image.convertToFormat(QImage::Format_RGB32)) {
    layout_ = {static_cast<std::size_t>(image_.width()), static_cast<std::size_t>(image_.height()), kBandRows};
  }
  Fault renderRows(std::size_t band, std::size_t first, std::size_t rows, double*, unsigned char* rgb,
                   BandControl& control) const override {
    for (std::size_t r = 0; r < rows; ++r) {
      const auto* line =
          reinterpret_cast<const QRgb*>(image_.constScanLine(static_cast<int>(layout_.firstRow(band) + first + r)));
      for (std::size_t x = 0; x < layout_.width; ++x) {
        *rgb++ = static_cast<unsigned char>(qRed(line[x]));
        *rgb++ = static_cast<unsigned char>(qGreen(line[x]));
        *rgb++ = static_cast<unsigned char>(qBlue(line[x]));
      }
    }
    control.pixels += rows * layout_.width;
    return Fault::None;
  }

 private:
  const QImage image_;
};

// Bands in flight: rendered or being rendered, not yet handed over.
std::size_t bandsInFlight(unsigned threads) { return threads + 2; }

bool writeBytes(QIODevice& out, const char* data, std::size_t length) {
  return out.write(data, static_cast<qint64>(length)) == static_cast<qint64>(length);
}

PngBodyWriter::Sink sinkTo(QIODevice& out) {
  return [&out](const char* data, std::size_t length) { return writeBytes(out, data, length); };
}

// The whole PNG (head and every band) to an open device.
bool writePng(const std::string& head, QIODevice& out, const BandRun& run, Fault& fault, std::string& reason) {
  if (!writeBytes(out, head.data(), head.size())) return reason = deviceError(out, "the output refused the data"), false;
  PngBodyWriter body(sinkTo(out), run.source.layout().bands());
  const BandsEnd end = runBands(run, [&](const BandPiece& piece) { return body.put(piece); });
  fault = end.fault;
  if (fault != Fault::None) return reason = "an arithmetic error stopped a band", false;
  if (!end.problem.empty()) return reason = end.problem, false;
  if (end.stopped) return reason = body.failed() ? deviceError(out, "the output refused the data") : kWriteCancelled, false;
  return body.finish() || (reason = deviceError(out, "the output refused the data"), false);
}

// Output rows of a band rendered at once: as many as chunkBytes holds, one at least.
std::size_t rowsPerChunk(const BandLayout& layout, const BandBounds& bounds) {
  return std::clamp<std::size_t>(bounds.chunkBytes / (layout.width * 3), 1, layout.bandRows);
}

// The most memory the workers' bands take at once, whatever the width.
constexpr std::size_t kBandsMemory = std::size_t{224} << 20;

// Workers rendering bands at once: as many as asked, but only as many as
// kBandsMemory holds (one at least), each with its chunk, the filter's three
// rows and the deflater's output (at most two rows), a carried-value
// pattern's values, its piece held and one waiting for its turn.
unsigned bandWorkers(const BandRun& run) {
  const BandLayout& layout = run.source.layout();
  const std::size_t row = layout.width * 3;
  const std::size_t each = std::min(layout.bandRows, rowsPerChunk(layout, run.bounds)) * row + 5 * row +
                           (run.source.needsChain() ? layout.width * sizeof(double) : 0) + 2 * run.bounds.heldBytes;
  return static_cast<unsigned>(std::clamp<std::size_t>(kBandsMemory / each, 1, std::max(1u, run.threads)));
}

// A worker's memory for a band, kept from band to band.
struct BandBuffers {
  std::vector<unsigned char> rgb;
  std::vector<double> carried;
};

// Renders a band a chunk of rows at a time and encodes the rows as they come.
Fault renderBand(const BandRun& run, std::size_t band, BandControl& control, BandBuffers& buffers, BandPiece& piece,
                 std::string& problem) {
  const BandSource& source = run.source;
  const BandLayout& layout = source.layout();
  const std::size_t rows = layout.rowsOf(band), chunk = std::min(rows, rowsPerChunk(layout, run.bounds));
  buffers.rgb.resize(chunk * layout.width * 3);
  if (source.needsChain()) {
    buffers.carried.resize(layout.width);
    if (!source.topEdge(band, buffers.carried.data()))
      return problem = "the band edges could not be read back from their temporary file", Fault::None;
  }
  BandEncoder encoder(band, layout.width, rows, band + 1 == layout.bands(), run.bounds.heldBytes, run.scratchFolder);
  for (std::size_t first = 0; first < rows && !control.stop; first += chunk) {
    const std::size_t count = std::min(chunk, rows - first);
    const Fault fault = source.renderRows(band, first, count, buffers.carried.data(), buffers.rgb.data(), control);
    if (fault != Fault::None) return fault;
    if (control.stop) break;
    if (!encoder.addRows(buffers.rgb.data(), count)) return problem = encoder.error(), Fault::None;
  }
  piece = encoder.finish();
  return Fault::None;
}

}  // namespace

BandsEnd runBands(const BandRun& run, const std::function<bool(const BandPiece&)>& take) {
  const BandSource& source = run.source;
  const BandLayout& layout = source.layout();
  std::mutex mutex;
  std::condition_variable changed;
  std::map<std::size_t, BandPiece> ready;
  std::map<std::size_t, BandsEnd> failed;
  std::size_t nextToRender = run.first, nextToTake = run.first;
  bool ending = false;
  // Its stop is set when the run ends early: bands being rendered are given up.
  BandControl control;
  const unsigned workerCount = bandWorkers(run);
  const std::size_t window = bandsInFlight(workerCount);
  const auto work = [&] {
    BandBuffers buffers;
    std::unique_lock lock(mutex);
    for (;;) {
      changed.wait(lock, [&] { return ending || nextToRender > run.last || nextToRender < nextToTake + window; });
      if (ending || nextToRender > run.last) return;
      const std::size_t band = nextToRender++;
      lock.unlock();
      BandPiece piece;
      BandsEnd failure;
      failure.fault = renderBand(run, band, control, buffers, piece, failure.problem);
      lock.lock();
      if (control.stop) return;
      if (failure.fault != Fault::None || !failure.problem.empty())
        failed[band] = std::move(failure);
      else
        ready[band] = std::move(piece);
      changed.notify_all();
    }
  };
  std::vector<std::thread> workers;
  for (unsigned n = 0; n < workerCount; ++n) workers.emplace_back(work);
  BandsEnd end;
  const auto cancelled = [&] { return run.keepGoing && !run.keepGoing(); };
  // Pixels rendered, told as the columns of whole bands they amount to.
  double pixelsToRender = 0;
  for (std::size_t band = run.first; band <= run.last; ++band) pixelsToRender += double(layout.rowsOf(band));
  const double columnsPerPixel = double(run.last - run.first + 1) / pixelsToRender;
  const auto tell = [&] {
    if (run.onColumns) run.onColumns(static_cast<std::size_t>(double(control.pixels) * columnsPerPixel));
  };
  for (std::size_t band = run.first; band <= run.last && !end.stopped; ++band) {
    std::unique_lock lock(mutex);
    // A cancel is noticed, and progress told, while a band is awaited, however long it takes.
    while (!ready.count(band) && !failed.count(band) && !(end.stopped = cancelled())) {
      if (!run.keepGoing && !run.onColumns) {
        changed.wait(lock);
        continue;
      }
      changed.wait_for(lock, std::chrono::milliseconds(50));
      lock.unlock();
      tell();
      lock.lock();
    }
    if (end.stopped) break;
    if (failed.count(band)) {
      end = std::move(failed[band]);
      break;
    }
    BandPiece piece = std::move(ready[band]);
    ready.erase(band);
    lock.unlock();
    if (!take(piece) || cancelled()) {
      end.stopped = true;
      break;
    }
    lock.lock();
    nextToTake = band + 1;
    changed.notify_all();
    lock.unlock();
    tell();
  }
  {
    std::lock_guard lock(mutex);
    ending = true;
    control.stop = end.stopped || end.fault != Fault::None || !end.problem.empty();
  }
  changed.notify_all();
  for (std::thread& worker : workers) worker.join();
  return end;
}

std::unique_ptr<BandSource> imageBands(const QImage& image) { return std::make_unique<ImageBands>(image); }

bool writePngImage(const QImage& image, QIODevice& out, const PictureParameters& parameters, std::string& error,
                   const std::function<bool()>& keepGoing) {
  const ImageBands source(image);
  const std::string head = pngHead(source.layout().width, source.layout().height, parameters, error);
  if (head.empty()) return false;
  const BandRun run{source, 0, source.layout().bands() - 1, std::max(1u, std::thread::hardware_concurrency()), {},
                    keepGoing, {}, {}};
  Fault fault = Fault::None;
  return writePng(head, out, run, fault, error);
}

namespace {
QByteArray hiddenBeside(const QByteArray& target, const char* suffix) {
  const qsizetype slash = target.lastIndexOf('/');
  return target.left(slash + 1) + "." + target.mid(slash + 1) + suffix;
}
}  // namespace

QByteArray resumeFileOf(const QByteArray& target) { return hiddenBeside(target, ".bands"); }

QByteArray edgesFileOf(const QByteArray& target) { return hiddenBeside(target, ".edges"); }

namespace {

struct Prepared {
  PosterResult result;
  std::unique_ptr<BandSource> source;
  std::string head;
  std::size_t first = 0, last = 0;
};

PosterResult ended(PosterEnd end, std::string error) {
  PosterResult result;
  result.end = end;
  result.error = std::move(error);
  return result;
}

}  // namespace

std::unique_ptr<BandSource> posterBands(const PosterRequest& request, Fault& fault) {
  RequestHost host(request.fields, request.sampling);
  return request.pattern->bands(host, kBandRows, fault);
}

namespace {

Prepared prepare(const PosterRequest& request) {
  Prepared prepared;
  Fault fault = Fault::None;
  prepared.source = posterBands(request, fault);
  if (fault == Fault::PictureTooLarge || fault == Fault::CounterStalled)
    return prepared.result = ended(PosterEnd::Refused, faultMessage(fault)), std::move(prepared);
  if (fault != Fault::None) return prepared.result = ended(PosterEnd::NotStreamed, faultMessage(fault)), std::move(prepared);
  const BandLayout& layout = prepared.source->layout();
  PosterResult& result = prepared.result;
  result.width = layout.width;
  result.height = layout.height;
  result.bands = layout.bands();
  if (layout.width == 0 || layout.height == 0) return prepared.result = ended(PosterEnd::NotStreamed, {}), std::move(prepared);
  if (layout.width > kMaxPosterSide || layout.height > kMaxPosterSide)
    return prepared.result = ended(PosterEnd::Refused, "the picture would be " + std::to_string(layout.width) + " x " +
                                                           std::to_string(layout.height) + " pixels; a poster has at most " +
                                                           std::to_string(kMaxPosterSide) + " a side (what libpng reads)"),
           std::move(prepared);
  if (!plainlyPlaced(prepared.source->plan())) return prepared.result = ended(PosterEnd::NotStreamed, {}), std::move(prepared);
  const PictureParameters parameters{request.version, request.pattern->caption, request.fields,
                                     request.sampling.density, request.sampling.smooth, true};
  std::string error;
  prepared.head = pngHead(layout.width, layout.height, parameters, error);
  if (prepared.head.empty()) return prepared.result = ended(PosterEnd::Refused, error), std::move(prepared);
  prepared.first = request.bands ? request.bands->first : 0;
  prepared.last = request.bands ? request.bands->second : layout.bands() - 1;
  if (prepared.first > prepared.last || prepared.last >= layout.bands())
    return prepared.result = ended(PosterEnd::Refused, "--bands " + std::to_string(prepared.first) + "-" +
                                                           std::to_string(prepared.last) + ": the picture has " +
                                                           std::to_string(layout.bands()) + " bands, 0 to " +
                                                           std::to_string(layout.bands() - 1)),
           std::move(prepared);
  return prepared;
}

// The bands a hidden part beside the target already holds whole for this
// picture (0 when it is of another picture, damaged from the start, or absent);
// the file is cut back to them, or made afresh.
bool openResumeFile(QFile& file, const QByteArray& name, const QByteArray& target, const PartHeader& header,
                    std::size_t& kept, std::string& error) {
  kept = 0;
  std::string reason;
  if (const std::optional<PartContents> part = readPart(name, true, reason);
      part && part->header == header && !part->records.empty()) {
    kept = part->records.size();
    if (openFileNamed(file, name, QIODevice::ReadWrite, reason) && file.resize(static_cast<qint64>(part->wholeBytes)) &&
        file.seek(static_cast<qint64>(part->wholeBytes)))
      return true;
    file.close();
    kept = 0;
  }
  reason.clear();
  if (!openFileNamed(file, name, QIODevice::WriteOnly | QIODevice::Truncate, reason) ||
      !writePartHeader(file, header) || !file.flush())
    return error = "cannot write '" + target.toStdString() + "': " +
                   (reason.empty() ? deviceError(file, "its part file cannot be made") : reason),
           false;
  return true;
}

}  // namespace

PosterResult posterLayout(const PosterRequest& request) {
  Prepared prepared = prepare(request);
  return prepared.result;
}

namespace {

// The folder a regular file's scratch files go in: the target's own, whose
// disk must hold the poster anyway; none (the system's) for a device.
std::string scratchFolderOf(const QByteArray& out) {
  if (writesInPlaceNamed(out)) return {};
  const qsizetype slash = out.lastIndexOf('/');
  return slash < 0 ? std::string(".") : slash == 0 ? std::string("/") : out.left(slash).toStdString();
}

// The bands of a part, or of a poster written in place, straight to `out`.
bool writeDirectly(const PosterRequest& request, const Prepared& prepared, const BandRun& run, const QByteArray& out,
                   Fault& fault, std::string& error) {
  const PartHeader header{prepared.head, run.source.layout().bands(), prepared.first, prepared.last};
  return writeFileNamed(
      out,
      [&](QIODevice& device, std::string& reason) {
        if (!request.bands) return writePng(prepared.head, device, run, fault, reason);
        if (!writePartHeader(device, header)) return reason = deviceError(device, "the output refused the data"), false;
        const BandsEnd end = runBands(run, [&](const BandPiece& piece) { return writeBandRecord(device, piece); });
        fault = end.fault;
        if (fault != Fault::None) return reason = "an arithmetic error stopped a band", false;
        if (!end.problem.empty()) return reason = end.problem, false;
        const bool cancelled = request.keepGoing && !request.keepGoing();
        if (end.stopped) reason = cancelled ? kWriteCancelled : deviceError(device, "the output refused the data");
        return !end.stopped;
      },
      error, request.keepGoing);
}

}  // namespace

PosterResult makePoster(const PosterRequest& request, const QByteArray& out) {
  Prepared prepared = prepare(request);
  PosterResult& result = prepared.result;
  if (result.end != PosterEnd::Written) return result;
  const auto cancelled = [&] { return request.keepGoing && !request.keepGoing(); };
  // Unlike a kill, a cancel keeps no hidden part to resume from.
  const bool keepsPart = !request.bands && !writesInPlace(out);
  const QByteArray edgesName = edgesFileOf(out);
  const auto dropHidden = [&] {
    if (keepsPart) ::unlink(resumeFileOf(out).constData()), ::unlink(edgesName.constData());
  };
  const auto cancel = [&] {
    dropHidden();
    return ended(PosterEnd::Failed, kWriteCancelled);
  };
  BandSource& source = *prepared.source;
  const std::string scratch = scratchFolderOf(out);
  // A killed run's band edges, kept beside the target, spare the first pass.
  result.edgesKept = keepsPart && source.needsChain() && source.adoptChain(edgesName.toStdString(), prepared.head);
  const bool twoPasses = source.needsChain() && !result.edgesKept;
  if (twoPasses) {
    const std::size_t columns = source.layout().width;
    const auto onColumn = [&](std::size_t done) {
      if (request.onProgress) request.onProgress(done, 2 * columns);
    };
    if (const Fault fault = source.runChain(request.threads, scratch, onColumn, request.keepGoing); fault != Fault::None)
      return ended(PosterEnd::NotStreamed, faultMessage(fault));
    if (!source.chainProblem().empty())
      return ended(PosterEnd::Failed, "cannot write '" + out.toStdString() + "': " + source.chainProblem());
    if (!source.chainReady()) return cancel();
    if (keepsPart) source.keepChain(edgesName.toStdString(), prepared.head);
  }
  const std::size_t total = prepared.last - prepared.first + 1;
  BandRun run{source, prepared.first, prepared.last, request.threads, {}, request.keepGoing, request.bounds, scratch};
  // In columns of the bands to render; after the first pass, as much work again.
  run.onColumns = [&](std::size_t columns) {
    const std::size_t all = (run.last - run.first + 1) * source.layout().width;
    if (!request.onProgress) return;
    if (twoPasses)
      request.onProgress(all + columns, 2 * all);
    else
      request.onProgress(columns, all);
  };
  Fault fault = Fault::None;
  std::string error;
  bool written = false;
  if (request.bands || writesInPlaceNamed(out)) {
    written = writeDirectly(request, prepared, run, out, fault, error);
  } else {
    const QByteArray resumeName = resumeFileOf(out);
    const PartHeader header{prepared.head, source.layout().bands(), prepared.first, prepared.last};
    QFile resume;
    if (!openResumeFile(resume, resumeName, out, header, result.kept, error)) return ended(PosterEnd::Failed, error);
    if (result.kept < total) {
      run.first = result.kept;
      const BandsEnd end =
          runBands(run, [&](const BandPiece& piece) { return writeBandRecord(resume, piece) && resume.flush(); });
      fault = end.fault;
      if (end.stopped && cancelled()) {
        resume.close();
        return cancel();
      }
      if (!end.problem.empty()) return ended(PosterEnd::Failed, "cannot write '" + out.toStdString() + "': " + end.problem);
      if (end.stopped)
        return ended(PosterEnd::Failed, "cannot write '" + resumeName.toStdString() + "': " +
                                            deviceError(resume, "the output refused the data"));
    }
    resume.close();
    if (fault == Fault::None) {
      written = joinParts({resumeName}, out, error, request.keepGoing);
      if (!written && error == kWriteCancelled) return cancel();
      if (written) dropHidden();
    } else {
      dropHidden();
    }
  }
  if (fault != Fault::None) return ended(PosterEnd::NotStreamed, faultMessage(fault));
  if (!written) return ended(PosterEnd::Failed, error);
  return result;
}

}  // namespace plorvex::picture
