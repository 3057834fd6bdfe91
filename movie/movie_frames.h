// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A zoom movie's frames as files: each one a saved picture of its own view in
// a folder, named by its number, kept when already there whole, so that a run
// stopped at any moment renders only what is missing when run again. The
// command line and the window both make their movies here.

#include <QString>

#include <atomic>
#include <cstddef>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "frame.h"
#include "movie_path.h"
#include "parameters.h"

class QImage;

namespace plorvex::movie {

// The keyframes one file holds, appended in order: a saved picture's view (the
// `plorvex` chunk or comment of a whole PNG or JPEG) or a path file's views.
// The file (named by the system's bytes) is opened once and read once, so a
// pipe, process substitution or /dev/stdin serves; a named pipe without a
// writer is waited for as cat waits. False with the reason in error.
bool appendKeyframes(const std::string& file, std::vector<Keyframe>& keyframes, std::string& error);

// Frame files are named frame-00000.png ..., with more digits when needed.
// The folder is the system's bytes, whatever their encoding.
struct FrameNames {
  std::string folder;
  int digits = 5;
  static FrameNames forMovie(const std::string& folder, std::size_t frames);
  static FrameNames forMovie(const QString& folder, std::size_t frames);
  std::string at(std::size_t k) const;
  // The names as ffmpeg's image sequence pattern.
  std::string ffmpegPattern() const;
};

// What frame k's picture carries.
picture::PictureParameters frameParameters(const MoviePath& path, const FieldTexts& texts, Sampling sampling);
// The first frame the folder does not hold as a whole picture (its chunk names
// the frame's view and its image data decodes whole at the frame's size), or
// `frames`. Frames skipFirst..skipLast are not looked at (about to be rendered).
std::size_t firstAbsentFrame(const MoviePath& path, std::size_t frames, const FrameNames& names, Sampling sampling,
                             std::size_t skipFirst = 1, std::size_t skipLast = 0);

struct FrameTally {
  std::size_t rendered = 0, kept = 0, faulted = 0;
};

// What FrameRun::render says when cancel() stopped it.
inline constexpr const char* kFramesCancelled = "cancelled";

// Writes one frame on its own thread while the next one renders.
class FrameWriter {
 public:
  ~FrameWriter() { finish(); }
  // Starts writing; returns the previous write's error, if it failed.
  std::string start(QImage image, std::string file, picture::PictureParameters parameters);
  // Waits for the write in flight; returns its error ("" when written).
  std::string finish() { return pending_.valid() ? pending_.get() : std::string(); }

 private:
  std::future<std::string> pending_;
};

// Renders a range of a movie's frames into the folder, each one's columns on
// the workers while the frame before it is written.
class FrameRun {
 public:
  FrameRun(const MoviePath& path, std::size_t frames, FrameNames names, Sampling sampling, ColumnPool* pool)
      : path_(path), frames_(frames), names_(std::move(names)), sampling_(sampling), pool_(pool) {}

  // After every column: the frame's place among those rendered now (index of
  // count) and its columns painted of all.
  std::function<void(std::size_t index, std::size_t count, std::size_t done, std::size_t total)> onColumn;
  // A frame stopped at an arithmetic error ("frame K: pattern: what"); the
  // run goes on, and the picture so far, if any, is kept marked incomplete.
  std::function<void(const std::string& what)> onFault;
  // From any thread: the frame being rendered halts unwritten and no other starts.
  void cancel() { cancelled_ = true; }

  // Renders frames first..last (inclusive) that the folder does not hold
  // whole (as firstAbsentFrame tells). "" when every one was written or kept; else why the run stopped: a
  // write that failed, a fault that no frame can avoid (a picture too large),
  // or kFramesCancelled. Frames written stay, whole, whatever happens.
  std::string render(std::size_t first, std::size_t last, FrameTally& tally);

 private:
  std::string renderFrame(std::size_t k, std::size_t index, std::size_t count, FrameTally& tally);

  const MoviePath& path_;
  const std::size_t frames_;
  const FrameNames names_;
  const Sampling sampling_;
  ColumnPool* const pool_;
  std::atomic<bool> cancelled_{false};
  FrameWriter writer_;
};

}  // namespace plorvex::movie
