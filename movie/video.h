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
// Whether the ffmpeg program is on the PATH.
bool ffmpegInstalled();

struct VideoJob {
  std::string file;           // .mp4, .webm or .mkv
  std::string framePattern;   // e.g. "DIR/frame-%05d.png", frames numbered from 0
  std::size_t frames = 0;
  std::string fps;            // frames per second, as a number text
  int width = 0, height = 0;  // of every frame, in pixels
  // When given, asked once ffmpeg has ended: false abandons the video.
  std::function<bool()> keepGoing;
};

// What encodeVideo says when keepGoing stopped it.
inline constexpr const char* kVideoCancelled = "cancelled";

// Runs ffmpeg on the frames, into a temporary file beside `file` that is
// renamed when the encode succeeded and removed when it failed. Returns "" or
// the error, with ffmpeg's own message. `note` receives a line to show the user
// (odd sizes padded to even), if any.
std::string encodeVideo(const VideoJob& job, std::string& note);

}  // namespace plorvex::movie
