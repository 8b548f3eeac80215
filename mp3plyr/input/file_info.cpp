#include "mp3plyr/input/file_info.h"

namespace pt4 {

TFileInfo::TFileInfo(const std::string& fileName) : Stream(fileName), Reader(16384)
{
    Reader.Open(&Stream, true);
    Info.Attach(Reader);
    Info.ReadLeadingInfo();
    Info.ReadTrailingInfo();
}

} // namespace pt4
