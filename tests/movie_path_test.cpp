// SPDX-License-Identifier: GPL-3.0-or-later
// The zoom movie path: worked cases (tests/worked/movie_path.py works them out
// apart from this code), what they show about the path, the refusals and the
// frame count.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "movie_path.h"
#include "val.h"

namespace plorvex::movie {
namespace {

using Texts = std::array<const char*, 5>;

struct PathCase {
  const char* name;
  const char* pattern;
  std::vector<Texts> keyframes;
  std::size_t frames;
  std::vector<Texts> expected;  // every frame's texts
};

FieldTexts fieldsOf(const Texts& t) { return {t[0], t[1], t[2], t[3], t[4]}; }

std::vector<Keyframe> keyframesOf(const char* pattern, const std::vector<Texts>& texts) {
  std::vector<Keyframe> keys;
  for (std::size_t k = 0; k < texts.size(); ++k)
    keys.push_back({pattern, fieldsOf(texts[k]), "key" + std::to_string(k)});
  return keys;
}

MoviePath pathOf(const char* pattern, const std::vector<Texts>& texts) {
  std::string error;
  const std::optional<MoviePath> path = MoviePath::make(keyframesOf(pattern, texts), error);
  EXPECT_TRUE(path) << error;
  return *path;
}

// Rows printed by tests/worked/movie_path.py.
const PathCase kWorkedCases[] = {
    {"PureZoom", "atlas", {{"24", "24", "150", "1", "150"}, {"1524", "1524", "150", "0.25", "100"}}, 3, {
        {"24", "24", "150", "1", "150"},
        {"524", "524", "150", "0.5", "125"},
        {"1524", "1524", "150", "0.25", "100"},
    }},
    {"PurePan", "atlas", {{"1", "1", "150", "1", "150"}, {"301", "1", "150", "1", "150"}}, 5, {
        {"1", "1", "150", "1", "150"},
        {"-178.283323741181", "-204.651642560241", "150", "1.75788792127071", "150"},
        {"-195.597075621526", "-262.67911494652", "150", "2.23606797749979", "150"},
        {"-60.3606170775674", "-204.651642560241", "150", "1.75788792127072", "150"},
        {"301", "1", "150", "1", "150"},
    }},
    {"FarApart", "atlas", {{"1", "1", "150", "0.01", "150"}, {"2000000", "3000000", "150", "0.02", "150"}}, 3, {
        {"1", "1", "150", "0.01", "150"},
        {"-446.571250550823", "-431.86388388645", "150", "453.287581577463", "150"},
        {"2000000", "3000000", "150", "0.02", "150"},
    }},
    {"ThreeBySegmentLength", "atlas", {{"24", "24", "150", "1", "150"}, {"3524", "3524", "150", "0.125", "150"}, {"4000", "3524", "150", "0.125", "150"}}, 7, {
        {"24", "24", "150", "1", "150"},
        {"843.67587627964", "843.67587627964", "150", "0.378880912341577", "150"},
        {"3007.08883686887", "3007.08883686887", "150", "0.143550745736786", "150"},
        {"1457.7257493261", "1436.72629953453", "150", "0.261406977109938", "150"},
        {"795.612770263905", "729.102377140184", "150", "0.414902509101795", "150"},
        {"1428.29745098949", "1248.55305969965", "150", "0.289930192166475", "150"},
        {"4000", "3524", "150", "0.125", "150"},
    }},
    {"BrightnessOnlySegment", "atlas", {{"24", "24", "150", "1", "150"}, {"1524", "1524", "150", "0.25", "150"}, {"1524", "1524", "150", "0.25", "50"}}, 5, {
        {"24", "24", "150", "1", "150"},
        {"524", "524", "150", "0.5", "150"},
        {"1524", "1524", "150", "0.25", "150"},
        {"1524", "1524", "150", "0.25", "100"},
        {"1524", "1524", "150", "0.25", "50"},
    }},
    {"DeepZoomOut", "atlas", {{"1000000", "1000000", "150", "1E-12", "150"}, {"1", "1", "150", "1", "150"}}, 5, {
        {"1000000", "1000000", "150", "1E-12", "150"},
        {"-143.427174203408", "-143.427174203408", "150", "3.00829148504127E-09", "150"},
        {"-475.889395225866", "-475.889395225866", "150", "9.04981765896289E-06", "150"},
        {"-475.84140148838", "-475.84140148838", "150", "0.0272242460384632", "150"},
        {"1", "1", "150", "1", "150"},
    }},
    {"EntropyWide", "entropy", {{"10", "20", "768", "1", "150"}, {"-300", "400", "768", "0.3", "150"}}, 4, {
        {"10", "20", "768", "1", "150"},
        {"-93.956120897347", "113.597389866819", "768", "0.70385885245333", "150"},
        {"-190.387039011082", "231.80303142559", "768", "0.465860896055856", "150"},
        {"-300", "400", "768", "0.3", "150"},
    }},
};

class WorkedPath : public testing::TestWithParam<PathCase> {};

TEST_P(WorkedPath, EveryFrameHasTheWorkedTexts) {
  const PathCase& c = GetParam();
  const MoviePath path = pathOf(c.pattern, c.keyframes);
  ASSERT_EQ(c.expected.size(), c.frames);
  for (std::size_t k = 0; k < c.frames; ++k) {
    const FieldTexts texts = path.frameTexts(k, c.frames);
    const FieldTexts expected = fieldsOf(c.expected[k]);
    for (const Field field : {Field::One, Field::Two, Field::Three, Field::Four, Field::Five})
      EXPECT_EQ(texts[field], expected[field]) << "frame " << k << ", field " << static_cast<int>(field);
  }
}

INSTANTIATE_TEST_SUITE_P(Movie, WorkedPath, testing::ValuesIn(kWorkedCases),
                         [](const auto& info) { return std::string(info.param.name); });

const PathCase& workedCase(const std::string& name) {
  for (const PathCase& c : kWorkedCases)
    if (name == c.name) return c;
  throw std::logic_error("no worked case " + name);
}

double zoomOf(const Texts& t) { return val(t[3]); }

// What the worked cases are for, said of their rows.
TEST(MoviePath, WorkedCasesShowThePathsShape) {
  // A pure zoom passes the geometric mean of its zooms, 1 and 0.25, halfway.
  EXPECT_STREQ(workedCase("PureZoom").expected[1][3], "0.5");
  // Far-apart views are joined by zooming out beyond both and back in.
  const PathCase& far = workedCase("FarApart");
  EXPECT_GT(zoomOf(far.expected[1]), 100 * std::max(zoomOf(far.keyframes[0]), zoomOf(far.keyframes[1])));
  // Two equal views are joined symmetrically: the path rises and falls alike
  // (to the last digit or so of the rounded arithmetic).
  const PathCase& pan = workedCase("PurePan");
  EXPECT_NEAR(zoomOf(pan.expected[1]) / zoomOf(pan.expected[3]), 1.0, 1e-14);
  EXPECT_GT(zoomOf(pan.expected[2]), zoomOf(pan.expected[1]));
  // Out of a deep zoom the way widens steadily, and is not refused.
  const PathCase& deep = workedCase("DeepZoomOut");
  for (std::size_t k = 1; k < deep.expected.size(); ++k)
    EXPECT_GT(zoomOf(deep.expected[k]), zoomOf(deep.expected[k - 1])) << k;
  // A segment of S = 0 takes the mean share: the brightness turns halfway.
  const PathCase& still = workedCase("BrightnessOnlySegment");
  EXPECT_STREQ(still.expected[2][4], "150");
  EXPECT_STREQ(still.expected[3][4], "100");
}

// Out of a width of 1E-6 to a width of 1 at distances where b0 is 1E6 to
// 5E7: every frame's width is within exp(rho x S / (m - 1)) of its
// neighbour's (|d ln w / ds| is at most rho on the path), up to the last frame,
// which is the keyframe itself. The form ln(sqrt(b^2 + 1) - b) lost r0's
// digits there and ended the path at 0.67 of the keyframe's width.
TEST(MoviePath, EveryStepOutOfADeepZoomIsSmooth) {
  const double w0 = 1e-6, w1 = 1;
  for (const double d : {5.0, 20.0, 35.0, 50.0, 80.0}) {
    const Segment segment = makeSegment({0, 0, w0}, {d, 0, w1}, 150, 150);
    ASSERT_FALSE(segment.pureZoom);
    const std::size_t m = 200;
    const double bound = std::sqrt(2.0) * segment.length / static_cast<double>(m - 1) * (1 + 1e-9);
    double before = w0;
    for (std::size_t k = 1; k < m; ++k) {
      const double w = k + 1 == m ? w1 : worldAt(segment, static_cast<double>(k) / static_cast<double>(m - 1)).width;
      EXPECT_LE(std::fabs(std::log(w / before)), bound) << "distance " << d << ", frame " << k;
      before = w;
    }
    EXPECT_NEAR(worldAt(segment, 1).width, w1, 1e-12) << "distance " << d;
  }
}

TEST(MoviePath, SharesFollowTheSegmentLengths) {
  const PathCase& c = workedCase("ThreeBySegmentLength");
  const MoviePath path = pathOf(c.pattern, c.keyframes);
  ASSERT_EQ(path.segments().size(), 2u);
  EXPECT_TRUE(path.segments()[0].pureZoom);
  EXPECT_FALSE(path.segments()[1].pureZoom);
  // Eight times the zoom: three doublings, ln 8 / rho.
  EXPECT_DOUBLE_EQ(path.shares()[0], std::log(8.0) / std::sqrt(2.0));
  EXPECT_EQ(path.shares()[1], path.segments()[1].length);
  const MoviePath still = pathOf("atlas", workedCase("BrightnessOnlySegment").keyframes);
  EXPECT_EQ(still.segments()[1].length, 0);
  EXPECT_EQ(still.shares()[1], still.shares()[0]);
  const MoviePath same = pathOf("atlas", {{"1", "1", "150", "1", "150"}, {"1", "1", "150", "1", "150"}});
  EXPECT_EQ(same.shares()[0], 1.0);
}

// Keyframe texts come back verbatim wherever a frame falls on a keyframe,
// even texts the number-to-text rule would write differently.
TEST(MoviePath, FramesOnKeyframesKeepTheirTexts) {
  const MoviePath path = pathOf("atlas", {{" 24", "24.0", "150", "1e0", "150"},
                                          {"3524", "3524", "150", "0.1250", "150"},
                                          {"3524", "3524", "150", "0.1250", "70 "}});
  for (const std::size_t m : {2u, 3u, 7u, 301u}) {
    EXPECT_EQ(path.frameTexts(0, m).x, " 24");
    EXPECT_EQ(path.frameTexts(0, m).zoom, "1e0");
    EXPECT_EQ(path.frameTexts(m - 1, m).brightness, "70 ");
  }
  // Two equal shares: the middle of five frames is the middle keyframe.
  EXPECT_EQ(path.frameTexts(2, 5).zoom, "0.1250");
}

TEST(MoviePath, RefusesWhatCannotBeOneMovie) {
  const struct {
    const char* pattern2;
    Texts second;
    Texts third;
    const char* expected;
  } cases[] = {
      {"atlas", {"1", "1", "150", "1", "150"}, {"1", "1", "151", "1", "150"},
       "keyframe 2 (key2) has the size text '151', keyframe 0 (key0) '150'"},
      {"bobcat", {"1", "1", "150", "1", "150"}, {"1", "1", "150", "1", "150"},
       "keyframe 1 (key1) has the pattern 'bobcat', keyframe 0 (key0) 'atlas'"},
      {"atlas", {"1", "1", "150", "0", "150"}, {"1", "1", "150", "1", "150"},
       "keyframe 1 (key1): the zoom '0' is not above 0"},
      {"atlas", {"1", "1", "150", "-2", "150"}, {"1", "1", "150", "1", "150"},
       "keyframe 1 (key1): the zoom '-2' is not above 0"},
      // Into a zoom of 1E-300 from a view 1E12 away: b1 is beyond the doubles.
      {"atlas", {"1E12", "1", "150", "1", "150"}, {"1", "1", "150", "1E-300", "150"},
       "the way from keyframe 1 (key1) to keyframe 2 (key2) is beyond double precision"},
  };
  for (const auto& c : cases) {
    std::vector<Keyframe> keys = keyframesOf("atlas", {{"1", "1", "150", "1", "150"}, c.second, c.third});
    keys[1].pattern = c.pattern2;
    std::string error;
    EXPECT_FALSE(MoviePath::make(keys, error));
    EXPECT_NE(error.find(c.expected), std::string::npos) << error;
  }
  std::string error;
  EXPECT_FALSE(MoviePath::make(keyframesOf("atlas", {{"1", "1", "150", "1", "150"}}), error));
  EXPECT_EQ(error, "a movie needs at least two keyframes");
}

TEST(MoviePath, FrameCountIsTheRoundedProductAndAtLeastTwo) {
  EXPECT_EQ(frameCount(10, 30), 300u);
  EXPECT_EQ(frameCount(2.5, 25), 63u);  // 62.5 rounds away from zero
  EXPECT_EQ(frameCount(0.01, 30), 2u);
  EXPECT_EQ(frameCount(0.4, 10), 4u);
  EXPECT_FALSE(frameCount(0, 30));
  EXPECT_FALSE(frameCount(10, -1));
  EXPECT_FALSE(frameCount(1e9, 1e9));
  EXPECT_FALSE(frameCount(std::nan(""), 30));
}

}  // namespace
}  // namespace plorvex::movie
