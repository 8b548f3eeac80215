// The frames of one opened stream, in playing order: opening and measuring it (containers, tags,
// first frame, VBR header, output format), producing one frame of PCM per call with
// resynchronisation and end-of-data detection, rewinding, and finding the frame for a time.
// The player's worker runs it one frame per step; the terminal tool's decoder runs it in a loop.
// It has no lock of its own: the player calls it only under its own lock, or while its worker
// is idle, so one thread at a time uses it.
#pragma once

#include "mp3plyr/decoder/decoder.h"
#include "mp3plyr/decoder/frame_header.h"
#include "mp3plyr/input/mp3_info.h"
#include "mp3plyr/input/replay_gain.h"
#include "mp3plyr/input/stream.h"
#include "mp3plyr/input/stream_reader.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

namespace pt4 {

enum class TVbrHeaderKind { None, Xing, Vbri };

// The first frame of the audio data, as the player finds it when it opens a stream.
struct TFirstFrame {
    int64_t Skipped = 0; // bytes from the start of the data to the frame
    int32_t Length = 0;  // frame length without padding
    int32_t BitRate = 0;
    TMPFrameHeader Header;
};

// From the reader's read point (the start of the audio data, `dataLength` bytes long or
// TMPFrameSource::kUnknownLength): zero bytes are stepped over, then a frame is looked for in
// the next 1024 bytes, taken only when another header of the stream or the end of the data
// follows it (FindCheckedFirstFrame). Leaves the reader at the frame; false when there is none.
bool LocateFirstFrame(TMPStreamReader& reader, int64_t dataLength, TFirstFrame& frame);

// The encoder's delay and padding in samples, as a stream's VBR header records them.
struct TGaplessInfo {
    bool Present = false;
    int32_t EncoderDelay = 0;
    int32_t EncoderPadding = 0;
};

// The first frame of the audio data, its header's bytes and the end of the data: what walking
// the frames of a stream's audio data needs (IndexFrames).
struct TFrameIndexStart {
    int64_t FirstFrame = 0;
    int64_t DataEnd = 0;
    std::array<uint8_t, 4> HeaderBytes{};
};

// The offsets of the frames of the audio data, walking headers only as the seek table grows:
// entry i is where the walk to frame i starts. Stops early, with what it has, once `cancelled`
// is set. `stream` stands anywhere; it is read from start.FirstFrame on.
std::vector<int64_t> IndexFrames(TMPStream& stream, const TFrameIndexStart& start,
                                 const std::atomic<bool>& cancelled);

enum class TFrameOutcome {
    Frame,     // FrameBytes of PCM were written (silence for a frame that did not decode)
    Skipped,   // no PCM this time: a byte was skipped to resynchronise, or the data ended early
    EndOfData, // the audio data is exhausted
};

class TMPFrameSource {
public:
    static constexpr int32_t kReaderBufferSize = 16384;
    static constexpr int32_t kPcmBufferSize = 5120;
    // DataLength while no length is known.
    static constexpr int64_t kUnknownLength = TMP3Info::kUnknownLength;
    static constexpr int32_t kMaxResync = 1024;

    explicit TMPFrameSource(DecoderState& decoder, TOutputOptions options = {});

    // Opens and measures `stream` (not owned; it stands at its start) and initialises the
    // decoder for it. Throws EMP3Error("unknown MPEG Audio format.") when no playable stream
    // is found; the source is closed again then.
    void Open(TMPStream* stream, bool seekable);
    void Close();
    // Goes on decoding into `decoder`: a source opened with a decoder of its own on another
    // thread is handed to the player's, which is set up for it at the next frame.
    void UseDecoder(DecoderState& decoder)
    {
        decoder_ = &decoder;
        needDecoderInit_ = true;
    }

    // Decodes the next frame into `pcm` (room for kPcmBufferSize bytes). The PCM to play is
    // the first LastFrameBytes() bytes: less than FrameBytes() where trimming cuts the frame.
    TFrameOutcome ProduceFrame(uint8_t* pcm);
    int32_t LastFrameBytes() const { return lastFrameBytes_; }

    // Back to the first frame; the decoder starts afresh at the next frame.
    void Rewind();
    // Tops up the reader's buffer while the output has no room.
    void ReadAhead() { reader_.Fill(reader_.BufferSize() - reader_.Count()); }
    // Drops the frame whose header was read but which is not decoded yet.
    void ForgetPendingFrame() { pendingFrameLength_ = 0; }

    // Moves the read point to frame `target` (0 = the first frame to play), growing the seek
    // table by walking frame headers as needed. A target beyond the end lands on the last frame
    // that lies wholly inside the data. Returns the frame landed on. Seekable streams only.
    int32_t SeekToFrame(int64_t target);
    // The player's seek: moves so that the next PCM produced is the sample played at `ms` and
    // primes the decoder, so that the output from there on equals a decode from the start.
    // Trimmed streams land on that very sample; others on the first frame that starts at or
    // after it. Returns the output sample landed on (one per channel, counted from the first
    // sample played). Seekable streams only.
    int64_t SeekToTime(int64_t ms);
    // As SeekToTime, from an output sample.
    int64_t SeekToSample(int64_t sample);
    // Output samples (one per channel) in a frame.
    int32_t SamplesPerFrame() const;
    // Whether the encoder's delay and padding are being left out.
    bool Trimmed() const { return trimEnd_ != kNoTrimEnd; }
    const TGaplessInfo& Gapless() const { return gapless_; }

    // Duration in ms from a VBR header, a count of the frames or the bit rate; 0 when unknown.
    // Trimmed streams count only the samples that are played.
    int32_t LengthMs() const;
    // The part of LengthMs not decoded yet, judged by the bytes left of the data; 0 when the
    // data's length is unknown.
    int32_t RemainingMs() const;

    // A seekable stream whose length is only estimated from the bit rate (no VBR header with a
    // frame count, no gapless figures): counting its frames gives the true length.
    bool LengthEstimated() const;
    // Where a count of the frames starts and stops, for a counter that reads the same file.
    TFrameIndexStart IndexStart() const;
    // Walks every frame header to the end of the data now; the length then comes from the
    // count. The read point goes back to the first frame. Seekable streams only.
    void CountFrames();
    // Takes the offsets a counter found from IndexStart() as the seek table and the count as the
    // length; an index that does not begin at this stream's first frame is ignored.
    void AdoptFrameIndex(std::vector<int64_t> offsets);
    bool FramesCounted() const { return framesCounted_; }

    // The loudness values of the tags, else of the encoder's header.
    const TReplayGain& ReplayGain() const { return replayGain_; }

    TMP3Info& Info() { return info_; }
    const TMP3Info& Info() const { return info_; }
    const TMPStreamReader& Reader() const { return reader_; }
    const TDecoderInfo& OutputInfo() const { return outputInfo_; }
    const TMPFrameHeader& StreamHeader() const { return streamHeader_; }
    bool Seekable() const { return reader_.Seekable(); }
    int64_t FirstFrameOffset() const { return firstFrameOffset_; }
    int32_t FirstFrameLength() const { return firstFrameLength_; }
    int64_t DataStart() const { return dataStart_; }
    int64_t DataLength() const { return dataLength_; }
    int32_t BitRate() const { return bitRate_; }
    int32_t Layer() const { return layer_; }
    int32_t Version() const { return version_; }
    int32_t FrameBytes() const { return frameBytes_; }
    // PCM bytes of the whole stream, from a VBR header or a count of the frames; 0 if unknown.
    int64_t TotalBytes() const { return totalBytes_; }
    TVbrHeaderKind VbrHeader() const { return vbrHeader_; }

private:
    int32_t NextFrameLength(const uint8_t* bytes, TMPFrameHeader& header) const;
    bool InitDecoder(const TMPFrameHeader& header, int32_t length);
    void ReadVbrHeader();
    void ReadGaplessInfo(int32_t extensionOffset, int64_t frames);
    void ReadEncoderReplayGain(int32_t extensionOffset);
    void SetUpTrimming(int64_t frames);
    void TrimTo(int64_t begin, int64_t end);
    void ReadCommentGaplessInfo();
    int32_t TrimFrame(uint8_t* pcm);
    bool WalkFrame();
    int32_t LocateFrame(int64_t offset, TMPFrameHeader& header);
    void PrimeDecoder(int32_t target);
    void MarkEndOfData();
    void Resynchronise();
    // A station that changed its sample rate or channels between songs: when a run of frames of
    // another format starts at the read point, the stream goes on in it. True when it did.
    bool AdoptNewFormat();
    void Reset();

    DecoderState* decoder_;
    TOutputOptions options_;
    TMPStreamReader reader_{kReaderBufferSize};
    TMP3Info info_;

    TMPFrameHeader streamHeader_{};
    std::array<uint8_t, 4> firstHeaderBytes_{};
    TDecoderInfo outputInfo_{};
    int64_t dataStart_ = 0;
    int64_t dataLength_ = kUnknownLength;
    int32_t pendingFrameLength_ = 0;
    int32_t resyncCount_ = 0;
    bool needDecoderInit_ = false;
    int32_t layer_ = 0;
    int32_t version_ = 0;
    int32_t bitRate_ = 0;
    int32_t frameBytes_ = 0;
    int64_t totalBytes_ = 0;
    int64_t firstFrameOffset_ = 0;
    int32_t firstFrameLength_ = 0;
    TVbrHeaderKind vbrHeader_ = TVbrHeaderKind::None;
    bool live_ = false; // a station: losing the frames is a failure, not the end

    static constexpr int64_t kNoTrimEnd = INT64_MAX;
    TGaplessInfo gapless_;
    int64_t trimBegin_ = 0;        // first output sample played
    int64_t trimEnd_ = kNoTrimEnd; // first output sample not played
    int64_t nextSample_ = 0;       // output sample the next decoded frame starts with
    int64_t keepFrom_ = 0;         // samples before this are dropped (a seek inside a frame)
    int32_t lastFrameBytes_ = 0;

    std::vector<int64_t> seekTable_;
    bool framesCounted_ = false;
    TReplayGain replayGain_;
};

} // namespace pt4
