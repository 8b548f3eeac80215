// Album name and embedded picture from ID3v2 tags of the three versions: text encodings,
// the front cover chosen over other pictures, unsynchronisation of a whole tag and of one frame,
// extended headers and data length indicators. The fuzz corpus's seed files serve as input.
#include "mp3plyr/input/display_text.h"
#include "mp3plyr/input/embedded_tags.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace pt4 {
namespace {

std::vector<uint8_t> Seed(const std::string& name)
{
    std::ifstream in(std::string(PT4_SOURCE_DIR) + "/fuzz/corpus/embedded_tags/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(EmbeddedTags, AlbumAndPictureOfEachVersion)
{
    const std::vector<uint8_t> jpegStart = {0xFF, 0xD8, 0xFF, 0xE0, 0xFF};
    const struct {
        const char* seed;
        const char* album;
        const char* extension;
        size_t pictureSize;
    } cases[] = {
        {"id3v22_pic", "Album22", "png", 32},
        {"id3v23_pictures", "アルバム", "jpg", 24},
        {"id3v23_unsync_extended", "Alb", "jpg", 24},
        {"id3v24_unsync_frame", "Album ♪", "jpg", 24},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seed);
        const std::vector<uint8_t> bytes = Seed(c.seed);
        ASSERT_FALSE(bytes.empty());
        const TEmbeddedTags tags = ReadId3v2Extras(bytes.data(), bytes.size());
        EXPECT_EQ(DisplayText(tags.album), c.album);
        EXPECT_EQ(tags.pictureExtension, c.extension);
        EXPECT_EQ(tags.picture.size(), c.pictureSize);
        if (std::string(c.extension) == "jpg")
            EXPECT_TRUE(std::equal(jpegStart.begin(), jpegStart.end(), tags.picture.begin()));
    }
    // Cut anywhere, a tag yields no more than it holds.
    const std::vector<uint8_t> whole = Seed("id3v24_unsync_frame");
    for (size_t size = 0; size < whole.size(); ++size)
        EXPECT_LE(ReadId3v2Extras(whole.data(), size).picture.size(), size);
}

} // namespace
} // namespace pt4
