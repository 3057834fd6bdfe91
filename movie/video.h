// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A movie's frames joined into a video file by the ffmpeg program.

#include <cstddef>
#include <functional>
#include <string>

namespace plorvex::movie {

// Why a video cannot be written to `file` ("" if it can): a name ending in
// neither .mp4, .webm nor .mkv, or a name that is not a regular file.
std::string videoFileProblem(const std::string& file);
// Whether the name ends in .mp4, .webm or .mkv.
bool isVideoFile(const std::string& file);
// Whether the ffmpeg and ffprobe programs are on the PATH.
bool ffmpegInstalled();

struct VideoJob {
  std::string file;           // .mp4, .webm or .mkv
  std::string framePattern;   // e.g. "DIR/frame-%05d.png", frames numbered from 0; always a file
  std::size_t frames = 0;
  std::string fps;            // frames per second, as a number text
  int width = 0, height = 0;  // of every frame, in pixels
  // When given, asked ten times a second while ffmpeg or ffprobe runs: false
  // kills it at once and abandons the video.
  std::function<bool()> keepGoing;
};

// What encodeVideo says when keepGoing stopped it.
inline constexpr const char* kVideoCancelled = "cancelled";

// Why the video file does not read back whole ("" when it does): ffprobe must
// decode all `frames` frames from it at width x height. kVideoCancelled when
// keepGoing (asked as encodeVideo asks it) stopped ffprobe.
std::string videoReadBackProblem(const std::string& file, std::size_t frames, int width, int height,
                                 const std::function<bool()>& keepGoing = {});

// Runs ffmpeg on the frames, into a temporary file beside `file`
// (".NAME.part-PID"), that is renamed over `file` only when ffprobe reads it
// back whole (every frame, at the size made) and removed otherwise; the old
// file stays. Returns "" or the error, with ffmpeg's own message, beginning
// "the disk is full" when it is. `note` receives a line to show the user (odd
// sizes padded to even), if any. Every name is handed to ffmpeg as a plain
// file. The encoder never outlives the thread that started it, and while it
// runs SIGINT and SIGTERM end it and remove its file before the program ends;
// part files of earlier runs for `file` whose process is gone are removed.
std::string encodeVideo(const VideoJob& job, std::string& note);

}  // namespace plorvex::movie
