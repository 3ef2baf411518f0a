// The platform's font catalogue under the whole road: printing the sample
// walks the font folder once and maps no font file twice; a second print
// finds every file, face and glyph already there.
#include "kplatform/gdi32_fontcounts.h"
#include "kplatform/gdi32_fonts.h"
#include "road_fixture.h"

namespace kestrel::test {
namespace {

KP_FONT_COUNTS Counts() {
  KP_FONT_COUNTS c{};
  KpGetFontCounts(&c);
  return c;
}

TEST_F(RoadTest, TheSampleWalksTheFontFolderOnceAndMapsNoFontFileTwice) {
  const RoadQueue queue = Queue(RoadModel::A);
  ASSERT_TRUE(KpSetFontFolder(nullptr));  // a catalogue of its own, walked by this print
  KpResetFontCounts();

  const RoadJob first = road::RoadPrint(queue, road::RoadSampleDocument());
  ASSERT_TRUE(first.result.ok()) << first.result.message;
  const KP_FONT_COUNTS once = Counts();
  EXPECT_EQ(once.folderWalks, 1u);
  EXPECT_EQ(once.filesMappedAgain, 0u);

  const RoadJob second = road::RoadPrint(queue, road::RoadSampleDocument());
  ASSERT_TRUE(second.result.ok()) << second.result.message;
  const KP_FONT_COUNTS twice = Counts();
  EXPECT_EQ(twice.folderWalks, 1u);
  EXPECT_EQ(twice.fileMaps, once.fileMaps);
  EXPECT_EQ(twice.filesMappedAgain, 0u);
  EXPECT_EQ(twice.facesOpened, once.facesOpened) << "faces are lent out again, not opened again";
  EXPECT_EQ(twice.glyphsRendered, once.glyphsRendered) << "glyphs are kept across text calls and jobs";
}

}  // namespace
}  // namespace kestrel::test
