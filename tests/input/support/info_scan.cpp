#include "info_scan.h"

namespace pt4::test {

std::unique_ptr<InfoScan> ScanInfo(const Bytes& file, bool seekable, int32_t bufferSize)
{
    auto scan = std::make_unique<InfoScan>();
    scan->stream = std::make_unique<TMPMemoryStream>(file);
    scan->reader = std::make_unique<TMPStreamReader>(bufferSize);
    scan->reader->Open(scan->stream.get(), seekable);
    scan->info.Attach(*scan->reader);
    scan->leadingResult = scan->info.ReadLeadingInfo();
    if (seekable)
        scan->trailingResult = scan->info.ReadTrailingInfo();
    return scan;
}

} // namespace pt4::test
