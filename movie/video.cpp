// SPDX-License-Identifier: GPL-3.0-or-later
#include "video.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// The temporary name beside the file: hidden, unique to this process.
std::string temporaryName(const std::string& file) {
  const std::size_t slash = file.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : file.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
  return folder + "." + name + ".part-" + std::to_string(getpid());
}

// Runs the program; returns its exit status (-1 when it could not start) and
// what it wrote to standard error.
int runCapturingErrors(const std::vector<std::string>& command, std::string& errors) {
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
    errors = std::strerror(errno);
    return -1;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDERR_FILENO);
  std::vector<char*> argv;
  for (const std::string& argument : command) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t child = 0;
  const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeEnds[1]);
  if (spawned != 0) {
    close(pipeEnds[0]);
    errors = std::strerror(spawned);
    return -1;
  }
  char buffer[4096];
  for (ssize_t got; (got = read(pipeEnds[0], buffer, sizeof buffer)) != 0;) {
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) break;
    errors.append(buffer, static_cast<std::size_t>(got));
  }
  close(pipeEnds[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
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

bool isVideoFile(const std::string& file) { return codecFor(file) != nullptr; }

bool ffmpegInstalled() {
  const char* path = std::getenv("PATH");
  if (!path) return false;
  const std::string folders = path;
  for (std::size_t start = 0; start <= folders.size();) {
    std::size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    const std::string folder = end == start ? "." : folders.substr(start, end - start);
    if (access((folder + "/ffmpeg").c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

std::string encodeVideo(const VideoJob& job, std::string& note) {
  const Codec* codec = codecFor(job.file);
  if (!codec) return videoFileProblem(job.file);
  const std::string temporary = temporaryName(job.file);
  std::vector<std::string> command{"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y",
                                   "-framerate", job.fps, "-start_number", "0", "-i", job.framePattern,
                                   "-frames:v", std::to_string(job.frames)};
  if (codec->evenSizes && (job.width % 2 != 0 || job.height % 2 != 0)) {
    command.insert(command.end(), {"-vf", "pad=ceil(iw/2)*2:ceil(ih/2)*2"});
    note = "the frames are " + std::to_string(job.width) + " x " + std::to_string(job.height) +
           "; the video pads them to " + std::to_string(job.width + job.width % 2) + " x " +
           std::to_string(job.height + job.height % 2) + " (its colour format needs even sizes)";
  }
  command.insert(command.end(), codec->arguments.begin(), codec->arguments.end());
  command.insert(command.end(), {"-f", codec->muxer, temporary});
  std::string errors;
  const int status = runCapturingErrors(command, errors);
  if (job.keepGoing && !job.keepGoing()) {
    std::remove(temporary.c_str());
    return kVideoCancelled;
  }
  if (status == 0 && std::rename(temporary.c_str(), job.file.c_str()) == 0) return {};
  const std::string why = status == 0    ? "cannot rename " + temporary + " to " + job.file + ": " + std::strerror(errno)
                          : status == -1 ? "cannot start ffmpeg: " + errors
                                         : "ffmpeg failed (exit status " + std::to_string(status) + "): " +
                                               lastLines(errors, 8);
  std::remove(temporary.c_str());
  return why;
}

}  // namespace plorvex::movie
