// SPDX-License-Identifier: GPL-3.0-or-later
// Renders a zoom movie's frames: each one a saved picture of its own view.
#include "movie.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QString>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <future>

#include "column_pool.h"
#include "movie_path.h"
#include "options.h"
#include "path_file.h"
#include "picture.h"
#include "picture_render.h"
#include "png_chunks.h"
#include "progress.h"
#include "video.h"

namespace plorvex::cli {
namespace {

constexpr int kExitUsage = 2;
constexpr int kExitFault = 3;

int refuse(const std::string& message) {
  std::fprintf(stderr, "plorvex-render: %s\n", message.c_str());
  return kExitUsage;
}

bool isPng(const std::string& file) {
  QFile in(QString::fromStdString(file));
  if (!in.open(QIODevice::ReadOnly)) return false;
  const QByteArray start = in.read(8);
  return start.size() == 8 && std::memcmp(start.constData(), picture::detail::kPngSignature.data(), 8) == 0;
}

// The keyframes of one KEY: a saved picture's view, or a path file's views.
bool appendKeyframes(const std::string& key, std::vector<movie::Keyframe>& keyframes, std::string& error) {
  const QString file = QString::fromStdString(key);
  if (isPng(key)) {
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

// Frame files are named frame-00000.png ..., with more digits when needed.
struct FrameNames {
  QString folder;
  int digits = 5;
  QString at(std::size_t k) const {
    return folder + QStringLiteral("/frame-%1.png").arg(static_cast<qulonglong>(k), digits, 10, QChar('0'));
  }
  std::string ffmpegPattern() const {
    std::string escaped;
    for (const char c : folder.toStdString()) escaped += c == '%' ? std::string("%%") : std::string(1, c);
    return escaped + "/frame-%0" + std::to_string(digits) + "d.png";
  }
};

int digitsFor(std::size_t frames) { return std::max(5, static_cast<int>(std::to_string(frames - 1).size())); }

picture::PictureParameters frameParameters(const movie::MoviePath& path, const FieldTexts& texts,
                                           Sampling sampling) {
  return {PLORVEX_VERSION, path.pattern().caption, texts, sampling.density, sampling.smooth, true};
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

// Writes one frame on its own thread while the next one renders.
class FrameWriter {
 public:
  ~FrameWriter() { finish(); }
  // Starts writing; returns the previous write's error, if it failed.
  std::string start(QImage image, QString file, picture::PictureParameters parameters) {
    std::string previous = finish();
    pending_ = std::async(std::launch::async, [image = std::move(image), file = std::move(file),
                                               parameters = std::move(parameters)] {
      std::string error;
      picture::writePicture(image, file, picture::ImageFormat::Png, parameters, error);
      return error;
    });
    return previous;
  }
  // Waits for the write in flight; returns its error ("" when written).
  std::string finish() { return pending_.valid() ? pending_.get() : std::string(); }

 private:
  std::future<std::string> pending_;
};

struct Tally {
  std::size_t rendered = 0, kept = 0, faulted = 0;
};

class MovieRun {
 public:
  MovieRun(const MovieOptions& options, const movie::MoviePath& path, std::size_t frames, FrameNames names)
      : options_(options), path_(path), frames_(frames), names_(std::move(names)) {}

  // Renders every frame of the range not already in the folder; returns the exit status.
  int render(Tally& tally);

 private:
  int renderFrame(std::size_t k, std::size_t index, std::size_t count, ColumnPool* pool, Tally& tally);

  const MovieOptions& options_;
  const movie::MoviePath& path_;
  const std::size_t frames_;
  const FrameNames names_;
  FrameWriter writer_;
  ProgressBar bar_{!options_.quiet && isatty(STDERR_FILENO) ? stderr : nullptr};
};

int MovieRun::render(Tally& tally) {
  std::vector<std::size_t> missing;
  for (std::size_t k = options_.first; k <= options_.last; ++k)
    if (alreadyRendered(names_.at(k), frameParameters(path_, path_.frameTexts(k, frames_), options_.sampling)))
      ++tally.kept;
    else
      missing.push_back(k);
  std::optional<ColumnPool> workers;
  ColumnPool* pool = options_.threads > 1 ? &workers.emplace(options_.threads) : nullptr;
  for (std::size_t index = 0; index < missing.size(); ++index)
    if (const int status = renderFrame(missing[index], index, missing.size(), pool, tally); status != 0)
      return status;
  bar_.erase();
  if (const std::string error = writer_.finish(); !error.empty()) return refuse(error);
  return 0;
}

int MovieRun::renderFrame(std::size_t k, std::size_t index, std::size_t count, ColumnPool* pool, Tally& tally) {
  const FieldTexts texts = path_.frameTexts(k, frames_);
  picture::PictureHost host(texts, options_.sampling, pool);
  // The bar counts frames, each in columns, so that its time left is steady.
  const std::string what = "frame " + std::to_string(index + 1) + " of " + std::to_string(count);
  host.onColumn = [&](std::size_t done, std::size_t total) {
    bar_.update(index * total + done, count * total, what);
  };
  const RenderOutcome outcome = path_.pattern().render(host);
  const bool faulted = outcome.end == RenderEnd::Faulted;
  if (faulted) {
    bar_.erase();
    std::fprintf(stderr, "plorvex-render: frame %zu: %s: %s\n", k, path_.pattern().caption,
                 picture::faultDescription(outcome).c_str());
    if (outcome.fault == Fault::PictureTooLarge || outcome.fault == Fault::CounterStalled) return kExitUsage;
    ++tally.faulted;
    if (!outcome.faultInSweep || host.image().isNull()) return 0;
  }
  picture::PictureParameters parameters = frameParameters(path_, texts, options_.sampling);
  parameters.complete = !faulted;
  if (const std::string error = writer_.start(host.image(), names_.at(k), parameters); !error.empty())
    return refuse(error);
  ++tally.rendered;
  return 0;
}

void listFrames(const movie::MoviePath& path, std::size_t frames, std::size_t first, std::size_t last) {
  for (std::size_t k = first; k <= last; ++k) {
    const FieldTexts t = path.frameTexts(k, frames);
    std::printf("%zu\t%s\t%s\t%s\t%s\t%s\n", k, t.x.c_str(), t.y.c_str(), t.size.c_str(), t.zoom.c_str(),
                t.brightness.c_str());
  }
}

// The first frame of the movie not in the folder as a whole picture, or frames.
std::size_t firstAbsentFrame(const movie::MoviePath& path, std::size_t frames, const FrameNames& names,
                             Sampling sampling) {
  for (std::size_t k = 0; k < frames; ++k)
    if (!alreadyRendered(names.at(k), frameParameters(path, path.frameTexts(k, frames), sampling))) return k;
  return frames;
}

int joinVideo(const MovieOptions& options, const movie::MoviePath& path, std::size_t frames, const FrameNames& names) {
  if (const std::size_t absent = firstAbsentFrame(path, frames, names, options.sampling); absent < frames)
    return refuse("--video: frame " + std::to_string(absent) + " is not in " + options.folder +
                  " as a whole picture; render it first (--frames)");
  const VideoJob job{options.video, names.ffmpegPattern(), frames, options.fpsText,
                     static_cast<int>(path.columns()) * options.sampling.density,
                     static_cast<int>(path.rows()) * options.sampling.density};
  std::string note;
  const std::string error = encodeVideo(job, note);
  if (!note.empty() && !options.quiet) std::fprintf(stderr, "plorvex-render: note: %s\n", note.c_str());
  if (!error.empty()) return refuse("--video: " + error);
  return 0;
}

bool makeFolder(const std::string& folder, std::string& error) {
  const QFileInfo info(QString::fromStdString(folder));
  if (info.exists() && !info.isDir()) return error = "-o: '" + folder + "' is not a folder", false;
  if (!QDir().mkpath(QString::fromStdString(folder))) return error = "-o: cannot make the folder '" + folder + "'", false;
  return true;
}

std::optional<movie::MoviePath> pathOf(const MovieOptions& options, std::string& error) {
  std::vector<movie::Keyframe> keyframes;
  for (const std::string& key : options.keys)
    if (!appendKeyframes(key, keyframes, error)) return std::nullopt;
  return movie::MoviePath::make(std::move(keyframes), error);
}

// Everything that can be refused before a frame is rendered.
std::string videoProblem(const MovieOptions& options) {
  if (options.video.empty()) return {};
  if (std::string problem = videoFileProblem(options.video); !problem.empty()) return problem;
  return ffmpegInstalled() ? std::string() : kNoFfmpeg;
}

}  // namespace

int runMovie(const MovieOptions& given) {
  if (given.help || given.version) {
    std::fputs(given.help ? helpText().c_str() : "plorvex-render " PLORVEX_VERSION "\n", stdout);
    return 0;
  }
  MovieOptions options = given;
  std::string error;
  const std::optional<movie::MoviePath> path = pathOf(options, error);
  if (!path) return refuse(error);
  const std::optional<std::size_t> frames = movie::frameCount(options.seconds, options.fps);
  if (!frames) return refuse("--seconds times --fps must make at most " + std::to_string(movie::kMaxFrames) + " frames");
  if (!options.rangeGiven) options.last = *frames - 1;
  if (options.last >= *frames)
    return refuse("--frames " + std::to_string(options.first) + "-" + std::to_string(options.last) + ": the movie has " +
                  std::to_string(*frames) + " frames, 0 to " + std::to_string(*frames - 1));
  if (options.listFrames) {
    listFrames(*path, *frames, options.first, options.last);
    return 0;
  }
  if (error = videoProblem(options); !error.empty()) return refuse(error);
  if (!makeFolder(options.folder, error)) return refuse(error);
  const FrameNames names{QString::fromStdString(options.folder), digitsFor(*frames)};
  Tally tally;
  if (const int status = MovieRun(options, *path, *frames, names).render(tally); status != 0) return status;
  if (!options.quiet)
    std::fprintf(stderr, "plorvex-render: frames %zu-%zu of %zu: %zu rendered, %zu kept (%s)\n", options.first,
                 options.last, *frames, tally.rendered, tally.kept, options.folder.c_str());
  if (tally.faulted > 0) {
    std::fprintf(stderr, "plorvex-render: %zu frames stopped at an arithmetic error%s\n", tally.faulted,
                 options.video.empty() ? "" : "; no video");
    return kExitFault;
  }
  return options.video.empty() ? 0 : joinVideo(options, *path, *frames, names);
}

}  // namespace plorvex::cli
