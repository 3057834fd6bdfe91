// SPDX-License-Identifier: GPL-3.0-or-later
#include "options.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <thread>

#include "movie.h"
#include "parameters.h"
#include "pyramid.h"

namespace plorvex::cli {

const char* const kUsage =
    "usage: plorvex-render --pattern NAME|INDEX [--x TEXT] [--y TEXT] [--size TEXT]\n"
    "                      [--zoom TEXT] [--brightness TEXT] [--density D] [--smooth S]\n"
    "                      [--canvas] [--format png|jpg|bmp|ppm|webp] [--threads N]\n"
    "                      [--quiet] [--bands A-B | --list-bands] -o|--out FILE|-\n"
    "       plorvex-render --from PICTURE [options] -o|--out FILE|-\n"
    "       plorvex-render --join PART... -o|--out FILE\n"
    "       plorvex-render (--pattern NAME|INDEX [options] | --from PICTURE) --pyramid DIR\n"
    "       plorvex-render --movie KEY... [movie options] -o|--out DIR\n"
    "       plorvex-render --list | --help | --version\n";

std::string helpText() {
  const FieldTexts defaults;
  // The defaults come from FieldTexts so that the help cannot drift from them.
  const auto field = [](const char* option, const char* what, const std::string& value) {
    std::string line = std::string("  ") + option;
    line.resize(24, ' ');
    return line + what + " (default \"" + value + "\")\n";
  };
  return std::string(kUsage) +
         "\n"
         "Paints one pattern of Plorvex Picture Maker without a window and writes the\n"
         "picture as an image.\n"
         "\n"
         "  --pattern NAME|INDEX  the pattern, by name or by index (see --list)\n" +
         field("--x TEXT", "horizontal offset", defaults.x) +
         field("--y TEXT", "vertical offset", defaults.y) +
         field("--size TEXT", "size; 768 paints 1024 x 768", defaults.size) +
         field("--zoom TEXT", "zoom; smaller shows a magnified part", defaults.zoom) +
         field("--brightness TEXT", "brightness", defaults.brightness) +
         "  --density D           D x D pixels where the plain picture has one, the same\n"
         "                        view D times as large (default 1; a PNG up to\n"
         "                        1,000,000 pixels a side, other formats and --canvas\n"
         "                        up to 16)\n"
         "  --smooth S            each pixel the mean of S x S samples, in linear light\n"
         "                        (1 to 8; default 1: one sample)\n"
         "  --from PICTURE        the pattern, the five texts, density and smoothing of a\n"
         "                        picture saved by this program; options given as well\n"
         "                        override them\n"
         "  --canvas              write the whole window canvas, not only the picture\n"
         "  -o, --out FILE|-      the image file; - writes the image to standard output.\n"
         "                        A regular file is replaced whole or not at all; a\n"
         "                        device or a pipe is written in place\n"
         "  --pyramid DIR         instead of -o: a deep-zoom pyramid in the new folder DIR\n"
         "                        (picture.dzi, picture_files/LEVEL/COL_ROW.png, and\n"
         "                        index.html, a viewer that opens without a server);\n"
         "                        with --from alone it tiles that picture as it is\n"
         "  --format png|jpg|bmp|ppm|webp\n"
         "                        the image format (webp where Qt has it); without\n"
         "                        it the suffix of FILE decides, and - writes PNG\n"
         "  --threads N           threads computing columns (default: one per core;\n"
         "                        1: all on one thread); the picture is the same\n"
         "  --bands A-B           render bands A to B only (bands of 256 output rows\n"
         "                        from the top, from 0) into a part file -o for --join\n"
         "  --list-bands          print how many bands the view has, render nothing\n"
         "  --join PART...        join part files, in order, into the PNG -o, without\n"
         "                        decoding; they must cover the picture once\n"
         "  --quiet               no progress bar (it is shown only on a terminal)\n"
         "  --list                print the index and name of every pattern\n"
         "  -h, --help            print this help\n"
         "  --version             print the version\n"
         "\n"
         "Each TEXT is read as the window reads its fields: the number it begins with;\n"
         "a text that does not begin with a number counts as 0. A PNG keeps the pattern\n"
         "and the texts in a text chunk 'plorvex', a JPEG in a comment 'plorvex: ', so\n"
         "--from can paint it again.\n"
         "\n"
         "Exit status: 0 when painted; 2 for bad arguments, a refused picture, a picture\n"
         "without pixels or an image that could not be written; 3 when an arithmetic\n"
         "error stopped the picture (the part painted is still written).\n" +
         movieHelpText();
}

bool wholeNumber(const std::string& text, unsigned min, unsigned max, unsigned& value) {
  const char* end = text.data() + text.size();
  const auto parsed = std::from_chars(text.data(), end, value);
  return !text.empty() && text[0] != '+' && parsed.ec == std::errc() && parsed.ptr == end &&
         value >= min && value <= max;
}

std::optional<Options> parseOptions(const std::vector<std::string>& args, std::string& error) {
  Options options;
  std::string threadsText, densityText, smoothText, bandsText;
  const std::map<std::string, std::string*> valued{
      {"--pattern", &options.pattern},         {"--x", &options.fields.x},
      {"--y", &options.fields.y},              {"--size", &options.fields.size},
      {"--zoom", &options.fields.zoom},        {"--brightness", &options.fields.brightness},
      {"--out", &options.out},                 {"-o", &options.out},
      {"--format", &options.format},           {"--threads", &threadsText},
      {"--density", &densityText},             {"--smooth", &smoothText},
      {"--from", &options.from},              {"--bands", &bandsText},
      {"--pyramid", &options.pyramid},
  };
  const std::map<std::string, bool*> given{
      {"--x", &options.fieldGiven[0]},        {"--y", &options.fieldGiven[1]},
      {"--size", &options.fieldGiven[2]},     {"--zoom", &options.fieldGiven[3]},
      {"--brightness", &options.fieldGiven[4]}, {"--density", &options.densityGiven},
      {"--smooth", &options.smoothGiven},
  };
  const std::map<std::string, bool*> flags{
      {"--canvas", &options.wholeCanvas}, {"--list", &options.list},
      {"--help", &options.help},          {"-h", &options.help},
      {"--version", &options.version},    {"--quiet", &options.quiet},
      {"--list-bands", &options.listBands},
  };
  for (std::size_t k = 0; k < args.size(); ++k) {
    const std::string& arg = args[k];
    if (arg == "--join") {
      // Every argument up to the next option names a part.
      while (k + 1 < args.size() && (args[k + 1].empty() || args[k + 1][0] != '-')) options.join.push_back(args[++k]);
      if (options.join.empty()) {
        error = "--join needs the part files";
        return std::nullopt;
      }
    } else if (auto flag = flags.find(arg); flag != flags.end()) {
      *flag->second = true;
    } else if (auto found = valued.find(arg); found != valued.end()) {
      if (k + 1 == args.size()) {
        error = arg + " needs a value";
        return std::nullopt;
      }
      *found->second = args[++k];
      if (auto mark = given.find(arg); mark != given.end()) *mark->second = true;
    } else {
      error = "unknown argument: " + arg;
      return std::nullopt;
    }
  }
  if (options.help || options.version || options.list) return options;
  if (!options.format.empty() && !picture::formatFromName(options.format)) {
    error = "unknown format '" + options.format + "' (png, jpg, bmp, ppm or webp)";
    return std::nullopt;
  }
  if (!threadsText.empty()) {
    if (!wholeNumber(threadsText, 1, 256, options.threads)) {
      error = "--threads takes a whole number from 1 to 256";
      return std::nullopt;
    }
  } else {
    options.threads = std::max(1u, std::thread::hardware_concurrency());
  }
  unsigned density = 1, smooth = 1;
  if (options.densityGiven && !wholeNumber(densityText, 1, picture::kMaxSavedDensity, density)) {
    error = "--density takes a whole number from 1 to " + std::to_string(picture::kMaxSavedDensity);
    return std::nullopt;
  }
  if (options.smoothGiven && !wholeNumber(smoothText, 1, kMaxSmoothing, smooth)) {
    error = "--smooth takes a whole number from 1 to " + std::to_string(kMaxSmoothing);
    return std::nullopt;
  }
  options.sampling = {static_cast<int>(density), static_cast<int>(smooth)};
  if (!bandsText.empty()) {
    const std::size_t dash = bandsText.find('-');
    unsigned first = 0, last = 0;
    if (dash == std::string::npos || !wholeNumber(bandsText.substr(0, dash), 0, 4000000, first) ||
        !wholeNumber(bandsText.substr(dash + 1), 0, 4000000, last) || first > last) {
      error = "--bands takes A-B, two band numbers with A not above B (e.g. 0-9)";
      return std::nullopt;
    }
    options.bands = std::make_pair(std::size_t{first}, std::size_t{last});
  }
  if (!options.join.empty()) {
    if (options.out.empty() || options.out == kStandardOutput) {
      error = "--join needs --out FILE for the PNG";
      return std::nullopt;
    }
    return options;
  }
  if (options.pattern.empty() && options.from.empty()) {
    error = "--pattern (or --from) is missing";
    return std::nullopt;
  }
  if (options.out.empty() && !options.listBands && options.pyramid.empty()) {
    error = "--out (or --pyramid) is missing";
    return std::nullopt;
  }
  if (error = pyramidOptionsProblem(options); !error.empty()) return std::nullopt;
  return options;
}

}  // namespace plorvex::cli
