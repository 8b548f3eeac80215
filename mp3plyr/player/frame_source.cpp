#include "mp3plyr/player/frame_source.h"

#include "mp3plyr/errors.h"
#include "mp3plyr/input/frame_alignment.h"
#include "mp3plyr/input/live_stream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <string_view>

namespace pt4 {
namespace {

[[noreturn]] void FailUnknownFormat()
{
    throw EMP3Error(TErrorKind::Format, kUnknownFormat);
}

// value × factor ÷ divisor, truncated, for value >= 0 and factor, divisor > 0, without the
// product overflowing 64 bits (the result is held at INT64_MAX).
int64_t MulDiv(int64_t value, int64_t factor, int64_t divisor)
{
    const int64_t whole = value / divisor;
    const int64_t rest = value % divisor;
    if (whole > INT64_MAX / factor)
        return INT64_MAX;
    return whole * factor + rest * factor / divisor;
}

int32_t BigEndianAt(const uint8_t* p)
{
    return int32_t(uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]));
}

// Bytes of header and side information before a Layer III frame's main data; a Xing or Info
// header sits there in its first frame.
int32_t XingHeaderOffset(const TMPFrameHeader& header)
{
    return Layer3SideInfoEnd(header) + (header.Protection == 0 ? 2 : 0);
}

// Samples the Layer III synthesis lags behind its input: the hybrid filter bank's overlap and
// the polyphase filter's delay, less the one sample the filter's output is aligned by.
constexpr int32_t kLayer3DecoderDelay = 529;
// Encoders put a VBRI header 32 bytes after the frame header whatever the mode.
constexpr int32_t kVbriHeaderOffset = 36;

// The first frame lies within this many bytes of the data start (past zero bytes).
constexpr int32_t kFirstFrameSearch = 1024;
// Frames are counted in 32 bits, as the player's times are; a seek beyond lands on the last.
constexpr int64_t kLastFrame = INT32_MAX;
// The player's times are milliseconds in 32 bits.
constexpr int64_t kLongestMs = INT32_MAX;

// The length of the frame whose header stands at `bytes`, padding included, when it is a frame
// of the stream whose first header is `streamHeader`; 0 or less otherwise.
int32_t StreamFrameLength(const uint8_t* bytes, const uint8_t* streamHeader, TMPFrameHeader& header)
{
    const int32_t length = ParseFrameHeader(bytes, 0, header);
    if (length <= 0)
        return length;
    if (header.LayerBits < 1 || header.LayerBits > 3 || !SameStreamHeader(streamHeader, bytes))
        return 0;
    return PaddedFrameLength(header, length);
}

// Steps over the next frame of the stream: its header within 1024 bytes, its end inside the
// data. False, with the reader anywhere, when there is none.
bool StepOverFrame(TMPStreamReader& reader, const uint8_t* streamHeader, int64_t dataEnd)
{
    TMPFrameHeader header;
    int32_t length = 0;
    for (int32_t skipped = 0;;) {
        if (!reader.Fill(4))
            return false;
        length = StreamFrameLength(reader.Buffer(), streamHeader, header);
        if (length > 0)
            break;
        reader.Skip(1);
        if (++skipped > 1023)
            return false;
    }
    if (int64_t(reader.Position()) + length > dataEnd)
        return false;
    return reader.Skip(length);
}

} // namespace

bool LocateFirstFrame(TMPStreamReader& reader, int64_t dataLength, TFirstFrame& frame)
{
    int64_t left = dataLength;
    // Zero bytes after the tags (a tag rewritten shorter in place) are not audio; a pipe may
    // bring gigabytes of them.
    int64_t zeros = 0;
    while (left > 0 && reader.Fill(1)) {
        const uint8_t* bytes = reader.Buffer();
        const int32_t limit = int32_t(std::min<int64_t>(reader.Count(), left));
        int32_t n = 0;
        while (n < limit && bytes[n] == 0)
            ++n;
        if (n == 0 || !reader.Skip(n))
            break;
        zeros += n;
        left -= n;
    }
    reader.Fill(std::min(reader.BufferSize(), kFirstFrameSearch + kMaxFrameBytes + 2));
    const int32_t available = int32_t(std::clamp<int64_t>(left, 0, reader.Count()));
    const int32_t searched = std::min(available, kFirstFrameSearch);
    int32_t offset = 0;
    frame = {};
    frame.Length =
        FindCheckedFirstFrame(reader.Buffer(), searched, available, frame.Header, frame.BitRate, offset);
    if (frame.Length < 1)
        return false;
    frame.Skipped = zeros + offset;
    return reader.Skip(offset);
}

TMPFrameSource::TMPFrameSource(DecoderState& decoder, TOutputOptions options)
    : decoder_(&decoder), options_(options)
{
}

void TMPFrameSource::Reset()
{
    streamHeader_ = {};
    firstHeaderBytes_ = {};
    outputInfo_ = {};
    dataStart_ = 0;
    dataLength_ = kUnknownLength;
    pendingFrameLength_ = 0;
    resyncCount_ = 0;
    needDecoderInit_ = false;
    layer_ = version_ = bitRate_ = frameBytes_ = totalBytes_ = 0;
    firstFrameOffset_ = firstFrameLength_ = 0;
    vbrHeader_ = TVbrHeaderKind::None;
    live_ = false;
    gapless_ = {};
    trimBegin_ = 0;
    trimEnd_ = kNoTrimEnd;
    nextSample_ = 0;
    keepFrom_ = 0;
    lastFrameBytes_ = 0;
    seekTable_.clear();
    framesCounted_ = false;
    replayGain_ = {};
}

void TMPFrameSource::Close()
{
    reader_.Close();
    info_.Clear();
    Reset();
}

void TMPFrameSource::Open(TMPStream* stream, bool seekable)
{
    Close();
    try {
        reader_.Open(stream, seekable);
        info_.Attach(reader_);
        info_.ReadLeadingInfo();
        if (seekable) {
            info_.ReadTrailingInfo();
            reader_.Seek(info_.DataStart(), kSeekFromBeginning);
        }
        dataStart_ = info_.DataStart();
        dataLength_ = info_.DataLength();

        TFirstFrame first;
        if (!LocateFirstFrame(reader_, dataLength_, first))
            FailUnknownFormat();
        streamHeader_ = first.Header;
        bitRate_ = first.BitRate;
        if (first.Skipped > 0) {
            dataStart_ += first.Skipped;
            if (dataLength_ != kUnknownLength)
                dataLength_ -= first.Skipped;
            reader_.Fill(1441);
            if (reader_.Count() < 4)
                FailUnknownFormat();
        }
        firstFrameOffset_ = dataStart_;
        std::memcpy(firstHeaderBytes_.data(), reader_.Buffer(), 4);

        layer_ = LayerNumber(streamHeader_);
        if (layer_ == 0)
            FailUnknownFormat();
        pendingFrameLength_ = NextFrameLength(reader_.Buffer(), streamHeader_);
        if (pendingFrameLength_ < 1)
            FailUnknownFormat();
        firstFrameLength_ = pendingFrameLength_;
        version_ = int32_t(VersionOf(streamHeader_)) + 1; // 1 MPEG-1, 2 MPEG-2, 3 MPEG-2.5

        if (!reader_.Fill(pendingFrameLength_) || !InitDecoder(streamHeader_, pendingFrameLength_))
            FailUnknownFormat();
        GetDecoderInfo(*decoder_, outputInfo_);
        frameBytes_ = outputInfo_.OutValues * outputInfo_.Bits / 8;

        replayGain_ = ReplayGainFromTags(info_);
        ReadVbrHeader();
        if (!gapless_.Present)
            ReadCommentGaplessInfo();
        live_ = dynamic_cast<TMPLiveStream*>(stream) != nullptr;
        if (live_) {
            // A station's encoder wrote its VBR header before the stream's end was known (and a
            // listener joins anywhere): its counts would end the play within moments.
            dataLength_ = kUnknownLength;
            totalBytes_ = 0;
            // Nor does its encoder delay mean anything for a listener who joined later: a
            // station plays whole.
            trimBegin_ = 0;
            trimEnd_ = kNoTrimEnd;
        }
        seekTable_.push_back(reader_.Position());
    } catch (...) {
        Close();
        throw;
    }
}

int32_t TMPFrameSource::NextFrameLength(const uint8_t* bytes, TMPFrameHeader& header) const
{
    return StreamFrameLength(bytes, firstHeaderBytes_.data(), header);
}

bool TMPFrameSource::InitDecoder(const TMPFrameHeader& header, int32_t length)
{
    const int32_t unpadded = length - PaddedFrameLength(header, 0);
    if (DecoderInit(*decoder_, header, unpadded, options_) == 0)
        return false;
    needDecoderInit_ = false;
    resyncCount_ = 0;
    return true;
}

void TMPFrameSource::ReadVbrHeader()
{
    const uint8_t* buffer = reader_.Buffer();
    // Only fields that lie inside the first frame's buffered bytes are read: a tiny first
    // frame cannot hide a header that runs past it.
    const int32_t frameEnd = std::min(reader_.Count(), pendingFrameLength_);
    const auto present = [&](int32_t at) { return at + 4 <= frameEnd; };
    // The frame count of either header leaves out the frame that holds it.
    const auto setFrames = [&](const uint8_t* field) {
        const int64_t frames = uint32_t(BigEndianAt(field));
        if (frames > 0)
            totalBytes_ = frames * frameBytes_;
    };
    const int32_t xing = XingHeaderOffset(streamHeader_);
    if (present(xing) &&
        (std::memcmp(buffer + xing, "Xing", 4) == 0 || std::memcmp(buffer + xing, "Info", 4) == 0) &&
        present(xing + 4)) {
        vbrHeader_ = TVbrHeaderKind::Xing;
        const int32_t flags = BigEndianAt(buffer + xing + 4);
        int32_t next = xing + 8;
        if ((flags & 1) && present(xing + 8)) {
            setFrames(buffer + xing + 8);
            next = xing + 12;
        }
        // The byte count is unsigned: files pass 2 GiB.
        if ((flags & 2) && present(next) && uint32_t(BigEndianAt(buffer + next)) > 0)
            dataLength_ = uint32_t(BigEndianAt(buffer + next));
        if (flags & 2)
            next += 4;
        if (flags & 4)
            next += 100; // table of contents
        if (flags & 8)
            next += 4; // quality
        ReadEncoderReplayGain(next);
        if ((flags & 1) && present(xing + 8))
            ReadGaplessInfo(next, uint32_t(BigEndianAt(buffer + xing + 8)));
    } else if (present(kVbriHeaderOffset) && std::memcmp(buffer + kVbriHeaderOffset, "VBRI", 4) == 0) {
        vbrHeader_ = TVbrHeaderKind::Vbri;
        const int32_t at = kVbriHeaderOffset;
        if (present(at + 10) && uint32_t(BigEndianAt(buffer + at + 10)) > 0)
            dataLength_ = uint32_t(BigEndianAt(buffer + at + 10));
        if (present(at + 14))
            setFrames(buffer + at + 14);
    } else {
        return;
    }
    bitRate_ = 0;
    if (!reader_.Skip(pendingFrameLength_))
        FailUnknownFormat();
    dataStart_ += pendingFrameLength_;
    if (dataLength_ != kUnknownLength)
        dataLength_ -= pendingFrameLength_;
    pendingFrameLength_ = 0;
}

// The encoder's extension, when one is named there, may carry loudness values; tags come first.
void TMPFrameSource::ReadEncoderReplayGain(int32_t extensionOffset)
{
    const int32_t end = std::min(reader_.Count(), pendingFrameLength_);
    if (extensionOffset + 4 > end || replayGain_.HasGain())
        return;
    const std::span extension(reader_.Buffer() + extensionOffset, size_t(end - extensionOffset));
    if (std::all_of(extension.begin(), extension.begin() + 4,
                    [](uint8_t c) { return c >= 0x20 && c < 0x7F; }))
        replayGain_ = ReplayGainFromEncoderHeader(extension);
}

// The encoder's extension after the Xing/Info fields: a nine-character encoder name, then at
// byte 21 twelve bits of delay and twelve of padding. Streams whose header has no extension
// there (all zero bytes) are played whole.
void TMPFrameSource::ReadGaplessInfo(int32_t extensionOffset, int64_t frames)
{
    const int32_t at = extensionOffset + 21;
    if (layer_ != 3 || frames <= 0 || at + 3 > reader_.Count() || at + 3 > pendingFrameLength_)
        return;
    const uint8_t* extension = reader_.Buffer() + extensionOffset;
    bool named = false;
    for (int32_t i = 0; i < 4; ++i)
        named = named || extension[i] != 0;
    if (!named)
        return;
    const uint8_t* p = reader_.Buffer() + at;
    gapless_.Present = true;
    gapless_.EncoderDelay = int32_t(p[0]) << 4 | p[1] >> 4;
    gapless_.EncoderPadding = (int32_t(p[1]) & 15) << 8 | p[2];
    if (options_.Gapless)
        SetUpTrimming(frames);
}

void TMPFrameSource::SetUpTrimming(int64_t frames)
{
    const int64_t fullRateFrame = int64_t(SamplesPerFrame()) << int32_t(options_.Reduction);
    const int64_t begin = gapless_.EncoderDelay + kLayer3DecoderDelay;
    TrimTo(begin, std::min(frames * fullRateFrame,
                           frames * fullRateFrame - gapless_.EncoderPadding + kLayer3DecoderDelay));
}

// [begin, end) in full-rate samples of the decoded stream.
void TMPFrameSource::TrimTo(int64_t begin, int64_t end)
{
    if (end <= begin)
        return;
    const int32_t reduction = int32_t(options_.Reduction);
    trimBegin_ = begin >> reduction;
    trimEnd_ = end >> reduction;
}

// A stream without the encoder's extension may carry the same figures as an ID3v2 comment
// "iTunSMPB": hexadecimal words, the second the encoder delay, the third the padding and the
// fourth the number of samples of the music.
void TMPFrameSource::ReadCommentGaplessInfo()
{
    constexpr std::string_view kDescription = "iTunSMPB: ";
    for (const std::string& line : info_.Id3v2Frames()) {
        const std::string_view frame(line);
        if (!frame.starts_with("COMM=") && !frame.starts_with("COM="))
            continue;
        const std::string_view value = frame.substr(frame.find('=') + 1);
        if (!value.starts_with(kDescription))
            continue;
        std::istringstream words{std::string(value.substr(kDescription.size()))};
        std::string word[4];
        if (!(words >> word[0] >> word[1] >> word[2] >> word[3]))
            return;
        int64_t figure[3];
        for (int i = 0; i < 3; ++i) {
            const std::string& text = word[i + 1];
            char* end = nullptr;
            figure[i] = text.size() <= 16 ? int64_t(std::strtoull(text.c_str(), &end, 16)) : -1;
            if (end == nullptr || *end != '\0' || figure[i] < 0 || figure[i] > INT32_MAX)
                return;
        }
        gapless_ = {true, int32_t(figure[0]), int32_t(figure[1])};
        if (options_.Gapless && layer_ == 3 && figure[2] > 0)
            TrimTo(figure[0] + kLayer3DecoderDelay, figure[0] + kLayer3DecoderDelay + figure[2]);
        return;
    }
}

int32_t TMPFrameSource::SamplesPerFrame() const
{
    const int32_t bytesPerSample = outputInfo_.Channels * outputInfo_.Bits / 8;
    return bytesPerSample > 0 ? frameBytes_ / bytesPerSample : 0;
}

// Cuts the decoded frame in `pcm` to the samples that are played and moves them to its start;
// returns their size in bytes.
int32_t TMPFrameSource::TrimFrame(uint8_t* pcm)
{
    const int64_t first = nextSample_;
    const int32_t samples = SamplesPerFrame();
    nextSample_ += samples;
    const int64_t from = std::max({first, trimBegin_, keepFrom_});
    const int64_t to = std::min(first + samples, trimEnd_);
    if (to <= from)
        return 0;
    const int32_t bytesPerSample = frameBytes_ / std::max(samples, 1);
    if (from > first)
        std::memmove(pcm, pcm + (from - first) * bytesPerSample, size_t((to - from) * bytesPerSample));
    return int32_t((to - from) * bytesPerSample);
}

void TMPFrameSource::MarkEndOfData()
{
    dataLength_ = std::clamp<int64_t>(reader_.Position() - dataStart_, 0, kUnknownLength - 1);
}

void TMPFrameSource::Resynchronise()
{
    pendingFrameLength_ = 0;
    if (live_ && AdoptNewFormat())
        return;
    if (resyncCount_ >= kMaxResync) {
        // A file's junk tail ends play; a station that sends no frames any more has failed.
        if (live_)
            throw EMP3Error(TErrorKind::Format, "the station stopped sending MPEG audio");
        MarkEndOfData();
        return;
    }
    reader_.Skip(1);
    ++resyncCount_;
}

bool TMPFrameSource::AdoptNewFormat()
{
    // Two frames where a frame of the old format ended: a player of a station keeps this much
    // buffered before each step, so the look never waits for the server.
    constexpr int32_t kRunBytes = 2 * 1441 + 4;
    reader_.Fill(kRunBytes);
    const uint8_t* bytes = reader_.Buffer();
    if (!FrameRunAt({bytes, size_t(reader_.Count())}, 2))
        return false;
    TMPFrameHeader header;
    if (!ReadFrameHeaderFields(bytes, header) || LayerNumber(header) == 0)
        return false;
    const std::array<uint8_t, 4> previous = firstHeaderBytes_;
    std::memcpy(firstHeaderBytes_.data(), bytes, 4);
    const int32_t length = NextFrameLength(bytes, header);
    if (length < 1 || !reader_.Fill(length) || !InitDecoder(header, length)) {
        firstHeaderBytes_ = previous;
        return false;
    }
    streamHeader_ = header;
    layer_ = LayerNumber(header);
    version_ = int32_t(VersionOf(header)) + 1;
    bitRate_ = BitrateKbps(header) * 1000;
    GetDecoderInfo(*decoder_, outputInfo_);
    frameBytes_ = outputInfo_.OutValues * outputInfo_.Bits / 8;
    pendingFrameLength_ = length;
    return true;
}

TFrameOutcome TMPFrameSource::ProduceFrame(uint8_t* pcm)
{
    lastFrameBytes_ = 0;
    // The read point of a stream of unknown length may pass 2^31 bytes: only an end that was
    // found or declared stops it.
    const bool pastEnd = dataLength_ != kUnknownLength && reader_.Position() - dataStart_ >= dataLength_;
    if (pastEnd || nextSample_ >= trimEnd_)
        return TFrameOutcome::EndOfData;

    TMPFrameHeader header = streamHeader_;
    if (pendingFrameLength_ < 1) {
        if (!reader_.Fill(4)) {
            MarkEndOfData();
            return TFrameOutcome::Skipped;
        }
        pendingFrameLength_ = NextFrameLength(reader_.Buffer(), header);
        if (pendingFrameLength_ < 1) {
            Resynchronise();
            return TFrameOutcome::Skipped;
        }
    }
    if (needDecoderInit_ && !InitDecoder(header, pendingFrameLength_)) {
        Resynchronise();
        return TFrameOutcome::Skipped;
    }
    if (!reader_.Fill(pendingFrameLength_)) {
        MarkEndOfData();
        return TFrameOutcome::Skipped;
    }
    const TDecodeResult result = DecodeFrame(*decoder_, reader_.Buffer(), pcm);
    reader_.Skip(pendingFrameLength_);
    pendingFrameLength_ = 0;
    resyncCount_ = 0;
    if (result.InBytes < 1)
        std::memset(pcm, decoder_->Config.SilenceValue, size_t(frameBytes_));
    lastFrameBytes_ = TrimFrame(pcm);
    return lastFrameBytes_ > 0 ? TFrameOutcome::Frame : TFrameOutcome::Skipped;
}

void TMPFrameSource::Rewind()
{
    if (reader_.Seekable())
        reader_.Seek(dataStart_, kSeekFromBeginning);
    pendingFrameLength_ = 0;
    needDecoderInit_ = true;
    nextSample_ = 0;
    keepFrom_ = 0;
}

bool TMPFrameSource::WalkFrame()
{
    return StepOverFrame(reader_, firstHeaderBytes_.data(), dataStart_ + dataLength_);
}

int32_t TMPFrameSource::SeekToFrame(int64_t target)
{
    MP_ASSERT(reader_.Seekable());
    target = std::clamp<int64_t>(target, 0, kLastFrame);
    const int64_t known = int64_t(seekTable_.size());
    if (target >= known) {
        reader_.Seek(seekTable_.back(), kSeekFromBeginning);
        if (!WalkFrame()) {
            target = known - 1;
        } else {
            while (int64_t(seekTable_.size()) <= target) {
                const int64_t start = reader_.Position();
                if (!WalkFrame()) {
                    target = int64_t(seekTable_.size()) - 1;
                    break;
                }
                seekTable_.push_back(start);
            }
        }
    }
    reader_.Seek(seekTable_[size_t(target)], kSeekFromBeginning);
    pendingFrameLength_ = 0;
    nextSample_ = target * SamplesPerFrame();
    keepFrom_ = 0;
    return int32_t(target);
}

int64_t TMPFrameSource::SeekToTime(int64_t ms)
{
    const int64_t rate = outputInfo_.SampleRate;
    // Untrimmed streams land on the first frame that starts at or after the time.
    return SeekToSample(Trimmed() ? ms * rate / 1000 : (ms * rate + 999) / 1000);
}

int64_t TMPFrameSource::SeekToSample(int64_t sample)
{
    const int64_t samples = std::max(SamplesPerFrame(), 1);
    if (!Trimmed()) {
        const int32_t landed = SeekToFrame((std::max<int64_t>(sample, 0) + samples - 1) / samples);
        PrimeDecoder(landed);
        return int64_t(landed) * samples;
    }
    const int64_t wanted = std::clamp<int64_t>(sample + trimBegin_, trimBegin_, trimEnd_);
    const int64_t frame = wanted / samples;
    const int32_t landed = SeekToFrame(frame);
    PrimeDecoder(landed);
    keepFrom_ = landed == frame ? wanted : int64_t(landed) * samples;
    return std::max(keepFrom_, trimBegin_) - trimBegin_;
}

int32_t TMPFrameSource::LocateFrame(int64_t offset, TMPFrameHeader& header)
{
    reader_.Seek(offset, kSeekFromBeginning);
    for (int32_t skipped = 0;;) {
        if (!reader_.Fill(4))
            return 0;
        const int32_t length = NextFrameLength(reader_.Buffer(), header);
        if (length > 0)
            return length;
        reader_.Skip(1);
        if (++skipped > 1023)
            return 0;
    }
}

// Decodes, without output, the frames before `target` whose data the target frame needs, so
// that the output from the target on equals a decode from the start: the frame before fills
// the filter bank's overlap and the synthesis history (a Layer I frame holds 12 of the 16
// slots that history spans, so two are needed), and a Layer III frame before that one may take
// its main data from up to 511 bytes of the frames before it. The reader ends at the target.
void TMPFrameSource::PrimeDecoder(int32_t target)
{
    constexpr int32_t kMainDataReach = 511;
    TMPFrameHeader header = streamHeader_;
    int32_t first = std::max(target - (layer_ == 1 ? 2 : 1), 0);
    for (int32_t carried = 0; layer_ == 3 && first > 0 && carried < kMainDataReach;) {
        --first;
        const int32_t length = LocateFrame(seekTable_[size_t(first)], header);
        if (length < 1)
            break;
        carried += length - XingHeaderOffset(header); // the main data follows the side information
    }
    needDecoderInit_ = true;
    std::vector<uint8_t> discarded(kPcmBufferSize);
    for (int32_t frame = first; frame < target; ++frame) {
        const int32_t length = LocateFrame(seekTable_[size_t(frame)], header);
        if (length < 1 || !reader_.Fill(length) || (needDecoderInit_ && !InitDecoder(header, length)))
            break;
        DecodeFrame(*decoder_, reader_.Buffer(), discarded.data());
    }
    reader_.Seek(seekTable_[size_t(target)], kSeekFromBeginning);
    pendingFrameLength_ = 0;
}

bool TMPFrameSource::LengthEstimated() const
{
    return reader_.Seekable() && !framesCounted_ && totalBytes_ == 0 && !Trimmed() && !seekTable_.empty();
}

TFrameIndexStart TMPFrameSource::IndexStart() const
{
    TFrameIndexStart start;
    start.FirstFrame = seekTable_.empty() ? dataStart_ : seekTable_.front();
    start.DataEnd = dataStart_ + dataLength_;
    start.HeaderBytes = firstHeaderBytes_;
    return start;
}

void TMPFrameSource::CountFrames()
{
    SeekToFrame(kLastFrame);
    framesCounted_ = true;
    totalBytes_ = int64_t(seekTable_.size()) * frameBytes_;
    Rewind();
}

void TMPFrameSource::AdoptFrameIndex(std::vector<int64_t> offsets)
{
    if (offsets.empty() || seekTable_.empty() || offsets.front() != seekTable_.front() ||
        offsets.size() < seekTable_.size())
        return;
    seekTable_ = std::move(offsets);
    framesCounted_ = true;
    totalBytes_ = int64_t(seekTable_.size()) * frameBytes_;
}

std::vector<int64_t> IndexFrames(TMPStream& stream, const TFrameIndexStart& start,
                                 const std::atomic<bool>& cancelled)
{
    TMPStreamReader reader(TMPFrameSource::kReaderBufferSize);
    stream.Seek(0, kSeekFromBeginning);
    reader.Open(&stream, true);
    reader.Seek(start.FirstFrame, kSeekFromBeginning);
    // The same walk as the seek table's.
    const auto walk = [&] { return StepOverFrame(reader, start.HeaderBytes.data(), start.DataEnd); };
    std::vector<int64_t> offsets{start.FirstFrame};
    if (!walk())
        return offsets;
    while (!cancelled.load(std::memory_order_relaxed)) {
        const int64_t at = reader.Position();
        if (!walk())
            break;
        offsets.push_back(at);
    }
    return offsets;
}

int32_t TMPFrameSource::RemainingMs() const
{
    if (dataLength_ == kUnknownLength || dataLength_ <= 0)
        return 0;
    const int64_t left = std::clamp<int64_t>(dataStart_ + dataLength_ - reader_.Position(), 0, dataLength_);
    return int32_t(double(LengthMs()) * double(left) / double(dataLength_));
}

int32_t TMPFrameSource::LengthMs() const
{
    // Worked out in 64 bits and held at the largest 32-bit value: a header may claim 2^32
    // frames, and (2^62 bytes) × 8000 would not fit 64 bits, so the byte count is divided first.
    int64_t ms = 0;
    const int64_t bytesPerSecond = int64_t(outputInfo_.SampleRate) * outputInfo_.Channels * 2;
    if (Trimmed() && outputInfo_.SampleRate > 0)
        ms = (trimEnd_ - trimBegin_) * 1000 / outputInfo_.SampleRate;
    else if (outputInfo_.SampleRate > 0 && totalBytes_ > 0)
        ms = MulDiv(totalBytes_, 1000, bytesPerSecond);
    else if (bitRate_ > 0 && dataLength_ != kUnknownLength)
        ms = MulDiv(dataLength_, 8000, bitRate_);
    return int32_t(std::clamp<int64_t>(ms, 0, kLongestMs));
}

} // namespace pt4
