// SPDX-License-Identifier: GPL-3.0-or-later
#include "path_file.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QString>

#include "file_write.h"
#include "json_text.h"
#include "parameters.h"
#include "png_chunks.h"

namespace plorvex::picture {
namespace {

const std::string kOwner = "the path file's ";

PathReadResult refused(std::string why) { return {std::nullopt, std::move(why)}; }

// The document's object, or why the text is none.
std::optional<QJsonObject> jsonObject(std::string_view utf8, std::string& problem) {
  if (!detail::isValidUtf8(utf8)) {
    problem = "the path file is not valid UTF-8";
    return std::nullopt;
  }
  const std::size_t start = utf8.find_first_not_of(" \t\r\n");
  if (start == std::string_view::npos || utf8[start] != '{') {
    problem = "the path file is not a JSON object";
    return std::nullopt;
  }
  QJsonParseError parseError;
  const QJsonDocument document =
      QJsonDocument::fromJson(QByteArray(utf8.data(), static_cast<qsizetype>(utf8.size())), &parseError);
  if (parseError.error != QJsonParseError::NoError) {
    problem = "the path file is not valid JSON (" + parseError.errorString().toStdString() + " at byte " +
              std::to_string(parseError.offset) + ")";
    return std::nullopt;
  }
  if (!document.isObject()) {
    problem = "the path file is not a JSON object";
    return std::nullopt;
  }
  return document.object();
}

std::string viewProblem(const QJsonValue& value, std::size_t index, PathView& view) {
  const std::string owner = kOwner + "view " + std::to_string(index) + ": ";
  if (!value.isObject()) return owner + "not a JSON object";
  const QJsonObject object = value.toObject();
  if (std::string problem = detail::textMember(object, "pattern", owner, view.pattern); !problem.empty())
    return problem;
  if (!detail::isValidUtf8(view.pattern) || !detail::isPatternCaption(view.pattern))
    return owner + "'pattern' names an unknown pattern " + detail::shownText(view.pattern) +
           " (not a caption from atlas to tracer)";
  if (std::string problem = detail::fieldTextsFromJson(object, owner, view.fields); !problem.empty())
    return problem;
  return detail::fieldTextsProblem(view.fields, owner);
}

}  // namespace

bool operator==(const PathFile& a, const PathFile& b) {
  if (a.version != b.version || a.views.size() != b.views.size()) return false;
  for (std::size_t k = 0; k < a.views.size(); ++k) {
    const PathView& v = a.views[k];
    const PathView& w = b.views[k];
    if (v.pattern != w.pattern || v.fields.x != w.fields.x || v.fields.y != w.fields.y ||
        v.fields.size != w.fields.size || v.fields.zoom != w.fields.zoom ||
        v.fields.brightness != w.fields.brightness)
      return false;
  }
  return true;
}

PathReadResult pathFromJson(std::string_view utf8) {
  if (utf8.size() > kMaxPathFileBytes) return refused("the path file is larger than 1 MiB");
  std::string problem;
  const std::optional<QJsonObject> object = jsonObject(utf8, problem);
  if (!object) return refused(problem);
  PathFile path;
  if (problem = detail::textMember(*object, "version", kOwner, path.version); !problem.empty())
    return refused(problem);
  if (!detail::isValidUtf8(path.version)) return refused(kOwner + "'version' is not valid UTF-8");
  const QJsonValue views = object->value(QLatin1String("views"));
  if (views.isUndefined()) return refused(kOwner + "'views' is missing");
  if (!views.isArray()) return refused(kOwner + "'views' is not a list");
  const QJsonArray list = views.toArray();
  if (list.isEmpty()) return refused(kOwner + "'views' is empty");
  if (static_cast<std::size_t>(list.size()) > kMaxPathViews)
    return refused(kOwner + "'views' holds more than " + std::to_string(kMaxPathViews) + " views");
  for (qsizetype k = 0; k < list.size(); ++k) {
    PathView view;
    if (problem = viewProblem(list.at(k), static_cast<std::size_t>(k), view); !problem.empty())
      return refused(problem);
    path.views.push_back(std::move(view));
  }
  return {std::move(path), {}};
}

PathReadResult readPathFile(const QString& fileName) {
  const std::string name = QDir::toNativeSeparators(fileName).toStdString();
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly))
    return refused(name + ": cannot be opened (" + file.errorString().toStdString() + ")");
  // One byte more than the limit tells a file that is too large.
  const QByteArray bytes = file.read(static_cast<qint64>(kMaxPathFileBytes) + 1);
  if (file.error() != QFileDevice::NoError)
    return refused(name + ": cannot be read (" + file.errorString().toStdString() + ")");
  PathReadResult result = pathFromJson(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
  if (!result.path) result.error = name + ": " + result.error;
  return result;
}

std::string pathToJson(const PathFile& path) {
  std::string out = "{\"version\":";
  detail::appendJson(out, path.version);
  out += ",\"views\":[";
  for (std::size_t k = 0; k < path.views.size(); ++k) {
    out += k == 0 ? "{\"pattern\":" : ",{\"pattern\":";
    detail::appendJson(out, path.views[k].pattern);
    out += detail::fieldTextsToJson(path.views[k].fields);
    out += '}';
  }
  return out + "]}";
}

bool writePathFile(const PathFile& path, const QString& fileName, std::string& error) {
  const std::string text = pathToJson(path) + "\n";
  return writeFile(
      fileName,
      [&](QIODevice& file, std::string& reason) {
        if (file.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size())) return true;
        return reason = deviceError(file, "the data could not be written"), false;
      },
      error);
}

}  // namespace plorvex::picture
