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
  Fault renderBand(std::size_t band, unsigned char* rgb, BandControl& control) const override {
    for (std::size_t r = 0; r < layout_.rowsOf(band); ++r) {
      const auto* line = reinterpret_cast<const QRgb*>(image_.constScanLine(static_cast<int>(layout_.firstRow(band) + r)));
      for (std::size_t x = 0; x < layout_.width; ++x) {
        *rgb++ = static_cast<unsigned char>(qRed(line[x]));
        *rgb++ = static_cast<unsigned char>(qGreen(line[x]));
        *rgb++ = static_cast<unsigned char>(qBlue(line[x]));
      }
    }
    control.columns += layout_.width;
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
bool writePng(const BandSource& source, const std::string& head, QIODevice& out, const BandRun& run, Fault& fault,
              std::string& reason) {
  if (!writeBytes(out, head.data(), head.size())) return reason = deviceError(out, "the output refused the data"), false;
  PngBodyWriter body(sinkTo(out), source.layout().bands());
  bool stopped = false;
  fault = runBands(run, [&](const BandPiece& piece) { return body.put(piece); }, stopped);
  if (fault != Fault::None) return reason = "an arithmetic error stopped a band", false;
  if (stopped) return reason = body.failed() ? deviceError(out, "the output refused the data") : kWriteCancelled, false;
  return body.finish() || (reason = deviceError(out, "the output refused the data"), false);
}

}  // namespace

Fault runBands(const BandRun& run, const std::function<bool(const BandPiece&)>& take, bool& stopped) {
  const BandSource& source = run.source;
  const BandLayout& layout = source.layout();
  std::mutex mutex;
  std::condition_variable changed;
  std::map<std::size_t, BandPiece> ready;
  std::map<std::size_t, Fault> faults;
  std::size_t nextToRender = run.first, nextToTake = run.first;
  bool ending = false;
  // Its stop is set when the run ends early: bands being rendered are given up.
  BandControl control;
  const std::size_t window = bandsInFlight(run.threads);
  const auto work = [&] {
    std::vector<unsigned char> rgb;
    std::unique_lock lock(mutex);
    for (;;) {
      changed.wait(lock, [&] { return ending || nextToRender > run.last || nextToRender < nextToTake + window; });
      if (ending || nextToRender > run.last) return;
      const std::size_t band = nextToRender++;
      lock.unlock();
      rgb.resize(layout.width * layout.rowsOf(band) * 3);
      const Fault fault = source.renderBand(band, rgb.data(), control);
      BandPiece piece;
      if (fault == Fault::None && !control.stop)
        piece = encodeBand(band, rgb.data(), layout.width, layout.rowsOf(band), band + 1 == layout.bands());
      lock.lock();
      if (control.stop) return;
      if (fault != Fault::None)
        faults[band] = fault;
      else
        ready[band] = std::move(piece);
      changed.notify_all();
    }
  };
  std::vector<std::thread> workers;
  for (unsigned n = 0; n < std::max(1u, run.threads); ++n) workers.emplace_back(work);
  Fault fault = Fault::None;
  stopped = false;
  const auto cancelled = [&] { return run.keepGoing && !run.keepGoing(); };
  const auto tell = [&] {
    if (run.onColumns) run.onColumns(control.columns);
  };
  for (std::size_t band = run.first; band <= run.last && !stopped; ++band) {
    std::unique_lock lock(mutex);
    // A cancel is noticed, and progress told, while a band is awaited, however long it takes.
    while (!ready.count(band) && !faults.count(band) && !(stopped = cancelled())) {
      if (!run.keepGoing && !run.onColumns) {
        changed.wait(lock);
        continue;
      }
      changed.wait_for(lock, std::chrono::milliseconds(50));
      lock.unlock();
      tell();
      lock.lock();
    }
    if (stopped) break;
    if (faults.count(band)) {
      fault = faults[band];
      break;
    }
    BandPiece piece = std::move(ready[band]);
    ready.erase(band);
    lock.unlock();
    if (!take(piece) || cancelled()) {
      stopped = true;
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
    control.stop = stopped || fault != Fault::None;
  }
  changed.notify_all();
  for (std::thread& worker : workers) worker.join();
  return fault;
}

std::unique_ptr<BandSource> imageBands(const QImage& image) { return std::make_unique<ImageBands>(image); }

bool writePngImage(const QImage& image, QIODevice& out, const PictureParameters& parameters, std::string& error,
                   const std::function<bool()>& keepGoing) {
  const ImageBands source(image);
  const std::string head = pngHead(source.layout().width, source.layout().height, parameters, error);
  if (head.empty()) return false;
  const BandRun run{source, 0, source.layout().bands() - 1, std::max(1u, std::thread::hardware_concurrency()), {},
                    keepGoing};
  Fault fault = Fault::None;
  return writePng(source, head, out, run, fault, error);
}

QByteArray resumeFileOf(const QByteArray& target) {
  const qsizetype slash = target.lastIndexOf('/');
  return target.left(slash + 1) + "." + target.mid(slash + 1) + ".bands";
}

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

Prepared prepare(const PosterRequest& request) {
  Prepared prepared;
  RequestHost host(request.fields, request.sampling);
  Fault fault = Fault::None;
  prepared.source = request.pattern->bands(host, kBandRows, fault);
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

PosterResult makePoster(const PosterRequest& request, const QByteArray& out) {
  Prepared prepared = prepare(request);
  PosterResult& result = prepared.result;
  if (result.end != PosterEnd::Written) return result;
  const auto cancelled = [&] { return request.keepGoing && !request.keepGoing(); };
  // Unlike a kill, a cancel keeps no hidden part to resume from.
  const bool keepsPart = !request.bands && !writesInPlace(out);
  const auto cancel = [&] {
    if (keepsPart) ::unlink(resumeFileOf(out).constData());
    return ended(PosterEnd::Failed, kWriteCancelled);
  };
  BandSource& source = *prepared.source;
  if (source.needsChain()) {
    const std::size_t columns = source.layout().width;
    const auto onColumn = [&](std::size_t done) {
      if (request.onProgress) request.onProgress(done, 2 * columns);
    };
    if (const Fault fault = source.runChain(request.threads, onColumn, request.keepGoing); fault != Fault::None)
      return ended(PosterEnd::NotStreamed, faultMessage(fault));
    if (!source.chainReady()) return cancel();
  }
  const std::size_t total = prepared.last - prepared.first + 1;
  BandRun run{source, prepared.first, prepared.last, request.threads, {}, request.keepGoing};
  // In columns of the bands to render; after the first pass, as much work again.
  run.onColumns = [&](std::size_t columns) {
    const std::size_t all = (run.last - run.first + 1) * source.layout().width;
    if (!request.onProgress) return;
    if (source.needsChain())
      request.onProgress(all + columns, 2 * all);
    else
      request.onProgress(columns, all);
  };
  const PartHeader header{prepared.head, source.layout().bands(), prepared.first, prepared.last};
  Fault fault = Fault::None;
  std::string error;
  bool written = false;
  if (request.bands || writesInPlaceNamed(out)) {
    written = writeFileNamed(
        out,
        [&](QIODevice& device, std::string& reason) {
          if (!request.bands) return writePng(source, prepared.head, device, run, fault, reason);
          if (!writePartHeader(device, header)) return reason = deviceError(device, "the output refused the data"), false;
          bool stopped = false;
          fault = runBands(run, [&](const BandPiece& piece) { return writeBandRecord(device, piece); }, stopped);
          if (fault != Fault::None) return reason = "an arithmetic error stopped a band", false;
          if (stopped) reason = cancelled() ? kWriteCancelled : deviceError(device, "the output refused the data");
          return !stopped;
        },
        error, request.keepGoing);
  } else {
    const QByteArray resumeName = resumeFileOf(out);
    QFile resume;
    if (!openResumeFile(resume, resumeName, out, header, result.kept, error)) return ended(PosterEnd::Failed, error);
    if (result.kept < total) {
      run.first = result.kept;
      bool stopped = false;
      fault = runBands(run, [&](const BandPiece& piece) { return writeBandRecord(resume, piece) && resume.flush(); },
                       stopped);
      if (stopped && cancelled()) {
        resume.close();
        return cancel();
      }
      if (stopped)
        return ended(PosterEnd::Failed, "cannot write '" + resumeName.toStdString() + "': " +
                                            deviceError(resume, "the output refused the data"));
    }
    resume.close();
    if (fault == Fault::None) {
      written = joinParts({resumeName}, out, error, request.keepGoing);
      if (!written && error == kWriteCancelled) return cancel();
      if (written) ::unlink(resumeName.constData());
    } else {
      ::unlink(resumeName.constData());
    }
  }
  if (fault != Fault::None) return ended(PosterEnd::NotStreamed, faultMessage(fault));
  if (!written) return ended(PosterEnd::Failed, error);
  return result;
}

}  // namespace plorvex::picture
