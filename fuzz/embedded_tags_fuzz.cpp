// Any bytes through the reading of the album name and the embedded picture of an ID3v2 tag.
#include "mp3plyr/input/display_text.h"
#include "mp3plyr/input/embedded_tags.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const pt4::TEmbeddedTags tags = pt4::ReadId3v2Extras(data, size);
    if (tags.picture.size() > size)
        __builtin_trap();
    (void)pt4::DisplayText(tags.album);
    return 0;
}
