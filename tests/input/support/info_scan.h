// Runs the tag and container scan over bytes in memory the way the player does on opening.
#pragma once

#include <cstdint>
#include <memory>

#include "mp3plyr/input/memory_stream.h"
#include "mp3plyr/input/mp3_info.h"
#include "mp3plyr/input/stream_reader.h"
#include "tag_builder.h"

namespace pt4::test {

struct InfoScan {
    std::unique_ptr<TMPMemoryStream> stream;
    std::unique_ptr<TMPStreamReader> reader;
    TMP3Info info;
    bool leadingResult = false;
    bool trailingResult = false;
};

// Attach, ReadLeadingInfo and, for a seekable stream, ReadTrailingInfo.
std::unique_ptr<InfoScan> ScanInfo(const Bytes& file, bool seekable = true, int32_t bufferSize = 16384);

} // namespace pt4::test
