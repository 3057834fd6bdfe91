// SPDX-License-Identifier: GPL-3.0-or-later
#include "parameters.h"

#include <QByteArray>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QString>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "catalogue.h"
#include "json_text.h"
#include "png_chunks.h"

namespace plorvex::picture {
namespace {

// The field members in the order they are written.
struct FieldMember {
  const char* name;
  std::string FieldTexts::*text;
};
constexpr std::array kFieldMembers{
    FieldMember{"x", &FieldTexts::x},         FieldMember{"y", &FieldTexts::y},
    FieldMember{"size", &FieldTexts::size},   FieldMember{"zoom", &FieldTexts::zoom},
    FieldMember{"brightness", &FieldTexts::brightness},
};

// The length of the UTF-8 sequence starting at text[i], or 0 if none starts there.
std::size_t sequenceLength(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // past U+10FFFF
  } else {
    return 0;
  }
  if (text.size() - i < length) return 0;
  if (byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (std::size_t k = 2; k < length; ++k)
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  return length;
}

std::size_t codePoints(std::string_view utf8) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < utf8.size(); i += std::max<std::size_t>(1, sequenceLength(utf8, i)))
    ++count;
  return count;
}

// A text from a file, fit for a message: control characters escaped, cut
// after 40 characters. The text is valid UTF-8.
std::string shown(std::string_view text) {
  std::string out = "'";
  std::size_t characters = 0;
  for (std::size_t i = 0; i < text.size(); ++characters) {
    if (characters == 40) {
      out += "...";
      break;
    }
    const std::size_t length = std::max<std::size_t>(1, sequenceLength(text, i));
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      out += escaped;
    } else {
      out.append(text.substr(i, length));
    }
    i += length;
  }
  return out + "'";
}

// The code point of the valid UTF-8 sequence of `length` bytes at i.
char32_t codePointAt(std::string_view text, std::size_t i, std::size_t length) {
  static constexpr unsigned char kLeadBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
  char32_t point = static_cast<unsigned char>(text[i]) & kLeadBits[length];
  for (std::size_t k = 1; k < length; ++k)
    point = (point << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
  return point;
}

// \uXXXX, or a surrogate pair beyond the basic plane.
void appendEscaped(std::string& out, char32_t point) {
  char escaped[16];
  if (point > 0xFFFF) {
    const char32_t offset = point - 0x10000;
    std::snprintf(escaped, sizeof escaped, "\\u%04x\\u%04x", 0xD800 + (offset >> 10),
                  0xDC00 + (offset & 0x3FF));
  } else {
    std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(point));
  }
  out += escaped;
}

void appendJsonString(std::string& out, std::string_view text) {
  out += '"';
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = sequenceLength(text, i);
    const auto c = static_cast<unsigned char>(text[i]);
    if (length == 0) {
      out += "\xEF\xBF\xBD";  // U+FFFD for a byte that starts no character
      ++i;
      continue;
    }
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7F) {
      // Escaped, so that the JSON is plain ASCII: a tEXt chunk holds Latin-1,
      // and every PNG tool reads tEXt.
      appendEscaped(out, codePointAt(text, i, length));
    } else {
      out += static_cast<char>(c);
    }
    i += length;
  }
  out += '"';
}

bool isCaption(std::string_view pattern) {
  for (const PatternEntry& entry : patternCatalogue())
    if (pattern == entry.caption) return true;
  return false;
}

std::string rangeProblem(const char* member, int maximum) {
  return std::string("'") + member + "' must be a whole number from 1 to " + std::to_string(maximum);
}

// The checks a JSON reading leaves to the parameters themselves; "" if none fails.
std::string contentProblem(const PictureParameters& p) {
  const std::string owner = "the picture's ";
  if (!detail::isValidUtf8(p.version)) return owner + "'version' is not valid UTF-8";
  if (!detail::isValidUtf8(p.pattern)) return owner + "'pattern' is not valid UTF-8";
  if (!isCaption(p.pattern))
    return owner + "'pattern' names an unknown pattern " + shown(p.pattern) + " (not a caption from atlas to tracer)";
  return detail::fieldTextsProblem(p.fields, owner);
}

bool hasUnpairedSurrogate(const QString& text) {
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
      ++i;
    else if (text[i].isSurrogate())
      return true;
  }
  return false;
}

ReadResult refused(std::string why) { return {std::nullopt, std::move(why)}; }

}  // namespace

bool operator==(const PictureParameters& a, const PictureParameters& b) {
  return a.version == b.version && a.pattern == b.pattern && a.fields.x == b.fields.x &&
         a.fields.y == b.fields.y && a.fields.size == b.fields.size && a.fields.zoom == b.fields.zoom &&
         a.fields.brightness == b.fields.brightness && a.density == b.density && a.smooth == b.smooth &&
         a.complete == b.complete;
}

std::string fieldTextProblem(std::string_view text) {
  if (!detail::isValidUtf8(text)) return "not valid UTF-8";
  if (codePoints(text) > kMaxFieldTextLength)
    return "longer than " + std::to_string(kMaxFieldTextLength) + " characters";
  return {};
}

std::string parametersProblem(const PictureParameters& parameters) {
  if (parameters.density < 1 || parameters.density > kMaxSavedDensity)
    return "the picture's " + rangeProblem("density", kMaxSavedDensity);
  if (parameters.smooth < 1 || parameters.smooth > kMaxSmoothing)
    return "the picture's " + rangeProblem("smooth", kMaxSmoothing);
  return contentProblem(parameters);
}

std::string parametersToJson(const PictureParameters& p) {
  std::string out = "{\"version\":";
  appendJsonString(out, p.version);
  out += ",\"pattern\":";
  appendJsonString(out, p.pattern);
  out += detail::fieldTextsToJson(p.fields);
  out += ",\"density\":" + std::to_string(p.density);
  out += ",\"smooth\":" + std::to_string(p.smooth);
  out += p.complete ? ",\"complete\":true}" : ",\"complete\":false}";
  return out;
}

ReadResult parametersFromJson(std::string_view utf8) {
  const std::string owner = "the picture's ";
  if (utf8.size() > detail::kMaxTextBytes) return refused(owner + "parameters are larger than 64 KiB");
  // Qt's parser replaces some invalid bytes silently and reports others.
  if (!detail::isValidUtf8(utf8)) return refused(owner + "parameters are not valid UTF-8");
  // Qt's parser refuses a text that is not an array or an object as broken;
  // anything not starting with a brace is not an object, broken or not.
  const std::size_t start = utf8.find_first_not_of(" \t\r\n");
  if (start == std::string_view::npos) return refused(owner + "parameters are not valid JSON (the text is empty)");
  if (utf8[start] != '{') return refused(owner + "parameters are not a JSON object");
  QJsonParseError parseError;
  const QJsonDocument document =
      QJsonDocument::fromJson(QByteArray(utf8.data(), static_cast<qsizetype>(utf8.size())), &parseError);
  if (parseError.error != QJsonParseError::NoError)
    return refused(owner + "parameters are not valid JSON (" + parseError.errorString().toStdString() +
                   " at byte " + std::to_string(parseError.offset) + ")");
  if (!document.isObject()) return refused(owner + "parameters are not a JSON object");
  const QJsonObject object = document.object();

  PictureParameters p;
  std::string problem;
  const auto text = [&](const char* member, std::string& into) {
    problem = detail::textMember(object, member, owner, into);
    return problem.empty();
  };
  const auto whole = [&](const char* member, int maximum, int& into) {
    const QJsonValue value = object.value(QLatin1String(member));
    if (value.isUndefined()) {
      problem = owner + "'" + member + "' is missing";
      return false;
    }
    if (!value.isDouble()) {
      problem = owner + "'" + member + "' is not a number";
      return false;
    }
    const double number = value.toDouble();
    if (!(number >= 1 && number <= maximum && number == std::floor(number))) {
      problem = owner + rangeProblem(member, maximum);
      return false;
    }
    into = static_cast<int>(number);
    return true;
  };
  if (!text("version", p.version) || !text("pattern", p.pattern)) return refused(problem);
  if (problem = detail::fieldTextsFromJson(object, owner, p.fields); !problem.empty()) return refused(problem);
  if (!whole("density", kMaxSavedDensity, p.density) || !whole("smooth", kMaxSmoothing, p.smooth))
    return refused(problem);
  const QJsonValue complete = object.value(QLatin1String("complete"));
  if (complete.isUndefined()) return refused(owner + "'complete' is missing");
  if (!complete.isBool()) return refused(owner + "'complete' is not true or false");
  p.complete = complete.toBool();

  problem = contentProblem(p);
  if (!problem.empty()) return refused(problem);
  return {std::move(p), {}};
}

std::optional<ImageFormat> formatFromName(std::string_view name) {
  if (name == "png") return ImageFormat::Png;
  if (name == "jpg" || name == "jpeg") return ImageFormat::Jpeg;
  if (name == "bmp") return ImageFormat::Bmp;
  if (name == "ppm") return ImageFormat::Ppm;
  if (name == "webp") return ImageFormat::Webp;
  return std::nullopt;
}

bool keepsParameters(ImageFormat format) { return format == ImageFormat::Png || format == ImageFormat::Jpeg; }

std::optional<ImageFormat> formatFromPath(const QString& path) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  if (suffix.isEmpty() || QFileInfo(path).completeBaseName().isEmpty()) return std::nullopt;
  return formatFromName(suffix.toStdString());
}

namespace detail {

std::string shownText(std::string_view text) { return shown(text); }

void appendJson(std::string& out, std::string_view text) { appendJsonString(out, text); }

bool isPatternCaption(std::string_view pattern) { return isCaption(pattern); }

std::string textMember(const QJsonObject& object, const char* member, const std::string& owner,
                       std::string& into) {
  const QJsonValue value = object.value(QLatin1String(member));
  if (value.isUndefined()) return owner + "'" + member + "' is missing";
  if (!value.isString()) return owner + "'" + member + "' is not a text";
  if (hasUnpairedSurrogate(value.toString()))
    return owner + "'" + member + "' is not valid UTF-8 (it holds an unpaired surrogate)";
  into = value.toString().toStdString();
  return {};
}

std::string fieldTextsProblem(const FieldTexts& fields, const std::string& owner) {
  for (const FieldMember& member : kFieldMembers) {
    const std::string problem = fieldTextProblem(fields.*member.text);
    if (!problem.empty()) return owner + "'" + member.name + "' is " + problem;
  }
  return {};
}

std::string fieldTextsToJson(const FieldTexts& fields) {
  std::string out;
  for (const FieldMember& member : kFieldMembers) {
    out += ",\"";
    out += member.name;
    out += "\":";
    appendJsonString(out, fields.*member.text);
  }
  return out;
}

std::string fieldTextsFromJson(const QJsonObject& object, const std::string& owner, FieldTexts& fields) {
  for (const FieldMember& member : kFieldMembers)
    if (std::string problem = textMember(object, member.name, owner, fields.*member.text); !problem.empty())
      return problem;
  return {};
}

bool isValidUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = sequenceLength(text, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

}  // namespace detail
}  // namespace plorvex::picture
