// The frames of one opened stream, in playing order: opening and measuring it (containers, tags,
// first frame, VBR header, output format), producing one frame of PCM per call with
// resynchronisation and end-of-data detection, rewinding, and finding the frame for a time.
// The player's worker runs it one frame per step; the terminal tool's decoder runs it in a loop.
#pragma once

#include "mp3plyr/decoder/decoder.h"
#include "mp3plyr/decoder/frame_header.h"
#include "mp3plyr/input/mp3_info.h"
#include "mp3plyr/input/stream.h"
#include "mp3plyr/input/stream_reader.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <vector>

namespace pt4
{

enum class TVbrHeaderKind { None, Xing, Vbri };

// The first frame of the audio data, as the player finds it when it opens a stream.
struct TFirstFrame {
    int32_t Skipped = 0; // bytes from the start of the data to the frame
    int32_t Length = 0;  // frame length without padding
    int32_t BitRate = 0;
    TMPFrameHeader Header;
};

// From the reader's read point (the start of the audio data, `dataLength` bytes long or
// TMPFrameSource::kUnknownLength): zero bytes are stepped over, then a frame is looked for in
// the next 1024 bytes, taken only when another header of the stream or the end of the data
// follows it (FindCheckedFirstFrame). Leaves the reader at the frame; false when there is none.
bool LocateFirstFrame(TMPStreamReader& reader, int32_t dataLength, TFirstFrame& frame);

// How the decoder is asked to shape its output. The player always plays the stream as coded.
struct TOutputOptions {
    int32_t ReductionCode = 0; // 0 full rate, 1 half, 2 quarter
    int32_t ConvertCode = 0;   // bits 0-1: 0 as coded, 1 mix, 2 left, 3 right; 8: 8-bit samples
    int32_t FrequencyLimit = 24000;
};

enum class TFrameOutcome {
    Frame,     // FrameBytes of PCM were written (silence for a frame that did not decode)
    Skipped,   // no PCM this time: a byte was skipped to resynchronise, or the data ended early
    EndOfData, // the audio data is exhausted
};

class TMPFrameSource
{
  public:
    static constexpr int32_t kReaderBufferSize = 16384;
    static constexpr int32_t kPcmBufferSize = 5120;
    static constexpr int32_t kUnknownLength = 2147483647;
    static constexpr int32_t kMaxResync = 1024;

    explicit TMPFrameSource(DecoderState& decoder, TOutputOptions options = {});

    // Opens and measures `stream` (not owned; it stands at its start) and initialises the
    // decoder for it. Throws EMP3Error("unknown MPEG Audio format.") when no playable stream
    // is found; the source is closed again then.
    void Open(TMPStream* stream, bool seekable);
    void Close();
    bool IsOpen() const { return reader_.Active(); }

    // Decodes the next frame into `pcm` (room for kPcmBufferSize bytes).
    TFrameOutcome ProduceFrame(uint8_t* pcm);

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

    // Duration in ms from a VBR header or the bit rate; 0 when unknown.
    int32_t LengthMs() const;

    TMP3Info& Info() { return info_; }
    const TMP3Info& Info() const { return info_; }
    const TMPStreamReader& Reader() const { return reader_; }
    const TMPFrameHeader& StreamHeader() const { return streamHeader_; }
    const TDecoderInfo& OutputInfo() const { return outputInfo_; }
    bool Seekable() const { return reader_.Seekable(); }
    int32_t DataStart() const { return dataStart_; }
    int32_t DataLength() const { return dataLength_; }
    int32_t BitRate() const { return bitRate_; }
    int32_t Layer() const { return layer_; }
    int32_t Version() const { return version_; }
    int32_t FrameBytes() const { return frameBytes_; }
    int32_t TotalBytes() const { return totalBytes_; }
    int32_t FirstFrameOffset() const { return firstFrameOffset_; }
    int32_t FirstFrameLength() const { return firstFrameLength_; }
    TVbrHeaderKind VbrHeader() const { return vbrHeader_; }

  private:
    int32_t NextFrameLength(const uint8_t* bytes, TMPFrameHeader& header) const;
    bool InitDecoder(const TMPFrameHeader& header, int32_t length);
    void ReadVbrHeader();
    bool WalkFrame();
    void MarkEndOfData();
    void Resynchronise();
    void Reset();

    DecoderState& decoder_;
    TOutputOptions options_;
    TMPStreamReader reader_{kReaderBufferSize};
    TMP3Info info_;

    TMPFrameHeader streamHeader_{};
    std::array<uint8_t, 4> firstHeaderBytes_{};
    TDecoderInfo outputInfo_{};
    int32_t dataStart_ = 0;
    int32_t dataLength_ = kUnknownLength;
    int32_t pendingFrameLength_ = 0;
    int32_t resyncCount_ = 0;
    bool needDecoderInit_ = false;
    int32_t layer_ = 0;
    int32_t version_ = 0;
    int32_t bitRate_ = 0;
    int32_t frameBytes_ = 0;
    int32_t totalBytes_ = 0;
    int32_t firstFrameOffset_ = 0;
    int32_t firstFrameLength_ = 0;
    TVbrHeaderKind vbrHeader_ = TVbrHeaderKind::None;

    std::mutex seekTableLock_;
    std::vector<int32_t> seekTable_;
};

} // namespace pt4
