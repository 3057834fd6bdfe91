// SPDX-License-Identifier: GPL-3.0-or-later
#include "video.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

extern char** environ;

namespace plorvex::movie {
namespace {

struct Codec {
  const char* suffix;
  const char* muxer;
  std::vector<std::string> arguments;
  bool evenSizes;  // chroma subsampled to half: the width and height must be even
};

const Codec kCodecs[] = {
    {".mp4", "mp4", {"-c:v", "libx264", "-pix_fmt", "yuv420p", "-crf", "18", "-movflags", "+faststart"}, true},
    {".webm", "webm", {"-c:v", "libvpx-vp9", "-pix_fmt", "yuv420p", "-crf", "31", "-b:v", "0"}, true},
    // FFV1 keeps the frames' RGB exactly.
    {".mkv", "matroska", {"-c:v", "ffv1", "-level", "3", "-pix_fmt", "bgr0"}, false},
};

const Codec* codecFor(const std::string& file) {
  for (const Codec& codec : kCodecs) {
    const std::string suffix = codec.suffix;
    if (file.size() > suffix.size() && file.compare(file.size() - suffix.size(), suffix.size(), suffix) == 0)
      return &codec;
  }
  return nullptr;
}

const std::string kPartMark = ".part-";

// The folder and the name of a file, as given (bytes).
std::pair<std::string, std::string> splitName(const std::string& file) {
  const std::size_t slash = file.rfind('/');
  if (slash == std::string::npos) return {"", file};
  return {file.substr(0, slash + 1), file.substr(slash + 1)};
}

// The temporary name beside the file: hidden, unique to this process.
std::string temporaryName(const std::string& file) {
  const auto [folder, name] = splitName(file);
  return folder + "." + name + kPartMark + std::to_string(getpid());
}

// Removes the part files of earlier runs for this file whose process is gone
// (killed while ffmpeg wrote): ".NAME.part-PID" with no process PID.
void removeStaleParts(const std::string& file) {
  const auto [folder, name] = splitName(file);
  const std::string prefix = "." + name + kPartMark;
  DIR* listing = opendir(folder.empty() ? "." : folder.c_str());
  if (!listing) return;
  while (const dirent* entry = readdir(listing)) {
    const std::string found = entry->d_name;
    if (found.size() <= prefix.size() || found.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string digits = found.substr(prefix.size());
    if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) continue;
    const pid_t owner = static_cast<pid_t>(std::stol(digits));
    if (owner != getpid() && kill(owner, 0) != 0 && errno == ESRCH) unlinkat(dirfd(listing), found.c_str(), 0);
  }
  closedir(listing);
}

// ffmpeg reads a name as a protocol ("data:", "http:") or an option ("-y")
// unless told it is a file: an absolute name behind the file protocol.
std::string plainFile(const std::string& name) {
  if (!name.empty() && name[0] == '/') return "file:" + name;
  std::string here(PATH_MAX, '\0');
  if (!getcwd(here.data(), here.size())) return "file:" + name;
  here.resize(std::strlen(here.c_str()));
  return "file:" + here + "/" + name;
}

// The program's full name on the PATH, or "".
std::string onPath(const char* program) {
  const char* path = std::getenv("PATH");
  if (!path) return {};
  const std::string folders = path;
  for (std::size_t start = 0; start <= folders.size();) {
    std::size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    const std::string folder = end == start ? "." : folders.substr(start, end - start);
    const std::string candidate = folder + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return {};
}

// The encoder being run and its part file, for the signal handler: a program
// ended by SIGINT or SIGTERM takes them with it. The handler may run on any
// thread, so the child's id is atomic (lock-free, hence safe in a handler).
std::atomic<pid_t> runningChild{0};
static_assert(std::atomic<pid_t>::is_always_lock_free);
char runningPart[PATH_MAX + 64];
struct sigaction previousInterrupt, previousTerminate;

void endEncoderAndDie(int signal) {
  // The interrupted code may be about to read errno: the calls here keep it.
  const int interruptedErrno = errno;
  if (const pid_t child = runningChild.load(); child > 0) {
    kill(child, SIGKILL);
    // Gone before its file goes: a child still starting could make it anew.
    // (ECHILD: the thread that runs it has reaped it already.)
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  if (runningPart[0] != '\0') unlink(runningPart);
  sigaction(signal, signal == SIGINT ? &previousInterrupt : &previousTerminate, nullptr);
  raise(signal);
  errno = interruptedErrno;
}

// While the encoder runs, SIGINT and SIGTERM end it and remove its file.
class EncoderGuard {
 public:
  EncoderGuard(const std::string& part) {
    std::snprintf(runningPart, sizeof runningPart, "%s", part.c_str());
    struct sigaction action {};
    action.sa_handler = endEncoderAndDie;
    sigemptyset(&action.sa_mask);
    // A signal the program ignores (started in the background) stays ignored.
    sigaction(SIGINT, nullptr, &previousInterrupt);
    sigaction(SIGTERM, nullptr, &previousTerminate);
    if (previousInterrupt.sa_handler != SIG_IGN) sigaction(SIGINT, &action, nullptr);
    if (previousTerminate.sa_handler != SIG_IGN) sigaction(SIGTERM, &action, nullptr);
  }
  ~EncoderGuard() {
    sigaction(SIGINT, &previousInterrupt, nullptr);
    sigaction(SIGTERM, &previousTerminate, nullptr);
    runningChild = 0;
    runningPart[0] = '\0';
  }
  EncoderGuard(const EncoderGuard&) = delete;
  EncoderGuard& operator=(const EncoderGuard&) = delete;
};

// Starts the program with standard error into `errorsEnd`; the child dies with
// the thread that started it (PR_SET_PDEATHSIG), so it never outlives us.
pid_t spawnTied(const std::string& program, const std::vector<std::string>& command, int errorsEnd,
                bool outputToo) {
  std::vector<char*> argv;
  for (const std::string& argument : command) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  const pid_t parent = getpid();
  const pid_t child = fork();
  if (child != 0) return child;
  // Only async-signal-safe calls from here on.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(127);  // the parent is already gone
  const int nothing = open("/dev/null", O_RDWR);
  dup2(nothing, STDIN_FILENO);
  dup2(outputToo ? errorsEnd : nothing, STDOUT_FILENO);
  dup2(errorsEnd, STDERR_FILENO);
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigaction(SIGINT, &fallback, nullptr);
  sigaction(SIGTERM, &fallback, nullptr);
  execve(program.c_str(), argv.data(), environ);
  _exit(127);
}

struct Ran {
  int status = -1;  // the exit status; -1 when it could not start
  bool stopped = false;  // keepGoing said no and the program was killed
  std::string errors;    // what it wrote to standard error
};

// Runs the program to its end, or until keepGoing (asked ten times a second)
// says no, when it is killed at once. Its standard output is dropped, or with
// outputToo kept with its errors.
Ran runCapturingErrors(const std::vector<std::string>& command, const std::function<bool()>& keepGoing,
                       bool outputToo = false) {
  Ran ran;
  const std::string program = onPath(command.front().c_str());
  if (program.empty()) return ran.errors = command.front() + " is not on the PATH", ran;
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) return ran.errors = std::strerror(errno), ran;
  const pid_t child = spawnTied(program, command, pipeEnds[1], outputToo);
  close(pipeEnds[1]);
  if (child < 0) {
    close(pipeEnds[0]);
    return ran.errors = std::strerror(errno), ran;
  }
  runningChild = child;
  char buffer[4096];
  for (;;) {
    pollfd ready{pipeEnds[0], POLLIN, 0};
    const int events = poll(&ready, 1, 100);
    if (keepGoing && !keepGoing()) {
      kill(child, SIGKILL);
      ran.stopped = true;
      break;
    }
    if (events < 0 && errno != EINTR) break;
    if (events <= 0) continue;
    const ssize_t got = read(pipeEnds[0], buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    ran.errors.append(buffer, static_cast<std::size_t>(got));
  }
  close(pipeEnds[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  runningChild = 0;
  ran.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return ran;
}

// The last lines of ffmpeg's message, where it says what went wrong.
std::string lastLines(const std::string& text, std::size_t count) {
  std::size_t at = text.size();
  while (at > 0 && text[at - 1] == '\n') --at;
  const std::size_t end = at;
  for (std::size_t lines = 0; at > 0; --at)
    if (text[at - 1] == '\n' && ++lines == count) break;
  return text.substr(at, end - at);
}

bool diskFull(const std::string& file, const std::string& errors) {
  if (errors.find(std::strerror(ENOSPC)) != std::string::npos) return true;
  const std::string folder = splitName(file).first;
  struct statvfs disk {};
  return statvfs(folder.empty() ? "." : folder.c_str(), &disk) == 0 && disk.f_bavail == 0;
}

}  // namespace

std::string videoFileProblem(const std::string& file) {
  if (!codecFor(file)) return "'" + file + "' does not end in .mp4, .webm or .mkv";
  struct stat status;
  if (lstat(file.c_str(), &status) == 0 && !S_ISREG(status.st_mode))
    return "'" + file + "' is not a regular file; a video replaces only a regular file";
  const std::size_t slash = file.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : file.substr(0, slash + 1);
  if (stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode) || access(folder.c_str(), W_OK) != 0)
    return "the folder of '" + file + "' does not exist or cannot be written to";
  return {};
}

std::string videoReadBackProblem(const std::string& file, std::size_t frames, int width, int height,
                                 const std::function<bool()>& keepGoing) {
  const Ran probe = runCapturingErrors({"ffprobe", "-v", "error", "-select_streams", "v:0", "-count_frames",
                                        "-show_entries", "stream=width,height,nb_read_frames", "-of", "csv=p=0",
                                        plainFile(file)},
                                       keepGoing, true);
  if (probe.stopped) return kVideoCancelled;
  const std::string expected =
      std::to_string(width) + "," + std::to_string(height) + "," + std::to_string(frames) + "\n";
  if (probe.status == 0 && probe.errors == expected) return {};
  if (probe.status == -1) return "cannot check the video with ffprobe: " + probe.errors;
  int gotWidth = 0, gotHeight = 0;
  unsigned long gotFrames = 0;
  if (std::sscanf(probe.errors.c_str(), "%d,%d,%lu", &gotWidth, &gotHeight, &gotFrames) == 3)
    return "the video reads back as " + std::to_string(gotFrames) + " frames of " + std::to_string(gotWidth) +
           " x " + std::to_string(gotHeight) + ", not " + std::to_string(frames) + " of " +
           std::to_string(width) + " x " + std::to_string(height);
  return "the video does not read back: " + lastLines(probe.errors, 4);
}

bool isVideoFile(const std::string& file) { return codecFor(file) != nullptr; }

bool ffmpegInstalled() { return !onPath("ffmpeg").empty() && !onPath("ffprobe").empty(); }

std::string encodeVideo(const VideoJob& job, std::string& note) {
  const Codec* codec = codecFor(job.file);
  if (!codec) return videoFileProblem(job.file);
  removeStaleParts(job.file);
  const std::string temporary = temporaryName(job.file);
  std::vector<std::string> command{"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y",
                                   "-f", "image2", "-pattern_type", "sequence", "-framerate", job.fps,
                                   "-start_number", "0", "-i", plainFile(job.framePattern),
                                   "-frames:v", std::to_string(job.frames)};
  const bool padded = codec->evenSizes && (job.width % 2 != 0 || job.height % 2 != 0);
  const int width = padded ? job.width + job.width % 2 : job.width;
  const int height = padded ? job.height + job.height % 2 : job.height;
  if (padded) {
    command.insert(command.end(), {"-vf", "pad=ceil(iw/2)*2:ceil(ih/2)*2"});
    note = "the frames are " + std::to_string(job.width) + " x " + std::to_string(job.height) +
           "; the video pads them to " + std::to_string(width) + " x " + std::to_string(height) +
           " (its colour format needs even sizes)";
  }
  command.insert(command.end(), codec->arguments.begin(), codec->arguments.end());
  command.insert(command.end(), {"-f", codec->muxer, plainFile(temporary)});
  const EncoderGuard guard(temporary);
  const Ran encoded = runCapturingErrors(command, job.keepGoing);
  // The video is published only once it reads back whole: a muxer may end
  // well after a failed write (WebM on a full disk does).
  std::string why;
  if (encoded.stopped || (job.keepGoing && !job.keepGoing()))
    why = kVideoCancelled;
  else if (encoded.status == -1)
    why = "cannot start ffmpeg: " + encoded.errors;
  else if (encoded.status != 0)
    why = "ffmpeg failed (exit status " + std::to_string(encoded.status) + "): " + lastLines(encoded.errors, 8);
  else
    why = videoReadBackProblem(temporary, job.frames, width, height, job.keepGoing);
  if (why.empty() && std::rename(temporary.c_str(), job.file.c_str()) != 0)
    why = "cannot rename " + temporary + " to " + job.file + ": " + std::strerror(errno);
  if (why.empty()) return {};
  struct stat old {};
  if (why != kVideoCancelled && diskFull(job.file, encoded.errors))
    why = "the disk is full: " + job.file + (lstat(job.file.c_str(), &old) == 0 ? " is left as it was (" : " is not made (") +
          why + ")";
  std::remove(temporary.c_str());
  return why;
}

}  // namespace plorvex::movie
