// SPDX-License-Identifier: GPL-3.0-or-later
// Posters: bands against the column sweep, parts joined in any grouping,
// joins refused, a killed poster resumed, the same bytes whatever the bounds
// on a band's memory.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QDir>
#include <QTemporaryDir>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "band_file.h"
#include "catalogue.h"
#include "cli_support.h"
#include "dune.h"
#include "kraken.h"
#include "picture.h"
#include "picture_render.h"
#include "png_filter.h"
#include "poster.h"

namespace plorvex::picture {
namespace {

using testing_cli::readFile;
using testing_cli::runRenderer;
namespace fs = std::filesystem;

struct BandCase {
  const char* pattern;
  int density;
  int smooth;
  std::string texts;  // x, y, size, zoom, brightness
};

FieldTexts textsOf(const BandCase& c) {
  FieldTexts fields;
  if (c.texts.empty()) return fields;
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t end; (end = c.texts.find(' ', start)) != std::string::npos; start = end + 1)
    parts.push_back(c.texts.substr(start, end - start));
  parts.push_back(c.texts.substr(start));
  fields.x = parts[0], fields.y = parts[1], fields.size = parts[2], fields.zoom = parts[3], fields.brightness = parts[4];
  return fields;
}

// Every pattern with at least two bands, the four that carry a value also
// with smoothing and three bands, beside the picture the column sweep paints.
std::vector<BandCase> bandCases() {
  std::vector<BandCase> cases;
  for (const PatternEntry& entry : patternCatalogue()) cases.push_back({entry.caption, 2, 1, ""});
  for (const char* carried : {"dada", "lazy", "nitegale", "pluck"})
    cases.push_back({carried, 5, 2, "-40 17 120 0.7 130"});
  cases.push_back({"atlas", 3, 3, "5 5 200 0.3 150"});
  return cases;
}

// The row filters as the PNG format states them, one byte at a time: the
// reference for the encoder's vector loops.
std::vector<unsigned char> filteredByTheBook(const std::vector<unsigned char>& row, const unsigned char* above) {
  const std::size_t n = row.size();
  std::vector<unsigned char> best;
  std::uint64_t bestSum = ~std::uint64_t{0};
  for (int filter = 0; filter < (above ? 5 : 2); ++filter) {
    std::vector<unsigned char> out{static_cast<unsigned char>(filter)};
    std::uint64_t sum = 0;
    for (std::size_t x = 0; x < n; ++x) {
      const int a = x >= 3 ? row[x - 3] : 0, b = above ? above[x] : 0, c = above && x >= 3 ? above[x - 3] : 0;
      const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
      const int predicted[] = {0, a, b, (a + b) / 2, pa <= pb && pa <= pc ? a : pb <= pc ? b : c};
      out.push_back(static_cast<unsigned char>(row[x] - predicted[filter]));
      sum += out.back() < 128 ? out.back() : 256 - out.back();
    }
    if (sum < bestSum) bestSum = sum, best = out;
  }
  return best;
}

TEST(RowFilters, PickTheFilterAndBytesTheFormatsOwnRuleGives) {
  std::uint32_t seed = 12345;
  const auto next = [&] { return seed = seed * 1664525u + 1013904223u, static_cast<unsigned char>(seed >> 24); };
  // Widths around the vector loops' steps and the pixel; rows that favour
  // each filter, ties among them, and bytes at the wrap-around edges.
  const std::vector<std::function<unsigned char(std::size_t, bool)>> shapes{
      [&](std::size_t, bool) { return next(); },
      [](std::size_t x, bool up) { return static_cast<unsigned char>(x * 7 + (up ? 0 : 3)); },
      [](std::size_t x, bool) { return static_cast<unsigned char>(x % 3 * 85); },
      [](std::size_t, bool up) { return up ? 0 : 255; },
      [](std::size_t x, bool up) { return static_cast<unsigned char>(x % 2 ? 128 : up ? 127 : 129); },
      [&](std::size_t x, bool up) { return static_cast<unsigned char>(x / 3 * 2 + (up ? next() % 3 : 0)); },
  };
  std::vector<unsigned char> scratch;
  for (const std::size_t width : {1, 2, 5, 11, 16, 33, 64, 1000}) {
    for (const auto& shape : shapes) {
      std::vector<unsigned char> above(width * 3), row(width * 3);
      for (std::size_t x = 0; x < row.size(); ++x) above[x] = shape(x, true), row[x] = shape(x, false);
      for (const unsigned char* up : std::array<const unsigned char*, 2>{nullptr, above.data()}) {
        std::vector<unsigned char> out(row.size() + 1);
        filterRow(row.data(), up, row.size(), out.data(), scratch);
        ASSERT_EQ(out, filteredByTheBook(row, up)) << "width " << width << ", shape " << (&shape - shapes.data())
                                                   << (up ? ", with a row above" : ", first row");
      }
    }
  }
}

TEST(PosterBands, EqualTheColumnSweepPixelForPixelAndChunkForChunk) {
  QTemporaryDir dir;
  for (const BandCase& c : bandCases()) {
    SCOPED_TRACE(std::string(c.pattern) + " density " + std::to_string(c.density) + " smooth " +
                 std::to_string(c.smooth));
    const PatternEntry* pattern = findPattern(c.pattern);
    ASSERT_NE(pattern, nullptr);
    PictureHost sweep(textsOf(c), {c.density, c.smooth});
    ASSERT_EQ(pattern->render(sweep).end, RenderEnd::Completed);

    PosterRequest request;
    request.pattern = pattern;
    request.fields = textsOf(c);
    request.sampling = {c.density, c.smooth};
    request.threads = 2;
    request.version = "1.0";
    const QString file = dir.filePath(QString("%1.png").arg(c.pattern));
    const PosterResult result = makePoster(request, QFile::encodeName(file));
    ASSERT_EQ(result.end, PosterEnd::Written) << result.error;
    EXPECT_GE(result.bands, 2u);

    const QImage banded(file);
    ASSERT_FALSE(banded.isNull());
    ASSERT_EQ(banded.size(), sweep.image().size());
    const QImage expected = sweep.image().convertToFormat(QImage::Format_RGB32);
    const QImage got = banded.convertToFormat(QImage::Format_RGB32);
    std::size_t differing = 0;
    for (int y = 0; y < got.height(); ++y)
      for (int x = 0; x < got.width(); ++x) differing += got.pixel(x, y) != expected.pixel(x, y);
    EXPECT_EQ(differing, 0u);

    const ReadResult chunk = readParameters(file);
    ASSERT_TRUE(chunk.parameters) << chunk.error;
    const PictureParameters wanted{"1.0", pattern->caption, textsOf(c), c.density, c.smooth, true};
    EXPECT_EQ(*chunk.parameters, wanted);
    // The same picture through the writer of a painted image: the same bytes.
    std::string error;
    ASSERT_TRUE(writePicture(sweep.image(), dir.filePath("painted.png"), ImageFormat::Png, wanted, error)) << error;
    EXPECT_EQ(readFile(dir.filePath("painted.png").toStdString()), readFile(file.toStdString()));
  }
}

// A strip of a view far wider than tall: its first plain rows only, at a high
// density, as bands.
template <class P>
std::unique_ptr<BandSource> stripOf(const FieldTexts& texts, int density, std::size_t plainRows, std::size_t bandRows) {
  PictureHost host(texts, {density, 1});
  Intake<typename P::Params> intake;
  SweepPlan plan;
  EXPECT_EQ(takeIntake<P>(host, intake), Fault::None);
  EXPECT_EQ(planSweep(intake.sweep, {kMaxPictureSide, kMaxPictureSide, kMaxPosterSide * kMaxPosterSide}, plan,
                      {density, 1}),
            Fault::None);
  plan.rows.resize(plainRows);
  plan.ys.resize(plainRows);
  return std::make_unique<PatternBands<P>>(intake.params, plan, bandRows);
}

// Every band's piece of a run, in order, and how many went to a scratch file.
struct Pieces {
  std::string bytes;
  std::size_t spilled = 0;
};

Pieces piecesOf(const BandSource& source, const BandBounds& bounds, const std::string& scratch) {
  const BandRun run{source, 0, source.layout().bands() - 1, 2, {}, {}, bounds, scratch};
  Pieces pieces;
  const BandsEnd end = runBands(run, [&](const BandPiece& piece) {
    pieces.bytes += std::to_string(piece.band) + " " + std::to_string(piece.rawBytes) + " " +
                    std::to_string(piece.adler) + " " + std::to_string(piece.deflatedBytes) + ":";
    pieces.spilled += piece.spilled != nullptr;
    return piece.copyTo([&](const char* data, std::size_t length) { return pieces.bytes.append(data, length), true; });
  });
  EXPECT_EQ(end.fault, Fault::None);
  EXPECT_EQ(end.problem, "");
  EXPECT_FALSE(end.stopped);
  return pieces;
}

// At a size the bands can be rendered whole, the file is the same whatever
// the bounds (below); here a band of a strip too wide for that, of a pattern
// that carries a value across the bands' edges, is the same at the default
// bounds as one row at a time with every piece in a scratch file.
TEST(PosterBounds, AStripOverAHundredThousandPixelsWideIsTheSameOneRowAtATime) {
  QTemporaryDir dir;
  // 1024 plain columns at density 98: 100,352 output columns, 98 rows.
  const std::unique_ptr<BandSource> source = stripOf<Dada>(textsOf({"", 0, 0, "-40 17 1024 0.7 130"}), 98, 1, 40);
  const BandLayout& layout = source->layout();
  ASSERT_GE(layout.width, 100000u);
  ASSERT_EQ(layout.bands(), 3u);
  ASSERT_EQ(source->runChain(2, dir.path().toStdString(), {}, {}), Fault::None);
  ASSERT_TRUE(source->chainReady()) << source->chainProblem();
  const Pieces whole = piecesOf(*source, {}, dir.path().toStdString());
  const Pieces rows = piecesOf(*source, {1, 1}, dir.path().toStdString());
  EXPECT_TRUE(rows.bytes == whole.bytes);
  EXPECT_EQ(whole.spilled, 0u);
  EXPECT_EQ(rows.spilled, layout.bands());
  // Nothing of the scratch files is left behind.
  EXPECT_TRUE(QDir(dir.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
}

// Where no scratch file can be made (neither beside the output nor in the
// system's temporary folder), a band that needs one is not handed over and
// the run says why; so does the chain pass that keeps its edges in one.
TEST(PosterBounds, AScratchFileThatCannotBeMadeIsSaidAndNothingIsHandedOver) {
  const QByteArray oldTemporary = qgetenv("TMPDIR");
  qputenv("TMPDIR", "/nonexistent-plorvex-folder");
  const std::string nowhere = "/nonexistent-plorvex-folder/too";
  QImage image(64, 300, QImage::Format_RGB32);
  image.fill(Qt::darkCyan);
  const std::unique_ptr<BandSource> painted = imageBands(image);
  const BandRun run{*painted, 0, painted->layout().bands() - 1, 2, {}, {}, {1, 1}, nowhere};
  std::size_t taken = 0;
  const BandsEnd end = runBands(run, [&](const BandPiece&) { return ++taken, true; });
  EXPECT_EQ(taken, 0u);
  EXPECT_NE(end.problem.find("no temporary file can be made"), std::string::npos) << end.problem;

  const std::unique_ptr<BandSource> carried = stripOf<Dada>(textsOf({"", 0, 0, "1 1 20 1 150"}), 2, 20, 16);
  EXPECT_EQ(carried->runChain(1, nowhere, {}, {}), Fault::None);
  EXPECT_FALSE(carried->chainReady());
  EXPECT_NE(carried->chainProblem().find("no temporary file can be made"), std::string::npos)
      << carried->chainProblem();
  if (oldTemporary.isNull())
    qunsetenv("TMPDIR");
  else
    qputenv("TMPDIR", oldTemporary);
}

// Through the whole poster's hidden part and join, and a part for --join.
// The defaults hold these bands whole (the column sweep's bytes: above).
TEST(PosterBounds, PostersAndPartsAreTheSameFilesWhateverTheBounds) {
  QTemporaryDir dir;
  const std::vector<BandCase> cases = {{"lazy", 4, 1, ""}, {"atlas", 4, 2, ""}};
  // Bounds on a band's memory: the defaults; one row at a time, every piece in
  // a scratch file; chunks that do not divide a band, a small piece held.
  struct Bounds {
    const char* name;
    std::size_t chunkRows;  // 0: the default chunk
    std::size_t heldBytes;
  };
  const std::vector<Bounds> boundsCases = {
      {"default", 0, BandBounds{}.heldBytes}, {"one row, all spilled", 1, 1}, {"7 rows, 64 KiB held", 7, 1 << 16}};
  for (const BandCase& c : cases) {
    for (const std::optional<std::pair<std::size_t, std::size_t>>& bands :
         {std::optional<std::pair<std::size_t, std::size_t>>{}, std::optional{std::pair<std::size_t, std::size_t>{1, 2}}}) {
      SCOPED_TRACE(std::string(c.pattern) + (bands ? " part 1-2" : " poster"));
      PosterRequest request;
      request.pattern = findPattern(c.pattern);
      request.fields = textsOf(c);
      request.sampling = {c.density, c.smooth};
      request.threads = 2;
      request.version = "1.0";
      request.bands = bands;
      std::string first;
      for (const Bounds& bounds : boundsCases) {
        SCOPED_TRACE(bounds.name);
        request.bounds = {};
        if (bounds.chunkRows != 0) request.bounds.chunkBytes = bounds.chunkRows * 3 * posterLayout(request).width;
        request.bounds.heldBytes = bounds.heldBytes;
        const QString file = dir.filePath("poster");
        const PosterResult result = makePoster(request, QFile::encodeName(file));
        ASSERT_EQ(result.end, PosterEnd::Written) << result.error;
        const std::string bytes = readFile(file.toStdString());
        if (first.empty()) first = bytes;
        ASSERT_FALSE(bytes.empty());
        EXPECT_TRUE(bytes == first);
        QFile::remove(file);
      }
      EXPECT_TRUE(QDir(dir.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
    }
  }
}

class PosterParts : public ::testing::Test {
 protected:
  // Lazy carries a value; density 6 makes 900 rows, 4 bands.
  const std::string view_ = "--pattern lazy --density 6 --quiet";
  QTemporaryDir dir_;
  // Names are bytes, which need not be UTF-8 (and are quoted for the shell).
  std::string file(const std::string& name) const { return QFile::encodeName(dir_.path()).toStdString() + "/" + name; }

  std::string makePart(const std::string& bands, unsigned threads, const std::string& extra = "",
                       const std::string& stem = "part") const {
    const std::string name =
        file(stem + "-" + bands + "-" + std::to_string(threads) + (extra.empty() ? "" : "-other") + ".part");
    const testing_cli::CliRun run = runRenderer(view_ + extra + " --bands " + bands + " --threads " +
                                                std::to_string(threads) + " -o '" + name + "'");
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    return name;
  }
};

TEST_F(PosterParts, JoinedInAnyGroupingAreTheBytesOfOneRun) {
  ASSERT_EQ(runRenderer(view_ + " --list-bands").output, "4\n");
  ASSERT_EQ(runRenderer(view_ + " --threads 2 -o " + file("whole.png")).exitCode, 0);
  const std::string whole = readFile(file("whole.png"));
  ASSERT_FALSE(whole.empty());
  struct Grouping {
    std::vector<std::string> bands;
    std::string stem, joined;  // of the parts' names, the joined poster's name
  };
  const std::vector<Grouping> groupings = {
      {{"0-3"}, "part", "joined.png"},
      {{"0-0", "1-3"}, "part", "joined.png"},
      {{"0-1", "2-3"}, "part", "joined.png"},
      {{"0-2", "3-3"}, "part", "joined.png"},
      {{"0-0", "1-1", "2-2", "3-3"}, "part", "joined.png"},
      // Names are bytes, UTF-8 or not (a poster under such a name: PosterResume).
      {{"0-0", "1-2", "3-3"}, "p\xfe\x80rt", "j\xffined.png"},
  };
  unsigned threads = 1;
  for (const Grouping& grouping : groupings) {
    std::string parts;
    for (const std::string& bands : grouping.bands) {
      parts += " '" + makePart(bands, threads, "", grouping.stem) + "'";
      threads = threads % 3 + 1;
    }
    SCOPED_TRACE(parts);
    const std::string joined = file(grouping.joined);
    const testing_cli::CliRun join = runRenderer("--join" + parts + " -o '" + joined + "'");
    ASSERT_EQ(join.exitCode, 0) << join.errors;
    EXPECT_TRUE(readFile(joined) == whole);
    fs::remove(joined);
  }
  // Nothing was made under a name changed on its way through text.
  for (const auto& entry : fs::directory_iterator(dir_.path().toStdString()))
    EXPECT_EQ(entry.path().filename().string().find("\xEF\xBF\xBD"), std::string::npos) << entry.path();
}

TEST_F(PosterParts, JoinRefusesPartsThatDoNotMakeThePictureOnce) {
  const std::string first = makePart("0-1", 2), second = makePart("2-2", 1), third = makePart("3-3", 3);
  const std::string overlapping = makePart("1-2", 2);
  const std::string foreign = makePart("2-2", 2, " --brightness 151");
  const std::string cut = file("cut.part");
  {
    const std::string bytes = readFile(second);
    std::FILE* out = std::fopen(cut.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size() - 9, out);
    std::fclose(out);
  }
  struct Refusal {
    std::vector<std::string> parts;
    std::string message;
  };
  const std::vector<Refusal> refusals = {
      {{first, third}, "bands 2-2 are missing"},
      {{first, second}, "bands 3-3 are missing"},
      {{second, third}, "bands 0-1 are missing"},
      {{first, second, second, third}, "some of them already given"},
      {{first, overlapping, third}, "some of them already given"},
      {{second, first, third}, "out of order"},
      {{first, third, second}, "out of order"},
      {{first, foreign, third}, "is a part of another picture"},
      {{first, cut, third}, "is not whole"},
      {{first, file("absent.part"), third}, "No such file"},
      {{first, file("whole.png"), third}, "No such file"},
  };
  for (const Refusal& refusal : refusals) {
    std::string parts;
    for (const std::string& part : refusal.parts) parts += " " + part;
    SCOPED_TRACE(parts);
    const testing_cli::CliRun join = runRenderer("--join" + parts + " -o " + file("joined.png"));
    EXPECT_EQ(join.exitCode, 2);
    EXPECT_NE(join.errors.find(refusal.message), std::string::npos) << join.errors;
    EXPECT_FALSE(fs::exists(file("joined.png")));
  }
  // A picture is not a part.
  ASSERT_EQ(runRenderer(view_ + " -o " + file("picture.png")).exitCode, 0);
  const testing_cli::CliRun notAPart = runRenderer("--join " + file("picture.png") + " -o " + file("joined.png"));
  EXPECT_EQ(notAPart.exitCode, 2);
  EXPECT_NE(notAPart.errors.find("not a part file"), std::string::npos) << notAPart.errors;
}

// Names are the system's bytes: one that is not UTF-8 keeps its hidden part
// beside it under the same bytes, as a plain one does.
TEST(PosterResume, AKilledPosterKeepsItsWholeBandsAndLeavesNothingUnderItsName) {
  QTemporaryDir dir;
  const std::string view = "--pattern nitegale --density 12 --quiet";
  const std::string plain = dir.filePath("plain.png").toStdString();
  ASSERT_EQ(runRenderer(view + " -o " + plain).exitCode, 0);
  // The first pass's band edges are kept too, unless their file is cut.
  for (const auto& [name, edgesCut] : {std::pair<std::string, bool>{"poster.png", false}, {"poster\xff.png", true}}) {
    SCOPED_TRACE(name);
    const std::string target = QFile::encodeName(dir.path()).toStdString() + "/" + name;
    const QByteArray hidden = resumeFileOf(QByteArray::fromStdString(target));
    const std::string edges = edgesFileOf(QByteArray::fromStdString(target)).toStdString();
    ASSERT_EQ(hidden.toStdString(), QFile::encodeName(dir.path()).toStdString() + "/." + name + ".bands");
    ASSERT_EQ(edges, QFile::encodeName(dir.path()).toStdString() + "/." + name + ".edges");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::execl(PLORVEX_RENDER_CLI, PLORVEX_RENDER_CLI, "--pattern", "nitegale", "--density", "12", "--quiet",
              "--threads", "1", "-o", target.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    // Killed once three bands are in the hidden part.
    std::size_t records = 0;
    for (int tries = 0; tries < 6000 && records < 3; ++tries) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      std::string ignored;
      if (const auto part = readPart(hidden, false, ignored)) records = part->records.size();
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ASSERT_GE(records, 3u);
    EXPECT_FALSE(fs::exists(target));
    // A record cut short (as a kill during its write leaves it) is not a band.
    std::string ignored;
    auto part = readPart(hidden, true, ignored);
    ASSERT_TRUE(part) << ignored;
    const std::size_t whole = part->records.size();
    fs::resize_file(hidden.toStdString(), part->wholeBytes - 5);
    ASSERT_TRUE(fs::exists(edges));
    if (edgesCut) fs::resize_file(edges, fs::file_size(edges) - 1);
    const testing_cli::CliRun again = runRenderer("--pattern nitegale --density 12 -o '" + target + "'");
    ASSERT_EQ(again.exitCode, 0) << again.errors;
    const std::string kept = std::to_string(whole - 1) + " of 8 bands" + (edgesCut ? "" : " and the band edges") + " kept";
    EXPECT_NE(again.errors.find(kept), std::string::npos) << again.errors;
    EXPECT_TRUE(readFile(target) == readFile(plain));
    EXPECT_FALSE(fs::exists(hidden.toStdString()));
    EXPECT_FALSE(fs::exists(edges));
  }
  // Nothing was made under a name changed on its way through text.
  for (const auto& entry : fs::directory_iterator(dir.path().toStdString()))
    EXPECT_EQ(entry.path().filename().string().find("\xEF\xBF\xBD"), std::string::npos) << entry.path();
}

}  // namespace
}  // namespace plorvex::picture
