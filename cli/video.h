// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A movie's frames joined into a video file by the ffmpeg program.

#include <cstddef>
#include <string>

namespace plorvex::cli {

// Why a video cannot be written to `file` ("" if it can): a name ending in
// neither .mp4, .webm nor .mkv, or a name that is not a regular file.
std::string videoFileProblem(const std::string& file);
// Whether the ffmpeg program is on the PATH.
bool ffmpegInstalled();
inline constexpr const char* kNoFfmpeg =
    "--video needs the ffmpeg program, which is not installed (Debian package ffmpeg)";

struct VideoJob {
  std::string file;           // .mp4, .webm or .mkv
  std::string framePattern;   // e.g. "DIR/frame-%05d.png", frames numbered from 0
  std::size_t frames = 0;
  std::string fps;            // frames per second, as a number text
  int width = 0, height = 0;  // of every frame, in pixels
};

// Runs ffmpeg on the frames, into a temporary file beside `file` that is
// renamed when the encode succeeded and removed when it failed. Returns "" or
// the error, with ffmpeg's own message. `note` receives a line to show the user
// (odd sizes padded to even), if any.
std::string encodeVideo(const VideoJob& job, std::string& note);

}  // namespace plorvex::cli
