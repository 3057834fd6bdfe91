// SPDX-License-Identifier: GPL-3.0-or-later
// The headless renderer as a user runs it: files written, exit codes, messages.

#include <gtest/gtest.h>

#include <QImage>
#include <QImageReader>
#include <QJsonDocument>
#include <QJsonObject>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>

#include "cli_support.h"
#include "sampled_cases.h"
#include "file_nodes.h"

namespace {

namespace fs = std::filesystem;

using plorvex::testing_cli::CliRun;
using plorvex::testing_cli::readFile;
using plorvex::testing_cli::runRenderer;

QImage decode(const std::string& bytes) {
  return QImage::fromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<int>(bytes.size()));
}

bool startsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

class CliTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("plorvex_cli_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string file(const char* name) const { return (dir_ / name).string(); }
  fs::path dir_;
};

TEST_F(CliTest, WritesThePictureRectangleInTheFormatOfTheSuffix) {
  for (const char* name : {"atlas.png", "atlas.ppm", "atlas.bmp"}) {
    ASSERT_EQ(runRenderer("--pattern atlas --out " + file(name)).exitCode, 0) << name;
    const QImage image(QString::fromStdString(file(name)));
    ASSERT_EQ(image.size(), QSize(150, 150)) << name;
    EXPECT_EQ(image.pixel(0, 0), qRgb(26, 75, 145)) << name;
  }
}

TEST_F(CliTest, TakesFieldTextsAndPatternIndexes) {
  ASSERT_EQ(runRenderer("--pattern 1 --x ' 1' --y 1abc --size 768 --zoom 0 --brightness 150 --out " +
                        file("b.png")).exitCode, 0);
  const QImage image(QString::fromStdString(file("b.png")));
  EXPECT_EQ(image.size(), QSize(1024, 768));
  EXPECT_EQ(image.pixel(517, 300), qRgb(233, 166, 119));
}

TEST_F(CliTest, CanvasModeWritesTheWholeCanvas) {
  ASSERT_EQ(runRenderer("--pattern atlas --canvas --out " + file("c.png")).exitCode, 0);
  const QImage image(QString::fromStdString(file("c.png")));
  EXPECT_GE(image.width(), 1272);
  EXPECT_GE(image.height(), 1016);
  EXPECT_EQ(image.pixel(161, 51), qRgb(26, 75, 145));
  EXPECT_EQ(image.pixel(160, 51), qRgb(64, 64, 64));
}

TEST_F(CliTest, BadArgumentsExitWithTwoAndTheUsage) {
  for (const std::string& arguments :
       {std::string("--pattern nosuch --out ") + file("x.png"), std::string("--pattern 19 --out ") + file("x.png"),
        std::string("--pattern atlas"), std::string("--out ") + file("x.png"),
        std::string("--size"),
        std::string("--pattern atlas --bogus 1 --out ") + file("x.png"),
        std::string("--pattern atlas --format gif --out ") + file("x.png"),
        std::string("--pattern atlas --format PNG -o -"), std::string("--pattern atlas -o"),
        std::string("--pattern atlas --out ") + file("x.png") + " --format", std::string("-"),
        std::string("--pattern atlas --threads 0 -o ") + file("x.png"),
        std::string("--pattern atlas --threads two -o ") + file("x.png"),
        std::string("--pattern atlas --threads 3x -o ") + file("x.png"),
        std::string("--pattern atlas --density 0 -o ") + file("x.png"),
        std::string("--pattern atlas --density 1000001 -o ") + file("x.png"),
        std::string("--pattern atlas --density 1.5 -o ") + file("x.png"),
        std::string("--pattern atlas --smooth 9 -o ") + file("x.png"),
        std::string("--pattern atlas --smooth +2 -o ") + file("x.png"),
        std::string("--pattern atlas --smooth -o ") + file("x.png"),
        std::string("--pattern atlas --zoom ") + std::string(257, '1') + " -o " + file("x.png"),
        std::string("--pattern atlas --x \"$(printf '\\377')\" -o ") + file("x.png")}) {
    const CliRun run = runRenderer(arguments);
    EXPECT_EQ(run.exitCode, 2) << arguments;
    EXPECT_NE(run.errors.find("usage:"), std::string::npos) << arguments;
    EXPECT_EQ(run.output, "") << arguments;
  }
  EXPECT_FALSE(fs::exists(file("x.png")));
  // The messages name what is wrong.
  EXPECT_NE(runRenderer("--pattern atlas --smooth 9 -o x.png").errors.find("--smooth takes a whole number from 1 to 8"),
            std::string::npos);
  EXPECT_NE(runRenderer("--pattern atlas --zoom " + std::string(257, '1') + " -o x.png")
                .errors.find("--zoom: the text is longer than 256 characters"),
            std::string::npos);
}

TEST_F(CliTest, AnyNumberOfThreadsPaintsTheSamePicture) {
  // Dada carries a value from pixel to pixel; Atlas does not.
  for (const char* pattern : {"atlas", "dada", "lazy --size 31 --density 3 --smooth 2"}) {
    std::string pictures[3];
    const char* threads[] = {"1", "2", "5"};
    for (int k = 0; k < 3; ++k) {
      const CliRun run = runRenderer(std::string("--size 97 --pattern ") + pattern +
                                     " --zoom 0.7 --format ppm -o - --threads " + threads[k]);
      ASSERT_EQ(run.exitCode, 0) << run.errors;
      pictures[k] = run.output;
    }
    EXPECT_EQ(pictures[0], pictures[1]) << pattern;
    EXPECT_EQ(pictures[0], pictures[2]) << pattern;
  }
}

TEST_F(CliTest, RefusesPicturesTooLargeForMemoryOrOffsetsTooLargeToCount) {
  const CliRun huge = runRenderer("--pattern atlas --size 1E9 --out " + file("h.png"));
  EXPECT_EQ(huge.exitCode, 2);
  EXPECT_NE(huge.errors.find("too large"), std::string::npos) << huge.errors;
  // 16400 x 16400 at density 16 is a poster as PNG, but an image held whole
  // (any other format) is refused before a pixel is computed, naming the limit.
  const CliRun dense = runRenderer("--pattern atlas --size 1025 --density 16 --out " + file("d.bmp"));
  EXPECT_EQ(dense.exitCode, 2);
  EXPECT_NE(dense.errors.find("at most 268435456 pixels"), std::string::npos) << dense.errors;
  EXPECT_FALSE(fs::exists(file("d.bmp")));
  // A PNG wider than libpng reads (1024 x 977 > 1,000,000) is refused as well.
  const CliRun wide = runRenderer("--pattern atlas --size 768 --density 977 --out " + file("w.png"));
  EXPECT_EQ(wide.exitCode, 2);
  EXPECT_NE(wide.errors.find("at most 1000000 a side"), std::string::npos) << wide.errors;
  EXPECT_FALSE(fs::exists(file("w.png")));
  const CliRun stalled = runRenderer("--pattern atlas --x 1E17 --out " + file("s.png"));
  EXPECT_EQ(stalled.exitCode, 2);
  EXPECT_NE(stalled.errors.find("could never advance"), std::string::npos) << stalled.errors;
}

TEST_F(CliTest, AnArithmeticFaultExitsWithThreeAndKeepsThePartialPicture) {
  const CliRun run = runRenderer("--pattern bobcat --brightness 1E308 --out " + file("f.png"));
  EXPECT_EQ(run.exitCode, 3);
  EXPECT_NE(run.errors.find("Overflow at pixel (0, 4)"), std::string::npos) << run.errors;
  const QImage image(QString::fromStdString(file("f.png")));
  ASSERT_EQ(image.size(), QSize(150, 150));
  EXPECT_NE(image.pixel(0, 3), qRgb(64, 64, 64));  // painted before the fault
  EXPECT_EQ(image.pixel(0, 4), qRgb(64, 64, 64));  // the faulting pixel
  EXPECT_EQ(image.pixel(1, 0), qRgb(64, 64, 64));

  const CliRun atStart = runRenderer("--pattern atlas --zoom 1E309 --out " + file("g.png"));
  EXPECT_EQ(atStart.exitCode, 3);
  EXPECT_NE(atStart.errors.find("Overflow"), std::string::npos);
}

TEST_F(CliTest, ListNamesEveryPatternWithItsIndex) {
  const fs::path listing = dir_ / "list.txt";
  ASSERT_EQ(std::system((std::string(PLORVEX_RENDER_CLI) + " --list >" + listing.string()).c_str()), 0);
  FILE* f = std::fopen(listing.c_str(), "r");
  ASSERT_NE(f, nullptr);
  char line[64];
  ASSERT_NE(std::fgets(line, sizeof line, f), nullptr);
  EXPECT_STREQ(line, "0 atlas\n");
  std::fclose(f);
}

TEST_F(CliTest, HelpAndVersionGoToStandardOutputAndExitWithZero) {
  // Help wins over everything else on the line: nothing is painted.
  for (const std::string& arguments : {std::string("--help"), std::string("-h"),
                                       std::string("--pattern atlas --help --out ") + file("x.png")}) {
    const CliRun run = runRenderer(arguments);
    EXPECT_EQ(run.exitCode, 0) << arguments;
    EXPECT_EQ(run.errors, "") << arguments;
    EXPECT_TRUE(startsWith(run.output, "usage: plorvex-render")) << run.output;
    for (const char* option : {"--pattern", "--x", "--y", "--size", "--zoom", "--brightness", "--canvas",
                               "-o, --out", "--format", "--list", "-h, --help", "--version"})
      EXPECT_NE(run.output.find(option), std::string::npos) << option;
  }
  EXPECT_FALSE(fs::exists(file("x.png")));

  const CliRun version = runRenderer("--version");
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.output, "plorvex-render 1.2014.1\n");
  EXPECT_EQ(version.errors, "");
}

TEST_F(CliTest, DashWritesTheImageToStandardOutputInTheFormatAsked) {
  const struct {
    const char* format;  // empty: the default
    const char* suffix;  // the file that must hold the same bytes
    std::string signature;
  } cases[] = {
      {"", "png", std::string("\x89PNG\r\n\x1a\n", 8)},
      {"png", "png", std::string("\x89PNG\r\n\x1a\n", 8)},
      {"ppm", "ppm", "P6"},
      {"bmp", "bmp", "BM"},
  };
  for (const auto& c : cases) {
    const std::string format = *c.format ? std::string(" --format ") + c.format : std::string();
    const CliRun run = runRenderer("--pattern atlas -o -" + format);
    ASSERT_EQ(run.exitCode, 0) << c.format << run.errors;
    EXPECT_EQ(run.errors, "") << c.format;
    EXPECT_TRUE(startsWith(run.output, c.signature)) << c.format;
    const QImage image = decode(run.output);
    ASSERT_EQ(image.size(), QSize(150, 150)) << c.format;
    EXPECT_EQ(image.pixel(0, 0), qRgb(26, 75, 145)) << c.format;

    const std::string name = file((std::string("same.") + c.suffix).c_str());
    ASSERT_EQ(runRenderer("--pattern atlas -o " + name).exitCode, 0) << c.format;
    EXPECT_EQ(readFile(name), run.output) << c.format;
  }
}

TEST_F(CliTest, FormatOverridesTheSuffixOfTheFileName) {
  const struct {
    const char* name;
    const char* format;
    std::string signature;
  } cases[] = {
      {"picture.png", "bmp", "BM"},
      {"picture.bmp", "ppm", "P6"},
      {"picture.data", "png", std::string("\x89PNG\r\n\x1a\n", 8)},
  };
  for (const auto& c : cases) {
    const CliRun run = runRenderer(std::string("--pattern atlas --format ") + c.format + " --out " + file(c.name));
    ASSERT_EQ(run.exitCode, 0) << c.name << run.errors;
    EXPECT_EQ(run.output, "") << c.name;
    const std::string bytes = readFile(file(c.name));
    EXPECT_TRUE(startsWith(bytes, c.signature)) << c.name;
    EXPECT_EQ(decode(bytes).size(), QSize(150, 150)) << c.name;
  }
}

TEST_F(CliTest, AFaultedPictureStillGoesToStandardOutput) {
  const CliRun run = runRenderer("--pattern bobcat --brightness 1E308 -o -");
  EXPECT_EQ(run.exitCode, 3);
  EXPECT_NE(run.errors.find("Overflow at pixel (0, 4)"), std::string::npos) << run.errors;
  const QImage image = decode(run.output);
  ASSERT_EQ(image.size(), QSize(150, 150));
  EXPECT_NE(image.pixel(0, 3), qRgb(64, 64, 64));
  EXPECT_EQ(image.pixel(0, 4), qRgb(64, 64, 64));
}

TEST_F(CliTest, AFailedWriteToStandardOutputIsAnError) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  const fs::path errors = dir_ / "errors.txt";
  const int status = std::system((std::string(PLORVEX_RENDER_CLI) + " --pattern atlas -o - >/dev/full 2>" +
                                  errors.string()).c_str());
  EXPECT_EQ(WEXITSTATUS(status), 2);
  EXPECT_NE(readFile(errors).find("cannot write the image to standard output"), std::string::npos);
}

// A picture with no pixels is no success, and a file that cannot be written is
// named alone, without the usage.
TEST_F(CliTest, NothingToWriteOrNowhereToWriteItIsAnErrorSaidAlone) {
  const struct {
    std::string arguments;
    std::string says;
  } cases[] = {
      {"--pattern atlas --size abc -o " + file("x.png"), "--size 'abc': the picture has no pixels; nothing written"},
      {"--pattern atlas --size 0 -o " + file("x.png"), "--size '0': the picture has no pixels; nothing written"},
      {"--pattern tracer --size -5 -o -", "--size '-5': the picture has no pixels; nothing written"},
      {"--pattern atlas -o " + file("vanished/x.png"), "cannot write '" + file("vanished/x.png") + "': "},
  };
  for (const auto& c : cases) {
    const CliRun run = runRenderer(c.arguments);
    EXPECT_EQ(run.exitCode, 2) << c.arguments;
    EXPECT_EQ(run.output, "") << c.arguments;
    EXPECT_TRUE(startsWith(run.errors, "plorvex-render: " + c.says)) << run.errors;
    EXPECT_EQ(run.errors.find("usage:"), std::string::npos) << run.errors;
    EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << run.errors;
  }
  EXPECT_FALSE(fs::exists(file("x.png")));
}

// robust: only a regular file (or a new name) is replaced by a rename. A
// device, a pipe or an open descriptor is written in place and stays what it
// was; a link to a file keeps being a link. The nodes are made in the test's
// own folder: mknod copies of /dev/null and /dev/full, and a named pipe.
TEST_F(CliTest, RobustOutputsThatAreNotRegularFilesAreWrittenInPlace) {
  const CliRun reference = runRenderer("--pattern atlas --size 20 --format ppm -o -");
  ASSERT_EQ(reference.exitCode, 0) << reference.errors;
  const std::string got = file("got"), status = file("status");
  using namespace plorvex::testing_files;
  const struct {
    const char* what;
    std::string out;
    std::function<bool()> prepare;  // false: this system cannot make the node
    const char* line;  // @ stands for the render, which leaves its exit status in `status`
    int exitCode;
    mode_t typeAfter;  // of the name given (0: not checked)
    std::string receiver;  // where the picture must arrive ("" : nowhere)
    const char* says;
  } cases[] = {
      {"a copy of /dev/null", file("null"), [this] { return makeCharDevice(file("null"), kNullMinor); }, "@", 0,
       S_IFCHR, "", ""},
      {"a copy of /dev/full", file("full"), [this] { return makeCharDevice(file("full"), kFullMinor); }, "@", 2,
       S_IFCHR, "", "No space left on device"},
      {"a named pipe with a reader", file("fifo"), [this] { return makePipe(file("fifo")); },
       "timeout 30 cat @FIFO >@GOT & @; wait", 0, S_IFIFO, got, ""},
      {"/dev/stdout into a pipe", "/dev/stdout", [] { return true; }, "@ | cat >@GOT", 0, 0, got, ""},
      {"/dev/fd/1 into a pipe", "/dev/fd/1", [] { return true; }, "@ | cat >@GOT", 0, 0, got, ""},
      {"a socket", file("socket"), [this] { return makeSocket(file("socket")); }, "@", 2, S_IFSOCK, "",
       "No such device or address"},
      {"a link to a regular file", file("link.ppm"),
       [&, this] {
         std::ofstream(file("target.ppm")) << "the picture saved before";
         return ::symlink("target.ppm", file("link.ppm").c_str()) == 0;
       },
       "@", 0, S_IFLNK, file("target.ppm"), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (!nodeMade(c.prepare(), c.what)) continue;
    const std::string render = "{ " + std::string(PLORVEX_RENDER_CLI) +
                               " --pattern atlas --size 20 --format ppm -o " + c.out + "; echo $? >" + status + "; }";
    std::string line = c.line;
    for (const auto& [mark, text] : {std::pair<std::string, std::string>{"@FIFO", file("fifo")}, {"@GOT", got},
                                     {"@", render}})
      for (std::size_t at; (at = line.find(mark)) != std::string::npos;) line.replace(at, mark.size(), text);
    const std::string errors = file("errors");
    std::system(("(" + line + ") 2>" + errors).c_str());
    EXPECT_EQ(readFile(status), std::to_string(c.exitCode) + "\n");
    if (c.typeAfter != 0) {
      EXPECT_EQ(typeOf(c.out), c.typeAfter);
    }
    if (!c.receiver.empty()) {
      EXPECT_TRUE(readFile(c.receiver) == reference.output) << "the picture did not arrive";
    }
    EXPECT_NE(readFile(errors).find(c.says), std::string::npos) << readFile(errors);
    if (c.exitCode == 0) {
      EXPECT_EQ(readFile(errors), "");
    }
    fs::remove(got);
  }
  // Nothing was left beside the nodes: no temporary file, no renamed copy.
  for (const auto& entry : fs::directory_iterator(dir_))
    EXPECT_EQ(entry.path().filename().string().find(".ppm."), std::string::npos) << entry.path();
}

// --- Pictures that keep their parameters ---

struct Saved {
  std::map<std::string, QString> parameters;  // the members of the 'plorvex' text
  QImage image;
};

// What any PNG reader sees of a saved picture: its pixels and its text chunks.
Saved readSaved(const std::string& path) {
  QImageReader reader(QString::fromStdString(path));
  Saved saved;
  const QJsonObject object = QJsonDocument::fromJson(reader.text("plorvex").toUtf8()).object();
  saved.image = reader.read();
  for (auto it = object.begin(); it != object.end(); ++it)
    saved.parameters[it.key().toStdString()] = it->isString() ? it->toString() : it->toVariant().toString();
  return saved;
}

TEST_F(CliTest, SavedPicturesPaintAgainFromTheirParameters) {
  // Blanks, signs, &H, exponents and letters after the number survive.
  const std::array<std::array<const char*, 5>, 4> fieldSets{{
      {" 1 ", "-2.5E1", "23", "0.3", "150"},
      {"&H10", "+7", "17", "1D-1", " 90 "},
      {"-250", "12abc", "20", ".75", "2E2"},
      {"0", "0", "19", "1e0", "-80"},
  }};
  for (int k = 0; k < 19; ++k) {
    const auto& f = fieldSets[static_cast<std::size_t>(k % 4)];
    const std::string first = file("first.png"), again = file("again.png");
    const std::string fields = std::string(" --x '") + f[0] + "' --y '" + f[1] + "' --size '" + f[2] +
                               "' --zoom '" + f[3] + "' --brightness '" + f[4] + "'";
    ASSERT_EQ(runRenderer("--pattern " + std::to_string(k) + fields + " -o " + first).exitCode, 0) << k;
    const CliRun run = runRenderer("--from " + first + " -o " + again);
    ASSERT_EQ(run.exitCode, 0) << k << run.errors;
    const Saved a = readSaved(first), b = readSaved(again);
    EXPECT_EQ(a.image, b.image) << k;
    EXPECT_FALSE(a.image.isNull()) << k;
    EXPECT_EQ(a.parameters, b.parameters) << k;
    const char* members[] = {"x", "y", "size", "zoom", "brightness"};
    for (int m = 0; m < 5; ++m)
      EXPECT_EQ(a.parameters.at(members[m]), QString(f[static_cast<std::size_t>(m)])) << k << members[m];
    EXPECT_EQ(a.parameters.at("complete"), "true");
  }
  // Options given with --from override the picture's.
  const std::string plain = file("plain.png"), larger = file("larger.png");
  ASSERT_EQ(runRenderer("--pattern lazy --size 21 --zoom 3 -o " + plain).exitCode, 0);
  ASSERT_EQ(runRenderer("--from " + plain + " --density 2 --smooth 3 --brightness 90 -o " + larger).exitCode, 0);
  const Saved saved = readSaved(larger);
  EXPECT_EQ(saved.image.size(), QSize(42, 42));
  EXPECT_EQ(saved.parameters.at("pattern"), "lazy");
  EXPECT_EQ(saved.parameters.at("zoom"), "3");
  EXPECT_EQ(saved.parameters.at("brightness"), "90");
  EXPECT_EQ(saved.parameters.at("density"), "2");
  EXPECT_EQ(saved.parameters.at("smooth"), "3");
}

// A picture that a fault stopped is written all the same, to a file or to
// standard output, and its chunk says that it is not whole.
TEST_F(CliTest, AFaultStoppedPictureIsMarkedIncomplete) {
  const std::string named = file("stopped.png"), piped = file("piped.png");
  for (const char* arguments : {"--pattern bobcat --brightness 1E308",
                                "--pattern atlas --x 26 --size 3 --zoom 3 --brightness 1e308 --density 2 --smooth 3"}) {
    const CliRun toFile = runRenderer(std::string(arguments) + " -o " + named);
    const CliRun toOutput = runRenderer(std::string(arguments) + " -o -");
    EXPECT_EQ(toFile.exitCode, 3) << arguments;
    EXPECT_EQ(toOutput.exitCode, 3) << arguments;
    std::ofstream(piped, std::ios::binary) << toOutput.output;
    for (const std::string& path : {named, piped}) {
      const Saved saved = readSaved(path);
      EXPECT_FALSE(saved.image.isNull()) << arguments << " to " << path;
      EXPECT_EQ(saved.parameters.count("complete") ? saved.parameters.at("complete") : "missing", "false")
          << arguments << " to " << path;
    }
  }
}

// A JPEG keeps its view in a comment: --from paints the same view again, and
// an unknown suffix is refused before anything is painted.
TEST_F(CliTest, AJpegKeepsItsViewAndAnUnknownSuffixIsRefused) {
  // The same view kept in a PNG and in a JPEG paints the same picture again.
  Saved again[2];
  const char* kept[] = {"view.png", "view.jpg"};
  for (int k = 0; k < 2; ++k) {
    const std::string view = file(kept[k]), painted = file(kept[k]) + ".again.png";
    ASSERT_EQ(runRenderer("--pattern lazy --x ' 3 ' --zoom '1D-1' --size 21 --density 2 -o " + view).exitCode, 0);
    const CliRun run = runRenderer("--from " + view + " -o " + painted);
    ASSERT_EQ(run.exitCode, 0) << kept[k] << run.errors;
    again[k] = readSaved(painted);
  }
  EXPECT_TRUE(startsWith(readFile(file("view.jpg")), "\xFF\xD8"));
  EXPECT_EQ(again[1].parameters, again[0].parameters);
  EXPECT_EQ(again[1].parameters.at("x"), " 3 ");
  EXPECT_EQ(again[1].image, again[0].image);
  EXPECT_EQ(again[1].image.size(), QSize(42, 42));

  const CliRun unknown = runRenderer("--pattern lazy -o " + file("view.gif"));
  EXPECT_EQ(unknown.exitCode, 2);
  EXPECT_NE(unknown.errors.find("cannot tell the format of '" + file("view.gif") + "'"), std::string::npos);
  EXPECT_FALSE(fs::exists(file("view.gif")));
}

TEST_F(CliTest, FromRefusesWhatIsNotASavedPictureAndWritesNothing) {
  const std::string notPng = file("text.png"), bare = file("bare.png");
  {
    std::ofstream(notPng) << "just text\n";
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(QString::fromStdString(bare)));  // a PNG without parameters
  }
  const struct {
    std::string file;
    const char* says;
  } cases[] = {{notPng, "not a PNG"}, {bare, "plorvex"}, {file("none.png"), "none.png"}};
  for (const auto& c : cases) {
    const CliRun run = runRenderer("--from " + c.file + " -o " + file("out.png"));
    EXPECT_EQ(run.exitCode, 2) << c.file;
    EXPECT_NE(run.errors.find(c.says), std::string::npos) << run.errors;
    EXPECT_FALSE(fs::exists(file("out.png"))) << c.file;
  }
}

// The bar is drawn only on a terminal (here a pseudo-terminal made by
// script(1)), only for a render of more than about a second, and erased at
// its end; --quiet and a file for standard error get nothing.
TEST_F(CliTest, AProgressBarOnATerminalOnly) {
  if (std::system("command -v script >/dev/null") != 0) GTEST_SKIP() << "no script(1) here";
  const std::string render = std::string(PLORVEX_RENDER_CLI) +
                             " --pattern icey --size 200 --smooth 8 --threads 1 -o " + file("p.png");
  const auto onTerminal = [&](const std::string& extra) {
    const fs::path typescript = dir_ / "typescript";
    const std::string command = "script -qec '" + render + extra + "' " + typescript.string() + " >/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return readFile(typescript);
  };
  const std::string shown = onTerminal("");
  EXPECT_NE(shown.find("% ["), std::string::npos) << shown;
  EXPECT_NE(shown.find(" elapsed"), std::string::npos) << shown;
  EXPECT_NE(shown.find("\r\033[K"), std::string::npos) << "not erased: " << shown;
  EXPECT_EQ(onTerminal(" --quiet").find("elapsed"), std::string::npos);
  const CliRun toFile = runRenderer("--pattern icey --size 200 --smooth 8 --threads 1 -o " + file("q.png"));
  EXPECT_EQ(toFile.exitCode, 0);
  EXPECT_EQ(toFile.errors, "");
}

// --- Denser and smoothed pictures, as written ---

using plorvex::testing_support::SampledCase;
class CliSampledPicture : public testing::TestWithParam<SampledCase> {};

// What plorvex-render writes at a density and smoothing is the picture worked
// out independently, pixel for pixel.
TEST_P(CliSampledPicture, IsThePictureWorkedOutFromTheRule) {
  const SampledCase& c = GetParam();
  const plorvex::FieldTexts& f = c.fields;
  const CliRun run = runRenderer(std::string("--pattern ") + c.pattern + " --x '" + f.x + "' --y '" + f.y +
                                 "' --size '" + f.size + "' --zoom '" + f.zoom + "' --brightness '" +
                                 f.brightness + "' --density " + std::to_string(c.sampling.density) +
                                 " --smooth " + std::to_string(c.sampling.smooth) + " --format ppm -o -");
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  EXPECT_TRUE(startsWith(run.output, "P6\n")) << run.output.substr(0, 16);
  plorvex::testing_support::expectImage(c, decode(run.output), "plorvex-render");
}

INSTANTIATE_TEST_SUITE_P(Rule, CliSampledPicture, testing::ValuesIn(plorvex::testing_support::sampledCases()),
                         plorvex::testing_support::SampledCaseName{});

}  // namespace
