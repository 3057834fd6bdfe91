// SPDX-License-Identifier: GPL-3.0-or-later
// plorvex-render: paints one pattern without a window and writes it to a file
// or to standard output.

#include <QFile>
#include <QImage>
#include <QString>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "catalogue.h"
#include "column_pool.h"
#include "file_write.h"
#include "headless.h"
#include "movie.h"
#include "options.h"
#include "picture.h"
#include "picture_render.h"
#include "png_chunks.h"
#include "band_file.h"
#include "poster.h"
#include "progress.h"
#include "pyramid.h"

namespace {

using namespace plorvex;

constexpr int kExitUsage = 2;
constexpr int kExitFault = 3;

QImage toImage(const HeadlessHost& host) {
  QImage image(host.width(), host.height(), QImage::Format_RGB32);
  for (int y = 0; y < host.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < host.width(); ++x) {
      const Colour c = host.pixel(x, y);
      line[x] = qRgb(redOf(c), greenOf(c), blueOf(c));
    }
  }
  return image;
}

int listPatterns() {
  for (const PatternEntry& entry : patternCatalogue()) std::printf("%d %s\n", entry.index, entry.caption);
  return 0;
}

void reportFault(const PatternEntry& pattern, const RenderOutcome& outcome) {
  std::fprintf(stderr, "plorvex-render: %s: %s\n", pattern.caption, picture::faultDescription(outcome).c_str());
}

bool isRefusal(Fault fault) { return fault == Fault::PictureTooLarge || fault == Fault::CounterStalled; }

int usageError(const std::string& message) {
  std::fprintf(stderr, "plorvex-render: %s\n%s", message.c_str(), cli::kUsage);
  return kExitUsage;
}

// A saved picture's parameters; its name is the system's bytes, which Qt's
// names may not hold (bytes that are not UTF-8).
picture::ReadResult readSavedParameters(const std::string& name) {
  const QByteArray bytes = QByteArray::fromStdString(name);
  if (QFile::encodeName(QFile::decodeName(bytes)) == bytes) return picture::readParameters(QFile::decodeName(bytes));
  QFile file;
  std::string reason;
  if (!picture::openFileNamed(file, bytes, QIODevice::ReadOnly, reason))
    return {std::nullopt, name + ": cannot be opened (" + reason + ")"};
  picture::ReadResult result = picture::detail::readParametersFrom(file);
  if (!result.parameters) result.error = name + ": " + result.error;
  return result;
}

// Takes from a saved picture what the options leave open.
bool takeSavedParameters(cli::Options& options, std::string& error) {
  const picture::ReadResult saved = readSavedParameters(options.from);
  if (!saved.parameters) {
    error = saved.error;
    return false;
  }
  const picture::PictureParameters& p = *saved.parameters;
  if (options.pattern.empty()) options.pattern = p.pattern;
  std::string* texts[] = {&options.fields.x, &options.fields.y, &options.fields.size,
                          &options.fields.zoom, &options.fields.brightness};
  const std::string* savedTexts[] = {&p.fields.x, &p.fields.y, &p.fields.size, &p.fields.zoom,
                                     &p.fields.brightness};
  for (int k = 0; k < 5; ++k)
    if (!options.fieldGiven[k]) *texts[k] = *savedTexts[k];
  if (!options.densityGiven) options.sampling.density = p.density;
  if (!options.smoothGiven) options.sampling.smooth = p.smooth;
  return true;
}

// A text a picture file could not keep is refused before anything is painted.
bool checkFieldTexts(const cli::Options& options, std::string& error) {
  const std::pair<const char*, const std::string*> texts[] = {
      {"--x", &options.fields.x},       {"--y", &options.fields.y},
      {"--size", &options.fields.size}, {"--zoom", &options.fields.zoom},
      {"--brightness", &options.fields.brightness}};
  for (const auto& [option, text] : texts)
    if (const std::string problem = picture::fieldTextProblem(*text); !problem.empty()) {
      error = std::string(option) + ": the text is " + problem;
      return false;
    }
  return true;
}

std::optional<picture::ImageFormat> outputFormat(const cli::Options& options) {
  if (!options.format.empty()) return picture::formatFromName(options.format);
  if (options.bands) return picture::ImageFormat::Png;  // a part of a PNG, whatever its name
  if (options.out == cli::kStandardOutput || options.out.empty()) return picture::ImageFormat::Png;
  return picture::formatFromPath(QFile::decodeName(QByteArray::fromStdString(options.out)));
}

bool writeImage(const QImage& image, const cli::Options& options, picture::ImageFormat format,
                const picture::PictureParameters& parameters) {
  std::string error;
  if (options.out == cli::kStandardOutput) {
    QFile out;
    if (out.open(stdout, QIODevice::WriteOnly) && picture::writePicture(image, out, format, parameters, error))
      return true;
    std::fprintf(stderr, "plorvex-render: cannot write the image to standard output (%s)\n", error.c_str());
    return false;
  }
  const auto write = [&](QIODevice& file, std::string& reason) {
    return picture::writePicture(image, file, format, parameters, reason);
  };
  if (picture::writeFileNamed(QByteArray::fromStdString(options.out), write, error)) return true;
  std::fprintf(stderr, "plorvex-render: %s\n", error.c_str());
  return false;
}

struct Painted {
  RenderOutcome outcome;
  QImage image;
};

Painted paint(const PatternEntry& pattern, const cli::Options& options, ColumnPool* pool) {
  // The bar goes to a terminal only, never into a pipe or a file.
  cli::ProgressBar bar(!options.quiet && isatty(STDERR_FILENO) ? stderr : nullptr);
  Painted painted;
  if (options.wholeCanvas) {
    HeadlessHost host(options.fields);
    host.samplingToUse = options.sampling;
    host.pool = pool;
    host.onYield = [&](std::size_t done) { bar.update(done, host.pictureColumns()); };
    painted.outcome = pattern.render(host);
    bar.erase();
    if (!(painted.outcome.end == RenderEnd::Faulted && !painted.outcome.faultInSweep))
      painted.image = toImage(host);
    return painted;
  }
  picture::PictureHost host(options.fields, options.sampling, pool);
  host.onColumn = [&](std::size_t done, std::size_t total) { bar.update(done, total); };
  painted.outcome = pattern.render(host);
  bar.erase();
  painted.image = host.image();
  return painted;
}

picture::PosterRequest posterRequest(const PatternEntry& pattern, const cli::Options& options) {
  picture::PosterRequest request;
  request.pattern = &pattern;
  request.fields = options.fields;
  request.sampling = options.sampling;
  request.threads = options.threads;
  request.version = PLORVEX_VERSION;
  request.bands = options.bands;
  return request;
}

// A PNG of the picture alone, band by band; nothing when the view is one only
// the column sweep paints as the window does (an arithmetic error, counters
// off their pixels): it is then painted whole, as any other picture.
std::optional<int> writePoster(const PatternEntry& pattern, const cli::Options& options) {
  picture::PosterRequest request = posterRequest(pattern, options);
  if (options.listBands) {
    const picture::PosterResult layout = picture::posterLayout(request);
    if (layout.end == picture::PosterEnd::Refused) return usageError(layout.error);
    std::printf("%zu\n", layout.bands);
    return 0;
  }
  cli::ProgressBar bar(!options.quiet && isatty(STDERR_FILENO) ? stderr : nullptr);
  request.onProgress = [&](std::size_t done, std::size_t total) { bar.update(done, total); };
  const QByteArray out =
      QByteArray::fromStdString(options.out == cli::kStandardOutput ? "/dev/stdout" : options.out);
  const picture::PosterResult result = picture::makePoster(request, out);
  bar.erase();
  switch (result.end) {
    case picture::PosterEnd::Written:
      if (result.kept > 0 && !options.quiet)
        std::fprintf(stderr, "plorvex-render: %zu of %zu bands%s kept from the interrupted run\n", result.kept,
                     result.bands, result.edgesKept ? " and the band edges" : "");
      return 0;
    case picture::PosterEnd::Refused:
      std::fprintf(stderr, "plorvex-render: %s: %s\n", pattern.caption, result.error.c_str());
      return kExitUsage;
    case picture::PosterEnd::Failed:
      if (options.out == cli::kStandardOutput)
        std::fprintf(stderr, "plorvex-render: cannot write the image to standard output (%s)\n", result.error.c_str());
      else
        std::fprintf(stderr, "plorvex-render: %s\n", result.error.c_str());
      return kExitUsage;
    case picture::PosterEnd::Faulted:
    case picture::PosterEnd::NotStreamed:
      break;
  }
  if (options.bands) {
    std::fprintf(stderr, "plorvex-render: %s: %s; a view that stops at an arithmetic error makes no parts\n",
                 pattern.caption, result.error.empty() ? "its counters land off their pixels" : result.error.c_str());
    return kExitFault;
  }
  return std::nullopt;
}

// A pyramid of the picture made as a poster; nothing when it is to be
// painted whole, as writePoster.
std::optional<int> writePyramidOfPoster(const PatternEntry& pattern, const cli::Options& options) {
  picture::PosterRequest request = posterRequest(pattern, options);
  cli::ProgressBar bar(!options.quiet && isatty(STDERR_FILENO) ? stderr : nullptr);
  request.onProgress = [&](std::size_t done, std::size_t total) { bar.update(done, total); };
  std::string error;
  const picture::PosterEnd end = cli::writePyramidOfPoster(request, options.pyramid, error);
  bar.erase();
  switch (end) {
    case picture::PosterEnd::Written: return 0;
    case picture::PosterEnd::Refused:
      std::fprintf(stderr, "plorvex-render: %s: %s\n", pattern.caption, error.c_str());
      return kExitUsage;
    case picture::PosterEnd::Failed:
      std::fprintf(stderr, "plorvex-render: %s\n", error.c_str());
      return kExitUsage;
    case picture::PosterEnd::Faulted:
    case picture::PosterEnd::NotStreamed: break;
  }
  return std::nullopt;
}

int joinParts(const cli::Options& options) {
  std::vector<QByteArray> parts;
  for (const std::string& part : options.join) parts.push_back(QByteArray::fromStdString(part));
  std::string error;
  if (picture::joinParts(parts, QByteArray::fromStdString(options.out), error)) return 0;
  std::fprintf(stderr, "plorvex-render: %s\n", error.c_str());
  return kExitUsage;
}

// --pyramid --from PICTURE: the finished picture's own pixels, not rendered again.
bool tilesFinishedPicture(const cli::Options& options) { return !options.pyramid.empty() && !options.from.empty(); }

int run(cli::Options options) {
  if (!options.join.empty()) return joinParts(options);
  std::string error;
  if (!options.pyramid.empty()) {
    // Refused before anything is painted.
    if (error = cli::pyramidFolderProblem(options.pyramid); !error.empty()) return usageError(error);
    if (tilesFinishedPicture(options)) {
      if (cli::writePyramidFromPicture(options.from, options.pyramid, error)) return 0;
      std::fprintf(stderr, "plorvex-render: %s\n", error.c_str());
      return kExitUsage;
    }
  }
  if (!options.from.empty() && !takeSavedParameters(options, error)) {
    std::fprintf(stderr, "plorvex-render: %s\n", error.c_str());
    return kExitUsage;
  }
  const PatternEntry* pattern = findPattern(options.pattern);
  if (!pattern) return usageError("unknown pattern '" + options.pattern + "' (see --list)");
  if (!checkFieldTexts(options, error)) return usageError(error);
  const std::optional<picture::ImageFormat> format =
      options.pyramid.empty() ? outputFormat(options) : picture::ImageFormat::Png;
  if (!format)
    return usageError("cannot tell the format of '" + options.out + "' (use a .png, .jpg, .bmp, .ppm or .webp name)");

  if (options.listBands || options.bands) {
    if (options.wholeCanvas || *format != picture::ImageFormat::Png)
      return usageError(std::string(options.listBands ? "--list-bands" : "--bands") + " makes PNG bands of the picture alone");
  }
  if (!options.wholeCanvas && *format == picture::ImageFormat::Png) {
    if (const std::optional<int> status =
            options.pyramid.empty() ? writePoster(*pattern, options) : writePyramidOfPoster(*pattern, options))
      return *status;
  }
  std::optional<ColumnPool> workers;
  const Painted painted = paint(*pattern, options, options.threads > 1 ? &workers.emplace(options.threads) : nullptr);
  const RenderOutcome& outcome = painted.outcome;
  if (outcome.end == RenderEnd::Faulted) {
    reportFault(*pattern, outcome);
    if (isRefusal(outcome.fault)) return kExitUsage;
    if (!outcome.faultInSweep) return kExitFault;
  }
  if (painted.image.isNull()) {
    // A size that reads as nothing: no picture is no success.
    std::fprintf(stderr, "plorvex-render: --size '%s': the picture has no pixels; nothing written\n",
                 options.fields.size.c_str());
    return outcome.end == RenderEnd::Faulted ? kExitFault : kExitUsage;
  }
  const picture::PictureParameters parameters{PLORVEX_VERSION,          pattern->caption,
                                              options.fields,           options.sampling.density,
                                              options.sampling.smooth,  outcome.end == RenderEnd::Completed};
  // The message names the file and the reason; the usage would only bury it.
  if (!options.pyramid.empty()) {
    if (!cli::writePyramid(painted.image, parameters, options.pyramid, error)) {
      std::fprintf(stderr, "plorvex-render: %s\n", error.c_str());
      return kExitUsage;
    }
  } else if (!writeImage(painted.image, options, *format, parameters)) {
    return kExitUsage;
  }
  return outcome.end == RenderEnd::Faulted ? kExitFault : 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  if (cli::isMovieCommand(args)) {
    const auto movie = cli::parseMovieOptions(args, error);
    return movie ? cli::runMovie(*movie) : usageError(error);
  }
  const auto options = cli::parseOptions(args, error);
  if (!options) return usageError(error);
  if (options->help) {
    std::fputs(cli::helpText().c_str(), stdout);
    return 0;
  }
  if (options->version) {
    std::printf("plorvex-render %s\n", PLORVEX_VERSION);
    return 0;
  }
  if (options->list) return listPatterns();
  return run(*options);
}
