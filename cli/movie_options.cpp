// SPDX-License-Identifier: GPL-3.0-or-later
#include "movie.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <thread>

#include "movie_path.h"
#include "options.h"

// The options of plorvex-render --movie and their help.
namespace plorvex::cli {
namespace {

constexpr unsigned kMaxFrameNumber = static_cast<unsigned>(movie::kMaxFrames) - 1;

// A number above 0 in plain decimal or scientific form, e.g. "10", "29.97".
bool positiveNumber(const std::string& text, double& value) {
  const char* end = text.data() + text.size();
  const auto parsed = std::from_chars(text.data(), end, value);
  return parsed.ec == std::errc() && parsed.ptr == end && std::isfinite(value) && value > 0;
}

// "A-B" with A <= B, or "A", the one frame.
bool frameRange(const std::string& text, std::size_t& first, std::size_t& last) {
  const std::size_t dash = text.find('-');
  unsigned a = 0, b = 0;
  if (dash == std::string::npos) {
    if (!wholeNumber(text, 0, kMaxFrameNumber, a)) return false;
    first = last = a;
    return true;
  }
  if (!wholeNumber(text.substr(0, dash), 0, kMaxFrameNumber, a) ||
      !wholeNumber(text.substr(dash + 1), 0, kMaxFrameNumber, b) || a > b)
    return false;
  first = a;
  last = b;
  return true;
}

struct ValuedOption {
  const char* name;
  bool (*take)(MovieOptions&, const std::string&, std::string& error);
};

bool takeWhole(const std::string& text, const char* option, unsigned min, unsigned max, unsigned& value,
               std::string& error) {
  if (wholeNumber(text, min, max, value)) return true;
  error = std::string(option) + " takes a whole number from " + std::to_string(min) + " to " + std::to_string(max);
  return false;
}

const ValuedOption kValuedOptions[] = {
    {"-o", [](MovieOptions& o, const std::string& v, std::string&) { return o.folder = v, true; }},
    {"--out", [](MovieOptions& o, const std::string& v, std::string&) { return o.folder = v, true; }},
    {"--video", [](MovieOptions& o, const std::string& v, std::string&) { return o.video = v, true; }},
    {"--density",
     [](MovieOptions& o, const std::string& v, std::string& e) {
       unsigned d = 0;
       return takeWhole(v, "--density", 1, kMaxDensity, d, e) && (o.sampling.density = static_cast<int>(d), true);
     }},
    {"--smooth",
     [](MovieOptions& o, const std::string& v, std::string& e) {
       unsigned s = 0;
       return takeWhole(v, "--smooth", 1, kMaxSmoothing, s, e) && (o.sampling.smooth = static_cast<int>(s), true);
     }},
    {"--threads", [](MovieOptions& o, const std::string& v, std::string& e) {
       return takeWhole(v, "--threads", 1, 256, o.threads, e);
     }},
    {"--seconds",
     [](MovieOptions& o, const std::string& v, std::string& e) {
       if (positiveNumber(v, o.seconds)) return true;
       e = "--seconds takes a number above 0, e.g. 10 or 2.5";
       return false;
     }},
    {"--fps",
     [](MovieOptions& o, const std::string& v, std::string& e) {
       o.fpsText = v;
       if (positiveNumber(v, o.fps)) return true;
       e = "--fps takes a number above 0, e.g. 30 or 29.97";
       return false;
     }},
    {"--frames",
     [](MovieOptions& o, const std::string& v, std::string& e) {
       o.rangeGiven = true;
       if (frameRange(v, o.first, o.last)) return true;
       e = "--frames takes a range A-B of frame numbers from 0, with A <= B, or one frame A";
       return false;
     }},
};

}  // namespace

bool isMovieCommand(const std::vector<std::string>& args) {
  return std::find(args.begin(), args.end(), "--movie") != args.end();
}

std::optional<MovieOptions> parseMovieOptions(const std::vector<std::string>& args, std::string& error) {
  MovieOptions options;
  options.threads = std::max(1u, std::thread::hardware_concurrency());
  for (std::size_t k = 0; k < args.size(); ++k) {
    const std::string& arg = args[k];
    const auto valued = std::find_if(std::begin(kValuedOptions), std::end(kValuedOptions),
                                     [&](const ValuedOption& option) { return arg == option.name; });
    if (arg == "--movie") {
      while (k + 1 < args.size() && !args[k + 1].empty() && args[k + 1][0] != '-') options.keys.push_back(args[++k]);
    } else if (arg == "--quiet") {
      options.quiet = true;
    } else if (arg == "--list-frames") {
      options.listFrames = true;
    } else if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (valued != std::end(kValuedOptions)) {
      if (k + 1 == args.size()) {
        error = arg + " needs a value";
        return std::nullopt;
      }
      if (!valued->take(options, args[++k], error)) return std::nullopt;
    } else {
      error = "unknown argument for --movie: " + arg + " (the keyframes give the pattern and the texts)";
      return std::nullopt;
    }
  }
  if (options.help || options.version) return options;
  if (options.keys.empty()) {
    error = "--movie needs keyframes: saved pictures or path files";
    return std::nullopt;
  }
  if (options.folder.empty() && !options.listFrames) {
    error = "--out is missing: the folder the frames go to";
    return std::nullopt;
  }
  if (options.folder == kStandardOutput) {
    error = "a movie needs a folder; `-` is standard output";
    return std::nullopt;
  }
  return options;
}

std::string movieHelpText() {
  return "\n"
         "Zoom movies: plorvex-render --movie KEY... -o DIR [options]\n"
         "  --movie KEY...        keyframes: saved pictures or path files (JSON\n"
         "                        {\"version\", \"views\": [{\"pattern\", \"x\", \"y\", \"size\",\n"
         "                        \"zoom\", \"brightness\"}, ...]}); one pattern and size text\n"
         "  -o, --out DIR         the folder of the frames, DIR/frame-00000.png ...\n"
         "  --seconds T           the movie's length (default 10)\n"
         "  --fps F               frames per second (default 30); round(T * F) frames\n"
         "  --frames A-B          render only frames A to B (from 0, inclusive); A alone\n"
         "                        is that one frame\n"
         "  --list-frames         print each frame's number and texts; render nothing\n"
         "  --video FILE          join every frame into FILE with ffmpeg: .mp4 (H.264),\n"
         "                        .webm (VP9) or .mkv (FFV1, lossless)\n"
         "  --density, --smooth, --threads and --quiet apply to every frame; the other\n"
         "  options, and -o -, are refused. A frame already in DIR as a whole picture of\n"
         "  its view is kept, not rendered again. A keyframe is read once: a pipe serves.\n";
}

}  // namespace plorvex::cli
