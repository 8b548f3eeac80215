// One opened stream being played: the stream, its frames and the decoder's place in them, the
// PCM between decoder and output, the byte counts of what was written and heard, and the files
// and station titles decoded ahead of what is heard. The player holds one from Open to Close;
// everything in it is guarded by the player's `lock`.
#pragma once

#include "mp3plyr/input/live_stream.h"
#include "mp3plyr/input/stream.h"
#include "mp3plyr/mp3plyr.h"
#include "mp3plyr/player/frame_source.h"
#include "mp3plyr/player/player_shown.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace pt4 {

struct TPlayback {
    TPlayback(DecoderState& decoder, uint64_t id, bool seekable)
        : Id(id), SeekableStream(seekable), Source(std::make_unique<TMPFrameSource>(decoder))
    {
    }

    // Renewed by every stop and seek as well as at open: a notice or a wait that carries an
    // older id belongs to data that is no longer being played, and is dropped.
    uint64_t Id;

    // The location the open stream came from (empty for a stream handed over by the owner).
    std::string FileName;
    TMPStream* Stream = nullptr;
    std::unique_ptr<TMPStream> OwnedStream;
    // Fixed for the playback: only a seekable file is ever followed by another, and the owner
    // reads it without the lock.
    const bool SeekableStream;
    // The same stream when it is fed from outside at its own pace (a station).
    TMPLiveStream* Live = nullptr;
    // Replaced by the file to follow, which comes opened with a decoder of its own.
    std::unique_ptr<TMPFrameSource> Source;
    std::vector<uint8_t> Pcm = std::vector<uint8_t>(TMPFrameSource::kPcmBufferSize, 0);
    int32_t PcmPending = 0;

    // Bytes the output has played and been handed, on one scale; both restart at each change
    // of file heard.
    int64_t PlayedBytes = 0;
    int64_t WrittenBytes = 0;
    uint32_t PositionMs = 0;
    // The output of this play goes into a WAVE file.
    bool PlayingToFile = false;

    // The file to follow, asked of the owner a few seconds before the data runs out (see
    // TMP3Player::OnNeedNext): Asked by the worker; Preparing once the owner named a file, which
    // the opening thread opens (attempt NextAttempt); Ready when it is open and plays in the
    // same output format; Declined when there is none (play ends as usual). The worker takes a
    // Ready file at the end of the data, and the state starts again at None.
    enum class TNext { None, Asked, Preparing, Ready, Declined };
    TNext Next = TNext::None;
    // Counts the worker's questions, so that the owner's "no answer" goes to the question it
    // was asked and not to one asked again since.
    uint64_t NextQuestion = 0;
    uint64_t NextAttempt = 0;
    std::string NextFileName;
    // The file to follow, once Ready: its stream and its source, opened with a decoder of its own.
    std::unique_ptr<TMPStream> NextStream;
    std::unique_ptr<DecoderState> NextDecoder;
    std::unique_ptr<TMPFrameSource> NextSource;
    // Whether a file to follow is named and not dropped.
    bool NextNamed() const { return Next == TNext::Preparing || Next == TNext::Ready; }

    // Files whose end still plays after a change of file, oldest first: what is reported for
    // each, and where (in WrittenBytes) the file after it starts.
    struct THeardFile {
        TShownFile Shown;
        int64_t EndBytes = 0;
    };
    std::deque<THeardFile> Heard;
    // A station's titles not yet heard, oldest first (at most kMaxTitleMarks, the oldest dropped
    // first): each waits for the decoder to reach StreamOffset (the audio byte where it begins),
    // then, marked with the WrittenBytes there (Written), for the output to play that far.
    static constexpr size_t kMaxTitleMarks = 8;
    struct TTitleMark {
        std::string Title;
        uint64_t StreamOffset = 0;
        bool Written = false;
        int64_t AtBytes = 0;
    };
    std::deque<TTitleMark> Titles;
    std::string HeardTitle;

    // The frame count started for this file (see TFrameCounter); 0: none.
    uint64_t FrameCount = 0;

    bool Seekable() const { return SeekableStream; }
};

} // namespace pt4
