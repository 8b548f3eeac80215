#include "mp3plyr/input/info_reading.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace pt4 {

bool FillWithin(TMPStreamReader& reader, int64_t n)
{
    if (n < 0 || n > reader.BufferSize())
        return false;
    return reader.Fill(static_cast<int32_t>(n));
}

bool SkipWide(TMPStreamReader& reader, int64_t n)
{
    if (n < 0)
        return false;
    if (reader.Seekable() && n > reader.Count()) {
        // Past the buffered bytes a seek does it, however far: a failing skip ends at the end.
        if (reader.Position() + n > reader.Size()) {
            reader.Seek(0, kSeekFromEnd);
            return false;
        }
        reader.Seek(n, kSeekFromCurrent);
        return true;
    }
    for (constexpr int64_t kStep = std::numeric_limits<int32_t>::max(); n > kStep; n -= kStep)
        if (!reader.Skip(static_cast<int32_t>(kStep)))
            return false;
    return reader.Skip(static_cast<int32_t>(n));
}

bool ReadBytes(TMPStreamReader& reader, int64_t n, std::string& out)
{
    while (n > 0) {
        const int32_t piece = static_cast<int32_t>(std::min<int64_t>(n, reader.BufferSize()));
        if (!reader.Fill(piece))
            return false;
        out.append(reinterpret_cast<const char*>(reader.Buffer()), static_cast<size_t>(piece));
        if (!reader.Skip(piece))
            return false;
        n -= piece;
    }
    return true;
}

bool BufferedBytesAre(const TMPStreamReader& reader, int32_t offset, std::string_view signature)
{
    if (offset < 0 || int64_t{offset} + static_cast<int64_t>(signature.size()) > reader.Count())
        return false;
    return std::memcmp(reader.Buffer() + offset, signature.data(), signature.size()) == 0;
}

} // namespace pt4
