// SPDX-License-Identifier: GPL-3.0-or-later
// plorvex-render: paints one pattern without a window and writes it to a file
// or to standard output.

#include <QFile>
#include <QImage>
#include <QString>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "catalogue.h"
#include "column_pool.h"
#include "headless.h"
#include "options.h"
#include "val.h"

namespace {

using namespace plorvex;

constexpr int kExitUsage = 2;
constexpr int kExitFault = 3;

QImage toImage(const HeadlessHost& host, int left, int top, int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < width; ++x) {
      const Colour c = host.pixel(left + x, top + y);
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
  std::fprintf(stderr, "plorvex-render: %s: %s", pattern.caption, faultMessage(outcome.fault));
  if (outcome.faultInSweep)
    std::fprintf(stderr, " at pixel (%zu, %zu) of the picture (i = %s, j = %s)",
                 outcome.faultColumn, outcome.faultRow, numberText(outcome.faultI).c_str(),
                 numberText(outcome.faultJ).c_str());
  std::fprintf(stderr, "\n");
}

bool writeToStandardOutput(const QImage& image, const char* format) {
  QFile out;
  if (!out.open(stdout, QIODevice::WriteOnly) || !image.save(&out, format) || !out.flush()) {
    std::fprintf(stderr, "plorvex-render: cannot write the image to standard output\n");
    return false;
  }
  return true;
}

bool isRefusal(Fault fault) { return fault == Fault::PictureTooLarge || fault == Fault::CounterStalled; }

int run(const cli::Options& options) {
  const PatternEntry* pattern = findPattern(options.pattern);
  if (!pattern) {
    std::fprintf(stderr, "plorvex-render: unknown pattern '%s' (see --list)\n%s",
                 options.pattern.c_str(), cli::kUsage);
    return kExitUsage;
  }
  HeadlessHost host(options.fields);
  std::optional<ColumnPool> workers;
  if (options.threads > 1) host.pool = &workers.emplace(options.threads);
  const RenderOutcome outcome = pattern->render(host);
  if (outcome.end == RenderEnd::Faulted) {
    reportFault(*pattern, outcome);
    if (isRefusal(outcome.fault)) return kExitUsage;
    if (!outcome.faultInSweep) return kExitFault;
  }
  const int columns = static_cast<int>(host.pictureColumns());
  const int rows = static_cast<int>(host.pictureRows());
  if (!options.wholeCanvas && (columns == 0 || rows == 0)) {
    std::fprintf(stderr, "plorvex-render: the picture has no pixels; nothing written\n");
    return outcome.end == RenderEnd::Faulted ? kExitFault : 0;
  }
  const QImage image = options.wholeCanvas
                           ? toImage(host, 0, 0, host.width(), host.height())
                           : toImage(host, static_cast<int>(kPictureLeft) + 1,
                                     static_cast<int>(kPictureTop) + 1, columns, rows);
  if (options.out == cli::kStandardOutput) {
    if (!writeToStandardOutput(image, options.format.empty() ? "png" : options.format.c_str()))
      return kExitUsage;
  } else if (!image.save(QString::fromStdString(options.out),
                         options.format.empty() ? nullptr : options.format.c_str())) {
    std::fprintf(stderr, "plorvex-render: cannot write '%s' (use a .png, .ppm or .bmp name in a "
                         "writable folder)\n%s",
                 options.out.c_str(), cli::kUsage);
    return kExitUsage;
  }
  return outcome.end == RenderEnd::Faulted ? kExitFault : 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  const auto options = cli::parseOptions(args, error);
  if (!options) {
    std::fprintf(stderr, "plorvex-render: %s\n%s", error.c_str(), cli::kUsage);
    return kExitUsage;
  }
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
