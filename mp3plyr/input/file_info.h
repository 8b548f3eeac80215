// A local file's tags and container, read from its start and its end; the reader stays open at
// the point the reading left it, for whoever looks further.
#pragma once

#include "mp3plyr/input/file_stream.h"
#include "mp3plyr/input/mp3_info.h"
#include "mp3plyr/input/stream_reader.h"

#include <string>

namespace pt4 {

struct TFileInfo {
    // Raises EMP3Error when the file cannot be opened.
    explicit TFileInfo(const std::string& fileName);
    TFileInfo(const TFileInfo&) = delete;
    TFileInfo& operator=(const TFileInfo&) = delete;

    TMPFileStream Stream;
    TMPStreamReader Reader;
    TMP3Info Info;
};

} // namespace pt4
