// SPDX-License-Identifier: GPL-3.0-or-later
// The pyramid is cut by libvips (vips_dzsave): tiles of 256 x 256 pixels with
// a 1-pixel overlap, PNG, every level down to 1 x 1. The finest level holds
// the picture's own pixels; each coarser level is libvips's 2 x 2 mean of the
// one below ((a + b + c + d + 2) / 4, halves rounded up), an odd last row or
// column counted twice. It is made in a hidden folder beside DIR and renamed
// to DIR when whole, so that DIR never holds half a pyramid.

// Before any Qt header: Qt's 'signals' keyword would break GLib's headers.
#include <vips/vips.h>

#include "pyramid.h"

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QString>
#include <QSysInfo>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "file_write.h"
#include "options.h"
#include "png_chunks.h"

namespace plorvex::cli {
namespace {

namespace fs = std::filesystem;

constexpr int kTileSize = 256;
constexpr int kOverlap = 1;
constexpr const char* kPictureName = "picture";

struct Unref {
  void operator()(VipsImage* image) const { g_object_unref(image); }
};
using VipsPointer = std::unique_ptr<VipsImage, Unref>;

std::string vipsError() {
  std::string message = vips_error_buffer();
  vips_error_clear();
  while (!message.empty() && message.back() == '\n') message.pop_back();
  return message;
}

bool startVips(std::string& error) {
  static const bool started = vips_init("plorvex-render") == 0;
  if (!started) error = "libvips failed to start (" + vipsError() + ")";
  return started;
}

// Text for the page: a field text may hold anything, markup included.
std::string escapedHtml(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

QByteArray resource(const char* name) {
  QFile file(QString(":/viewer/") + name);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A file of the new pyramid, named by the system's bytes.
bool writeNew(const fs::path& file, const QByteArray& bytes, std::string& error) {
  QFile out;
  std::string reason;
  if (!picture::openFileNamed(out, QByteArray::fromStdString(file.native()), QIODevice::WriteOnly | QIODevice::Truncate,
                              reason) ||
      out.write(bytes) != bytes.size() || !out.flush()) {
    if (reason.empty()) reason = picture::deviceError(out, "the data could not be written");
    error = picture::shownName(file.native()) + ": " + reason;
    return false;
  }
  return true;
}

// index.html with the view's pattern and texts and the pyramid's geometry
// inline (a page opened from file:// cannot fetch picture.dzi), and the map
// script and its style beside it.
bool writeViewer(const fs::path& folder, const picture::PictureParameters& p, int width, int height,
                 std::string& error) {
  const int finest = static_cast<int>(std::ceil(std::log2(std::max(width, height))));
  const std::pair<const char*, std::string> fields[] = {
      {"@PATTERN@", escapedHtml(p.pattern)},        {"@X@", escapedHtml(p.fields.x)},
      {"@Y@", escapedHtml(p.fields.y)},             {"@SIZE@", escapedHtml(p.fields.size)},
      {"@ZOOM@", escapedHtml(p.fields.zoom)},       {"@BRIGHTNESS@", escapedHtml(p.fields.brightness)},
      {"@DENSITY@", std::to_string(p.density)},     {"@SMOOTH@", std::to_string(p.smooth)},
      {"@WIDTH@", std::to_string(width)},           {"@HEIGHT@", std::to_string(height)},
      {"@TILE@", std::to_string(kTileSize)},        {"@OVERLAP@", std::to_string(kOverlap)},
      {"@FINEST@", std::to_string(finest)},
  };
  QByteArray page = resource("index.html");
  for (const auto& [mark, value] : fields) page.replace(mark, QByteArray::fromStdString(value));
  for (const char* name : {"leaflet.js", "leaflet.css"})
    if (!writeNew(folder / name, resource(name), error)) return false;
  return writeNew(folder / "index.html", page, error);
}

bool cutTiles(VipsImage* picture, const fs::path& folder, std::string& error) {
  // libvips fails on a name that is not UTF-8 (it crashed on one): such a
  // folder is handed to it as its open descriptor's name, which is ASCII.
  const bool plainName = picture::detail::isValidUtf8(folder.native());
  const int descriptor = plainName ? -1 : ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (!plainName && descriptor < 0) {
    error = picture::shownName(folder.native()) + ": cannot be opened (" + std::strerror(errno) + ")";
    return false;
  }
  const std::string base =
      plainName ? (folder / kPictureName).native() : "/proc/self/fd/" + std::to_string(descriptor) + "/" + kPictureName;
  const bool cut = vips_dzsave(picture, base.c_str(), "tile_size", kTileSize, "overlap", kOverlap, "suffix", ".png",
                               "depth", VIPS_FOREIGN_DZ_DEPTH_ONEPIXEL, "layout", VIPS_FOREIGN_DZ_LAYOUT_DZ,
                               "region_shrink", VIPS_REGION_SHRINK_MEAN, nullptr) == 0;
  if (descriptor >= 0) ::close(descriptor);
  if (!cut) {
    error = "the tiles could not be written (libvips: " + vipsError() + ")";
    return false;
  }
  // libvips's own record of the image; the viewer does not need it.
  std::error_code ignored;
  fs::remove(folder / (std::string(kPictureName) + "_files") / "vips-properties.xml", ignored);
  return true;
}

// The folder DIR names, without the slashes it may end in ("out/" is "out").
fs::path folderNamed(const std::string& dir) {
  const std::size_t end = dir.find_last_not_of('/');
  return fs::path(end == std::string::npos ? dir : dir.substr(0, end + 1));
}

// A hidden folder beside the target (its name the system's bytes, whatever
// their encoding), removed with what it holds unless kept.
class WorkFolder {
 public:
  WorkFolder(const fs::path& target, const char* kind) {
    const fs::path beside = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    std::string pattern = (beside / ("." + target.filename().native() + kind + "-XXXXXX")).native();
    if (::mkdtemp(pattern.data())) path_ = pattern;
    else reason_ = std::strerror(errno);
  }
  ~WorkFolder() {
    std::error_code ignored;
    if (!path_.empty() && !kept_) fs::remove_all(path_, ignored);
  }
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;
  const fs::path& path() const { return path_; }
  const std::string& reason() const { return reason_; }
  void keep() { kept_ = true; }

 private:
  fs::path path_;
  std::string reason_;
  bool kept_ = false;
};

// Makes the pyramid in a hidden folder beside dir, then renames it to dir.
bool publish(VipsImage* picture, const picture::PictureParameters& parameters, const std::string& dir,
             std::string& error) {
  const fs::path target = folderNamed(dir);
  WorkFolder work(target, ".part");
  if (work.path().empty()) {
    error = picture::shownName(dir) + ": cannot make a folder beside it (" + work.reason() + ")";
    return false;
  }
  if (!cutTiles(picture, work.path(), error) ||
      !writeViewer(work.path(), parameters, vips_image_get_width(picture), vips_image_get_height(picture), error))
    return false;
  std::error_code failure;
  fs::permissions(work.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                   fs::perms::others_read | fs::perms::others_exec, failure);
  // rename replaces an empty folder of that name; pyramidFolderProblem let no other through.
  fs::rename(work.path(), target, failure);
  if (failure) {
    error = picture::shownName(dir) + ": the finished pyramid could not be renamed to this name (" +
            failure.message() + ")";
    return false;
  }
  work.keep();
  return true;
}

}  // namespace

std::string pyramidOptionsProblem(const Options& options) {
  if (options.pyramid.empty()) return {};
  if (!options.out.empty()) return "--pyramid writes a folder; leave out -o";
  if (!options.format.empty()) return "--pyramid writes PNG tiles; leave out --format";
  if (options.from.empty()) return {};
  const bool changed = !options.pattern.empty() || options.densityGiven || options.smoothGiven ||
                       options.wholeCanvas || std::find(std::begin(options.fieldGiven), std::end(options.fieldGiven),
                                                        true) != std::end(options.fieldGiven);
  return changed ? "--pyramid with --from tiles that picture as it is; to change it, render it with -o first, "
                   "then make the pyramid --from the new picture"
                 : "";
}

std::string pyramidFolderProblem(const std::string& dir) {
  if (dir.empty()) return "--pyramid needs a folder name";
  const fs::path target = folderNamed(dir);
  const std::string shown = "--pyramid " + picture::shownName(dir);
  std::error_code failure;
  const fs::file_status status = fs::symlink_status(target, failure);
  if (fs::is_symlink(status)) return shown + ": is a link; give a new folder or an empty one";
  if (fs::exists(status) && !fs::is_directory(status)) return shown + ": exists and is not a folder";
  if (fs::is_directory(status) && !fs::is_empty(target, failure))
    return shown + ": the folder is not empty; give a new folder or an empty one";
  const fs::path parent = target.parent_path().empty() ? fs::path(".") : target.parent_path();
  if (!fs::is_directory(parent, failure)) return shown + ": the folder it would be in does not exist";
  return {};
}

bool writePyramid(const QImage& image, const picture::PictureParameters& parameters, const std::string& dir,
                  std::string& error) {
  if (!startVips(error)) return false;
  const QImage pixels = image.convertToFormat(QImage::Format_RGB32);
  // Format_RGB32 holds 0xffRRGGBB words, 4 bytes a pixel, rows without padding.
  VipsPointer words(vips_image_new_from_memory(pixels.constBits(), static_cast<std::size_t>(pixels.sizeInBytes()),
                                               pixels.width(), pixels.height(), 4, VIPS_FORMAT_UCHAR));
  if (!words) {
    error = "libvips cannot take the picture (" + vipsError() + ")";
    return false;
  }
  const bool little = QSysInfo::ByteOrder == QSysInfo::LittleEndian;
  const int order[3] = {little ? 2 : 1, little ? 1 : 2, little ? 0 : 3};
  VipsImage* channels[3] = {};
  for (int k = 0; k < 3; ++k) vips_extract_band(words.get(), &channels[k], order[k], nullptr);
  VipsImage* joined = nullptr;
  const bool extracted = channels[0] && channels[1] && channels[2];
  if (extracted) vips_bandjoin(channels, &joined, 3, nullptr);
  for (VipsImage* channel : channels)
    if (channel) g_object_unref(channel);
  VipsPointer rgb(joined);
  if (!rgb) {
    error = "libvips cannot take the picture (" + vipsError() + ")";
    return false;
  }
  return publish(rgb.get(), parameters, dir, error);
}

picture::PosterEnd writePyramidOfPoster(const picture::PosterRequest& request, const std::string& dir,
                                        std::string& error) {
  const WorkFolder work(folderNamed(dir), ".poster");
  if (work.path().empty()) {
    error = picture::shownName(dir) + ": cannot make a folder beside it (" + work.reason() + ")";
    return picture::PosterEnd::Failed;
  }
  const std::string poster = (work.path() / "picture.png").native();
  const picture::PosterResult made = picture::makePoster(request, QByteArray::fromStdString(poster));
  if (made.end != picture::PosterEnd::Written) {
    error = made.error;
    return made.end;
  }
  return writePyramidFromPicture(poster, dir, error) ? picture::PosterEnd::Written : picture::PosterEnd::Failed;
}

bool writePyramidFromPicture(const std::string& path, const std::string& dir, std::string& error) {
  const picture::ReadResult saved = picture::readParametersNamed(path);
  if (!saved.parameters) {
    error = saved.error;
    return false;
  }
  if (!startVips(error)) return false;
  // libvips reads "[...]" at the end of a name as its options: "p[1]" would
  // load "p". The file goes to it as its open descriptor's name instead.
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) {
    error = picture::shownName(path) + ": cannot be opened (" + std::strerror(errno) + ")";
    return false;
  }
  const std::unique_ptr<const int, void (*)(const int*)> closed(&descriptor, [](const int* d) { ::close(*d); });
  const std::string name = "/proc/self/fd/" + std::to_string(descriptor);
  VipsPointer picture(vips_image_new_from_file(name.c_str(), "access", VIPS_ACCESS_SEQUENTIAL, nullptr));
  if (!picture) {
    error = picture::shownName(path) + ": libvips cannot read the picture (" + vipsError() + ")";
    return false;
  }
  if (vips_image_get_bands(picture.get()) != 3 || vips_image_get_format(picture.get()) != VIPS_FORMAT_UCHAR) {
    error = picture::shownName(path) + ": not an 8-bit RGB picture as this program writes them";
    return false;
  }
  return publish(picture.get(), *saved.parameters, dir, error);
}

}  // namespace plorvex::cli
