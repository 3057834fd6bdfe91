#include "options.h"

#include <map>

namespace plorvex::cli {

const char* const kUsage =
    "usage: plorvex-render --pattern NAME|INDEX [--x TEXT] [--y TEXT] [--size TEXT]\n"
    "                      [--zoom TEXT] [--brightness TEXT] --out FILE [--canvas]\n"
    "       plorvex-render --list\n";

std::optional<Options> parseOptions(const std::vector<std::string>& args, std::string& error) {
  Options options;
  const std::map<std::string, std::string*> valued{
      {"--pattern", &options.pattern},         {"--x", &options.fields.x},
      {"--y", &options.fields.y},              {"--size", &options.fields.size},
      {"--zoom", &options.fields.zoom},        {"--brightness", &options.fields.brightness},
      {"--out", &options.out},
  };
  for (std::size_t k = 0; k < args.size(); ++k) {
    const std::string& arg = args[k];
    if (arg == "--canvas") {
      options.wholeCanvas = true;
    } else if (arg == "--list") {
      options.list = true;
    } else if (auto found = valued.find(arg); found != valued.end()) {
      if (k + 1 == args.size()) {
        error = arg + " needs a value";
        return std::nullopt;
      }
      *found->second = args[++k];
    } else {
      error = "unknown argument: " + arg;
      return std::nullopt;
    }
  }
  if (options.list) return options;
  if (options.pattern.empty()) {
    error = "--pattern is missing";
    return std::nullopt;
  }
  if (options.out.empty()) {
    error = "--out is missing";
    return std::nullopt;
  }
  return options;
}

}  // namespace plorvex::cli
