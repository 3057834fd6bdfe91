// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Running plorvex-render as a user does, for the command-line suites.

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace plorvex::testing_cli {

namespace fs = std::filesystem;

struct CliRun {
  int exitCode;
  std::string output;  // standard output, byte for byte
  std::string errors;
};

inline std::string readFile(const fs::path& path) {
  std::string text;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    std::fclose(f);
  }
  return text;
}

// Runs the renderer with the arguments (shell words) and, when given,
// environment assignments in front ("PATH=/x"). ctest runs the cases in
// parallel processes, so the capture files are per process.
inline CliRun runRenderer(const std::string& arguments, const std::string& environment = "") {
  const std::string stem = "plorvex_cli_test_" + std::to_string(::getpid());
  const fs::path output = fs::temp_directory_path() / (stem + "_stdout");
  const fs::path errors = fs::temp_directory_path() / (stem + "_stderr");
  const std::string command = (environment.empty() ? "" : "env " + environment + " ") +
                              std::string(PLORVEX_RENDER_CLI) + " " + arguments + " >" + output.string() +
                              " 2>" + errors.string();
  const int status = std::system(command.c_str());
  CliRun run{WEXITSTATUS(status), readFile(output), readFile(errors)};
  fs::remove(output);
  fs::remove(errors);
  return run;
}

// Makes `folder` hold an ffmpeg that is Debian's reading its frames at a
// twentieth of their rate (a 4-second movie takes 80 s), and ffprobe beside
// it; returns a PATH with the folder first. A cancel then has to stop the
// encoder: waiting for it to end would take far longer than any test allows.
inline std::string slowFfmpegPath(const fs::path& folder) {
  fs::create_directories(folder);
  std::ofstream(folder / "ffmpeg") << "#!/bin/sh\nexec /usr/bin/ffmpeg -readrate 0.05 \"$@\"\n";
  fs::permissions(folder / "ffmpeg", fs::perms::owner_all);
  fs::remove(folder / "ffprobe");
  fs::create_symlink("/usr/bin/ffprobe", folder / "ffprobe");
  const char* path = std::getenv("PATH");
  return folder.string() + ":" + (path ? path : "/usr/bin:/bin");
}

}  // namespace plorvex::testing_cli
