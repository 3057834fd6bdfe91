// SPDX-License-Identifier: GPL-3.0-or-later
// The path file reader against any bytes. Properties:
// - every refusal says why;
// - an accepted path holds one view at least, each of a known pattern with
//   texts a picture file can keep;
// - an accepted path written again as JSON reads back equal.
// A broken property prints what it saw and aborts, so libFuzzer keeps the input.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "parameters.h"
#include "path_file.h"

namespace {

using namespace plorvex::picture;

[[noreturn]] void broken(const char* property, std::string_view seen) {
  std::fprintf(stderr, "\n*** %s\n    %.*s\n", property, static_cast<int>(seen.size()), seen.data());
  std::abort();
}

void checkAccepted(const PathFile& path) {
  if (path.views.empty()) broken("a path accepted without views", "");
  for (const PathView& view : path.views) {
    const PictureParameters asPicture{path.version, view.pattern, view.fields, 1, 1, true};
    if (const std::string problem = parametersProblem(asPicture); !problem.empty())
      broken("an accepted view that a picture file could not keep", problem);
  }
  const std::string json = pathToJson(path);
  const PathReadResult again = pathFromJson(json);
  if (!again.path || !(*again.path == path)) broken("the JSON written from an accepted path reads back different", json + " / " + again.error);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const PathReadResult read = pathFromJson(bytes);
  if (read.path)
    checkAccepted(*read.path);
  else if (read.error.empty())
    broken("a path file refused without a reason", bytes);
  return 0;
}
