#include "mp3plyr/input/mp3_info.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "mp3plyr/errors.h"
#include "mp3plyr/input/display_text.h"
#include "mp3plyr/input/id3v1_genres.h"
#include "support/info_scan.h"
#include "support/tag_builder.h"

namespace pt4 {
namespace {

using namespace test;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Item = TMP3InfoItem;

constexpr int64_t kUnknown = TMP3Info::kUnknownLength;

TMP3InfoItems Items(std::initializer_list<Item> items)
{
    TMP3InfoItems set;
    for (Item item : items)
        set.Include(item);
    return set;
}

// --- Plain files and ID3v2 ---

TEST(Mp3InfoPlain, FileWithoutTagsIsAllAudio)
{
    auto scan = ScanInfo(AudioBytes(5000));
    EXPECT_TRUE(scan->info.Found().Empty());
    EXPECT_EQ(scan->info.DataStart(), 0);
    EXPECT_EQ(scan->info.DataLength(), 5000);
    EXPECT_TRUE(scan->leadingResult);
    EXPECT_TRUE(scan->trailingResult);
    EXPECT_EQ(scan->info.GetTitle(), "");
    EXPECT_EQ(scan->info.GetArtist(), "");
    for (const auto* list : {&scan->info.Id3v1Fields(), &scan->info.Id3v2Frames(),
                             &scan->info.RiffInfoFields(), &scan->info.LyricsFields()})
        EXPECT_THAT(*list, IsEmpty());
}

TEST(Mp3InfoId3v2, FramesFillingTheTagExactly)
{
    const Bytes tag = Id3v2Tag(
        {Id3v2Frame("TIT2", "Song"), Id3v2Frame("TPE1", "Band"), Id3v2Frame("TCOM", std::string(959, 'c'))});
    ASSERT_EQ(tag.size(), 1010u);
    auto scan = ScanInfo(Concat({tag, AudioBytes(3000)}));
    EXPECT_EQ(scan->info.Found(), Items({Item::Id3v2}));
    EXPECT_EQ(scan->info.Id3v2Version(), 3);
    EXPECT_EQ(scan->info.DataStart(), 1010);
    EXPECT_EQ(scan->info.DataLength(), 3000);
    EXPECT_THAT(scan->info.Id3v2Frames(),
                ElementsAre("TIT2=Song", "TPE1=Band", "TCOM=" + std::string(959, 'c')));
    EXPECT_EQ(scan->info.GetTitle(), "Song");
    EXPECT_EQ(scan->info.GetArtist(), "Band");
}

// The declared size says where the audio begins: padding of any length, a frame that runs past
// the tag, a broken extended header or a frame size beyond 2^31 only end the list of frames.
TEST(Mp3InfoId3v2, DeclaredSizeDecidesTheDataStart)
{
    Bytes pastTheEnd = Id3v2Tag({Id3v2Frame("TIT2", "Song"), Id3v2Frame("TPE1", "Band")});
    PutBigEndian32(pastTheEnd, 10 + 15 + 4, 50); // TPE1 claims more than the tag holds
    Bytes hugeFrame = Id3v2Tag({Id3v2Frame("TIT2", "Song"), Id3v2Frame("TPE1", "Band")});
    PutBigEndian32(hugeFrame, 10 + 15 + 4, 0xFFFFFFF6u);
    const struct {
        const char* name;
        Bytes tag;
        std::vector<std::string> lines;
    } cases[] = {
        {"padding in tens",
         Id3v2Tag({Id3v2Frame("TIT2", "Song")}, Id3v2Options().Padding(50)),
         {"TIT2=Song"}},
        {"padding of 7", Id3v2Tag({Id3v2Frame("TIT2", "Song")}, Id3v2Options().Padding(7)), {"TIT2=Song"}},
        {"padding of 1800",
         Id3v2Tag({Id3v2Frame("TIT2", "Song")}, Id3v2Options().Padding(1800)),
         {"TIT2=Song"}},
        {"frame past the end", pastTheEnd, {"TIT2=Song"}},
        {"frame size beyond 2^31", hugeFrame, {"TIT2=Song"}},
        {"extended header too long",
         Id3v2Tag({Id3v2Frame("TIT2", "Song")}, Id3v2Options().ExtendedHeader(1000)),
         {}},
        {"extended header",
         Id3v2Tag({Id3v2Frame("TIT2", "Song")}, Id3v2Options().ExtendedHeader(6)),
         {"TIT2=Song"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto scan = ScanInfo(Concat({c.tag, AudioBytes(3000)}));
        EXPECT_EQ(scan->info.Found(), Items({Item::Id3v2}));
        EXPECT_EQ(scan->info.DataStart(), static_cast<int32_t>(c.tag.size()));
        EXPECT_EQ(scan->info.DataLength(), 3000);
        EXPECT_EQ(scan->info.Id3v2Frames(), c.lines);
    }
}

Bytes Frame(std::string_view id, const Bytes& body)
{
    return Id3v2FrameRaw(id, static_cast<uint32_t>(body.size()), body);
}

// Every text encoding and frame kind as the text of its line.
TEST(Mp3InfoId3v2, FrameContents)
{
    const std::string sjis = "\x94\x7e\x82\xcc\x92\xb2\x82\xd7"; // 梅の調べ in Shift-JIS, kept as found
    const Bytes picture = Concat({Bytes{0},
                                  ToBytes(std::string("image/jpeg\0\x03"
                                                      "Cover\0",
                                                      18)),
                                  Bytes(4500, 0xFF)});
    const Bytes commentText = Utf16Text({"", "Nice"});
    const Bytes comment =
        Concat({Bytes{1}, ToBytes("eng"), Bytes(commentText.begin() + 1, commentText.end())});
    const struct {
        Bytes frame;
        std::string line;
    } cases[] = {
        {Id3v2Frame("TPE1", "  x  "), "TPE1=  x  "},
        {Id3v2Frame("TIT2", sjis), "TIT2=" + sjis},
        {Id3v2FrameRaw("TALB", 0, {}), "TALB="},
        {Frame("TIT2", Concat({Latin1Text({"Song"}), {0}})), "TIT2=Song"},
        {Frame("TIT2", Utf16Text({"梅の調べ"})), "TIT2=梅の調べ"},
        {Frame("TIT2", Utf16Text({"梅の調べ"}, true)), "TIT2=梅の調べ"},
        {Frame("TIT2", Utf16BigEndianText({"梅の調べ"})), "TIT2=梅の調べ"},
        {Id3v2Frame("TIT2",
                    "\xEF\xBB\xBF"
                    "梅",
                    3),
         "TIT2=梅"},
        {Frame("TPE1", Utf16Text({"Ann", "Bob"})), "TPE1=Ann / Bob"},
        {Frame("TPE1", Utf8Text({"Ann", "", "Bob", ""})), "TPE1=Ann / Bob"},
        {Frame("TXXX", Latin1Text({"Mood", "calm"})), "TXXX=Mood: calm"},
        {Frame("COMM", comment), "COMM=Nice"},
        {Frame("WOAR", ToBytes("http://a.b/c")), "WOAR=http://a.b/c"},
        {Frame("WXXX", Concat({Latin1Text({"Home", "http://x"}), {0}})), "WXXX=Home: http://x"},
        {Frame("APIC", picture), "APIC=image/jpeg, 4500 bytes"},
        {Frame("PRIV", ToBytes(std::string("own\0abcde", 9))), "PRIV=own, 5 bytes"},
        {Frame("MCDI", {1, 2, 3}), "MCDI=3 bytes"},
    };
    for (const auto& c : cases) {
        auto scan = ScanInfo(Concat({Id3v2Tag({c.frame}), AudioBytes(100)}));
        EXPECT_THAT(scan->info.Id3v2Frames(), ElementsAre(c.line));
    }
}

// Version 2.3 with the whole tag unsynchronised: UTF-16 byte-order marks and picture bytes
// that look like frame headers, the file eyeD3 writes for a cover picture.
TEST(Mp3InfoId3v2, UnsynchronisedTag)
{
    const Bytes picture = Concat(
        {ToBytes(std::string("\0image/png\0\x03\0", 13)), Bytes{0xFF, 0xFB, 0x90, 0x64, 0xFF, 0xE0, 0xFF}});
    const Bytes tag = Id3v2Tag(
        {Frame("TIT2", Utf16Text({"梅の調べ"})), Frame("APIC", picture), Frame("TPE1", Utf16Text({"Band"}))},
        Id3v2Options().Unsynchronise().Padding(100));
    auto scan = ScanInfo(Concat({tag, AudioBytes(500)}));
    EXPECT_EQ(scan->info.DataStart(), static_cast<int32_t>(tag.size()));
    EXPECT_THAT(scan->info.Id3v2Frames(),
                ElementsAre("TIT2=梅の調べ", "APIC=image/png, 7 bytes", "TPE1=Band"));
}

// Version 2.4: synchsafe frame sizes (and plain ones written by mistake), per-frame
// unsynchronisation and data length indicator, tag-wide unsynchronisation, extended header
// and footer.
TEST(Mp3InfoId3v2, Version4)
{
    const std::string longTitle(300, 't'); // a size above 127: synchsafe and plain differ
    const Bytes title = Concat({Utf8Text({longTitle})});
    const Bytes unsynchronisedArtist = Unsynchronised(Utf16Text({"Band"}));
    const Bytes withLength = Concat({Bytes{0, 0, 0, 11}, Utf16Text({"Band"})});
    const struct {
        const char* name;
        std::vector<Bytes> frames;
        Id3v2Options options;
    } cases[] = {
        {"synchsafe sizes", {Id3v24Frame("TIT2", title), Id3v24Frame("TPE1", Utf16Text({"Band"}))}, {}},
        {"plain sizes",
         {Id3v24Frame("TIT2", title, 0, true), Id3v24Frame("TPE1", Utf16Text({"Band"}), 0, true)},
         {}},
        {"plain size before padding",
         {Id3v24Frame("TPE1", Utf16Text({"Band"})), Id3v24Frame("TIT2", title, 0, true)},
         Id3v2Options().Padding(500)},
        {"frame unsynchronised",
         {Id3v24Frame("TIT2", title), Id3v24Frame("TPE1", unsynchronisedArtist, 0x02)},
         {}},
        {"data length indicator", {Id3v24Frame("TIT2", title), Id3v24Frame("TPE1", withLength, 0x01)}, {}},
        {"tag unsynchronised", {Id3v24Frame("TIT2", title), Id3v24Frame("TPE1", unsynchronisedArtist)}, {}},
        {"footer",
         {Id3v24Frame("TIT2", title), Id3v24Frame("TPE1", Utf16Text({"Band"}))},
         Id3v2Options().Footer()},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.name);
        c.options.Version(4);
        if (std::string_view(c.name) == "tag unsynchronised")
            c.options.flags = 0x80; // frames already unsynchronised, sizes as stored
        const Bytes tag = Id3v2Tag(c.frames, c.options);
        auto scan = ScanInfo(Concat({tag, AudioBytes(500)}));
        EXPECT_EQ(scan->info.Found(), Items({Item::Id3v2}));
        EXPECT_EQ(scan->info.Id3v2Version(), 4);
        EXPECT_EQ(scan->info.DataStart(), static_cast<int32_t>(tag.size()));
        EXPECT_EQ(scan->info.DataLength(), 500);
        EXPECT_EQ(scan->info.GetTitle(), longTitle);
        EXPECT_EQ(scan->info.GetArtist(), "Band");
        EXPECT_EQ(scan->info.Id3v2Frames().size(), 2u);
    }
}

TEST(Mp3InfoId3v2, Version2)
{
    const Bytes picture = Concat({Bytes{0}, ToBytes("PNG"), Bytes{3, 0}, Bytes(20, 0x89)});
    const Bytes tag =
        Id3v2Tag({Id3v22Frame("TT2", Utf16Text({"梅の調べ"})), Id3v22Frame("TP1", Latin1Text({"Band"})),
                  Id3v22Frame("TAL", Latin1Text({"Album"})), Id3v22Frame("PIC", picture)},
                 Id3v2Options().Version(2).Padding(300));
    auto scan = ScanInfo(Concat({tag, AudioBytes(500)}));
    EXPECT_EQ(scan->info.Found(), Items({Item::Id3v2}));
    EXPECT_EQ(scan->info.Id3v2Version(), 2);
    EXPECT_EQ(scan->info.DataStart(), static_cast<int32_t>(tag.size()));
    EXPECT_THAT(scan->info.Id3v2Frames(),
                ElementsAre("TT2=梅の調べ", "TP1=Band", "TAL=Album", "PIC=image/png, 20 bytes"));
    EXPECT_EQ(scan->info.GetTitle(), "梅の調べ");
    EXPECT_EQ(scan->info.GetArtist(), "Band");
}

// A tagger that writes a new tag in front of the old one: both are stepped over, the first
// tag's items come first.
TEST(Mp3InfoId3v2, SeveralTagsInARow)
{
    const Bytes first =
        Id3v2Tag({Id3v24Frame("TIT2", Utf8Text({"New"}))}, Id3v2Options().Version(4).Padding(64));
    const Bytes second =
        Id3v2Tag({Id3v2Frame("TIT2", "Old"), Id3v2Frame("TPE1", "Band")}, Id3v2Options().Padding(7));
    const Bytes third = Id3v2Tag({Id3v22Frame("TT2", Latin1Text({"Oldest"}))}, Id3v2Options().Version(2));
    auto scan = ScanInfo(Concat({first, second, third, AudioBytes(500)}));
    EXPECT_EQ(scan->info.Found(), Items({Item::Id3v2}));
    EXPECT_EQ(scan->info.Id3v2Version(), 4);
    EXPECT_EQ(scan->info.DataStart(), static_cast<int32_t>(first.size() + second.size() + third.size()));
    EXPECT_EQ(scan->info.DataLength(), 500);
    EXPECT_THAT(scan->info.Id3v2Frames(), ElementsAre("TIT2=New", "TIT2=Old", "TPE1=Band", "TT2=Oldest"));
    EXPECT_EQ(scan->info.GetTitle(), "New");
}

TEST(Mp3InfoId3v2, FramesLargerThanTheReaderBufferAreRead)
{
    const Bytes tag = Id3v2Tag({Id3v2Frame("TCOM", std::string(20000, 'a')), Id3v2Frame("TIT2", "After")});
    auto scan = ScanInfo(Concat({tag, AudioBytes(100)}), true, 1024);
    EXPECT_EQ(scan->info.Found(), Items({Item::Id3v2}));
    EXPECT_EQ(scan->info.DataStart(), static_cast<int32_t>(tag.size()));
    EXPECT_THAT(scan->info.Id3v2Frames(), ElementsAre("TCOM=" + std::string(20000, 'a'), "TIT2=After"));
}

// Album and picture of each tag version, from seed files of the fuzz corpus: text encodings, the
// front cover taken over an earlier picture, a whole tag and a single frame unsynchronised, an
// extended header, a data length indicator and frames that cannot be read.
TEST(Mp3InfoId3v2, AlbumAndPictureOfEachVersion)
{
    const struct {
        const char* seed;
        const char* album;
        const char* mimeType;
        std::string pictureStart;
        size_t pictureSize;
    } cases[] = {
        {"id3v22_pic", "Album22", "image/png", "\x89PNG", 32},
        {"id3v23_pictures", "アルバム", "image/jpeg", "\xFF\xD8\xFF\xE0\xFF", 24},
        {"id3v23_unsync_extended", "Alb", "image/jpeg", "\xFF\xD8\xFF\xE0\xFF", 24},
        {"id3v24_unsync_frame", "Album ♪", "image/jpeg", "\xFF\xD8\xFF\xE0\xFF", 24},
        // A compressed album frame's summary line is no album.
        {"id3v24_frame_flags", "", "image/jpeg", "\xFF\xD8\xFF\xE0\xFF", 64},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seed);
        std::ifstream in(std::string(PT4_SOURCE_DIR) + "/fuzz/corpus/mp3info/" + c.seed, std::ios::binary);
        const Bytes file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        ASSERT_FALSE(file.empty());
        auto scan = ScanInfo(file);
        EXPECT_EQ(DisplayText(scan->info.GetAlbum()), c.album);
        const TMP3Picture& picture = scan->info.Picture();
        EXPECT_EQ(picture.MimeType, c.mimeType);
        EXPECT_EQ(picture.Type, 3);
        EXPECT_EQ(picture.Data.size(), c.pictureSize);
        EXPECT_EQ(std::string(picture.Data.begin(), picture.Data.end()).substr(0, c.pictureStart.size()),
                  c.pictureStart);
    }
}

// --- Title and artist ---

TEST(Mp3InfoTitle, LongestCandidateWinsEarlierSourceOnTies)
{
    auto withTitles = [](std::string v1, std::string v2, std::string riff) {
        Bytes data = AudioBytes(400);
        Append(data, Id3v2Tag({Id3v2Frame("TIT2", v2), Id3v2Frame("TPE1", v2 + "!")}));
        Bytes file =
            Concat({Id3v2Tag({Id3v2Frame("TIT2", v2), Id3v2Frame("TPE1", v2 + "!")}), AudioBytes(400)});
        file = RiffWave({RiffChunk("data", file), RiffInfoList({{"INAM", riff}, {"IART", riff + "!"}})});
        Append(file, Id3v1Tag(Id3v1Values().Title(v1).Artist(v1 + "!")));
        return ScanInfo(file);
    };
    auto scan = withTitles("Alpha", "Bravo!", "Cat");
    EXPECT_EQ(scan->info.Found(), Items({Item::RiffData, Item::Id3v2, Item::Id3v1}));
    EXPECT_EQ(scan->info.GetTitle(), "Bravo!");
    EXPECT_EQ(scan->info.GetArtist(), "Bravo!!");
    EXPECT_EQ(withTitles("Alpha", "Bravo", "Cat")->info.GetTitle(), "Alpha");
    EXPECT_EQ(withTitles("Alpha", "Bravo", "Charly")->info.GetTitle(), "Charly");
    EXPECT_EQ(withTitles("", "", "Dog")->info.GetTitle(), "Dog");
    EXPECT_EQ(withTitles("Echo", "Fox", "Golf")->info.GetTitle(), "Echo");
}

TEST(Mp3InfoTitle, LookupIgnoresCaseAndTakesTheFirstLine)
{
    const Bytes tag =
        Id3v2Tag({Id3v2Frame("TIT2", "first"), Id3v2Frame("TIT2", "second!"), Id3v2Frame("TPE1", "")});
    auto scan = ScanInfo(Concat({tag, AudioBytes(100), ApeTag({ApeItem("ARTIST", "Loud")})}));
    EXPECT_EQ(scan->info.GetTitle(), "first");
    EXPECT_EQ(scan->info.GetArtist(), "Loud");

    // A compressed title frame cannot be read: its summary line is no title.
    const Bytes compressed = Id3v2Tag(
        {Id3v24Frame("TIT2", Bytes(30, 0x55), 0x09), Id3v2Frame("TPE1", "Band")}, Id3v2Options{}.Version(4));
    scan = ScanInfo(Concat({compressed, AudioBytes(100), Id3v1Tag(Id3v1Values().Title("Short"))}));
    EXPECT_EQ(scan->info.GetTitle(), "Short");
    EXPECT_EQ(scan->info.GetArtist(), "Band");
}

// --- ID3v1 ---

TEST(Mp3InfoId3v1, FieldsInOrderWithTrack)
{
    const Bytes file = Concat({AudioBytes(1000), Id3v1Tag(Id3v1Values()
                                                              .Title("Title")
                                                              .Artist("Artist")
                                                              .Album("Album")
                                                              .Year("1999")
                                                              .Comment("Comment")
                                                              .Track(7)
                                                              .Genre(17))});
    auto scan = ScanInfo(file);
    EXPECT_EQ(scan->info.Found(), Items({Item::Id3v1}));
    EXPECT_EQ(scan->info.Id3v1Offset(), 1000);
    EXPECT_EQ(scan->info.DataLength(), 1128); // trailing tags are not subtracted
    EXPECT_THAT(scan->info.Id3v1Fields(),
                ElementsAre("TITLE=Title", "ARTIST=Artist", "ALBUM=Album", "YEAR=1999", "COMMENT=Comment",
                            "GENRE=Rock", "TRACK=7"));
    EXPECT_EQ(scan->info.GetTitle(), "Title");
    EXPECT_EQ(scan->info.GetArtist(), "Artist");
}

TEST(Mp3InfoId3v1, NoTrackWhenByte125IsSetAndCommentRunsFull)
{
    const std::string comment(30, 'k');
    auto scan =
        ScanInfo(Concat({AudioBytes(10), Id3v1Tag(Id3v1Values().Title("T").Comment(comment).Genre(255))}));
    EXPECT_THAT(scan->info.Id3v1Fields(),
                ElementsAre("TITLE=T", "ARTIST=", "ALBUM=", "YEAR=", "COMMENT=" + comment, "GENRE=Anime(J)"));
    auto zeroTrack = ScanInfo(Concat({AudioBytes(10), Id3v1Tag(Id3v1Values().Track(0).Genre(200))}));
    EXPECT_THAT(zeroTrack->info.Id3v1Fields(),
                ElementsAre("TITLE=", "ARTIST=", "ALBUM=", "YEAR=", "COMMENT=", "GENRE=", "TRACK=0"));
}

TEST(Mp3InfoId3v1, SpacePaddingAndControlBytesAreTrimmedLeadingSpacesKept)
{
    Bytes tag = Id3v1Tag(Id3v1Values().Title("  Lead").Artist("Name\t\x01").Pad(' '));
    tag[125] = ' ';
    auto scan = ScanInfo(Concat({AudioBytes(10), tag}));
    EXPECT_EQ(scan->info.Id3v1Fields()[0], "TITLE=  Lead");
    EXPECT_EQ(scan->info.Id3v1Fields()[1], "ARTIST=Name");
    EXPECT_EQ(scan->info.Id3v1Fields().size(), 6u);
}

TEST(Mp3InfoId3v1, TagAloneIsTheWholeFile)
{
    auto scan = ScanInfo(Id3v1Tag(Id3v1Values().Title("Only")));
    EXPECT_EQ(scan->info.Found(), Items({Item::Id3v1}));
    EXPECT_EQ(scan->info.Id3v1Offset(), 0);
    EXPECT_EQ(scan->info.GetTitle(), "Only");
}

TEST(Id3v1GenreTable, NamesAndGaps)
{
    EXPECT_EQ(Id3v1Genres[0], "Blues");
    EXPECT_EQ(Id3v1Genres[14], "R&B");
    EXPECT_EQ(Id3v1Genres[67], "Psychadelic");
    EXPECT_EQ(Id3v1Genres[127], "Drum & Bass");
    EXPECT_EQ(Id3v1Genres[128], "Hardcore");
    EXPECT_EQ(Id3v1Genres[129], "Club-House");
    EXPECT_EQ(Id3v1Genres[136], "Christian Gangsta Rap");
    EXPECT_EQ(Id3v1Genres[147], "Synthpop");
    EXPECT_EQ(Id3v1Genres[248], "Heavy Rock(J)");
    EXPECT_EQ(Id3v1Genres[252], "Tecno Ambient(J)");
    EXPECT_EQ(Id3v1Genres[255], "Anime(J)");
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(Id3v1Genres[i].empty(), i >= 148 && i <= 247) << i;
}

// --- RIFF WAVE ---

TEST(Mp3InfoRiff, DataChunkAndInfoListAfterIt)
{
    const Bytes file = RiffWave({WaveFormatChunk(), RiffChunk("data", AudioBytes(500000)),
                                 RiffInfoList({{"INAM", "Nami"}, {"IART", "Someone"}, {"ICMT", ""}})});
    auto scan = ScanInfo(file);
    EXPECT_EQ(scan->info.Found(), Items({Item::RiffData}));
    EXPECT_EQ(scan->info.DataStart(), 12 + 26 + 8);
    EXPECT_EQ(scan->info.RiffDataStart(), 46);
    EXPECT_EQ(scan->info.DataLength(), 500000);
    EXPECT_EQ(scan->info.RiffDataLength(), 500000);
    EXPECT_THAT(scan->info.RiffInfoFields(), ElementsAre("INAM=Nami", "IART=Someone"));
    EXPECT_EQ(scan->info.GetTitle(), "Nami");
    EXPECT_EQ(scan->info.GetArtist(), "Someone");
}

TEST(Mp3InfoRiff, InfoBeforeTheDataIsNotRead)
{
    const Bytes file =
        RiffWave({WaveFormatChunk(), RiffInfoList({{"INAM", "Nami"}}), RiffChunk("data", AudioBytes(999))});
    auto scan = ScanInfo(file);
    EXPECT_EQ(scan->info.Found(), Items({Item::RiffData}));
    EXPECT_EQ(scan->info.DataLength(), 999);
    EXPECT_THAT(scan->info.RiffInfoFields(), IsEmpty());
    EXPECT_EQ(scan->info.GetTitle(), "");
}

TEST(Mp3InfoRiff, OddDataChunkIsPaddedAndOtherChunksPassed)
{
    const Bytes file =
        RiffWave({WaveFormatChunk(), RiffChunk("data", AudioBytes(1001)), RiffChunk("junk", AudioBytes(33)),
                  RiffChunk("LIST", ToBytes("adtlxxxx")), RiffInfoList({{"INAM", "Odd"}})});
    auto scan = ScanInfo(file);
    EXPECT_EQ(scan->info.DataLength(), 1001);
    EXPECT_THAT(scan->info.RiffInfoFields(), ElementsAre("INAM=Odd"));
}

TEST(Mp3InfoRiff, Id3SubChunkEndsTheList)
{
    const Bytes file = RiffWave({RiffChunk("data", AudioBytes(100)),
                                 RiffInfoList({{"INAM", "Before"}, {"IID3", "ID3 tag"}, {"IART", "After"}})});
    auto scan = ScanInfo(file);
    EXPECT_THAT(scan->info.RiffInfoFields(), ElementsAre("INAM=Before"));
}

TEST(Mp3InfoRiff, SubChunkLargerThanTheBufferEndsTheList)
{
    const Bytes file =
        RiffWave({RiffChunk("data", AudioBytes(100)),
                  RiffInfoList({{"INAM", "Short"}, {"ICMT", std::string(300, 'c')}, {"IART", "After"}})});
    auto scan = ScanInfo(file, true, 256);
    EXPECT_THAT(scan->info.RiffInfoFields(), ElementsAre("INAM=Short"));
    auto large = ScanInfo(file);
    EXPECT_THAT(large->info.RiffInfoFields(),
                ElementsAre("INAM=Short", "ICMT=" + std::string(300, 'c'), "IART=After"));
}

TEST(Mp3InfoRiff, Id3v2InsideTheDataChunkShortensTheData)
{
    const Bytes tag = Id3v2Tag({Id3v2Frame("TIT2", "Inner")});
    const Bytes file = RiffWave({WaveFormatChunk(), RiffChunk("data", Concat({tag, AudioBytes(2000)}))});
    auto scan = ScanInfo(file);
    EXPECT_EQ(scan->info.Found(), Items({Item::RiffData, Item::Id3v2}));
    EXPECT_EQ(scan->info.DataStart(), 46 + static_cast<int32_t>(tag.size()));
    EXPECT_EQ(scan->info.DataLength(), 2000);
    EXPECT_EQ(scan->info.GetTitle(), "Inner");
}

// --- MacBinary ---

TEST(Mp3InfoMacBinary, Id3v1IsLookedForAtTheEndOfTheDataFork)
{
    const Bytes dataFork = Concat({AudioBytes(3000), Id3v1Tag(Id3v1Values().Title("In the fork"))});
    Bytes resourceFork = AudioBytes(200);
    Append(resourceFork, Id3v1Tag(Id3v1Values().Title("Wrong place")));
    const Bytes file = MacBinaryFile("song.mp3", dataFork, resourceFork);
    auto scan = ScanInfo(file);
    EXPECT_EQ(scan->info.Found(), Items({Item::MacBinary, Item::Id3v1}));
    EXPECT_EQ(scan->info.DataStart(), 128);
    EXPECT_EQ(scan->info.DataLength(), 3128);
    EXPECT_EQ(scan->info.MacDataEnd(), 128 + 3128);
    EXPECT_EQ(scan->info.Id3v1Offset(), 128 + 3000);
    EXPECT_EQ(scan->info.GetTitle(), "In the fork");
}

TEST(Mp3InfoMacBinary, Id3v2AndLyricsInsideTheFork)
{
    const Bytes tag = Id3v2Tag({Id3v2Frame("TPE1", "Mac")});
    const Bytes dataFork =
        Concat({tag, AudioBytes(700), Lyrics3v1("la la"), Id3v1Tag(Id3v1Values().Title("T"))});
    auto scan = ScanInfo(MacBinaryFile("x", dataFork, {}));
    EXPECT_EQ(scan->info.Found(), Items({Item::MacBinary, Item::Id3v2, Item::Id3v1, Item::Lyrics3}));
    EXPECT_EQ(scan->info.DataStart(), 128 + static_cast<int32_t>(tag.size()));
    EXPECT_EQ(scan->info.DataLength(), static_cast<int32_t>(dataFork.size() - tag.size()));
    EXPECT_THAT(scan->info.LyricsFields(), ElementsAre("LYRICS=la la"));
    EXPECT_EQ(scan->info.GetArtist(), "Mac");
}

TEST(Mp3InfoMacBinary, HeaderChecks)
{
    const Bytes dataFork = AudioBytes(300);
    for (auto [offset, value] :
         {std::pair{0, 1}, {74, 1}, {82, 1}, {1, 0}, {1, 32}, {83, 0x80}, {87, 0x80}}) {
        Bytes file = MacBinaryFile("name", dataFork, {});
        file[static_cast<size_t>(offset)] = static_cast<uint8_t>(value);
        auto scan = ScanInfo(file);
        EXPECT_FALSE(scan->info.Found().Contains(Item::MacBinary)) << offset;
        EXPECT_EQ(scan->info.DataStart(), 0);
    }
}

// --- Lyrics3 ---

TEST(Mp3InfoLyrics3, Id3v2Id3v1AndLyrics3v2Together)
{
    const Bytes tag =
        Id3v2Tag({Id3v2Frame("TIT2", "From v2"), Id3v2Frame("TPE1", "Artist")}, Id3v2Options().Padding(20));
    const Bytes lyrics =
        Lyrics3v2({Lyrics3v2Field("IND", "10"), Lyrics3v2Field("LYR", "[00:01]First line\r\nSecond"),
                   Lyrics3v2Field("ETT", "Lyrics title")});
    const Bytes file =
        Concat({tag, AudioBytes(4000), lyrics, Id3v1Tag(Id3v1Values().Title("From v1").Track(3))});
    auto scan = ScanInfo(file);
    EXPECT_EQ(scan->info.Found(), Items({Item::Id3v2, Item::Id3v1, Item::Lyrics3}));
    EXPECT_EQ(scan->info.DataStart(), static_cast<int32_t>(tag.size()));
    EXPECT_EQ(scan->info.DataLength(), static_cast<int32_t>(file.size() - tag.size()));
    EXPECT_EQ(scan->info.Id3v1Offset(), static_cast<int32_t>(file.size() - 128));
    EXPECT_THAT(scan->info.LyricsFields(),
                ElementsAre("IND=10", "LYR=[00:01]First line\r\nSecond", "ETT=Lyrics title"));
    EXPECT_THAT(scan->info.Id3v2Frames(), ElementsAre("TIT2=From v2", "TPE1=Artist"));
    EXPECT_EQ(scan->info.Id3v1Fields().back(), "TRACK=3");
    EXPECT_EQ(scan->info.GetTitle(), "From v1"); // same length: ID3v1 comes first
    EXPECT_EQ(scan->info.GetArtist(), "Artist");
}

TEST(Mp3InfoLyrics3, Version2WithoutId3v1EndsAtTheFileEnd)
{
    const Bytes file = Concat({AudioBytes(100), Lyrics3v2({Lyrics3v2Field("AUT", "Writer")})});
    auto scan = ScanInfo(file);
    EXPECT_EQ(scan->info.Found(), Items({Item::Lyrics3}));
    EXPECT_THAT(scan->info.LyricsFields(), ElementsAre("AUT=Writer"));
}

TEST(Mp3InfoLyrics3, Version2FieldsAreReadPiecewiseBeyondTheBuffer)
{
    const std::string text(5000, 'w');
    const Bytes file =
        Concat({AudioBytes(100), Lyrics3v2({Lyrics3v2Field("LYR", text)}), Id3v1Tag(Id3v1Values())});
    auto scan = ScanInfo(file, true, 600);
    EXPECT_EQ(scan->info.Found(), Items({Item::Id3v1, Item::Lyrics3}));
    EXPECT_THAT(scan->info.LyricsFields(), ElementsAre("LYR=" + text));
}

TEST(Mp3InfoLyrics3, BadFieldStopsTheBlockKeepingEarlierFields)
{
    const Bytes lyrics = Lyrics3v2(
        {Lyrics3v2Field("IND", "11"), Lyrics3v2Field("LYR", "abc", "0x003"), Lyrics3v2Field("ETT", "never")});
    auto scan = ScanInfo(Concat({AudioBytes(100), lyrics, Id3v1Tag(Id3v1Values())}));
    EXPECT_EQ(scan->info.Found(), Items({Item::Id3v1}));
    EXPECT_THAT(scan->info.LyricsFields(), ElementsAre("IND=11"));
}

TEST(Mp3InfoLyrics3, FieldLengthPastTheBlockFails)
{
    const Bytes lyrics = Lyrics3v2({Lyrics3v2Field("IND", "11"), Lyrics3v2Field("LYR", "abc", "00009")});
    auto scan = ScanInfo(Concat({AudioBytes(100), lyrics, Id3v1Tag(Id3v1Values())}));
    EXPECT_FALSE(scan->info.Found().Contains(Item::Lyrics3));
    EXPECT_THAT(scan->info.LyricsFields(), ElementsAre("IND=11"));
}

TEST(Mp3InfoLyrics3, Version1)
{
    auto scan =
        ScanInfo(Concat({AudioBytes(100), Lyrics3v1("Words\r\nmore words"), Id3v1Tag(Id3v1Values())}));
    EXPECT_EQ(scan->info.Found(), Items({Item::Id3v1, Item::Lyrics3}));
    EXPECT_THAT(scan->info.LyricsFields(), ElementsAre("LYRICS=Words\r\nmore words"));

    auto atEnd = ScanInfo(Concat({Lyrics3v1("x"), Lyrics3v1("Second block")}));
    EXPECT_THAT(atEnd->info.LyricsFields(), ElementsAre("LYRICS=xLYRICSENDLYRICSBEGINSecond block"));

    // The beginning is looked for in the last 5100 bytes before the end mark only.
    auto tooLong =
        ScanInfo(Concat({AudioBytes(100), Lyrics3v1(std::string(5090, 'a')), Id3v1Tag(Id3v1Values())}));
    EXPECT_FALSE(tooLong->info.Found().Contains(Item::Lyrics3));
    auto longest =
        ScanInfo(Concat({AudioBytes(100), Lyrics3v1(std::string(5089, 'a')), Id3v1Tag(Id3v1Values())}));
    EXPECT_TRUE(longest->info.Found().Contains(Item::Lyrics3));
}

// --- APE ---

// APE tags where gain and tag tools put them: stepped over, left out of the data, their title
// and artist offered after RIFF INFO.
TEST(Mp3InfoApe, Layouts)
{
    const std::vector<Bytes> items = {ApeItem("Title", "Ape title"),
                                      ApeItem("Artist", std::string("One\0Two", 7)),
                                      ApeItem("Cover Art (Front)", std::string("c.jpg\0\xFF\xD8\xFF", 9), 2),
                                      ApeItem("REPLAYGAIN_TRACK_GAIN", "-6.5 dB")};
    const Bytes lyrics = Lyrics3v2({Lyrics3v2Field("IND", "00")});
    const Bytes v1 = Id3v1Tag(Id3v1Values().Title("V1"));
    const struct {
        const char* name;
        Bytes ape;
        Bytes after;
        TMP3InfoItems found;
    } cases[] = {
        {"at the end", ApeTag(items), {}, Items({Item::Id3v2, Item::Ape})},
        {"without header", ApeTag(items, false), {}, Items({Item::Id3v2, Item::Ape})},
        {"version 1", ApeTag(items, false, 1000), {}, Items({Item::Id3v2, Item::Ape})},
        {"before ID3v1", ApeTag(items), v1, Items({Item::Id3v2, Item::Id3v1, Item::Ape})},
        {"before Lyrics3", ApeTag(items), Concat({lyrics, v1}),
         Items({Item::Id3v2, Item::Id3v1, Item::Lyrics3, Item::Ape})},
    };
    const Bytes tag2 = Id3v2Tag({Id3v2Frame("TIT2", "Short")});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto scan = ScanInfo(Concat({tag2, AudioBytes(700), c.ape, c.after}));
        EXPECT_EQ(scan->info.Found(), c.found);
        EXPECT_EQ(scan->info.DataStart(), static_cast<int32_t>(tag2.size()));
        EXPECT_EQ(scan->info.DataLength(), 700);
        EXPECT_EQ(scan->info.ApeOffset(), static_cast<int32_t>(tag2.size() + 700));
        EXPECT_THAT(scan->info.ApeItems(),
                    ElementsAre("Title=Ape title", "Artist=One / Two", "Cover Art (Front)=c.jpg, 3 bytes",
                                "REPLAYGAIN_TRACK_GAIN=-6.5 dB"));
        EXPECT_EQ(scan->info.GetTitle(), "Ape title");
        EXPECT_EQ(scan->info.GetArtist(), "One / Two");
    }
    // A footer whose size reaches back over the ID3v2 tag is damaged: the audio stays whole.
    Bytes damaged = ApeTag({ApeItem("Title", "x")}, false);
    PutLittleEndian32(damaged, damaged.size() - 20, uint32_t(tag2.size() + 700 + damaged.size()));
    auto kept = ScanInfo(Concat({tag2, AudioBytes(700), damaged}));
    EXPECT_FALSE(kept->info.Found().Contains(Item::Ape));
    EXPECT_EQ(kept->info.DataLength(), static_cast<int32_t>(700 + damaged.size()));

    // Last among the candidates: a RIFF INFO name of the same length wins.
    const Bytes wave = RiffWave({RiffChunk("data", AudioBytes(300)), RiffInfoList({{"INAM", "Riff name"}})});
    auto riff = ScanInfo(Concat({wave, ApeTag({ApeItem("Title", "Ape title")})}));
    EXPECT_EQ(riff->info.GetTitle(), "Riff name");
}

// --- Streams that cannot seek, life cycle ---

TEST(Mp3InfoUnseekable, OnlyLeadingItemsAreRead)
{
    const Bytes tag = Id3v2Tag({Id3v2Frame("TIT2", "Song")});
    auto scan =
        ScanInfo(Concat({tag, AudioBytes(1000), Id3v1Tag(Id3v1Values().Title("Longer title"))}), false);
    EXPECT_EQ(scan->info.Found(), Items({Item::Id3v2}));
    EXPECT_EQ(scan->info.DataStart(), static_cast<int32_t>(tag.size()));
    EXPECT_EQ(scan->info.DataLength(), kUnknown);
    EXPECT_EQ(scan->reader->Position(), static_cast<int32_t>(tag.size()));
    EXPECT_FALSE(scan->info.ReadTrailingInfo());
    EXPECT_EQ(scan->info.GetTitle(), "Song");

    auto riff = ScanInfo(RiffWave({WaveFormatChunk(), RiffChunk("data", AudioBytes(2000))}), false);
    EXPECT_EQ(riff->info.Found(), Items({Item::RiffData}));
    EXPECT_EQ(riff->info.DataLength(), 2000);

    auto mac = ScanInfo(MacBinaryFile("m", AudioBytes(900), {}), false);
    EXPECT_EQ(mac->info.Found(), Items({Item::MacBinary}));
    EXPECT_EQ(mac->info.DataLength(), 900);
}

TEST(Mp3InfoLifecycle, AttachAndClearForgetEverything)
{
    auto scan = ScanInfo(Concat(
        {Id3v2Tag({Id3v2Frame("TIT2", "Song")}), AudioBytes(100), Id3v1Tag(Id3v1Values().Title("T"))}));
    ASSERT_FALSE(scan->info.Found().Empty());
    TMPStreamReader other(64);
    scan->info.Attach(other);
    EXPECT_EQ(scan->info.Reader(), &other);
    EXPECT_TRUE(scan->info.Found().Empty());
    EXPECT_EQ(scan->info.DataStart(), 0);
    EXPECT_EQ(scan->info.DataLength(), kUnknown);
    EXPECT_EQ(scan->info.RiffDataLength(), kUnknown);
    EXPECT_THAT(scan->info.Id3v2Frames(), IsEmpty());
    EXPECT_THAT(scan->info.Id3v1Fields(), IsEmpty());
    scan->info.Clear();
    EXPECT_EQ(scan->info.Reader(), nullptr);
    EXPECT_THROW(scan->info.ReadLeadingInfo(), EAssertionFailed);
    EXPECT_THROW(scan->info.ReadTrailingInfo(), EAssertionFailed);
}

TEST(Mp3InfoItems, NamesAndBits)
{
    EXPECT_EQ(Items({Item::Id3v1}).Bits(), 1);
    EXPECT_EQ(Items({Item::Lyrics3, Item::MacBinary}).Bits(), 0x18);
    std::vector<std::string_view> names;
    for (Item item : kAllInfoItems)
        names.push_back(InfoItemName(item));
    EXPECT_THAT(names, ElementsAre("Id3v1", "Id3v2", "RiffData", "MacBinary", "Lyrics3", "Ape"));
}

} // namespace
} // namespace pt4
