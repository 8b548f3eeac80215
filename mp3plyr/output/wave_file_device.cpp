#include "mp3plyr/output/wave_file_device.h"

#include "mp3plyr/errors.h"
#include "mp3plyr/output/riff_wave_header.h"
#include "mp3plyr/runtime/messages.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace pt4 {

namespace {

constexpr long kHeaderBytes = 44;

} // namespace

TWaveFileDevice::TWaveFileDevice(const std::string& fileName, const TWaveFormat& format, TMPThread& output)
    : fileName_(fileName), format_(format), output_(output)
{
    file_.reset(std::fopen(fileName_.c_str(), "wb"));
    if (!file_)
        RaiseFileError(errno);
    auto header = RiffWaveHeader(uint32_t(format_.SampleRate), uint16_t(format_.Channels),
                                 uint16_t(format_.BitsPerSample), 0);
    // Both lengths stay 0 until Close knows them.
    std::fill_n(header.begin() + 4, 4, uint8_t(0));
    if (std::fwrite(header.data(), 1, header.size(), file_.get()) != header.size())
        RaiseFileError(errno);
}

void TWaveFileDevice::WriteBlock(uint32_t index, std::span<const uint8_t>)
{
    output_.PostMessage(TM_WRITEBLOCK, 0, intptr_t(index));
}

void TWaveFileDevice::StoreBlock(std::span<const uint8_t> block)
{
    MP_ASSERT(file_);
    if (std::fwrite(block.data(), 1, block.size(), file_.get()) != block.size())
        RaiseFileError(errno);
    stored_ += block.size();
}

uint32_t TWaveFileDevice::PlayedBytes()
{
    return uint32_t(stored_.load());
}

void TWaveFileDevice::Close()
{
    if (!file_)
        return;
    // The file is closed in any case; the first failure is the one reported.
    std::FILE* file = file_.get();
    int error = 0;
    auto check = [&](bool ok) {
        if (!ok && error == 0)
            error = errno != 0 ? errno : EIO;
        return ok;
    };
    auto put32At = [&](long offset, const uint8_t* bytes) {
        return check(std::fseek(file, offset, SEEK_SET) == 0) && check(std::fwrite(bytes, 1, 4, file) == 4);
    };
    long length = -1;
    if (check(std::fflush(file) == 0) && check(std::fseek(file, 0, SEEK_END) == 0))
        length = std::ftell(file);
    if (check(length >= kHeaderBytes)) {
        const auto header = RiffWaveHeader(uint32_t(format_.SampleRate), uint16_t(format_.Channels),
                                           uint16_t(format_.BitsPerSample), uint64_t(length - kHeaderBytes));
        if (put32At(4, header.data() + 4) && put32At(40, header.data() + 40))
            check(std::fflush(file) == 0);
    }
    check(std::fclose(file_.release()) == 0);
    if (error != 0)
        RaiseFileError(error);
}

void TWaveFileDevice::RaiseFileError(int error) const
{
    throw EMP3Error(TErrorKind::Device, std::string(std::strerror(error)) + "(" + fileName_ + ")");
}

} // namespace pt4
