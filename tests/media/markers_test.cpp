// Markers and the comment carried by files: given to a writer through ExtraData,
// read back into the extra-data object of a reader, in every type that has a
// place for them.
#include "media_test_support.h"

namespace qel::test {
namespace {

using namespace com;

struct Marker {
  double start, length;
  std::string label, note, attributes;
};

const std::vector<Marker> kMarkers = {
    {250.0, 0.0, "Intro", "", "Color:255      Play:0       "},
    {1000.5, 500.25, "Verse ä", "a note\nwith two lines", "Color:8421504  Play:3       "},
    {1750.0, 0.0, "", "note only", ""},
};

ComPtr<IExtraData> MarkersObject(const std::string& comment = "") {
  auto extra = NewExtraData();
  for (const Marker& m : kMarkers)
    extra->AddMarker(m.start, m.length, Bstr::FromUtf8(m.label).get(), Bstr::FromUtf8(m.note).get(),
                     Bstr::FromUtf8(m.attributes).get());
  if (!comment.empty()) extra->put_Comment(Bstr::FromUtf8(comment).get());
  return extra;
}

std::vector<Marker> MarkersOf(IExtraData* extra) {
  std::vector<Marker> out;
  int32_t count = 0;
  extra->get_MarkersCount(&count);
  for (int32_t i = 0; i < count; ++i) {
    Marker m{};
    Bstr label, note, attributes;
    extra->get_MarkerPosition(i, &m.start);
    extra->get_MarkerLength(i, &m.length);
    extra->get_MarkerLabel(i, label.Out());
    extra->get_MarkerNote(i, note.Out());
    extra->get_MarkerAttributes(i, attributes.Out());
    m.label = label.utf8();
    m.note = note.utf8();
    m.attributes = attributes.utf8();
    out.push_back(m);
  }
  return out;
}

ComPtr<IExtraData> ExtraDataOf(IMediaFile* file) {
  ComPtr<IUnknown> unknown;
  EXPECT_EQ(file->get_ExtraData(unknown.Out()), S_OK);
  return unknown.As<IExtraData>();
}

// Writes two seconds of stereo with the markers and reads them back.
std::vector<Marker> RoundTrip(const TempDir& dir, const std::string& name, int32_t type) {
  const Format format{44100, 2, 16, 3};
  if (Encode(dir / name, type, format, NoisePcm(format, 88200), MarkersObject().get()) != 0)
    return {};
  auto file = NewMediaFile();
  if (Open(file.get(), dir / name) != 0) return {};
  auto extra = ExtraDataOf(file.get());
  return extra ? MarkersOf(extra.get()) : std::vector<Marker>{};
}

// Every marker of kMarkers back in order: texts unchanged, positions and
// lengths within `tolerance` ms, points staying points.
void ExpectMarkersBack(const std::vector<Marker>& read, double tolerance) {
  ASSERT_EQ(read.size(), kMarkers.size());
  for (size_t i = 0; i < read.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(read[i].label, kMarkers[i].label);
    EXPECT_EQ(read[i].note, kMarkers[i].note);
    EXPECT_EQ(read[i].attributes, kMarkers[i].attributes);
    EXPECT_NEAR(read[i].start, kMarkers[i].start, tolerance);
    if (kMarkers[i].length == 0.0) {
      EXPECT_EQ(read[i].length, 0.0);
    }
    EXPECT_NEAR(read[i].length, kMarkers[i].length, tolerance);
  }
}

class WaveMarkers : public testing::Test {
 protected:
  TempDir dir_;
};

TEST_F(WaveMarkers, ComeBackWithTheirTextsAndWithinAFrameOfTheirPlaces) {
  ExpectMarkersBack(RoundTrip(dir_, "a.wav", kWav), 1000.0 / 44100);
}

TEST_F(WaveMarkers, ThePositionTheControlWritesTruncatesBackToItsFrame) {
  // The control writes (frame + 0.5) / (rate / 1000) and truncates on reading.
  const Format format{44100, 2, 16, 3};
  auto extra = NewExtraData();
  const int64_t frames[] = {0, 1, 12345, 44099};
  for (int64_t f : frames)
    extra->AddMarker((static_cast<double>(f) + 0.5) / 44.1, 0.5 / 44.1, nullptr, nullptr, nullptr);
  ASSERT_EQ(Encode(dir_ / "b.wav", kWav, format, NoisePcm(format, 44100), extra.get()), 0);
  auto read = MarkersOf(ExtraDataOf(Opened(dir_ / "b.wav").get()).get());
  ASSERT_EQ(read.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(static_cast<int64_t>(read[i].start * 44100 / 1000.0), frames[i]);
    EXPECT_EQ(static_cast<int64_t>(read[i].length * 44100 / 1000.0), 0);
  }
}

TEST_F(WaveMarkers, FileWithoutMarkersGivesAnEmptyExtraData) {
  ASSERT_TRUE(Ffmpeg("-f lavfi -i sine=d=1 " + Quote(dir_ / "plain.wav")));
  auto extra = ExtraDataOf(Opened(dir_ / "plain.wav").get());
  ASSERT_TRUE(extra);
  EXPECT_TRUE(MarkersOf(extra.get()).empty());
}

TEST_F(WaveMarkers, ObjectPutBeforeOpeningReceivesTheMarkers) {
  ASSERT_FALSE(RoundTrip(dir_, "a.wav", kWav).empty());
  auto file = NewMediaFile();
  auto mine = NewExtraData();
  file->put_ExtraData(mine.get());
  ASSERT_EQ(Open(file.get(), dir_ / "a.wav"), 0);
  EXPECT_EQ(MarkersOf(mine.get()).size(), kMarkers.size());
}

TEST_F(WaveMarkers, CommentComesBack) {
  const Format format{44100, 2, 16, 3};
  ASSERT_EQ(Encode(dir_ / "c.wav", kWav, format, NoisePcm(format, 100),
                   MarkersObject("made by the tests").get()),
            0);
  Bstr comment;
  ExtraDataOf(Opened(dir_ / "c.wav").get())->get_Comment(comment.Out());
  EXPECT_EQ(comment.utf8(), "made by the tests");
}

TEST_F(WaveMarkers, MarkerChunksDoNotDisturbOtherReaders) {
  const Format format{44100, 2, 16, 3};
  const auto pcm = NoisePcm(format, 4410);
  ASSERT_EQ(Encode(dir_ / "d.wav", kWav, format, pcm, MarkersObject("c").get()), 0);
  ASSERT_TRUE(
      Shell("sox " + Quote(dir_ / "d.wav") + " -t raw " + Quote(dir_ / "d.raw") + " 2>/dev/null"));
  EXPECT_EQ(ReadBytes(dir_ / "d.raw"), pcm);
}

// Types whose markers keep label, note and attribute text (Vorbis comments,
// ID3 and Matroska chapters).
class OtherTypeMarkers : public testing::TestWithParam<std::pair<int32_t, const char*>> {
 protected:
  TempDir dir_;
};

TEST_P(OtherTypeMarkers, ComeBackWithTheirTextsAndWithinAMillisecondOfTheirPlaces) {
  ExpectMarkersBack(RoundTrip(dir_, std::string("a.") + GetParam().second, GetParam().first), 1.0);
}

INSTANTIATE_TEST_SUITE_P(Types, OtherTypeMarkers,
                         testing::Values(std::pair{kFlac, "flac"}, std::pair{kOggVorbis, "ogg"},
                                         std::pair{kMp3, "mp3"}, std::pair{kMkv, "mkv"}),
                         [](const auto& info) { return std::string(info.param.second); });

TEST(ChapterMarkers, Mp3ChaptersAreVisibleToFfprobe) {
  TempDir dir;
  ASSERT_FALSE(RoundTrip(dir, "a.mp3", kMp3).empty());
  ASSERT_TRUE(Shell("ffprobe -v error -show_chapters " + Quote(dir / "a.mp3") + " > " +
                    Quote(dir / "chapters.txt")));
  auto text = ReadBytes(dir / "chapters.txt");
  EXPECT_NE(std::string(text.begin(), text.end()).find("title=Intro"), std::string::npos);
}

}  // namespace
}  // namespace qel::test
