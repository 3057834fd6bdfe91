// SPDX-License-Identifier: GPL-3.0-or-later
// plorvex-render --movie as a user runs it: every frame is its own view painted
// again, ranges and workers do not matter, a run killed and run again renders
// only what is missing, refusals write nothing, the video through ffmpeg.

#include <gtest/gtest.h>

#include <QImage>
#include <QString>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <cstdint>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli_support.h"
#include "parameters.h"
#include "path_file.h"
#include "picture.h"

namespace {

namespace fs = std::filesystem;
using plorvex::testing_cli::CliRun;
using plorvex::testing_cli::readFile;
using plorvex::testing_cli::runRenderer;

class MovieCliTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("plorvex_movie_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    // A zoom into atlas and out again to the side: a pan, a zoom and a brightness change.
    picture("start.png", "--x 24 --y 24 --zoom 1 --brightness 150");
    picture("end.png", "--x 1000 --y 300 --zoom 0.125 --brightness 90");
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string file(const std::string& name) const { return (dir_ / name).string(); }
  void picture(const std::string& name, const std::string& texts) {
    ASSERT_EQ(runRenderer("--pattern atlas --size 40 " + texts + " -o " + file(name)).exitCode, 0);
  }
  std::string keys() const { return "--movie " + file("start.png") + " " + file("end.png"); }
  // Every file of a folder, name to bytes.
  std::map<std::string, std::string> contents(const std::string& folder) const {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(file(folder)))
      files[entry.path().filename().string()] = readFile(entry.path());
    return files;
  }
  fs::path dir_;
};

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

std::uint32_t bigEndian(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t k = at; k < at + 4; ++k) value = value << 8 | static_cast<unsigned char>(bytes[k]);
  return value;
}

std::string chunk(const std::string& type, const std::string& data) {
  std::string out;
  const auto put = [&](std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(value >> shift & 0xFF);
  };
  put(static_cast<std::uint32_t>(data.size()));
  const std::string body = type + data;
  out += body;
  put(static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()), body.size())));
  return out;
}

// The PNG with its image data made again by `change` from the inflated rows
// and the deflated stream, in one IDAT whose CRC matches, as a damaged copy
// that no check of chunk framing alone can tell from a whole one.
std::string withImageData(const std::string& png,
                          const std::function<std::string(const std::string& rows, const std::string& stream)>& change) {
  std::string out = png.substr(0, 8), stream;
  std::vector<std::pair<std::string, std::string>> chunks;
  for (std::size_t at = 8; at + 12 <= png.size(); at += 12 + bigEndian(png, at)) {
    chunks.emplace_back(png.substr(at + 4, 4), png.substr(at + 8, bigEndian(png, at)));
    if (chunks.back().first == "IDAT") stream += chunks.back().second;
  }
  std::string rows(1 << 22, '\0');
  uLongf rowBytes = rows.size();
  EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(rows.data()), &rowBytes,
                       reinterpret_cast<const Bytef*>(stream.data()), stream.size()), Z_OK);
  rows.resize(rowBytes);
  bool written = false;
  for (const auto& [type, data] : chunks)
    if (type != "IDAT")
      out += chunk(type, data);
    else if (!written)
      out += chunk(type, change(rows, stream)), written = true;
  return out;
}

std::string deflated(const std::string& rows) {
  std::string stream(compressBound(rows.size()), '\0');
  uLongf size = stream.size();
  EXPECT_EQ(compress(reinterpret_cast<Bytef*>(stream.data()), &size, reinterpret_cast<const Bytef*>(rows.data()),
                     rows.size()), Z_OK);
  return stream.substr(0, size);
}

plorvex::picture::PictureParameters parametersOf(const std::string& file) {
  const plorvex::picture::ReadResult read = plorvex::picture::readParameters(QString::fromStdString(file));
  EXPECT_TRUE(read.parameters) << read.error;
  return read.parameters.value_or(plorvex::picture::PictureParameters{});
}

TEST_F(MovieCliTest, EveryFrameIsItsListedViewAndPaintsAgainPixelForPixel) {
  const std::string options = keys() + " --seconds 0.2 --fps 30 --density 2 --smooth 2";
  const CliRun listed = runRenderer(options + " --list-frames");
  ASSERT_EQ(listed.exitCode, 0) << listed.errors;
  const std::vector<std::string> rows = lines(listed.output);
  ASSERT_EQ(rows.size(), 6u);
  EXPECT_FALSE(fs::exists(file("frames")));
  ASSERT_EQ(runRenderer(options + " -o " + file("frames")).exitCode, 0);
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const std::string frame = file("frames/frame-0000" + std::to_string(k) + ".png");
    const plorvex::picture::PictureParameters p = parametersOf(frame);
    const plorvex::FieldTexts& t = p.fields;
    EXPECT_EQ(rows[k], std::to_string(k) + "\t" + t.x + "\t" + t.y + "\t" + t.size + "\t" + t.zoom + "\t" +
                           t.brightness);
    EXPECT_EQ(p.pattern, "atlas");
    EXPECT_EQ(p.density, 2);
    EXPECT_EQ(p.smooth, 2);
    EXPECT_TRUE(p.complete);
    ASSERT_EQ(runRenderer("--from " + frame + " -o " + file("again.png")).exitCode, 0);
    const QImage painted(QString::fromStdString(frame)), again(QString::fromStdString(file("again.png")));
    EXPECT_EQ(painted.size(), QSize(80, 80));
    EXPECT_EQ(painted, again) << "frame " << k;
  }
  // The first and the last frames are the keyframes' own views.
  EXPECT_EQ(parametersOf(file("frames/frame-00000.png")).fields.x, "24");
  EXPECT_EQ(parametersOf(file("frames/frame-00005.png")).fields.zoom, "0.125");
  EXPECT_EQ(parametersOf(file("frames/frame-00005.png")).fields.brightness, "90");
}

TEST_F(MovieCliTest, RangesInAnyOrderOnAnyWorkersWriteWhatOneRunWrites) {
  const std::string options = keys() + " --seconds 0.3 --fps 30 --smooth 2";
  ASSERT_EQ(runRenderer(options + " --threads 1 -o " + file("one")).exitCode, 0);
  for (const char* range : {"--frames 6-8 --threads 3", "--frames 0-2 --threads 2", "--frames 3-5 --threads 1"})
    ASSERT_EQ(runRenderer(options + " " + range + " -o " + file("split")).exitCode, 0) << range;
  const auto one = contents("one");
  EXPECT_EQ(one.size(), 9u);
  EXPECT_EQ(contents("split"), one);
}

TEST_F(MovieCliTest, ARunAgainRendersOnlyWhatIsMissingOrNotItsFrame) {
  const std::string options = keys() + " --seconds 0.2 --fps 30 -o " + file("frames");
  ASSERT_EQ(runRenderer(options).exitCode, 0);
  const auto first = contents("frames");
  fs::remove(file("frames/frame-00001.png"));
  fs::copy_file(file("frames/frame-00000.png"), file("frames/frame-00003.png"),
                fs::copy_options::overwrite_existing);  // a picture of another view
  ASSERT_EQ(runRenderer(keys() + " --seconds 0.2 --fps 30 --smooth 2 --frames 4-4 -o " + file("frames")).exitCode, 0);
  std::ofstream(file("frames/frame-00002.png")) << "cut short";
  const CliRun again = runRenderer(options);
  ASSERT_EQ(again.exitCode, 0) << again.errors;
  EXPECT_NE(again.errors.find("frames 0-5 of 6: 4 rendered, 2 kept"), std::string::npos) << again.errors;
  EXPECT_EQ(contents("frames"), first);
  const CliRun third = runRenderer(options);
  EXPECT_NE(third.errors.find("0 rendered, 6 kept"), std::string::npos) << third.errors;
}

TEST_F(MovieCliTest, PathFilesAreKeyframesLikeSavedPictures) {
  std::ofstream(file("way.json")) << R"({"version": "1", "views": [
      {"pattern": "atlas", "x": "24", "y": "24", "size": "40", "zoom": "1", "brightness": "150"},
      {"pattern": "atlas", "x": "1000", "y": "300", "size": "40", "zoom": "0.125", "brightness": "90"}]})";
  const CliRun fromPath = runRenderer("--movie " + file("way.json") + " --seconds 0.2 --list-frames");
  const CliRun fromPictures = runRenderer(keys() + " --seconds 0.2 --list-frames");
  ASSERT_EQ(fromPath.exitCode, 0) << fromPath.errors;
  EXPECT_EQ(fromPath.output, fromPictures.output);
  // A path file and pictures mixed, and a path file written by the program read back.
  plorvex::picture::PathFile path{"1.2014", {{"atlas", {"\xC3\xA9 1", "2", "40", "0.5", "100"}}}};
  std::ofstream(file("written.json")) << plorvex::picture::pathToJson(path);
  const plorvex::picture::PathReadResult read = plorvex::picture::readPathFile(QString::fromStdString(file("written.json")));
  ASSERT_TRUE(read.path) << read.error;
  EXPECT_TRUE(*read.path == path);
  const CliRun mixed = runRenderer(keys() + " " + file("written.json") + " --seconds 0.1 --list-frames");
  ASSERT_EQ(mixed.exitCode, 0) << mixed.errors;
  EXPECT_EQ(lines(mixed.output).back(), "2\t\xC3\xA9 1\t2\t40\t0.5\t100");
}

TEST_F(MovieCliTest, DamagedOrForeignKeyframesAreRefusedAndNothingIsWritten) {
  const auto write = [&](const std::string& name, const std::string& text) { std::ofstream(file(name)) << text; };
  const std::string view = R"({"pattern": "atlas", "x": "1", "y": "1", "size": "40", "zoom": "1", "brightness": "150"})";
  write("broken.json", R"({"version": "1", "views": [)" + view);
  write("array.json", "[" + view + "]");
  write("noviews.json", R"({"version": "1"})");
  write("empty.json", R"({"version": "1", "views": []})");
  write("nozoom.json", R"({"version": "1", "views": [{"pattern": "atlas", "x": "1", "y": "1", "size": "40", "brightness": "1"}]})");
  write("number.json", R"({"version": "1", "views": [{"pattern": "atlas", "x": 1, "y": "1", "size": "40", "zoom": "1", "brightness": "1"}]})");
  write("unknown.json", R"({"version": "1", "views": [{"pattern": "zebra", "x": "1", "y": "1", "size": "40", "zoom": "1", "brightness": "1"}]})");
  write("size.json", R"({"version": "1", "views": [{"pattern": "atlas", "x": "1", "y": "1", "size": "41", "zoom": "1", "brightness": "1"}]})");
  write("other.json", R"({"version": "1", "views": [{"pattern": "bobcat", "x": "1", "y": "1", "size": "40", "zoom": "1", "brightness": "1"}]})");
  write("latin1.json", "{\"version\": \"1\", \"views\": [{\"pattern\": \"atlas\", \"x\": \"\xE9\"}]}");
  write("text.txt", "frames, please\n");
  QImage bare(4, 4, QImage::Format_RGB32);
  bare.fill(Qt::red);
  ASSERT_TRUE(bare.save(QString::fromStdString(file("bare.png"))));
  // Saved pictures whose chunk is whole but whose image data is not.
  const std::string png = readFile(file("start.png"));
  write("cut.png", png.substr(0, png.find("IDAT") + 40));
  write("noend.png", png.substr(0, png.size() - 12));
  std::string flipped = png;
  flipped[png.find("IDAT") + 20] ^= 0x55;
  write("flipped.png", flipped);
  ASSERT_EQ(runRenderer("--pattern atlas --size 40 -o " + file("start.jpg")).exitCode, 0);
  const std::string jpeg = readFile(file("start.jpg"));
  write("cut.jpg", jpeg.substr(0, jpeg.size() / 2));
  const struct {
    std::string key;
    const char* says;
  } cases[] = {
      {"broken.json", "broken.json: the path file is not valid JSON"},
      {"array.json", "the path file is not a JSON object"},
      {"noviews.json", "'views' is missing"},
      {"empty.json", "'views' is empty"},
      {"nozoom.json", "view 0: 'zoom' is missing"},
      {"number.json", "view 0: 'x' is not a text"},
      {"unknown.json", "unknown pattern 'zebra'"},
      {"size.json", "has the size text '41', keyframe 0"},
      {"other.json", "has the pattern 'bobcat', keyframe 0"},
      {"latin1.json", "not valid UTF-8"},
      {"text.txt", "not a JSON object"},
      {"bare.png", "plorvex"},
      {"none.json", "none.json: cannot be opened"},
      {"cut.png", "cut.png: the picture is damaged"},
      {"noend.png", "noend.png: the picture is damaged (it does not end with an IEND chunk)"},
      {"flipped.png", "flipped.png: the picture is damaged (its image data does not decode"},
      {"cut.jpg", "cut.jpg: the picture is damaged"},
  };
  for (const auto& c : cases) {
    const CliRun run = runRenderer(keys() + " " + file(c.key) + " --video " + file("m.mkv") + " -o " + file("out"));
    EXPECT_EQ(run.exitCode, 2) << c.key;
    EXPECT_NE(run.errors.find(c.says), std::string::npos) << c.key << ": " << run.errors;
    EXPECT_FALSE(fs::exists(file("out"))) << c.key;
    EXPECT_FALSE(fs::exists(file("m.mkv"))) << c.key;
  }
}

TEST_F(MovieCliTest, BadMovieOptionsExitWithTwo) {
  const struct {
    std::string arguments;
    const char* says;
  } cases[] = {
      {"--frames 5-3", "--frames takes a range A-B"},
      {"--frames 4-300", "the movie has 300 frames, 0 to 299"},
      {"--seconds 0", "--seconds takes a number above 0"},
      {"--fps 1e400", "--fps takes a number above 0"},
      {"--seconds 1e6 --fps 1e6", "at most 100000000 frames"},
      {"--video " + file("m.avi"), "does not end in .mp4, .webm or .mkv"},
      {"--video " + file("nowhere/m.mp4"), "does not exist or cannot be written to"},
      {"--pattern bobcat", "unknown argument for --movie: --pattern"},
      {"--threads 0", "--threads takes a whole number from 1 to 256"},
      {"--frames 7-", "--frames takes a range A-B"},
      {"--frames 300", "the movie has 300 frames, 0 to 299"},
      // A video needs the frames outside the range: known before rendering.
      {"--seconds 0.2 --frames 0-2 --video " + file("m.mkv"), "frame 3 is not in"},
      {"-o -", "a movie needs a folder; `-` is standard output"},
  };
  for (const auto& c : cases) {
    const bool out = c.arguments.find("-o ") == std::string::npos;
    const CliRun run = runRenderer(keys() + " " + c.arguments + (out ? " -o " + file("out") : ""));
    EXPECT_EQ(run.exitCode, 2) << c.arguments;
    EXPECT_NE(run.errors.find(c.says), std::string::npos) << c.arguments << ": " << run.errors;
    EXPECT_FALSE(fs::exists(file("out"))) << c.arguments;
  }
  EXPECT_NE(runRenderer("--movie -o " + file("out")).errors.find("--movie needs keyframes"), std::string::npos);
  EXPECT_FALSE(fs::exists(file("m.mkv")));
  EXPECT_FALSE(fs::exists("-"));
  // A path the pattern cannot paint at frame 0 (too many pixels at this
  // density) leaves no folder behind, and one frame alone is a range.
  std::ofstream(file("huge.json")) << R"({"version": "1", "views": [
      {"pattern": "atlas", "x": "1", "y": "1", "size": "3000", "zoom": "1", "brightness": "150"},
      {"pattern": "atlas", "x": "9", "y": "1", "size": "3000", "zoom": "1", "brightness": "150"}]})";
  const CliRun huge = runRenderer("--movie " + file("huge.json") + " --density 16 -o " + file("huge"));
  EXPECT_EQ(huge.exitCode, 2);
  EXPECT_NE(huge.errors.find("frame 0: atlas: The picture is too large"), std::string::npos) << huge.errors;
  EXPECT_FALSE(fs::exists(file("huge")));
  const CliRun one = runRenderer(keys() + " --frames 7 -o " + file("one"));
  EXPECT_EQ(one.exitCode, 0) << one.errors;
  EXPECT_NE(one.errors.find("frames 7-7 of 300: 1 rendered, 0 kept"), std::string::npos) << one.errors;
  EXPECT_EQ(contents("one").size(), 1u);
  EXPECT_TRUE(fs::exists(file("one/frame-00007.png")));
}

// A kept frame must read back whole: its chunk names the frame's view, its
// image data decodes to the end (IEND) at the frame's size. Anything else is
// rendered again, quietly, and the frames are then those of a plain run.
TEST_F(MovieCliTest, AFrameWhoseImageIsDamagedIsRenderedAgain) {
  const std::string options = keys() + " --seconds 0.2 --fps 30 --density 2 -o " + file("frames");
  ASSERT_EQ(runRenderer(options).exitCode, 0);
  const auto first = contents("frames");
  const std::string frame = file("frames/frame-00001.png");
  const std::string whole = first.at("frame-00001.png");
  std::string flipped = whole;
  flipped[whole.find("IDAT") + 30] ^= 0x01;
  std::string foreignChunk = whole;
  foreignChunk[whole.find("plorvex") + 20] ^= 0x01;
  plorvex::picture::PictureParameters own = parametersOf(frame);
  const auto write = [&](const std::string& bytes) { std::ofstream(frame, std::ios::binary) << bytes; };
  const auto remade = [&](const std::function<std::string(const std::string&, const std::string&)>& change) {
    return [&, change] { write(withImageData(whole, change)); };
  };
  const struct {
    const char* damage;
    std::function<void()> make;
  } cases[] = {
      {"cut to half its bytes", [&] { write(whole.substr(0, whole.size() / 2)); }},
      {"cut before IEND", [&] { write(whole.substr(0, whole.size() - 12)); }},
      {"a bit of its image data flipped", [&] { write(flipped); }},
      {"a byte of its chunk changed", [&] { write(foreignChunk); }},
      {"the next frame's picture", [&] { write(first.at("frame-00002.png")); }},
      {"its image data stream cut short, chunks whole",
       remade([](const std::string&, const std::string& stream) { return stream.substr(0, stream.size() / 2); })},
      {"half its rows, chunks whole", remade([](const std::string& rows, const std::string&) {
         return deflated(rows.substr(0, rows.size() / 2));
       })},
      {"rows beyond its height, chunks whole", remade([](const std::string& rows, const std::string&) {
         return deflated(rows + rows.substr(0, rows.size() / 4));
       })},
      {"a row with an unknown filter, chunks whole", remade([](std::string rows, const std::string&) {
         rows[0] = 9;
         return deflated(rows);
       })},
      {"another size with its chunk", [&] {
         QImage small(40, 40, QImage::Format_RGB32);
         small.fill(Qt::blue);
         std::string error;
         ASSERT_TRUE(plorvex::picture::writePicture(small, QString::fromStdString(frame),
                                                    plorvex::picture::ImageFormat::Png, own, error)) << error;
       }},
  };
  for (const auto& c : cases) {
    c.make();
    const CliRun again = runRenderer(options);
    ASSERT_EQ(again.exitCode, 0) << c.damage << ": " << again.errors;
    EXPECT_NE(again.errors.find("1 rendered, 5 kept"), std::string::npos) << c.damage << ": " << again.errors;
    EXPECT_EQ(again.errors.find("libpng"), std::string::npos) << c.damage << ": " << again.errors;
    EXPECT_EQ(contents("frames"), first) << c.damage;
  }
}

// Keyframes from pipes are read once: process substitution, /dev/stdin and a
// named pipe whose writer comes later all give the listing plain files give.
TEST_F(MovieCliTest, KeyframesReadThroughPipesAsFiles) {
  std::ofstream(file("way.json")) << R"({"version": "1", "views": [
      {"pattern": "atlas", "x": "24", "y": "24", "size": "40", "zoom": "1", "brightness": "150"},
      {"pattern": "atlas", "x": "1000", "y": "300", "size": "40", "zoom": "0.125", "brightness": "90"}]})";
  const CliRun plain = runRenderer(keys() + " --seconds 0.2 --list-frames");
  ASSERT_EQ(plain.exitCode, 0) << plain.errors;
  ASSERT_EQ(::mkfifo(file("fifo").c_str(), 0600), 0);
  const std::string render = PLORVEX_RENDER_CLI;
  const struct {
    const char* form;
    std::string script;
  } cases[] = {
      {"process substitution of a path file", render + " --movie <(cat " + file("way.json") + ") --seconds 0.2 --list-frames"},
      {"process substitution of a picture",
       render + " --movie " + file("start.png") + " <(cat " + file("end.png") + ") --seconds 0.2 --list-frames"},
      {"/dev/stdin", render + " --movie /dev/stdin --seconds 0.2 --list-frames < " + file("way.json")},
      {"a named pipe written later",
       "(sleep 0.3; cat " + file("way.json") + " > " + file("fifo") + ") & " + render + " --movie " + file("fifo") +
           " --seconds 0.2 --list-frames; wait"},
  };
  for (const auto& c : cases) {
    std::ofstream(file("script.sh")) << "{ " << c.script << "; } > " << file("listed.txt") << " 2>&1\n";
    const int status = std::system(("bash " + file("script.sh")).c_str());
    EXPECT_EQ(WEXITSTATUS(status), 0) << c.form << ": " << readFile(file("listed.txt"));
    EXPECT_EQ(readFile(file("listed.txt")), plain.output) << c.form;
  }
}

// The state and the processor time so far (clock ticks) of a process.
struct ProcessState {
  char state = '?';
  long ticks = -1;
};

ProcessState stateOf(pid_t process) {
  const std::string stat = readFile("/proc/" + std::to_string(process) + "/stat");
  const std::size_t end = stat.rfind(')');
  if (end == std::string::npos) return {};
  std::istringstream fields(stat.substr(end + 2));
  ProcessState seen;
  std::string skipped;
  fields >> seen.state;
  for (int k = 4; k <= 13; ++k) fields >> skipped;  // up to utime, the 14th field
  long user = 0, system = 0;
  if (fields >> user >> system) seen.ticks = user + system;
  return seen;
}

// Whether the process, within 15 s (it may be slow to start), sleeps through a
// whole second using no processor time (a tick of rounding aside).
bool sleepsForASecond(pid_t process) {
  for (int tries = 0; tries < 15; ++tries) {
    const ProcessState before = stateOf(process);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const ProcessState after = stateOf(process);
    if (before.state == 'S' && after.state == 'S' && before.ticks >= 0 && after.ticks - before.ticks <= 1) return true;
  }
  return false;
}

// A named pipe that nobody writes yet is waited for asleep, as cat waits, for
// as long as it takes: no processor time goes by while it waits.
TEST_F(MovieCliTest, ANamedPipeWithoutAWriterIsWaitedForAsleep) {
  const std::string way = R"({"version": "1", "views": [
      {"pattern": "atlas", "x": "24", "y": "24", "size": "40", "zoom": "1", "brightness": "150"},
      {"pattern": "atlas", "x": "1000", "y": "300", "size": "40", "zoom": "0.125", "brightness": "90"}]})";
  const CliRun plain = runRenderer(keys() + " --seconds 0.2 --list-frames");
  ASSERT_EQ(plain.exitCode, 0) << plain.errors;
  const std::string fifo = file("fifo"), listed = file("listed.txt");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const int out = ::open(listed.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(out, STDOUT_FILENO);
    ::dup2(out, STDERR_FILENO);
    ::execl(PLORVEX_RENDER_CLI, "plorvex-render", "--movie", fifo.c_str(), "--seconds", "0.2", "--list-frames",
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  EXPECT_TRUE(sleepsForASecond(child)) << "it used the processor while it waited";
  // Without a reader (the renderer gone) the test must not wait in its turn.
  const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  EXPECT_GE(writer, 0) << "nobody reads the pipe: " << readFile(listed);
  if (writer >= 0) {
    ::fcntl(writer, F_SETFL, 0);
    EXPECT_EQ(::write(writer, way.data(), way.size()), static_cast<ssize_t>(way.size()));
    ::close(writer);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << readFile(listed);
  EXPECT_EQ(readFile(listed), plain.output);
}

// Names are the system's bytes: a name that is not UTF-8 is written and read
// as given, for a picture, a movie folder, a keyframe and --from.
TEST_F(MovieCliTest, FileNamesThatAreNotUtf8AreKeptAsBytes) {
  const std::string key = file("k\xff.png"), folder = file("m\xfe"), poster = file("x\xff.png");
  ASSERT_EQ(runRenderer("--pattern atlas --size 40 --zoom 0.5 -o '" + key + "'").exitCode, 0);
  ASSERT_TRUE(fs::is_regular_file(key));
  const CliRun again = runRenderer("--from '" + key + "' -o '" + poster + "'");
  ASSERT_EQ(again.exitCode, 0) << again.errors;
  EXPECT_EQ(readFile(poster), readFile(key));
  const CliRun movie = runRenderer("--movie " + file("start.png") + " '" + key + "' --seconds 0.1 -o '" + folder + "'");
  ASSERT_EQ(movie.exitCode, 0) << movie.errors;
  const std::string last = readFile(folder + "/frame-00002.png");
  const plorvex::picture::ReadResult read = plorvex::picture::parametersFromPng(
      {reinterpret_cast<const unsigned char*>(last.data()), last.size()});
  ASSERT_TRUE(read.parameters) << read.error;
  EXPECT_EQ(read.parameters->fields.zoom, "0.5");
  EXPECT_NE(movie.errors.find("m\\xFE)"), std::string::npos) << movie.errors;
  // A format without the chunk goes through another writer: the same bytes.
  ASSERT_EQ(runRenderer("--pattern atlas --size 40 -o '" + file("b\xff.bmp") + "'").exitCode, 0);
  EXPECT_TRUE(fs::is_regular_file(file("b\xff.bmp")));
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
  for (const std::string& name : names) EXPECT_EQ(name.find("\xEF\xBF\xBD"), std::string::npos) << name;
  // Messages show such a name readably: each byte that is not UTF-8 as \xFF.
  std::ofstream(file("d\xff.png"), std::ios::binary) << readFile(key).substr(0, 100);
  const struct {
    std::string arguments;
    const char* says;
  } refusals[] = {
      {"--movie " + file("start.png") + " '" + file("n\xff.json") + "' -o " + file("out"),
       "n\\xFF.json: cannot be opened"},
      {"--movie " + file("start.png") + " '" + file("d\xff.png") + "' -o " + file("out"), "d\\xFF.png: "},
      {keys() + " -o '" + key + "'", "k\\xFF.png' is not a folder"},
      {"--from '" + file("n\xff.png") + "' -o " + file("out"), "n\\xFF.png: cannot be opened"},
      {"--pattern atlas --size 40 -o '" + file("n\xff/x.png") + "'", "n\\xFF/x.png'"},
      {"--pattern atlas --size 40 -o '" + file("n\xff/x.bmp") + "'", "n\\xFF/x.bmp'"},
  };
  for (const auto& c : refusals) {
    const CliRun run = runRenderer(c.arguments);
    EXPECT_EQ(run.exitCode, 2) << c.arguments;
    EXPECT_NE(run.errors.find(c.says), std::string::npos) << c.arguments << ": " << run.errors;
    EXPECT_EQ(run.errors.find("\xff"), std::string::npos) << run.errors;
    EXPECT_FALSE(fs::exists(file("out")));
  }
}

// Any picture --from reads is a keyframe: JPEGs give the views PNGs give.
TEST_F(MovieCliTest, JpegKeyframesAreSavedPicturesToo) {
  picture("start.jpg", "--x 24 --y 24 --zoom 1 --brightness 150");
  picture("end.jpg", "--x 1000 --y 300 --zoom 0.125 --brightness 90");
  const CliRun pngs = runRenderer(keys() + " --seconds 0.2 --list-frames");
  const CliRun jpegs = runRenderer("--movie " + file("start.jpg") + " " + file("end.jpg") + " --seconds 0.2 --list-frames");
  ASSERT_EQ(jpegs.exitCode, 0) << jpegs.errors;
  EXPECT_EQ(jpegs.output, pngs.output);
  const CliRun mixed = runRenderer("--movie " + file("start.jpg") + " " + file("end.png") + " --seconds 0.2 -o " + file("f"));
  EXPECT_EQ(mixed.exitCode, 0) << mixed.errors;
  EXPECT_EQ(contents("f").size(), 6u);
}

TEST_F(MovieCliTest, VideoJoinsEveryFrameAndAFailedEncodeLeavesNoFile) {
  if (std::system("command -v ffmpeg >/dev/null && command -v ffprobe >/dev/null") != 0)
    GTEST_SKIP() << "no ffmpeg here (Debian package ffmpeg)";
  picture("odd.png", "--size 41 --zoom 0.5");
  picture("odd2.png", "--size 41 --zoom 0.25");
  const std::string odd = "--movie " + file("odd.png") + " " + file("odd2.png") + " --seconds 0.2 -o " + file("frames");
  const CliRun mp4 = runRenderer(odd + " --video " + file("m.mp4"));
  ASSERT_EQ(mp4.exitCode, 0) << mp4.errors;
  EXPECT_NE(mp4.errors.find("note: the frames are 41 x 41; the video pads them to 42 x 42"), std::string::npos);
  const auto probe = [&](const std::string& video) {
    const std::string out = file("probe.txt");
    std::system(("ffprobe -v error -count_frames -show_entries stream=codec_name,width,height,pix_fmt,nb_read_frames "
                 "-of csv=p=0 " + video + " >" + out).c_str());
    return readFile(out);
  };
  EXPECT_EQ(probe(file("m.mp4")), "h264,42,42,yuv420p,6\n");
  ASSERT_EQ(runRenderer(odd + " --video " + file("m.mkv")).exitCode, 0);
  EXPECT_EQ(probe(file("m.mkv")), "ffv1,41,41,bgr0,6\n");
  // An ffmpeg that fails half-way: its message is shown, no video is left.
  fs::create_directories(file("bin"));
  std::ofstream(file("bin/ffmpeg")) << "#!/bin/sh\nfor a; do last=$a; done\necho partial > \"$last\"\n"
                                       "echo 'Conversion failed: disk on fire' >&2\nexit 1\n";
  fs::permissions(file("bin/ffmpeg"), fs::perms::owner_all);
  fs::create_symlink("/usr/bin/ffprobe", file("bin/ffprobe"));
  const CliRun failed = runRenderer(odd + " --video " + file("f.mp4"), "PATH=" + file("bin"));
  EXPECT_EQ(failed.exitCode, 2);
  EXPECT_NE(failed.errors.find("Conversion failed: disk on fire"), std::string::npos) << failed.errors;
  for (const auto& entry : fs::directory_iterator(dir_))
    EXPECT_EQ(entry.path().filename().string().find("f.mp4"), std::string::npos) << entry.path();
  // No ffmpeg at all: refused before anything is rendered, naming the package.
  const CliRun none = runRenderer(keys() + " --video " + file("n.mp4") + " -o " + file("none"), "PATH=/nonexistent");
  EXPECT_EQ(none.exitCode, 2);
  EXPECT_NE(none.errors.find("Debian package ffmpeg"), std::string::npos) << none.errors;
  EXPECT_FALSE(fs::exists(file("none")));
}

// On a terminal (a pseudo-terminal made by script(1)) the bar counts the frames
// and the time left; it is erased before the closing line.
TEST_F(MovieCliTest, TheProgressBarCountsFramesOnATerminal) {
  if (std::system("command -v script >/dev/null") != 0) GTEST_SKIP() << "no script(1) here";
  const fs::path typescript = dir_ / "typescript";
  const std::string command = "script -qec '" + std::string(PLORVEX_RENDER_CLI) + " " + keys() +
                              " --seconds 0.1 --fps 30 --density 4 --smooth 8 --threads 1 -o " + file("frames") +
                              "' " + typescript.string() + " >/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const std::string shown = readFile(typescript);
  EXPECT_NE(shown.find(" left  frame "), std::string::npos) << shown;
  EXPECT_NE(shown.find("frame 3 of 3"), std::string::npos) << shown;
  EXPECT_NE(shown.find("\r\033[Kplorvex-render: frames 0-2 of 3: 3 rendered, 0 kept"), std::string::npos) << shown;
}

}  // namespace
