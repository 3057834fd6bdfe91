// SPDX-License-Identifier: GPL-3.0-or-later
// Picture files: what is written reads back exactly, other tools see the
// parameters, damaged or hostile files are refused with a message saying
// why, and a failed write leaves the folder as it was.

#include <gtest/gtest.h>

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <grp.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>
#include <string>
#include <vector>

#include "picture.h"
#include "png_chunks.h"
#include "file_nodes.h"
#include "file_write.h"

namespace {

using namespace plorvex::picture;
namespace detail = plorvex::picture::detail;

PictureParameters parameters(std::string pattern, std::string x, std::string y, std::string size, std::string zoom,
                             std::string brightness, int density = 1, int smooth = 1, bool complete = true) {
  PictureParameters p;
  p.version = "1.2014";
  p.pattern = std::move(pattern);
  p.fields = {std::move(x), std::move(y), std::move(size), std::move(zoom), std::move(brightness)};
  p.density = density;
  p.smooth = smooth;
  p.complete = complete;
  return p;
}

std::string repeat(std::string_view piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

// Every pixel differs from its neighbours, so a shifted or swapped channel shows.
QImage testImage(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  std::uint32_t state = 12345;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      state = state * 1103515245u + 12345u;
      image.setPixel(x, y, qRgb(static_cast<int>(state >> 24), (x * 7 + y) & 0xFF, (y * 13) & 0xFF));
    }
  return image;
}

bool samePixels(const QImage& a, const QImage& b) {
  return a.size() == b.size() && a.convertToFormat(QImage::Format_RGB32) == b.convertToFormat(QImage::Format_RGB32);
}

QByteArray fileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void putFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  ASSERT_EQ(file.write(bytes), bytes.size());
}

std::span<const unsigned char> span(const QByteArray& bytes) {
  return {reinterpret_cast<const unsigned char*>(bytes.constData()), static_cast<std::size_t>(bytes.size())};
}

// --- PNG files built by hand, chunk by chunk ---

std::string be32(std::uint32_t value) {
  return {static_cast<char>(value >> 24), static_cast<char>(value >> 16 & 0xFF), static_cast<char>(value >> 8 & 0xFF),
          static_cast<char>(value & 0xFF)};
}

const std::string kSignature("\x89PNG\r\n\x1A\n", 8);
const std::string kIhdr = detail::chunk("IHDR", be32(1) + be32(1) + std::string("\x08\x02\x00\x00\x00", 5));

std::string deflated(std::string_view text) {
  const QByteArray packed = qCompress(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
  return packed.mid(4).toStdString();  // qCompress puts the length in front of the zlib stream
}

// One red pixel.
const std::string kIdat = detail::chunk("IDAT", deflated(std::string("\0\xFF\0\0", 4)));
const std::string kIend = detail::chunk("IEND", "");

std::string iTXt(std::string_view text, bool compress = false, std::string_view language = "",
                 std::string_view translated = "", std::string_view keyword = "plorvex") {
  std::string data(keyword);
  data += '\0';
  data += compress ? '\1' : '\0';
  data += '\0';
  data += language;
  data += '\0';
  data += translated;
  data += '\0';
  data += compress ? deflated(text) : std::string(text);
  return detail::chunk("iTXt", data);
}
std::string tEXt(std::string_view latin1, std::string_view keyword = "plorvex") {
  return detail::chunk("tEXt", std::string(keyword) + '\0' + std::string(latin1));
}
std::string zTXt(std::string_view latin1) {
  return detail::chunk("zTXt", std::string("plorvex\0\0", 9) + deflated(latin1));
}
// The chunk's data changed after its CRC was computed.
std::string corrupted(std::string chunk) {
  chunk[chunk.size() - 5] ^= 0x01;
  return chunk;
}

std::string png(const std::string& before, const std::string& after = "") {
  return kSignature + kIhdr + before + kIdat + after + kIend;
}

struct Chunk {
  std::string type;
  std::string data;
};

// The test's own chunk walk, to see where the writer put what.
std::vector<Chunk> chunksOf(const QByteArray& file) {
  std::vector<Chunk> chunks;
  const std::string bytes = file.toStdString();
  for (std::size_t at = 8; at + 12 <= bytes.size();) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + at);
    const std::size_t length = std::size_t{p[0]} << 24 | std::size_t{p[1]} << 16 | std::size_t{p[2]} << 8 | p[3];
    chunks.push_back({bytes.substr(at + 4, 4), bytes.substr(at + 8, length)});
    at += length + 12;
  }
  return chunks;
}

// The parameters as the format describes them, built without the writer.
QJsonObject formatObject() {
  return QJsonObject{{"version", "1.2014"}, {"pattern", "dada"},  {"x", " -2.5e3"}, {"y", "&H1F"},
                     {"size", "768"},       {"zoom", "0.15"},     {"brightness", "150 "},
                     {"density", 2},        {"smooth", 4},        {"complete", false}};
}
const PictureParameters kFormatParameters = parameters("dada", " -2.5e3", "&H1F", "768", "0.15", "150 ", 2, 4, false);

std::string json(const QJsonObject& object) { return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString(); }

QJsonObject with(QJsonObject object, const QString& member, const QJsonValue& value) {
  if (value.isUndefined())
    object.remove(member);
  else
    object[member] = value;
  return object;
}

// --- Writing and reading back ---

TEST(PictureFile, RoundTripKeepsParametersAndPixelsInTheDocumentedChunks) {
  const std::string long256 = repeat("\xF0\x9F\x98\x80", 256);  // 256 characters of 4 bytes each
  const std::vector<PictureParameters> cases = {
      parameters("atlas", "1", "1", "150", "1", "150", 1, 1, true),
      parameters("tracer", "  -12 ", "+3", " 768", "1.5E-3", "&H1F", 16, 8, false),
      parameters("dada", "&h7fff", "-1e+300", "1e2", ".5", "  ", 4, 4, true),
      parameters("ripple", "Zoë", "日本", "\xE2\x82\xAC""5", "a\"b\\c", "tab\there\nline", 7, 2, false),
      parameters("sizzle", std::string("nul\0inside", 10), "\x7F\x01", "", "", "", 1, 8, true),
      parameters("kate", long256, long256, long256, long256, long256, 3, 5, true),
  };
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QImage image = testImage(23, 17);
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE("case " + std::to_string(i));
    const PictureParameters& p = cases[i];
    const QString path = dir.filePath(QString("picture%1.png").arg(i));
    std::string error;
    ASSERT_TRUE(writePicture(image, path, ImageFormat::Png, p, error)) << error;

    const ReadResult fromFile = readParameters(path);
    ASSERT_TRUE(fromFile.parameters) << fromFile.error;
    EXPECT_EQ(*fromFile.parameters, p);
    const QByteArray bytes = fileBytes(path);
    const ReadResult fromMemory = parametersFromPng(span(bytes));
    ASSERT_TRUE(fromMemory.parameters) << fromMemory.error;
    EXPECT_EQ(*fromMemory.parameters, p);
    EXPECT_TRUE(samePixels(QImage(path), image));

    // The writer's bytes are the same whether it writes a file or a device.
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(writePicture(image, buffer, ImageFormat::Png, p, error)) << error;
    EXPECT_EQ(buffer.data(), bytes);

    // IHDR, then tEXt 'plorvex', then tEXt 'Software'; no zTXt.
    const std::vector<Chunk> chunks = chunksOf(bytes);
    ASSERT_GE(chunks.size(), 4u);
    EXPECT_EQ(chunks[0].type, "IHDR");
    EXPECT_EQ(chunks[1].type, "tEXt");
    const std::string textHead("plorvex\0", 8);
    ASSERT_EQ(chunks[1].data.substr(0, textHead.size()), textHead);
    EXPECT_EQ(chunks[2].type, "tEXt");
    EXPECT_EQ(chunks[2].data, std::string("Software\0Plorvex Picture Maker 1.2014", 37));
    for (const Chunk& chunk : chunks) EXPECT_NE(chunk.type, "zTXt");

    // The text is one JSON object with exactly the documented members, read by
    // Qt's parser rather than ours.
    const std::string text = chunks[1].data.substr(textHead.size());
    // Printable ASCII only: anything else is escaped, so the Latin-1 of tEXt
    // and UTF-8 read the same (and JSON allows no raw control characters).
    for (const char c : text) EXPECT_TRUE(c >= 0x20 && c < 0x7F) << text;
    const QJsonObject object = QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
    EXPECT_EQ(object.keys(), (QStringList{"brightness", "complete", "density", "pattern", "size", "smooth",
                                          "version", "x", "y", "zoom"}));
    EXPECT_EQ(object["version"].toString().toStdString(), p.version);
    EXPECT_EQ(object["pattern"].toString().toStdString(), p.pattern);
    EXPECT_EQ(object["x"].toString().toStdString(), p.fields.x);
    EXPECT_EQ(object["y"].toString().toStdString(), p.fields.y);
    EXPECT_EQ(object["size"].toString().toStdString(), p.fields.size);
    EXPECT_EQ(object["zoom"].toString().toStdString(), p.fields.zoom);
    EXPECT_EQ(object["brightness"].toString().toStdString(), p.fields.brightness);
    EXPECT_TRUE(object["density"].isDouble());
    EXPECT_EQ(object["density"].toDouble(), p.density);
    EXPECT_EQ(object["smooth"].toDouble(), p.smooth);
    EXPECT_TRUE(object["complete"].isBool());
    EXPECT_EQ(object["complete"].toBool(), p.complete);
  }
}

TEST(PictureFile, OtherFormatsKeepThePixelsAndCarryNoParameters) {
  QTemporaryDir dir;
  const QImage image = testImage(19, 11);
  const PictureParameters p = parameters("atlas", "1", "1", "150", "1", "150");
  for (const char* name : {"picture.ppm", "picture.BMP"}) {
    SCOPED_TRACE(name);
    const QString path = dir.filePath(name);
    const auto format = formatFromPath(path);
    ASSERT_TRUE(format);
    std::string error;
    ASSERT_TRUE(writePicture(image, path, *format, p, error)) << error;
    EXPECT_TRUE(samePixels(QImage(path), image));
    const ReadResult read = readParameters(path);
    EXPECT_FALSE(read.parameters);
    EXPECT_NE(read.error.find("not a PNG"), std::string::npos) << read.error;
  }
}

// --- JPEG: the parameters in a comment ---

// The segments of a JPEG up to its image data: marker code and data.
std::vector<Chunk> segmentsOf(const QByteArray& file) {
  std::vector<Chunk> segments;
  const std::string bytes = file.toStdString();
  for (std::size_t at = 2; at + 4 <= bytes.size() && bytes[at + 1] != '\xDA';) {
    const std::size_t length = std::size_t{static_cast<unsigned char>(bytes[at + 2])} << 8 |
                               static_cast<unsigned char>(bytes[at + 3]);
    segments.push_back({bytes.substr(at + 1, 1), bytes.substr(at + 4, length - 2)});
    at += 2 + length;
  }
  return segments;
}

// Close enough for a lossy format: every channel within a few steps on average.
bool similarPixels(const QImage& a, const QImage& b) {
  if (a.size() != b.size()) return false;
  double difference = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
      difference += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
    }
  return difference / (3.0 * a.width() * a.height()) < 12;
}

TEST(PictureFile, AJpegKeepsTheParametersInACommentAfterItsJfifSegment) {
  const std::string long256 = repeat("\xF0\x9F\x98\x80", 256);
  const std::vector<PictureParameters> cases = {
      parameters("atlas", "1", "1", "150", "1", "150", 1, 1, true),
      parameters("tracer", "  -12 ", "+3", " 768", "1.5E-3", "&H1F", 16, 8, false),  // blanks kept
      parameters("ripple", "Zoë", "日本", "\xE2\x82\xAC""5", "a\"b\\c", "tab\there\nline", 7, 2, false),
      parameters("kate", long256, long256, long256, long256, long256, 3, 5, true),
  };
  QTemporaryDir dir;
  // A smooth image: JPEG keeps it close, so that a shifted channel would show.
  QImage image(40, 24, QImage::Format_RGB32);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, qRgb(x * 6, y * 10, 200 - x * 3));
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE("case " + std::to_string(i));
    const PictureParameters& p = cases[i];
    const QString path = dir.filePath(QString("picture%1.jpg").arg(i));
    std::string error;
    ASSERT_TRUE(writePicture(image, path, ImageFormat::Jpeg, p, error)) << error;
    const ReadResult fromFile = readParameters(path);
    ASSERT_TRUE(fromFile.parameters) << fromFile.error;
    EXPECT_EQ(*fromFile.parameters, p);
    const QByteArray bytes = fileBytes(path);
    const ReadResult fromMemory = parametersFromPicture(span(bytes));
    ASSERT_TRUE(fromMemory.parameters) << fromMemory.error;
    EXPECT_EQ(*fromMemory.parameters, p);
    // SOI, APP0 (JFIF) first as JFIF asks, then the comment.
    ASSERT_TRUE(bytes.startsWith("\xFF\xD8"));
    const std::vector<Chunk> segments = segmentsOf(bytes);
    ASSERT_GE(segments.size(), 2u);
    EXPECT_EQ(segments[0].type, "\xE0");
    EXPECT_EQ(segments[0].data.substr(0, 5), std::string("JFIF\0", 5));
    EXPECT_EQ(segments[1].type, "\xFE");
    EXPECT_EQ(segments[1].data, "plorvex: " + parametersToJson(p));
    // Qt's reader sees the text under the key 'plorvex' (with its blanks
    // squeezed, as Qt shows every JPEG comment), and the pixels.
    QImageReader reader(path);
    EXPECT_EQ(reader.text("plorvex"), QString::fromStdString(parametersToJson(p)).simplified());
    EXPECT_TRUE(similarPixels(reader.read().convertToFormat(QImage::Format_RGB32), image));
    // The bytes are the same whether the writer writes a file or a device.
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(writePicture(image, buffer, ImageFormat::Jpeg, p, error)) << error;
    EXPECT_EQ(buffer.data(), bytes);
  }
}

std::string segment(unsigned char code, std::string_view data) {
  const std::size_t length = data.size() + 2;
  const std::string head{'\xFF', static_cast<char>(code), static_cast<char>(length >> 8),
                         static_cast<char>(length & 0xFF)};
  return head + std::string(data);
}

TEST(PictureFile, RefusesDamagedOrForeignJpegsSayingWhatIsWrong) {
  const std::string soi("\xFF\xD8", 2), sos = segment(0xDA, std::string("\x01\x01\x00\x00\x3F\x00", 6));
  const std::string jfif = segment(0xE0, std::string("JFIF\0\1\1\0\0\1\0\1\0\0", 14));
  const std::string good = json(formatObject());
  const std::string ours = segment(0xFE, "plorvex: " + good);
  const auto jpeg = [&](const std::string& segments) { return soi + jfif + segments + sos + "\x12\x34\xFF\xD9"; };
  const struct {
    const char* what;
    std::string file;
    const char* says;  // empty: accepted
  } cases[] = {
      {"the comment after other segments and fill bytes", jpeg(segment(0xDB, repeat("q", 65)) + "\xFF\xFF" +
                                                               segment(0xFE, "made elsewhere") + ours), ""},
      {"only the start of an APP0", std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00", 11), "runs past the end"},
      {"only the start of image", soi, "truncated"},
      {"cut inside a marker", soi + "\xFF", "truncated"},
      {"cut inside a length", soi + std::string("\xFF\xFE\x00", 3), "truncated"},
      {"no comment", jpeg(""), "no 'plorvex' comment"},
      {"only others' comments", jpeg(segment(0xFE, "plorvex") + segment(0xFE, "Plorvex: " + good)),
       "no 'plorvex' comment"},
      {"the comment after the image data", soi + jfif + sos + ours, "no 'plorvex' comment"},
      {"bytes where a marker should be", soi + jfif + "JFIF" + ours, "does not begin with a marker"},
      {"a length below two", soi + std::string("\xFF\xE1\x00\x01", 4) + ours, "shorter than its length"},
      {"a second start of image", soi + soi + ours, "marker 0xD8"},
      {"broken JSON", jpeg(segment(0xFE, "plorvex: " + good.substr(1))), "not a JSON object"},
      {"JSON cut short", jpeg(segment(0xFE, "plorvex: " + good.substr(0, good.size() - 1))), "not valid JSON"},
      {"invalid UTF-8", jpeg(segment(0xFE, "plorvex: " + std::string(good).replace(good.find("dada"), 1, "\xC0"))),
       "not valid UTF-8"},
      {"an unknown pattern", jpeg(segment(0xFE, "plorvex: " + json(with(formatObject(), "pattern", "mandel")))),
       "unknown pattern"},
  };
  QTemporaryDir dir;
  const QString path = dir.filePath("damaged.jpg");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const QByteArray bytes = QByteArray::fromStdString(c.file);
    const ReadResult fromMemory = parametersFromPicture(span(bytes));
    putFile(path, bytes);
    const ReadResult fromFile = readParameters(path);
    if (*c.says == '\0') {
      ASSERT_TRUE(fromMemory.parameters) << fromMemory.error;
      EXPECT_EQ(*fromMemory.parameters, kFormatParameters);
      ASSERT_TRUE(fromFile.parameters) << fromFile.error;
      continue;
    }
    EXPECT_FALSE(fromMemory.parameters);
    EXPECT_NE(fromMemory.error.find(c.says), std::string::npos) << c.what << ": " << fromMemory.error;
    EXPECT_FALSE(fromFile.parameters);
    EXPECT_EQ(fromFile.error, path.toStdString() + ": " + fromMemory.error);
  }
}

TEST(PictureFile, WebpKeepsThePixelsWhereQtWritesIt) {
  QTemporaryDir dir;
  const QString path = dir.filePath("picture.webp");
  const QImage image = testImage(16, 9);
  std::string error;
  const bool written = writePicture(image, path, ImageFormat::Webp, parameters("atlas", "1", "1", "150", "1", "150"),
                                    error);
  EXPECT_EQ(written, canWrite(ImageFormat::Webp)) << error;
  if (written) {
    EXPECT_EQ(QImage(path).size(), image.size());
  } else {
    EXPECT_EQ(error, "cannot write '" + path.toStdString() + "': this system's Qt cannot write WebP images");
    EXPECT_FALSE(QFile::exists(path));
  }
}

// Any PNG tool shows the parameters: ImageMagick, for one, reads tEXt (it
// skips iTXt).
TEST(PictureFile, IdentifyShowsTheParametersAndTheSoftware) {
  const QString identify = QStandardPaths::findExecutable("identify");
  if (identify.isEmpty()) GTEST_SKIP() << "ImageMagick's identify is not installed";
  QTemporaryDir dir;
  const QString path = dir.filePath("shown.png");
  std::string error;
  ASSERT_TRUE(writePicture(testImage(8, 5), path, ImageFormat::Png, kFormatParameters, error)) << error;
  QProcess process;
  process.start(identify, {"-verbose", path});
  ASSERT_TRUE(process.waitForFinished(30000));
  ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
  EXPECT_EQ(process.readAllStandardError().toStdString(), "");
  const std::string shown = process.readAllStandardOutput().toStdString();
  EXPECT_NE(shown.find("Geometry: 8x5+0+0"), std::string::npos) << shown;
  EXPECT_NE(shown.find("Software: Plorvex Picture Maker 1.2014"), std::string::npos) << shown;
  EXPECT_NE(shown.find("plorvex: {\"version\":\"1.2014\",\"pattern\":"), std::string::npos) << shown;
}

// --- Reading what others wrote, and what nobody should ---

TEST(PictureFile, ReadsEveryTextChunkEncodingTheFormatAllows) {
  const std::string plain = json(formatObject());
  // Latin-1 in tEXt and zTXt: "Zoë" is 5A 6F EB there, and C3 AB read back.
  std::string latin1Text = json(with(formatObject(), "x", "ZoX"));
  latin1Text.replace(latin1Text.find("ZoX") + 2, 1, "\xEB");
  PictureParameters latin1Parameters = kFormatParameters;
  latin1Parameters.fields.x = "Zo\xC3\xAB";

  QJsonObject later = formatObject();
  later["palette"] = QJsonObject{{"name", "later"}};
  later["density"] = 2.0;
  std::string reordered = "{\"complete\":false,\"smooth\":4,\"density\":2,\"brightness\":\"150 \",\"zoom\":\"0.15\","
                          "\"size\":\"768\",\"y\":\"&H1F\",\"x\":\" -2.5e3\",\"pattern\":\"dada\",\"version\":\"1.2014\"}";
  const std::string longest = repeat("\xF0\x9F\x98\x80", 256);
  PictureParameters longestParameters = kFormatParameters;
  longestParameters.fields.zoom = longest;

  const struct {
    const char* what;
    std::string file;
    PictureParameters expected;
  } cases[] = {
      {"iTXt after the image data", png("", iTXt(plain)), kFormatParameters},
      {"compressed iTXt", png(iTXt(plain, true)), kFormatParameters},
      {"iTXt with a language tag and a translated keyword", png(iTXt(plain, false, "en-GB", "Plorvex-Parameter")),
       kFormatParameters},
      {"tEXt, Latin-1", png(tEXt(latin1Text)), latin1Parameters},
      {"zTXt, Latin-1", png(zTXt(latin1Text)), latin1Parameters},
      {"after other text chunks, one of them damaged",
       png(tEXt("Comment text", "Comment") + corrupted(iTXt("x", false, "", "", "plorvexx")) +
           iTXt("ignored", false, "", "", repeat("k", 79)) + iTXt(plain)),
       kFormatParameters},
      {"the first of two", png(iTXt(plain), iTXt(json(with(formatObject(), "pattern", "atlas")))), kFormatParameters},
      {"unknown members, density as 2.0", png(iTXt(json(later))), kFormatParameters},
      {"members in another order", png(iTXt(reordered)), kFormatParameters},
      {"a text of 256 four-byte characters", png(iTXt(json(with(formatObject(), "zoom", QString::fromStdString(longest))))),
       longestParameters},
  };
  QTemporaryDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const QByteArray bytes = QByteArray::fromStdString(c.file);
    const ReadResult fromMemory = parametersFromPng(span(bytes));
    ASSERT_TRUE(fromMemory.parameters) << fromMemory.error;
    EXPECT_EQ(*fromMemory.parameters, c.expected);
    const QString path = dir.filePath("accepted.png");
    putFile(path, bytes);
    const ReadResult fromFile = readParameters(path);
    ASSERT_TRUE(fromFile.parameters) << fromFile.error;
    EXPECT_EQ(*fromFile.parameters, c.expected);
    EXPECT_FALSE(QImage(path).isNull()) << "the hand-made file is not a PNG Qt reads";
  }
}

// The image data is passed over, never inflated, so that a poster's
// parameters come back at once: garbage there is not noticed, in one IDAT or
// in several, with the chunk after them.
TEST(PictureFile, TheImageDataIsNeverInflated) {
  const std::string plain = json(formatObject());
  const std::string garbage = detail::chunk("IDAT", repeat("\xFF", 70000));
  QTemporaryDir dir;
  for (const std::string& file : {kSignature + kIhdr + garbage + iTXt(plain) + kIend,
                                  kSignature + kIhdr + garbage + garbage + garbage + tEXt(plain) + kIend}) {
    const QByteArray bytes = QByteArray::fromStdString(file);
    const ReadResult fromMemory = parametersFromPng(span(bytes));
    ASSERT_TRUE(fromMemory.parameters) << fromMemory.error;
    EXPECT_EQ(*fromMemory.parameters, kFormatParameters);
    putFile(dir.filePath("garbage.png"), bytes);
    const ReadResult fromFile = readParameters(dir.filePath("garbage.png"));
    ASSERT_TRUE(fromFile.parameters) << fromFile.error;
  }
}

TEST(PictureFile, RefusesDamagedFilesSayingWhatIsWrong) {
  const std::string good = json(formatObject());
  const std::string goodFile = png(iTXt(good));
  std::string lengthTooLong = png(iTXt(good));
  lengthTooLong.replace(33, 4, be32(100000));  // the iTXt chunk's length, right after IHDR
  std::string badSignature = goodFile;
  badSignature[6] = '\n';  // the CR-LF that a text-mode transfer turns into LF
  std::string badIhdrCrc = goodFile;
  badIhdrCrc[8 + 8 + 3] ^= 0x40;  // the IHDR's width

  const struct {
    const char* what;
    std::string file;
    const char* says;
  } cases[] = {
      {"an empty file", "", "not a PNG file"},
      {"a GIF", "GIF89a\x01\x00\x01\x00", "signature"},
      {"LF for CR-LF in the signature", badSignature, "signature"},
      {"cut inside the signature", kSignature.substr(0, 5), "truncated"},
      {"cut after the signature", kSignature, "truncated"},
      {"cut inside a chunk header", kSignature + kIhdr + "\0\0\0", "truncated"},
      {"cut before IEND", kSignature + kIhdr + kIdat, "truncated"},
      {"a chunk length past the end", lengthTooLong, "runs past the end"},
      {"cut inside the image data", (kSignature + kIhdr + kIdat).substr(0, 8 + 25 + 10), "runs past the end"},
      {"the plorvex chunk's CRC wrong", png(corrupted(iTXt(good))), "CRC"},
      {"the IHDR's CRC wrong", badIhdrCrc, "CRC"},
      {"no IHDR first", kSignature + iTXt(good) + kIhdr + kIdat + kIend, "IHDR"},
      {"a chunk type that is not letters", kSignature + kIhdr + detail::chunk("12ab", "") + kIend, "chunk type"},
      {"wider than libpng reads", kSignature + detail::chunk("IHDR", be32(1000001) + be32(1) + std::string("\x08\x02\0\0\0", 5)) +
                                      iTXt(good) + kIdat + kIend,
       "1,000,000 pixels"},
      {"no text chunk", png(""), "no 'plorvex' chunk"},
      {"only other text chunks", png(detail::softwareChunk("1.2014") + tEXt(good, "Comment")), "no 'plorvex' chunk"},
      {"the keyword in another case", png(iTXt(good, false, "", "", "Plorvex")), "no 'plorvex' chunk"},
      {"broken JSON", png(iTXt(good.substr(0, good.size() - 1))), "not valid JSON"},
      {"JSON and more", png(iTXt(good + "{}")), "not valid JSON"},
      {"an empty text", png(iTXt("")), "not valid JSON"},
      {"a JSON array", png(iTXt("[" + good + "]")), "not a JSON object"},
      {"a JSON text", png(iTXt("\"dada\"")), "not a JSON object"},
      {"invalid UTF-8 in iTXt", png(iTXt(json(with(formatObject(), "x", "AB")).replace(good.find("\"x\"") + 5, 1, "\xC3"))),
       "not valid UTF-8"},
      {"an overlong slash in iTXt", png(iTXt(json(formatObject()).replace(0, 0, "\xC0\xAF"))), "not valid UTF-8"},
      {"invalid UTF-8 in a compressed iTXt", png(iTXt(std::string("{\"x\":\"\xFF\"}"), true)), "not valid UTF-8"},
      {"a lone surrogate escape", png(iTXt(json(with(formatObject(), "x", "S")).replace(good.find("\"x\"") + 5, 1, "\\ud800"))),
       "'x' is not valid UTF-8"},
      {"a decompression bomb", png(iTXt(repeat(" ", 1 << 20), true)), "64 KiB"},
      {"a zTXt bomb", png(zTXt(repeat(" ", 1 << 20))), "64 KiB"},
      {"an uncompressed text over 64 KiB", png(iTXt(json(with(formatObject(), "note", QString(70000, 'n'))))), "64 KiB"},
      {"a plorvex chunk over 256 KiB", png(iTXt(repeat(" ", 300000), false, "", "", "plorvex")), "256 KiB"},
      {"damaged compressed data, CRC right",
       png(detail::chunk("iTXt", std::string("plorvex\0\1\0\0\0", 12) + deflated(good).replace(5, 3, "\xFF\xFF\xFF"))),
       "damaged"},
      {"compressed data cut short",
       png(detail::chunk("iTXt", std::string("plorvex\0\1\0\0\0", 12) + deflated(good).substr(0, 20))), "ends early"},
      {"an unknown compression method", png(detail::chunk("iTXt", std::string("plorvex\0\1\x08\0\0", 12) + deflated(good))),
       "compression method"},
      {"a zTXt compression method", png(detail::chunk("zTXt", std::string("plorvex\0\x01", 9) + deflated(good))),
       "compression method"},
      {"a compression flag of 2", png(detail::chunk("iTXt", std::string("plorvex\0\2\0\0\0", 12) + good)),
       "compression flag"},
      {"no end to the language tag", png(detail::chunk("iTXt", std::string("plorvex\0\0\0en", 12))), "malformed"},
      {"no compression flag", png(detail::chunk("iTXt", std::string("plorvex\0", 8))), "malformed"},
  };
  QTemporaryDir dir;
  const QString path = dir.filePath("damaged.png");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const QByteArray bytes = QByteArray::fromStdString(c.file);
    const ReadResult fromMemory = parametersFromPng(span(bytes));
    EXPECT_FALSE(fromMemory.parameters);
    EXPECT_NE(fromMemory.error.find(c.says), std::string::npos) << fromMemory.error;
    // From a file: the same verdict, after the file's name.
    putFile(path, bytes);
    const ReadResult fromFile = readParameters(path);
    EXPECT_FALSE(fromFile.parameters);
    EXPECT_EQ(fromFile.error, path.toStdString() + ": " + fromMemory.error);
  }
  const ReadResult missing = readParameters(dir.filePath("absent.png"));
  EXPECT_FALSE(missing.parameters);
  EXPECT_NE(missing.error.find("absent.png: cannot be opened"), std::string::npos) << missing.error;
  const ReadResult folder = readParameters(dir.path());
  EXPECT_FALSE(folder.parameters);
  EXPECT_NE(folder.error.find(dir.path().toStdString() + ": "), std::string::npos) << folder.error;
}

TEST(PictureFile, RefusesParametersThatBreakTheFormatNamingTheMember) {
  const QString tooLong = QString(257, QChar(0xE9));  // 257 characters, 514 bytes
  const struct {
    const char* member;
    QJsonValue value;  // undefined: the member is left out
    const char* says;
  } cases[] = {
      {"version", QJsonValue::Undefined, "the picture's 'version' is missing"},
      {"pattern", QJsonValue::Undefined, "the picture's 'pattern' is missing"},
      {"x", QJsonValue::Undefined, "the picture's 'x' is missing"},
      {"y", QJsonValue::Undefined, "the picture's 'y' is missing"},
      {"size", QJsonValue::Undefined, "the picture's 'size' is missing"},
      {"zoom", QJsonValue::Undefined, "the picture's 'zoom' is missing"},
      {"brightness", QJsonValue::Undefined, "the picture's 'brightness' is missing"},
      {"density", QJsonValue::Undefined, "the picture's 'density' is missing"},
      {"smooth", QJsonValue::Undefined, "the picture's 'smooth' is missing"},
      {"complete", QJsonValue::Undefined, "the picture's 'complete' is missing"},
      {"version", 1.2014, "the picture's 'version' is not a text"},
      {"pattern", QJsonValue::Null, "the picture's 'pattern' is not a text"},
      {"x", 1, "the picture's 'x' is not a text"},
      {"y", QJsonArray{"1"}, "the picture's 'y' is not a text"},
      {"size", true, "the picture's 'size' is not a text"},
      {"zoom", 0.15, "the picture's 'zoom' is not a text"},
      {"brightness", QJsonObject{}, "the picture's 'brightness' is not a text"},
      {"density", "2", "the picture's 'density' is not a number"},
      {"smooth", QJsonValue::Null, "the picture's 'smooth' is not a number"},
      {"complete", "false", "the picture's 'complete' is not true or false"},
      {"complete", 0, "the picture's 'complete' is not true or false"},
      {"pattern", "Atlas", "unknown pattern 'Atlas'"},
      {"pattern", "0", "unknown pattern '0'"},
      {"pattern", "", "unknown pattern ''"},
      {"pattern", "atlas\n", "unknown pattern 'atlas\\x0A'"},
      {"x", tooLong, "the picture's 'x' is longer than 256 characters"},
      {"y", tooLong, "the picture's 'y' is longer than 256 characters"},
      {"size", tooLong, "the picture's 'size' is longer than 256 characters"},
      {"zoom", tooLong, "the picture's 'zoom' is longer than 256 characters"},
      {"brightness", tooLong, "the picture's 'brightness' is longer than 256 characters"},
      {"density", 0, "'density' must be a whole number from 1 to 1000000"},
      {"density", 1000001, "'density' must be a whole number from 1 to 1000000"},
      {"density", 1.5, "'density' must be a whole number from 1 to 1000000"},
      {"density", -4, "'density' must be a whole number from 1 to 1000000"},
      {"density", 1e300, "'density' must be a whole number from 1 to 1000000"},
      {"smooth", 0, "'smooth' must be a whole number from 1 to 8"},
      {"smooth", 9, "'smooth' must be a whole number from 1 to 8"},
      {"smooth", 7.999, "'smooth' must be a whole number from 1 to 8"},
  };
  for (const auto& c : cases) {
    const std::string text = json(with(formatObject(), c.member, c.value));
    SCOPED_TRACE(text);
    const ReadResult fromJson = parametersFromJson(text);
    EXPECT_FALSE(fromJson.parameters);
    EXPECT_NE(fromJson.error.find(c.says), std::string::npos) << fromJson.error;
    const QByteArray file = QByteArray::fromStdString(png(iTXt(text)));
    EXPECT_EQ(parametersFromPng(span(file)).error, fromJson.error);
  }
  // The base object itself is accepted: each refusal above is the one change's.
  const ReadResult base = parametersFromJson(json(formatObject()));
  ASSERT_TRUE(base.parameters) << base.error;
  EXPECT_EQ(*base.parameters, kFormatParameters);
}

TEST(PictureFile, FieldTextProblemKnowsUtf8AndCountsCharacters) {
  const struct {
    std::string text;
    const char* problem;
  } cases[] = {
      {"", ""},
      {repeat("a", 256), ""},
      {repeat("a", 257), "longer than 256 characters"},
      {repeat("\xF0\x9F\x98\x80", 256), ""},
      {repeat("\xF0\x9F\x98\x80", 257), "longer than 256 characters"},
      {repeat("\xE2\x82\xAC", 200) + repeat("x", 56), ""},
      {std::string("a\0b", 3), ""},
      {"\xEF\xBF\xBF\xF4\x8F\xBF\xBF", ""},  // U+FFFF and U+10FFFF
      {"\xC3", "not valid UTF-8"},           // cut short
      {"\xE2\x82", "not valid UTF-8"},
      {"\xC0\xAF", "not valid UTF-8"},            // overlong '/'
      {"\xE0\x80\xAF", "not valid UTF-8"},        // overlong '/'
      {"\xF0\x80\x80\xAF", "not valid UTF-8"},    // overlong '/'
      {"\xED\xA0\x80", "not valid UTF-8"},        // a surrogate
      {"\xF4\x90\x80\x80", "not valid UTF-8"},    // past U+10FFFF
      {"\x80", "not valid UTF-8"},                // a continuation byte alone
      {"ok\xFF", "not valid UTF-8"},
      {repeat("a", 300) + "\xFF", "not valid UTF-8"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    EXPECT_EQ(fieldTextProblem(c.text), c.problem);
  }
}

// A file name in a message: UTF-8 as it is, every other byte (and a control
// character) as \xHH, so that the name can be typed again with $'...'.
TEST(PictureFile, ShownNamesKeepUtf8AndSpellOtherBytes) {
  const struct {
    std::string name;
    const char* shown;
  } cases[] = {
      {"frames/a.png", "frames/a.png"},
      {"\xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80.png", "\xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80.png"},
      {"x\xFF.png", "x\\xFF.png"},
      {"\xC3", "\\xC3"},                         // cut short at the end
      {"\xE2\x82.png", "\\xE2\\x82.png"},        // cut short inside
      {"\xC0\xAF", "\\xC0\\xAF"},                // overlong '/'
      {"\xED\xA0\x80", "\\xED\\xA0\\x80"},       // a surrogate
      {"a\nb\x1B\x7F", "a\\x0Ab\\x1B\\x7F"},
      {"\x80\xC3\xA9", "\\x80\xC3\xA9"},         // a lone continuation byte, then a character
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.name));
    EXPECT_EQ(shownName(c.name), c.shown);
  }
}

TEST(PictureFile, FormatsByNameAndBySuffix) {
  EXPECT_EQ(formatFromName("png"), ImageFormat::Png);
  EXPECT_EQ(formatFromName("ppm"), ImageFormat::Ppm);
  EXPECT_EQ(formatFromName("bmp"), ImageFormat::Bmp);
  EXPECT_EQ(formatFromName("jpg"), ImageFormat::Jpeg);
  EXPECT_EQ(formatFromName("jpeg"), ImageFormat::Jpeg);
  EXPECT_EQ(formatFromName("webp"), ImageFormat::Webp);
  for (const char* name : {"", "PNG", "gif", "png ", "jpe"}) EXPECT_FALSE(formatFromName(name)) << name;
  const struct {
    const char* path;
    std::optional<ImageFormat> format;
  } cases[] = {
      {"a.png", ImageFormat::Png},      {"/tmp/x.y/A.PNG", ImageFormat::Png}, {"b.Ppm", ImageFormat::Ppm},
      {"c.bmp", ImageFormat::Bmp},      {"d.tar.png", ImageFormat::Png},      {"png", std::nullopt},
      {"e.png.txt", std::nullopt},      {"dir.png/f", std::nullopt},          {"-", std::nullopt},
      {"g.jpeg", ImageFormat::Jpeg},    {"h.JPG", ImageFormat::Jpeg},         {"i.webp", ImageFormat::Webp},
      {"j.gif", std::nullopt},          {"k.jpg.png", ImageFormat::Png},
  };
  for (const auto& c : cases) EXPECT_EQ(formatFromPath(c.path), c.format) << c.path;
}

// --- Failed writes ---

// Accepts a number of bytes, then fails the way a full disk does.
class FullDevice : public QIODevice {
 public:
  explicit FullDevice(qint64 room) : room_(room) { open(QIODevice::WriteOnly); }
  bool isSequential() const override { return true; }

 protected:
  qint64 readData(char*, qint64) override { return -1; }
  qint64 writeData(const char*, qint64 length) override {
    if (room_ < length) {
      setErrorString("No space left on device");
      return -1;
    }
    room_ -= length;
    return length;
  }

 private:
  qint64 room_;
};

TEST(PictureFile, AFailedWriteToADeviceSaysWhy) {
  const QImage image = testImage(64, 64);
  const PictureParameters p = parameters("atlas", "1", "1", "150", "1", "150");
  // 0: nothing goes; 20: inside the signature and IHDR; 60: inside the
  // inserted chunks; 2000: inside the image data.
  for (const qint64 room : {0, 20, 60, 2000}) {
    for (const ImageFormat format : {ImageFormat::Png, ImageFormat::Bmp}) {
      SCOPED_TRACE("room " + std::to_string(room) + ", format " + std::to_string(static_cast<int>(format)));
      FullDevice device(room);
      std::string error;
      EXPECT_FALSE(writePicture(image, device, format, p, error));
      EXPECT_NE(error.find("No space left on device"), std::string::npos) << error;
    }
  }
  QBuffer closed;
  std::string error;
  EXPECT_FALSE(writePicture(image, closed, ImageFormat::Png, p, error));
  EXPECT_NE(error.find("not open"), std::string::npos) << error;
}

// The window's saves ask keepGoing as they write: a device or a named pipe
// is written in place on that path too, and a pipe nobody reads is waited for
// only until the save is cancelled. (The command line's path, without
// keepGoing, is in the CLI suite.)
TEST(PictureFile, RobustInPlaceWritesThatCanBeCancelled) {
  QTemporaryDir dir;
  const QImage image = testImage(32, 16);
  const PictureParameters p = parameters("atlas", "1", "1", "150", "1", "150");
  const auto path = [&](const char* name) { return dir.filePath(name).toStdString(); };
  using namespace plorvex::testing_files;
  QByteArray received;
  std::thread reader;
  const struct {
    const char* what;
    const char* name;
    std::function<bool()> prepare;
    int askAtMost;  // keepGoing says stop after this many questions
    bool written;
    const char* says;
  } cases[] = {
      {"a copy of /dev/null", "null", [&] { return makeCharDevice(path("null"), kNullMinor); }, 1000000, true, ""},
      {"a copy of /dev/full", "full", [&] { return makeCharDevice(path("full"), kFullMinor); }, 1000000, false,
       "No space left on device"},
      {"a pipe with a reader", "read", [&] {
         if (!makePipe(path("read"))) return false;
         reader = std::thread([&] {
           QFile in(QString::fromStdString(path("read")));
           if (in.open(QIODevice::ReadOnly)) received = in.readAll();
         });
         return true;
       }, 1000000, true, ""},
      {"a pipe nobody reads, cancelled", "unread", [&] { return makePipe(path("unread")); }, 5,
       false, "cancelled"},
      {"a socket", "socket", [&] { return makeSocket(path("socket")); }, 1000000, false,
       "No such device or address"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (!nodeMade(c.prepare(), c.what)) continue;
    const mode_t before = typeOf(path(c.name));
    int asked = 0;
    std::string error;
    const bool written = writePicture(image, QString::fromStdString(path(c.name)), ImageFormat::Png, p, error,
                                      [&] { return ++asked <= c.askAtMost; });
    if (reader.joinable()) reader.join();
    EXPECT_EQ(written, c.written) << error;
    EXPECT_NE(error.find(c.says), std::string::npos) << error;
    EXPECT_EQ(typeOf(path(c.name)), before);
  }
  const ReadResult read = parametersFromPicture(span(received));
  ASSERT_TRUE(read.parameters) << read.error;
  EXPECT_EQ(*read.parameters, p);
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::System).size(), 5);  // nothing beside the nodes
}

class FailedWrite : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    kept_ = dir_.filePath("kept.png");
    putFile(kept_, keptBytes_);
  }
  // The write fails with a reason and the folder is as it was: no new file, no
  // temporary one, the existing file unchanged.
  void expectRefused(const QString& path, const QImage& image, const PictureParameters& p, const char* says) {
    ASSERT_STRNE(says, "") << "a check must name the words it expects";
    std::string error;
    EXPECT_FALSE(writePicture(image, path, ImageFormat::Png, p, error));
    EXPECT_NE(error.find("cannot write '" + path.toStdString() + "': "), std::string::npos) << error;
    EXPECT_NE(error.find(says), std::string::npos) << error;
    expectFolderAsItWas();
  }
  void expectFolderAsItWas() {
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{"kept.png"});
    EXPECT_EQ(fileBytes(kept_), keptBytes_);
  }

  QTemporaryDir dir_;
  QString kept_;
  const QByteArray keptBytes_ = "the picture saved before";
  const QImage image_ = testImage(200, 200);
  const PictureParameters parameters_ = parameters("griffin", "1", "1", "150", "1", "150");
};

TEST_F(FailedWrite, LeavesNoFileAndTheExistingOneUnchanged) {
  expectRefused(dir_.filePath("vanished/picture.png"), image_, parameters_, "No such file or directory");
  // /proc takes no new files: it tells root there is no such file, others no permission.
  expectRefused("/proc/plorvex-picture-test.png", image_, parameters_,
                geteuid() == 0 ? "No such file or directory" : "Permission denied");
  expectRefused(dir_.path(), image_, parameters_, "Filename refers to a directory");
  expectRefused(kept_, QImage(), parameters_, "no picture");
  PictureParameters tooLong = parameters_;
  tooLong.fields.zoom = repeat("9", 257);
  expectRefused(kept_, image_, tooLong, "'zoom' is longer than 256 characters");
  PictureParameters unknown = parameters_;
  unknown.pattern = "mandel";
  expectRefused(kept_, image_, unknown, "unknown pattern 'mandel'");
  PictureParameters dense = parameters_;
  dense.density = 1000001;
  expectRefused(kept_, image_, dense, "'density' must be a whole number from 1 to 1000000");
  PictureParameters badVersion = parameters_;
  badVersion.version = "1.\xFF";
  expectRefused(kept_, image_, badVersion, "'version' is not valid UTF-8");
}

TEST_F(FailedWrite, ADiskThatFillsLeavesTheExistingFileUnchanged) {
  // A file size limit fails writes past it as a full disk does (EFBIG).
  struct rlimit saved {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 16 * 1024;  // the picture compresses to about 60 KiB
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  expectRefused(kept_, image_, parameters_, "the output refused the data");
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  // Without the limit the same write succeeds, so the limit was what failed it.
  std::string error;
  ASSERT_TRUE(writePicture(image_, kept_, ImageFormat::Png, parameters_, error)) << error;
  EXPECT_GT(fileBytes(kept_).size(), small.rlim_cur);
}

// Root writes into read-only folders, so as root the writes are made by a
// child process that has given root up for the unprivileged user 'nobody'
// (user and group 65534); it prints the error and exits 0 if it was refused.
void writeAsAnUnprivilegedUser(const QImage& image, const QString& path, const PictureParameters& p) {
  constexpr uid_t kNobody = 65534;
  if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)) {
    std::fprintf(stderr, "cannot become an unprivileged user\n");
    _exit(2);
  }
  std::string error;
  const bool written = writePicture(image, path, ImageFormat::Png, p, error);
  std::fprintf(stderr, "%s\n", error.c_str());
  _exit(written ? 1 : 0);
}

TEST_F(FailedWrite, AReadOnlyFolder) {
  const auto readOnly = QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                        QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther;
  ASSERT_TRUE(QFile::setPermissions(dir_.path(), readOnly));
  // The file itself may be written; only the folder refuses.
  ASSERT_TRUE(QFile::setPermissions(kept_, QFile::permissions(kept_) | QFileDevice::WriteOther));
  for (const QString& path : {kept_, dir_.filePath("new.png")}) {
    const std::string refusal = "cannot write '" + path.toStdString() + "': .*Permission denied";
    EXPECT_EXIT(writeAsAnUnprivilegedUser(image_, path, parameters_), testing::ExitedWithCode(0), refusal);
    expectFolderAsItWas();
  }
  QFile::setPermissions(dir_.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

}  // namespace
