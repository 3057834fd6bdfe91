// SPDX-License-Identifier: GPL-3.0-or-later
#include "movie_frames.h"

#include <QFile>
#include <QImage>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <span>

#include "file_write.h"
#include "path_file.h"
#include "picture.h"
#include "picture_render.h"
#include "png_chunks.h"
#include "whole_picture.h"

namespace plorvex::movie {
namespace {

// A keyframe picture is read whole into memory; larger ones are refused.
constexpr qint64 kMaxKeyframeBytes = qint64{1} << 30;
constexpr int kKeyframeDecodeMegabytes = 4096;

// Reads the file of that name (the system's bytes) once, from its start to
// its end, so that a pipe or /dev/stdin is read as a file is. A named pipe
// without a writer is waited for, as cat waits. False with the reason.
bool readOnce(const std::string& name, qint64 limit, QByteArray& bytes, std::string& error) {
  const int descriptor = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) {
    error = picture::shownName(name) + ": cannot be opened (" + std::strerror(errno) + ")";
    return false;
  }
  bytes.clear();
  bool whole = true;
  char piece[65536];
  while (whole) {
    const ssize_t got = ::read(descriptor, piece, sizeof piece);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      error = picture::shownName(name) + ": cannot be read (" + std::strerror(errno) + ")";
      whole = false;
    } else if (got == 0) {
      break;
    } else if (bytes.append(piece, got).size() > limit) {
      error = picture::shownName(name) + ": larger than " + std::to_string(limit >> 20) + " MiB; refused";
      whole = false;
    }
  }
  ::close(descriptor);
  return whole;
}

std::span<const unsigned char> spanOf(const QByteArray& bytes) {
  return {reinterpret_cast<const unsigned char*>(bytes.constData()), static_cast<std::size_t>(bytes.size())};
}

bool isPicture(const QByteArray& bytes) {
  const auto& signature = picture::detail::kPngSignature;
  return (bytes.size() >= 8 && std::memcmp(bytes.constData(), signature.data(), 8) == 0) ||
         bytes.startsWith("\xFF\xD8");
}

// Whether the file already holds the whole picture these parameters make, of
// `size` pixels: its chunk names this view and all its image data decodes.
bool alreadyRendered(const std::string& file, const picture::PictureParameters& wanted, QSize size) {
  struct stat status {};
  if (::stat(file.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
  QByteArray bytes;
  std::string error;
  if (!readOnce(file, status.st_size, bytes, error)) return false;
  const picture::ReadResult found = picture::parametersFromPng(spanOf(bytes));
  if (!found.parameters) return false;
  picture::PictureParameters kept = *found.parameters;
  kept.version = wanted.version;  // any version paints the same view alike
  QSize decoded;
  return kept == wanted && wholePictureProblem(bytes, 0, decoded).empty() && decoded == size;
}

QSize frameSize(const MoviePath& path, Sampling sampling) {
  return {static_cast<int>(path.columns()) * sampling.density, static_cast<int>(path.rows()) * sampling.density};
}

// A fault no other frame can avoid ends the run.
bool faultEndsTheRun(const RenderOutcome& outcome) {
  return outcome.fault == Fault::PictureTooLarge || outcome.fault == Fault::CounterStalled;
}

}  // namespace

bool appendKeyframes(const std::string& key, std::vector<Keyframe>& keyframes, std::string& error) {
  QByteArray bytes;
  if (!readOnce(key, kMaxKeyframeBytes, bytes, error)) return false;
  // Messages name the file as the user can read it, whatever its bytes.
  const std::string shown = picture::shownName(key);
  if (isPicture(bytes)) {
    const picture::ReadResult saved = picture::parametersFromPicture(spanOf(bytes));
    if (!saved.parameters) return error = shown + ": " + saved.error, false;
    QSize size;
    if (const std::string problem = wholePictureProblem(bytes, kKeyframeDecodeMegabytes, size); !problem.empty())
      return error = shown + ": " + problem, false;
    keyframes.push_back({saved.parameters->pattern, saved.parameters->fields, shown});
    return true;
  }
  if (bytes.size() > static_cast<qsizetype>(picture::kMaxPathFileBytes))
    return error = shown + ": the path file is larger than 1 MiB", false;
  const picture::PathReadResult path =
      picture::pathFromJson(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
  if (!path.path) return error = shown + ": " + path.error, false;
  for (std::size_t k = 0; k < path.path->views.size(); ++k) {
    const picture::PathView& view = path.path->views[k];
    keyframes.push_back({view.pattern, view.fields, shown + ", view " + std::to_string(k)});
  }
  return true;
}

FrameNames FrameNames::forMovie(const std::string& folder, std::size_t frames) {
  return {folder, std::max(5, static_cast<int>(std::to_string(frames - 1).size()))};
}

FrameNames FrameNames::forMovie(const QString& folder, std::size_t frames) {
  return forMovie(QFile::encodeName(folder).toStdString(), frames);
}

std::string FrameNames::at(std::size_t k) const {
  std::string number = std::to_string(k);
  if (number.size() < static_cast<std::size_t>(digits)) number.insert(0, digits - number.size(), '0');
  return folder + "/frame-" + number + ".png";
}

std::string FrameNames::ffmpegPattern() const {
  std::string escaped;
  for (const char c : folder) escaped += c == '%' ? std::string("%%") : std::string(1, c);
  return escaped + "/frame-%0" + std::to_string(digits) + "d.png";
}

picture::PictureParameters frameParameters(const MoviePath& path, const FieldTexts& texts, Sampling sampling) {
  return {PLORVEX_VERSION, path.pattern().caption, texts, sampling.density, sampling.smooth, true};
}

std::size_t firstAbsentFrame(const MoviePath& path, std::size_t frames, const FrameNames& names, Sampling sampling,
                             std::size_t skipFirst, std::size_t skipLast) {
  for (std::size_t k = 0; k < frames; ++k)
    if ((k < skipFirst || k > skipLast) &&
        !alreadyRendered(names.at(k), frameParameters(path, path.frameTexts(k, frames), sampling),
                         frameSize(path, sampling)))
      return k;
  return frames;
}

std::string FrameWriter::start(QImage image, std::string file, picture::PictureParameters parameters) {
  std::string previous = finish();
  pending_ = std::async(std::launch::async, [image = std::move(image), file = std::move(file),
                                             parameters = std::move(parameters)] {
    std::string error;
    picture::writeFileNamed(
        QByteArray::fromStdString(file),
        [&](QIODevice& out, std::string& reason) {
          return picture::writePicture(image, out, picture::ImageFormat::Png, parameters, reason);
        },
        error);
    return error;
  });
  return previous;
}

std::string FrameRun::render(std::size_t first, std::size_t last, FrameTally& tally) {
  std::vector<std::size_t> missing;
  for (std::size_t k = first; k <= last; ++k)
    if (alreadyRendered(names_.at(k), frameParameters(path_, path_.frameTexts(k, frames_), sampling_),
                        frameSize(path_, sampling_)))
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
