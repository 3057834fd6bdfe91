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
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QString>
#include <QSysInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "options.h"

namespace plorvex::cli {
namespace {

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

// index.html with the view's pattern and texts and the pyramid's geometry
// inline (a page opened from file:// cannot fetch picture.dzi), and the map
// script and its style beside it.
bool writeViewer(const QDir& folder, const picture::PictureParameters& p, int width, int height,
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
  for (const char* name : {"leaflet.js", "leaflet.css"}) {
    QFile out(folder.filePath(name));
    if (!out.open(QIODevice::WriteOnly) || out.write(resource(name)) < 0) {
      error = out.fileName().toStdString() + ": " + out.errorString().toStdString();
      return false;
    }
  }
  QFile out(folder.filePath("index.html"));
  if (!out.open(QIODevice::WriteOnly) || out.write(page) != page.size()) {
    error = out.fileName().toStdString() + ": " + out.errorString().toStdString();
    return false;
  }
  return true;
}

bool cutTiles(VipsImage* picture, const QDir& folder, std::string& error) {
  const std::string base = folder.filePath(kPictureName).toStdString();
  if (vips_dzsave(picture, base.c_str(), "tile_size", kTileSize, "overlap", kOverlap, "suffix", ".png", "depth",
                  VIPS_FOREIGN_DZ_DEPTH_ONEPIXEL, "layout", VIPS_FOREIGN_DZ_LAYOUT_DZ, "region_shrink",
                  VIPS_REGION_SHRINK_MEAN, nullptr) != 0) {
    error = "the tiles could not be written (libvips: " + vipsError() + ")";
    return false;
  }
  // libvips's own record of the image; the viewer does not need it.
  QFile::remove(folder.filePath(QString(kPictureName) + "_files/vips-properties.xml"));
  return true;
}

// Makes the pyramid in a hidden folder beside dir, then renames it to dir.
bool publish(VipsImage* picture, const picture::PictureParameters& parameters, const std::string& dir,
             std::string& error) {
  const QFileInfo target(QString::fromStdString(dir));
  QTemporaryDir work(target.dir().filePath("." + target.fileName() + ".part-XXXXXX"));
  if (!work.isValid()) {
    error = dir + ": cannot make a folder beside it (" + work.errorString().toStdString() + ")";
    return false;
  }
  const QDir folder(work.path());
  if (!cutTiles(picture, folder, error) ||
      !writeViewer(folder, parameters, vips_image_get_width(picture), vips_image_get_height(picture), error))
    return false;
  QFile::setPermissions(work.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                         QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
  // An empty folder of that name gives way; pyramidFolderProblem let no other through.
  if (target.isDir()) target.dir().rmdir(target.fileName());
  if (!QDir().rename(work.path(), target.absoluteFilePath())) {
    error = dir + ": the finished pyramid could not be renamed to this name";
    return false;
  }
  work.setAutoRemove(false);
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
  const QFileInfo info(QString::fromStdString(dir));
  if (dir.empty()) return "--pyramid needs a folder name";
  if (info.isSymLink()) return "--pyramid " + dir + ": is a link; give a new folder or an empty one";
  if (info.exists() && !info.isDir()) return "--pyramid " + dir + ": exists and is not a folder";
  if (info.isDir() &&
      !QDir(info.filePath()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System))
    return "--pyramid " + dir + ": the folder is not empty; give a new folder or an empty one";
  if (!info.dir().exists()) return "--pyramid " + dir + ": the folder it would be in does not exist";
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
  const QFileInfo target(QString::fromStdString(dir));
  QTemporaryDir work(target.dir().filePath("." + target.fileName() + ".poster-XXXXXX"));
  if (!work.isValid()) {
    error = dir + ": cannot make a folder beside it (" + work.errorString().toStdString() + ")";
    return picture::PosterEnd::Failed;
  }
  const QString poster = QDir(work.path()).filePath("picture.png");
  const picture::PosterResult made = picture::makePoster(request, QFile::encodeName(poster));
  if (made.end != picture::PosterEnd::Written) {
    error = made.error;
    return made.end;
  }
  return writePyramidFromPicture(QFile::encodeName(poster).toStdString(), dir, error) ? picture::PosterEnd::Written
                                                                                      : picture::PosterEnd::Failed;
}

bool writePyramidFromPicture(const std::string& path, const std::string& dir, std::string& error) {
  const picture::ReadResult saved = picture::readParameters(QString::fromStdString(path));
  if (!saved.parameters) {
    error = saved.error;
    return false;
  }
  if (!startVips(error)) return false;
  VipsPointer picture(vips_image_new_from_file(path.c_str(), "access", VIPS_ACCESS_SEQUENTIAL, nullptr));
  if (!picture) {
    error = path + ": libvips cannot read the picture (" + vipsError() + ")";
    return false;
  }
  if (vips_image_get_bands(picture.get()) != 3 || vips_image_get_format(picture.get()) != VIPS_FORMAT_UCHAR) {
    error = path + ": not an 8-bit RGB picture as this program writes them";
    return false;
  }
  return publish(picture.get(), *saved.parameters, dir, error);
}

}  // namespace plorvex::cli
