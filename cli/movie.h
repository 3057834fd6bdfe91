// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// plorvex-render --movie: the frames of a zoom movie through keyframe views,
// written as saved pictures into a folder, resumable and split into ranges for
// other machines; optionally joined into a video by ffmpeg.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "frame.h"

namespace plorvex::cli {

struct MovieOptions {
  std::vector<std::string> keys;  // saved pictures or path files, in order
  std::string folder;             // -o DIR
  Sampling sampling;
  unsigned threads = 0;
  bool quiet = false;
  double seconds = 10;
  double fps = 30;
  std::string fpsText = "30";  // as given, for ffmpeg
  bool rangeGiven = false;
  std::size_t first = 0, last = 0;  // --frames A-B, inclusive
  bool listFrames = false;
  std::string video;  // --video FILE
  bool help = false;     // --help or --version given as well: only that is answered
  bool version = false;
};

// Whether the arguments ask for a movie (they hold --movie).
bool isMovieCommand(const std::vector<std::string>& args);
// Parses a movie's arguments; nothing, with the reason in error, if they are wrong.
std::optional<MovieOptions> parseMovieOptions(const std::vector<std::string>& args, std::string& error);
// The movie's part of --help.
std::string movieHelpText();
// Renders the movie; returns the exit status.
int runMovie(const MovieOptions& options);

}  // namespace plorvex::cli
