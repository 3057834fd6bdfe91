// SPDX-License-Identifier: GPL-3.0-or-later
// Renders a zoom movie's frames: each one a saved picture of its own view.
#include "movie.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>

#include "column_pool.h"
#include "file_write.h"
#include "movie_frames.h"
#include "movie_path.h"
#include "options.h"
#include "progress.h"
#include "video.h"

namespace plorvex::cli {
namespace {

namespace fs = std::filesystem;

constexpr int kExitUsage = 2;
constexpr int kExitFault = 3;
constexpr const char* kNoFfmpeg = "--video needs the ffmpeg program, which is not installed (Debian package ffmpeg)";

int refuse(const std::string& message) {
  std::fprintf(stderr, "plorvex-render: %s\n", message.c_str());
  return kExitUsage;
}

// Renders every frame of the range not already in the folder, with the
// progress bar on a terminal; returns the exit status.
int renderRange(const MovieOptions& options, const movie::MoviePath& path, std::size_t frames,
                const movie::FrameNames& names, movie::FrameTally& tally) {
  std::optional<ColumnPool> workers;
  ColumnPool* pool = options.threads > 1 ? &workers.emplace(options.threads) : nullptr;
  ProgressBar bar(!options.quiet && isatty(STDERR_FILENO) ? stderr : nullptr);
  movie::FrameRun run(path, frames, names, options.sampling, pool);
  // The bar counts frames, each in columns, so that its time left is steady.
  run.onColumn = [&](std::size_t index, std::size_t count, std::size_t done, std::size_t total) {
    bar.update(index * total + done, count * total,
               "frame " + std::to_string(index + 1) + " of " + std::to_string(count));
  };
  run.onFault = [&](const std::string& what) {
    bar.erase();
    std::fprintf(stderr, "plorvex-render: %s\n", what.c_str());
  };
  const std::string stop = run.render(options.first, options.last, tally);
  bar.erase();
  return stop.empty() ? 0 : refuse(stop);
}

void listFrames(const movie::MoviePath& path, std::size_t frames, std::size_t first, std::size_t last) {
  for (std::size_t k = first; k <= last; ++k) {
    const FieldTexts t = path.frameTexts(k, frames);
    std::printf("%zu\t%s\t%s\t%s\t%s\t%s\n", k, t.x.c_str(), t.y.c_str(), t.size.c_str(), t.zoom.c_str(),
                t.brightness.c_str());
  }
}

int joinVideo(const MovieOptions& options, const movie::MoviePath& path, std::size_t frames,
              const movie::FrameNames& names) {
  if (const std::size_t absent = movie::firstAbsentFrame(path, frames, names, options.sampling); absent < frames)
    return refuse("--video: frame " + std::to_string(absent) + " is not in " + picture::shownName(options.folder) +
                  " as a whole picture; render it first (--frames)");
  const movie::VideoJob job{options.video, names.ffmpegPattern(), frames, options.fpsText,
                            static_cast<int>(path.columns()) * options.sampling.density,
                            static_cast<int>(path.rows()) * options.sampling.density, {}};
  std::string note;
  const std::string error = movie::encodeVideo(job, note);
  if (!note.empty() && !options.quiet) std::fprintf(stderr, "plorvex-render: note: %s\n", note.c_str());
  if (!error.empty()) return refuse("--video: " + error);
  return 0;
}

// Makes the folder (its name is the system's bytes); `made` tells whether it
// was not there before.
bool makeFolder(const std::string& folder, bool& made, std::string& error) {
  std::error_code failure;
  const fs::path name(folder);
  if (fs::exists(name, failure) && !fs::is_directory(name, failure))
    return error = "-o: '" + picture::shownName(folder) + "' is not a folder", false;
  made = fs::create_directories(name, failure);
  if (failure) return error = "-o: cannot make the folder '" + picture::shownName(folder) + "' (" + failure.message() + ")", false;
  return true;
}

// A video needs every frame: those outside --frames must be in the folder
// already, which is known before anything is rendered.
std::string framesMissingForVideo(const MovieOptions& options, const movie::MoviePath& path, std::size_t frames,
                                  const movie::FrameNames& names) {
  if (options.video.empty()) return {};
  const std::size_t absent =
      movie::firstAbsentFrame(path, frames, names, options.sampling, options.first, options.last);
  if (absent == frames) return {};
  return "--video: frame " + std::to_string(absent) + " is not in " + picture::shownName(options.folder) +
         " as a whole picture and --frames " + std::to_string(options.first) + "-" + std::to_string(options.last) +
         " does not render it; render it first, or leave out --frames";
}

std::optional<movie::MoviePath> pathOf(const MovieOptions& options, std::string& error) {
  std::vector<movie::Keyframe> keyframes;
  for (const std::string& key : options.keys)
    if (!movie::appendKeyframes(key, keyframes, error)) return std::nullopt;
  return movie::MoviePath::make(std::move(keyframes), error);
}

// Everything that can be refused before a frame is rendered.
std::string videoProblem(const MovieOptions& options) {
  if (options.video.empty()) return {};
  if (std::string problem = movie::videoFileProblem(options.video); !problem.empty()) return "--video: " + problem;
  return movie::ffmpegInstalled() ? std::string() : kNoFfmpeg;
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
  const movie::FrameNames names = movie::FrameNames::forMovie(options.folder, *frames);
  if (error = framesMissingForVideo(options, *path, *frames, names); !error.empty()) return refuse(error);
  bool made = false;
  if (!makeFolder(options.folder, made, error)) return refuse(error);
  movie::FrameTally tally;
  if (const int status = renderRange(options, *path, *frames, names, tally); status != 0) {
    std::error_code ignored;
    if (made && fs::is_empty(options.folder, ignored)) fs::remove(options.folder, ignored);  // leave nothing
    return status;
  }
  if (!options.quiet)
    std::fprintf(stderr, "plorvex-render: frames %zu-%zu of %zu: %zu rendered, %zu kept (%s)\n", options.first,
                 options.last, *frames, tally.rendered, tally.kept, picture::shownName(options.folder).c_str());
  if (tally.faulted > 0) {
    std::fprintf(stderr, "plorvex-render: %zu frames stopped at an arithmetic error%s\n", tally.faulted,
                 options.video.empty() ? "" : "; no video");
    return kExitFault;
  }
  return options.video.empty() ? 0 : joinVideo(options, *path, *frames, names);
}

}  // namespace plorvex::cli
