// MacBinary header in front of the data fork.
#include <algorithm>
#include <limits>

#include "mp3plyr/input/info_reading.h"
#include "mp3plyr/input/mp3_info.h"
#include "mp3plyr/input/tag_text.h"

namespace pt4 {

namespace {

constexpr int32_t kMacBinaryHeaderSize = 128;

} // namespace

bool TMP3Info::ReadMacBinaryHeader()
{
    TMPStreamReader& reader = Attached();
    if (!FillWithin(reader, kMacBinaryHeaderSize))
        return false;
    const uint8_t* header = reader.Buffer();
    const uint8_t nameLength = header[1];
    if (header[0] != 0 || header[74] != 0 || header[82] != 0 || nameLength < 1 || nameLength > 31)
        return false;
    const auto dataForkLength = static_cast<int32_t>(BigEndian32(header + 83));
    const auto resourceForkLength = static_cast<int32_t>(BigEndian32(header + 87));
    if (dataForkLength < 0 || resourceForkLength < 0)
        return false;
    if (!reader.Skip(kMacBinaryHeaderSize))
        return false;
    const int64_t start = reader.Position();
    macDataEnd_ = start + dataForkLength;
    dataStart_ = start;
    dataLength_ = dataForkLength;
    return true;
}

} // namespace pt4
