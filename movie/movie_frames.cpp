// SPDX-License-Identifier: GPL-3.0-or-later
#include "movie_frames.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>

#include <algorithm>
#include <cstring>

#include "path_file.h"
#include "picture.h"
#include "picture_render.h"
#include "png_chunks.h"

namespace plorvex::movie {
namespace {

bool isPng(const QString& file) {
  QFile in(file);
  if (!in.open(QIODevice::ReadOnly)) return false;
  const QByteArray start = in.read(8);
  return start.size() == 8 && std::memcmp(start.constData(), picture::detail::kPngSignature.data(), 8) == 0;
}

// Whether the file already holds the whole picture these parameters make.
bool alreadyRendered(const QString& file, const picture::PictureParameters& wanted) {
  if (!QFileInfo(file).isFile()) return false;
  const picture::ReadResult found = picture::readParameters(file);
  if (!found.parameters) return false;
  picture::PictureParameters kept = *found.parameters;
  kept.version = wanted.version;  // any version paints the same view alike
  return kept == wanted;
}

// A fault no other frame can avoid ends the run.
bool faultEndsTheRun(const RenderOutcome& outcome) {
  return outcome.fault == Fault::PictureTooLarge || outcome.fault == Fault::CounterStalled;
}

}  // namespace

bool appendKeyframes(const std::string& key, std::vector<Keyframe>& keyframes, std::string& error) {
  const QString file = QString::fromStdString(key);
  if (isPng(file)) {
    const picture::ReadResult saved = picture::readParameters(file);
    if (!saved.parameters) return error = saved.error, false;
    keyframes.push_back({saved.parameters->pattern, saved.parameters->fields, key});
    return true;
  }
  const picture::PathReadResult path = picture::readPathFile(file);
  if (!path.path) return error = path.error, false;
  for (std::size_t k = 0; k < path.path->views.size(); ++k) {
    const picture::PathView& view = path.path->views[k];
    keyframes.push_back({view.pattern, view.fields, key + ", view " + std::to_string(k)});
  }
  return true;
}

FrameNames FrameNames::forMovie(const QString& folder, std::size_t frames) {
  return {folder, std::max(5, static_cast<int>(std::to_string(frames - 1).size()))};
}

QString FrameNames::at(std::size_t k) const {
  return folder + QStringLiteral("/frame-%1.png").arg(static_cast<qulonglong>(k), digits, 10, QChar('0'));
}

std::string FrameNames::ffmpegPattern() const {
  std::string escaped;
  for (const char c : folder.toStdString()) escaped += c == '%' ? std::string("%%") : std::string(1, c);
  return escaped + "/frame-%0" + std::to_string(digits) + "d.png";
}

picture::PictureParameters frameParameters(const MoviePath& path, const FieldTexts& texts, Sampling sampling) {
  return {PLORVEX_VERSION, path.pattern().caption, texts, sampling.density, sampling.smooth, true};
}

std::size_t firstAbsentFrame(const MoviePath& path, std::size_t frames, const FrameNames& names, Sampling sampling) {
  for (std::size_t k = 0; k < frames; ++k)
    if (!alreadyRendered(names.at(k), frameParameters(path, path.frameTexts(k, frames), sampling))) return k;
  return frames;
}

std::string FrameWriter::start(QImage image, QString file, picture::PictureParameters parameters) {
  std::string previous = finish();
  pending_ = std::async(std::launch::async, [image = std::move(image), file = std::move(file),
                                             parameters = std::move(parameters)] {
    std::string error;
    picture::writePicture(image, file, picture::ImageFormat::Png, parameters, error);
    return error;
  });
  return previous;
}

std::string FrameRun::render(std::size_t first, std::size_t last, FrameTally& tally) {
  std::vector<std::size_t> missing;
  for (std::size_t k = first; k <= last; ++k)
    if (alreadyRendered(names_.at(k), frameParameters(path_, path_.frameTexts(k, frames_), sampling_)))
      ++tally.kept;
    else
      missing.push_back(k);
  for (std::size_t index = 0; index < missing.size(); ++index)
    if (std::string stop = renderFrame(missing[index], index, missing.size(), tally); !stop.empty()) {
      writer_.finish();  // the frame before it is whole, and stays
      return stop;
    }
  return writer_.finish();
}

std::string FrameRun::renderFrame(std::size_t k, std::size_t index, std::size_t count, FrameTally& tally) {
  if (cancelled_) return kFramesCancelled;
  const FieldTexts texts = path_.frameTexts(k, frames_);
  picture::PictureHost host(texts, sampling_, pool_);
  host.onColumn = [&](std::size_t done, std::size_t total) {
    if (cancelled_) host.cancel();
    if (onColumn) onColumn(index, count, done, total);
  };
  const RenderOutcome outcome = path_.pattern().render(host);
  if (cancelled_) return kFramesCancelled;
  const bool faulted = outcome.end == RenderEnd::Faulted;
  if (faulted) {
    const std::string what = "frame " + std::to_string(k) + ": " + path_.pattern().caption + ": " +
                             picture::faultDescription(outcome);
    if (faultEndsTheRun(outcome)) return what;
    if (onFault) onFault(what);
    ++tally.faulted;
    if (!outcome.faultInSweep || host.image().isNull()) return {};
  }
  picture::PictureParameters parameters = frameParameters(path_, texts, sampling_);
  parameters.complete = !faulted;
  if (std::string error = writer_.start(host.image(), names_.at(k), parameters); !error.empty()) return error;
  ++tally.rendered;
  return {};
}

}  // namespace plorvex::movie
