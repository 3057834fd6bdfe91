// SPDX-License-Identifier: GPL-3.0-or-later
// A movie's video as a hostile world treats it: a disk that fills up, a
// program killed while ffmpeg runs, a cancel while it encodes, names that
// look like ffmpeg's protocols. A video is there whole or not at all, and the
// encoder never outlives the program.

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "cli_support.h"
#include "video.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using plorvex::testing_cli::CliRun;
using plorvex::testing_cli::readFile;
using plorvex::testing_cli::runRenderer;
using Clock = std::chrono::steady_clock;

bool haveFfmpeg() { return std::system("command -v ffmpeg >/dev/null && command -v ffprobe >/dev/null") == 0; }

// The processes whose parent is `parent` and whose name is `name`.
std::vector<pid_t> childrenNamed(pid_t parent, const std::string& name) {
  std::vector<pid_t> found;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string stat = readFile(entry.path() / "stat");
    const std::size_t open = stat.find('('), close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos) continue;
    char state = 0;
    int ppid = 0;
    if (std::sscanf(stat.c_str() + close + 1, " %c %d", &state, &ppid) != 2) continue;
    if (ppid == parent && state != 'Z' && stat.substr(open + 1, close - open - 1) == name)
      found.push_back(static_cast<pid_t>(std::stol(entry.path().filename().string())));
  }
  return found;
}

// Alive: there and not a zombie (a container's first process may reap late).
bool alive(pid_t pid) {
  const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
  const std::size_t close = stat.rfind(')');
  return close != std::string::npos && stat.size() > close + 2 && stat[close + 2] != 'Z';
}

// PATH for this process while it lives, given back when it ends.
class PathWhile {
 public:
  explicit PathWhile(const std::string& path) : saved_(std::getenv("PATH")) { ::setenv("PATH", path.c_str(), 1); }
  ~PathWhile() { ::setenv("PATH", saved_.c_str(), 1); }
  PathWhile(const PathWhile&) = delete;
  PathWhile& operator=(const PathWhile&) = delete;

 private:
  std::string saved_;
};

template <class Condition>
bool within(std::chrono::milliseconds limit, Condition condition) {
  for (const auto end = Clock::now() + limit; Clock::now() < end;) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return condition();
}

class MovieVideoTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("plorvex_video_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    picture("start.png", "--x 24 --y 24 --zoom 1 --brightness 150");
    picture("end.png", "--x 1000 --y 300 --zoom 0.125 --brightness 90");
  }
  void TearDown() override {
    if (!mounted_.empty()) ::umount2(mounted_.c_str(), MNT_DETACH);
    fs::remove_all(dir_);
  }
  std::string file(const std::string& name) const { return (dir_ / name).string(); }
  void picture(const std::string& name, const std::string& texts) {
    ASSERT_EQ(runRenderer("--pattern atlas --size 40 " + texts + " -o " + file(name)).exitCode, 0);
  }
  std::string movie(const std::string& more) const {
    return "--movie " + file("start.png") + " " + file("end.png") + " --quiet " + more;
  }
  // "width,height,frames" as ffprobe reads the video back.
  std::string probe(const std::string& video) const {
    const std::string out = file("probe.txt");
    std::system(("ffprobe -v error -count_frames -show_entries stream=width,height,nb_read_frames -of csv=p=0 'file:" +
                 video + "' >" + out + " 2>/dev/null").c_str());
    return readFile(out);
  }
  // Names in the folder that hold "part".
  std::vector<std::string> partFiles(const std::string& folder) const {
    std::vector<std::string> parts;
    for (const auto& entry : fs::directory_iterator(folder))
      if (entry.path().filename().string().find(".part-") != std::string::npos) parts.push_back(entry.path());
    return parts;
  }
  fs::path dir_;
  std::string mounted_;
};

// On a small disk that fills up, ffmpeg may end well (WebM) yet leave a cut
// video: it is read back before it replaces the old one, and refused naming
// the full disk; an old video stays, none is made where there was none, and
// no part file is left.
TEST_F(MovieVideoTest, AVideoOnAFullDiskIsRefusedAndTheOldOneKept) {
  if (!haveFfmpeg()) GTEST_SKIP() << "no ffmpeg here (Debian package ffmpeg)";
  const std::string disk = file("disk");
  fs::create_directories(disk);
  if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=1m") != 0)
    GTEST_SKIP() << "cannot mount a small tmpfs here (" << std::strerror(errno) << "; needs root)";
  mounted_ = disk;
  ASSERT_EQ(runRenderer(movie("--seconds 1 --density 3 -o " + file("frames"))).exitCode, 0);
  const struct {
    const char* video;
    std::size_t leftBytes;  // free on the disk when the second video is made
    bool old;               // an old video there to keep, or none
  } cases[] = {{"zoom.webm", 0, true},       {"zoom.webm", 8 * 1024, true}, {"zoom.mkv", 8 * 1024, true},
               {"zoom.mp4", 8 * 1024, true}, {"zoom.webm", 0, false},       {"zoom.mp4", 0, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.video) + " with " + std::to_string(c.leftBytes) + " bytes left" +
                 (c.old ? "" : ", no old video"));
    for (const auto& entry : fs::directory_iterator(disk)) fs::remove_all(entry.path());
    const std::string video = disk + "/" + c.video;
    const CliRun good = runRenderer(movie("--seconds 0.2 --density 3 -o " + file("small") + " --video " + video));
    ASSERT_EQ(good.exitCode, 0) << good.errors;
    const std::string before = readFile(video);
    ASSERT_EQ(probe(video), "120,120,6\n");
    if (!c.old) fs::remove(video);
    std::system(("dd if=/dev/zero of=" + disk + "/fill bs=4k 2>/dev/null; cat /dev/null").c_str());
    if (c.leftBytes > 0) fs::resize_file(disk + "/fill", fs::file_size(disk + "/fill") - c.leftBytes);
    const CliRun full = runRenderer(movie("--seconds 1 --density 3 -o " + file("frames") + " --video " + video));
    EXPECT_EQ(full.exitCode, 2) << full.errors;
    EXPECT_NE(full.errors.find("--video: the disk is full: " + video + (c.old ? " is left as it was (" : " is not made (")),
              std::string::npos)
        << full.errors;
    EXPECT_EQ(fs::exists(video), c.old);
    EXPECT_EQ(readFile(video), c.old ? before : "");
    EXPECT_TRUE(partFiles(disk).empty());
  }
}

// ffmpeg that ends well but leaves a cut video (as WebM does on a full disk):
// what ffprobe reads back decides. Needs no tmpfs.
TEST_F(MovieVideoTest, AVideoThatDoesNotReadBackWholeIsNotPublished) {
  if (!haveFfmpeg()) GTEST_SKIP() << "no ffmpeg here (Debian package ffmpeg)";
  fs::create_directories(file("bin"));
  std::ofstream(file("bin/ffmpeg")) << "#!/bin/sh\nexport PATH=/usr/bin:/bin\nfor a; do last=${a#file:}; done\n"
                                       "ffmpeg \"$@\" || exit $?\n"
                                       "head -c 3000 \"$last\" > \"$last.cut\" && mv \"$last.cut\" \"$last\"\n";
  fs::permissions(file("bin/ffmpeg"), fs::perms::owner_all);
  ::symlink("/usr/bin/ffprobe", file("bin/ffprobe").c_str());
  std::ofstream(file("old.webm")) << "the old video";
  const CliRun cut = runRenderer(movie("--seconds 0.4 --density 3 -o " + file("frames") + " --video " + file("old.webm")),
                                 "PATH=" + file("bin"));
  EXPECT_EQ(cut.exitCode, 2) << cut.errors;
  EXPECT_NE(cut.errors.find("--video: "), std::string::npos) << cut.errors;
  EXPECT_EQ(cut.errors.find("disk is full"), std::string::npos) << cut.errors;
  EXPECT_EQ(readFile(file("old.webm")), "the old video");
  EXPECT_EQ(partFiles(dir_), std::vector<std::string>{}) << cut.errors;
}

// The check itself, on videos cut as a full disk cuts them, or read back
// against another frame count or size: only the whole video at its own count
// and size passes. Needs no tmpfs.
TEST_F(MovieVideoTest, TheReadBackCheckPassesOnlyTheWholeVideo) {
  if (!haveFfmpeg()) GTEST_SKIP() << "no ffmpeg here (Debian package ffmpeg)";
  using plorvex::movie::videoReadBackProblem;
  constexpr std::size_t kHalf = ~std::size_t{0};
  for (const char* video : {"whole.webm", "whole.mkv", "whole.mp4"})
    ASSERT_EQ(runRenderer(movie("--seconds 0.4 --density 2 -o " + file("frames") + " --video " + file(video))).exitCode,
              0);
  const struct {
    const char* video;
    std::size_t keptBytes;  // of the whole file; 0 for all of it, kHalf for half
    std::size_t frames;
    int width;
    const char* problem;  // "" when it reads back whole
  } cases[] = {
      {"whole.webm", 0, 12, 80, ""},
      {"whole.mkv", 0, 12, 80, ""},
      {"whole.mp4", 0, 12, 80, ""},
      {"whole.webm", 0, 13, 80, "the video reads back as 12 frames of 80 x 80, not 13 of 80 x 80"},
      {"whole.mkv", 0, 11, 80, "the video reads back as 12 frames of 80 x 80, not 11 of 80 x 80"},
      {"whole.mkv", 0, 12, 82, "the video reads back as 12 frames of 80 x 80, not 12 of 82 x 80"},
      {"whole.webm", kHalf, 12, 80, "the video "},
      {"whole.mkv", kHalf, 12, 80, "the video "},
      {"whole.mp4", kHalf, 12, 80, "the video "},
      {"whole.webm", 3000, 12, 80, "the video does not read back"},
      {"whole.mkv", 3000, 12, 80, "the video does not read back"},
      {"whole.mp4", 3000, 12, 80, "the video does not read back"},
      {"whole.webm", 1, 12, 80, "the video does not read back"},
      {"whole.mkv", 1, 12, 80, "the video does not read back"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.video) + " cut to " + (c.keptBytes == kHalf ? "half" : std::to_string(c.keptBytes)) +
                 " bytes, read as " +
                 std::to_string(c.frames) + " frames " + std::to_string(c.width) + " wide");
    const std::string whole = readFile(file(c.video));
    ASSERT_GT(whole.size(), 3000u);
    const std::size_t kept = c.keptBytes == kHalf ? whole.size() / 2 : c.keptBytes ? c.keptBytes : whole.size();
    std::ofstream(file("read.video"), std::ios::binary) << whole.substr(0, kept);
    const std::string problem = videoReadBackProblem(file("read.video"), c.frames, c.width, 80);
    if (*c.problem == '\0')
      EXPECT_EQ(problem, "");
    else
      EXPECT_EQ(problem.rfind(c.problem, 0), 0u) << problem;
  }
}

// Killed while ffmpeg runs, the program takes the encoder with it: SIGTERM
// and SIGINT remove its part file at once; after SIGKILL the next run removes
// the part file left behind and makes the video.
TEST_F(MovieVideoTest, TheEncoderNeverOutlivesTheProgram) {
  if (!haveFfmpeg()) GTEST_SKIP() << "no ffmpeg here (Debian package ffmpeg)";
  ASSERT_EQ(runRenderer(movie("--seconds 2 --density 4 -o " + file("frames"))).exitCode, 0);
  const std::string video = file("zoom.webm");
  for (const int signal : {SIGTERM, SIGINT, SIGKILL}) {
    // An encoder slow enough that every signal lands while it writes.
    const PathWhile slow(plorvex::testing_cli::slowFfmpegPath(file("slow")));
    SCOPED_TRACE(strsignal(signal));
    const std::vector<std::string> args{PLORVEX_RENDER_CLI, "--movie", file("start.png"), file("end.png"),
                                        "--seconds", "2", "--density", "4", "--quiet", "-o", file("frames"),
                                        "--video", video};
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    // As from a terminal: SIGINT and SIGTERM at their defaults.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t render = 0;
    const int spawned = posix_spawn(&render, argv[0], nullptr, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    ASSERT_EQ(spawned, 0);
    // Once the encoder has made its part file, so that its going is seen.
    const std::string part = file(".zoom.webm.part-" + std::to_string(render));
    std::vector<pid_t> encoders;
    ASSERT_TRUE(within(std::chrono::seconds(60), [&] {
      encoders = childrenNamed(render, "ffmpeg");
      return !encoders.empty() && fs::exists(part);
    }));
    ASSERT_EQ(::kill(render, signal), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(render, &status, 0), render);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
    EXPECT_TRUE(within(std::chrono::seconds(1), [&] { return !alive(encoders.front()); }));
    EXPECT_FALSE(fs::exists(video));
    // SIGKILL cannot be caught: its part file is left for the next run.
    EXPECT_EQ(fs::exists(part), signal == SIGKILL);
  }
  // A part file of a process long gone, of our naming, goes with the next run;
  // another program's file of a like name stays.
  std::ofstream(file(".zoom.webm.part-999999999")) << "left behind";
  std::ofstream(file(".zoom.webm.part-x")) << "not ours";
  const CliRun again = runRenderer(movie("--seconds 2 --density 4 -o " + file("frames") + " --video " + video));
  ASSERT_EQ(again.exitCode, 0) << again.errors;
  EXPECT_EQ(probe(video), "160,160,60\n");
  EXPECT_EQ(partFiles(dir_), std::vector<std::string>{file(".zoom.webm.part-x")});
}

// What the window's Cancel and close do: keepGoing turning false stops the
// encoder, which would run for over a minute, at once, and leaves neither the
// video nor a part file. (How soon: bench/movie_cancel.py.)
TEST_F(MovieVideoTest, ACancelStopsTheEncoderAndLeavesNothing) {
  if (!haveFfmpeg()) GTEST_SKIP() << "no ffmpeg here (Debian package ffmpeg)";
  ASSERT_EQ(runRenderer(movie("--seconds 4 --density 2 -o " + file("frames"))).exitCode, 0);
  std::ofstream(file("zoom.webm")) << "the old video";
  const PathWhile slow(plorvex::testing_cli::slowFfmpegPath(file("slow")));
  std::atomic<bool> going{true};
  std::atomic<pid_t> encoder{0};
  Clock::time_point cancelled;
  std::thread canceller([&] {
    std::vector<pid_t> found;
    const std::string part = file(".zoom.webm.part-" + std::to_string(::getpid()));
    if (within(std::chrono::seconds(60),
               [&] { return !(found = childrenNamed(::getpid(), "ffmpeg")).empty() && fs::exists(part); })) {
      encoder = found.front();
      cancelled = Clock::now();
      going = false;
    }
  });
  plorvex::movie::VideoJob job{file("zoom.webm"), file("frames") + "/frame-%05d.png", 120, "30", 80, 80,
                               [&] { return going.load(); }};
  std::string note;
  const std::string outcome = plorvex::movie::encodeVideo(job, note);
  const auto took = Clock::now() - cancelled;
  canceller.join();
  ASSERT_FALSE(going.load()) << "ffmpeg was never seen running";
  EXPECT_EQ(outcome, plorvex::movie::kVideoCancelled);
  // A generous bound: the encoder left alone would take 80 s.
  EXPECT_LT(took, std::chrono::seconds(3));
  EXPECT_FALSE(alive(encoder));
  EXPECT_TRUE(childrenNamed(::getpid(), "ffmpeg").empty());
  EXPECT_EQ(readFile(file("zoom.webm")), "the old video");
  EXPECT_TRUE(partFiles(dir_).empty());
}

// Names that look like ffmpeg's protocols or options are plain files.
TEST_F(MovieVideoTest, NamesAreNeverProtocolsOrOptions) {
  if (!haveFfmpeg()) GTEST_SKIP() << "no ffmpeg here (Debian package ffmpeg)";
  // An old movie's first frame in "x", which "file:x" once read instead.
  ASSERT_EQ(runRenderer(movie("--seconds 0.1 --frames 0-0 -o " + file("x"))).exitCode, 0);
  const struct {
    const char* folder;
    const char* video;
  } cases[] = {{"file:x", "v.mkv"}, {"data:x", "data:v.mkv"}, {"pipe:1", "http:v.mkv"}, {"-x", "-y.mkv"},
               {"-i", "pipe:1.mkv"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.folder) + " and " + c.video);
    std::ofstream(file("run.sh")) << "cd " << dir_.string() << " && " << PLORVEX_RENDER_CLI << " "
                                  << movie("--seconds 0.2") << " -o " << c.folder << " --video " << c.video
                                  << " 2>errors.txt\n";
    EXPECT_EQ(std::system(("sh " + file("run.sh")).c_str()), 0) << readFile(file("errors.txt"));
    EXPECT_EQ(probe(file(c.video)), "40,40,6\n");
    EXPECT_TRUE(fs::is_regular_file(dir_ / c.folder / "frame-00005.png"));
  }
}

}  // namespace
