// SPDX-License-Identifier: GPL-3.0-or-later
// plorvex-render --pyramid: the Deep Zoom files, their pixels level by level,
// the viewer page beside them, and the refusals.

#include <gtest/gtest.h>

#include <QColor>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QString>

#include <unistd.h>

#include <array>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli_support.h"

namespace {

namespace fs = std::filesystem;

using plorvex::testing_cli::readFile;
using plorvex::testing_cli::runRenderer;

constexpr int kTile = 256;
constexpr int kOverlap = 1;

int ceilDiv(int a, int b) { return (a + b - 1) / b; }

int finestLevel(int width, int height) {
  int level = 0;
  while ((1 << level) < std::max(width, height)) ++level;
  return level;
}

// One level put together from its tiles; every tile must have the size the
// layout gives it and agree with its neighbours where they overlap.
QImage assembleLevel(const fs::path& folder, int width, int height, std::string& fault) {
  QImage level(width, height, QImage::Format_RGB32);
  std::vector<bool> written(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  for (int row = 0; row < ceilDiv(height, kTile); ++row)
    for (int col = 0; col < ceilDiv(width, kTile); ++col) {
      const fs::path name = folder / (std::to_string(col) + "_" + std::to_string(row) + ".png");
      const QImage tile(QString::fromStdString(name.string()));
      const int x0 = col * kTile - (col > 0 ? kOverlap : 0), y0 = row * kTile - (row > 0 ? kOverlap : 0);
      const int x1 = std::min(width, (col + 1) * kTile + kOverlap), y1 = std::min(height, (row + 1) * kTile + kOverlap);
      if (tile.size() != QSize(x1 - x0, y1 - y0)) {
        fault = name.string() + " is missing or has the wrong size";
        return {};
      }
      for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
          const QRgb pixel = tile.pixel(x - x0, y - y0);
          const std::size_t at = static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x);
          if (written[at] && level.pixel(x, y) != pixel) {
            fault = name.string() + " disagrees with a neighbour where they overlap";
            return {};
          }
          level.setPixel(x, y, pixel);
          written[at] = true;
        }
    }
  return level;
}

// The 2 x 2 mean of the level below, halves rounded up; an odd last row or
// column stands for its missing neighbour.
QImage halved(const QImage& finer) {
  QImage coarser(ceilDiv(finer.width(), 2), ceilDiv(finer.height(), 2), QImage::Format_RGB32);
  const auto at = [&](int x, int y) { return finer.pixel(std::min(x, finer.width() - 1), std::min(y, finer.height() - 1)); };
  for (int y = 0; y < coarser.height(); ++y)
    for (int x = 0; x < coarser.width(); ++x) {
      const std::array<QRgb, 4> four{at(2 * x, 2 * y), at(2 * x + 1, 2 * y), at(2 * x, 2 * y + 1), at(2 * x + 1, 2 * y + 1)};
      int r = 2, g = 2, b = 2;
      for (const QRgb p : four) r += qRed(p), g += qGreen(p), b += qBlue(p);
      coarser.setPixel(x, y, qRgb(r / 4, g / 4, b / 4));
    }
  return coarser;
}

std::size_t filesUnder(const fs::path& folder) {
  std::size_t count = 0;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) count += entry.is_regular_file();
  return count;
}

class PyramidTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("plorvex_pyramid_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

// Every level of the pyramid against the picture, level by level down to 1 x 1.
void expectPyramidOf(const QImage& picture, const fs::path& pyramid) {
  const std::string dzi = readFile(pyramid / "picture.dzi");
  for (const std::string& attribute : std::vector<std::string>{"Format=\"png\"", "Overlap=\"1\"", "TileSize=\"256\"",
                                      "Width=\"" + std::to_string(picture.width()) + "\"",
                                      "Height=\"" + std::to_string(picture.height()) + "\""})
    EXPECT_NE(dzi.find(attribute), std::string::npos) << attribute << " in " << dzi;
  const int finest = finestLevel(picture.width(), picture.height());
  QImage expected = picture.convertToFormat(QImage::Format_RGB32);
  std::size_t tiles = 0;
  for (int level = finest; level >= 0; --level) {
    SCOPED_TRACE("level " + std::to_string(level));
    std::string fault;
    const QImage got = assembleLevel(pyramid / "picture_files" / std::to_string(level), expected.width(),
                                     expected.height(), fault);
    ASSERT_TRUE(fault.empty()) << fault;
    ASSERT_EQ(got, expected) << (level == finest ? "the finest level is not the picture"
                                                 : "not the 2 x 2 mean of the level below");
    tiles += static_cast<std::size_t>(ceilDiv(got.width(), kTile) * ceilDiv(got.height(), kTile));
    if (level == 0) {
      EXPECT_EQ(got.size(), QSize(1, 1));
    }
    expected = halved(got);
  }
  EXPECT_EQ(filesUnder(pyramid / "picture_files"), tiles) << "files beyond the levels' tiles";
  for (const char* beside : {"index.html", "leaflet.js", "leaflet.css"})
    EXPECT_GT(fs::file_size(pyramid / beside), 0u) << beside;
}

TEST_F(PyramidTest, FinestLevelIsThePictureAndEachCoarserOneTheMeanOfTheOneBelow) {
  const struct {
    const char* what;
    std::string view;
    bool emptyFolderFirst;
    const char* shown;  // in the page, the texts as text, never as markup
  } cases[] = {
      {"square, 3 x 3 tiles", "--pattern atlas --density 4", false, "<b>atlas</b>"},
      {"wider than high, an empty folder given", "--pattern ripple --size 768 --x '1&<b>'", true,
       "x 1&amp;&lt;b&gt; &nbsp;"},
      {"odd sizes at every level", "--pattern tracer --size 211 --zoom 0.5 --density 3", false,
       "size 211 &nbsp; zoom 0.5"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path poster = dir_ / "poster.png", fromView = dir_ / "view", fromPoster = dir_ / "poster";
    fs::remove_all(fromView);
    fs::remove_all(fromPoster);
    if (c.emptyFolderFirst) fs::create_directory(fromView);
    ASSERT_EQ(runRenderer(c.view + " --quiet -o " + poster.string()).exitCode, 0);
    const auto run = runRenderer(c.view + " --quiet --pyramid " + fromView.string());
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    const QImage picture(QString::fromStdString(poster.string()));
    ASSERT_FALSE(picture.isNull());
    expectPyramidOf(picture, fromView);

    // The finished poster tiled as it is gives the same files.
    const auto again = runRenderer("--from " + poster.string() + " --quiet --pyramid " + fromPoster.string());
    ASSERT_EQ(again.exitCode, 0) << again.errors;
    for (const auto& entry : fs::recursive_directory_iterator(fromView)) {
      const fs::path relative = fs::relative(entry.path(), fromView);
      if (entry.is_regular_file()) {
        EXPECT_EQ(readFile(fromPoster / relative), readFile(entry.path())) << relative;
      }
    }
    EXPECT_EQ(filesUnder(fromPoster), filesUnder(fromView));
    const std::string page = readFile(fromView / "index.html");
    EXPECT_NE(page.find(c.shown), std::string::npos) << page;
    EXPECT_EQ(page.find("1&<b>"), std::string::npos);
    EXPECT_EQ(page.find("http"), std::string::npos) << "the page fetches nothing from the network";
  }
}

TEST_F(PyramidTest, RefusesBadInputSayingWhatIsWrongAndMakesNothing) {
  const fs::path poster = dir_ / "poster.png", text = dir_ / "notes.txt", full = dir_ / "full";
  ASSERT_EQ(runRenderer("--pattern atlas --quiet -o " + poster.string()).exitCode, 0);
  { std::ofstream(text) << "not a picture\n"; }
  fs::create_directory(full);
  { std::ofstream(full / "kept") << "kept\n"; }
  fs::create_directory_symlink(full, dir_ / "link");
  const std::string out = (dir_ / "out").string();
  const struct {
    std::string arguments;
    const char* says;
  } cases[] = {
      {"--pattern atlas --pyramid " + out + " -o " + poster.string(), "leave out -o"},
      {"--pattern atlas --pyramid " + out + " --format png", "leave out --format"},
      {"--from " + poster.string() + " --density 2 --pyramid " + out, "tiles that picture as it is"},
      {"--from " + poster.string() + " --pattern dada --pyramid " + out, "tiles that picture as it is"},
      {"--pattern atlas --pyramid " + poster.string(), "exists and is not a folder"},
      {"--pattern atlas --pyramid " + full.string(), "not empty"},
      {"--pattern atlas --pyramid " + (dir_ / "link").string(), "is a link"},
      {"--pattern atlas --pyramid " + (dir_ / "absent" / "out").string(), "does not exist"},
      {"--from " + text.string() + " --pyramid " + out, "not a PNG file"},
      {"--pattern atlas --quiet --pyramid", "--pyramid needs a value"},
  };
  const auto entries = [&] {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  };
  const std::vector<std::string> before = entries();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    const auto run = runRenderer("--quiet " + c.arguments);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.errors.find(c.says), std::string::npos) << run.errors;
    EXPECT_EQ(entries(), before) << "something was made";
    EXPECT_EQ(readFile(full / "kept"), "kept\n");
  }
}

// Folder and picture names are the system's bytes: names that are not UTF-8
// are made and read as given, from a view and from a finished picture, a name
// is never read as options, and a message shows such a name readably.
TEST_F(PyramidTest, NamesThatAreNotUtf8AreKeptAsBytes) {
  const std::string view = "--pattern atlas --size 40 --quiet";
  const fs::path plain = dir_ / "plain", picture = dir_ / "k\xfe.png";
  ASSERT_EQ(runRenderer(view + " --pyramid " + plain.string()).exitCode, 0);
  ASSERT_EQ(runRenderer(view + " -o '" + picture.string() + "'").exitCode, 0);
  fs::create_directory(dir_ / "d\xfc");
  // libvips would read "[1]" as its options and load "v" instead.
  fs::copy_file(picture, dir_ / "v[1]");
  ASSERT_EQ(runRenderer(view + " --zoom 0.5 --format png -o " + (dir_ / "v").string()).exitCode, 0);
  const struct {
    const char* what;
    std::string source;
    std::string folder;  // as given
    fs::path made;
  } cases[] = {
      {"from a view", view, (dir_ / "p\xff").string(), dir_ / "p\xff"},
      {"from a view, the name ending in a slash", view, (dir_ / "s\xff/").string(), dir_ / "s\xff"},
      {"from a view, into a folder so named", view, (dir_ / "d\xfc" / "x").string(), dir_ / "d\xfc" / "x"},
      {"from a picture so named", "--quiet --from '" + picture.string() + "'", (dir_ / "q\xfd").string(),
       dir_ / "q\xfd"},
      {"from a picture whose name ends in brackets", "--quiet --from '" + (dir_ / "v[1]").string() + "'",
       (dir_ / "r").string(), dir_ / "r"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto run = runRenderer(c.source + " --pyramid '" + c.folder + "'");
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    ASSERT_TRUE(fs::is_directory(c.made));
    for (const auto& entry : fs::recursive_directory_iterator(plain))
      if (entry.is_regular_file()) {
        const fs::path relative = fs::relative(entry.path(), plain);
        EXPECT_EQ(readFile(c.made / relative), readFile(entry.path())) << relative;
      }
    EXPECT_EQ(filesUnder(c.made), filesUnder(plain));
  }
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"d\xfc", "k\xfe.png", "plain", "p\xff", "q\xfd", "r", "s\xff", "v", "v[1]"}))
      << "a name changed, or a work folder was left";
  const auto refused = runRenderer(view + " --pyramid '" + picture.string() + "'");
  EXPECT_EQ(refused.exitCode, 2);
  EXPECT_NE(refused.errors.find("k\\xFE.png: exists and is not a folder"), std::string::npos) << refused.errors;
}

}  // namespace
