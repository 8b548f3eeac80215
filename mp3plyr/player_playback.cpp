// TMP3Player: opening a stream and seeking.
#include "mp3plyr/mp3plyr.h"

#include "mp3plyr/errors.h"
#include "mp3plyr/player_core.h"

#include <algorithm>
#include <mutex>

namespace pt4 {

void TMP3Player::OpenStream(TMPStream* stream, uint8_t flags)
{
    TMP3PlayerCore& c = *core_;
    std::unique_ptr<TMPStream> owned((flags & kStreamOwned) ? stream : nullptr);
    Close();
    c.inputStream = stream;
    c.streamFlags = flags;
    c.ownedStream = std::move(owned);
    if (auto* liveStream = dynamic_cast<TMPLiveStream*>(stream)) {
        {
            std::lock_guard gate(c.liveLock);
            c.liveStream = liveStream;
        }
        // A new title is announced as a change of status, as a new file would be.
        liveStream->SetOnTitlesChanged([&c] { c.window.PostPlain(MP_STATUS); });
    }
    if (stream) {
        try {
            std::lock_guard held(c.lock);
            c.live = c.liveStream != nullptr;
            c.pcmBuffer.assign(TMPFrameSource::kPcmBufferSize, 0);
            c.source.Open(stream, (flags & kStreamSeekable) != 0);
            const TDecoderInfo& info = c.source.OutputInfo();
            c.soundOut.SetSampleRate(info.SampleRate);
            c.soundOut.SetBitsPerSample(info.Bits);
            c.soundOut.SetChannels(info.Channels);
            c.pcmPending = 0;
            c.playedBytes = 0;
            c.positionMs = 0;
            c.ApplyLoudness();
            c.StartFrameCount();
        } catch (...) {
            Close();
            throw;
        }
        c.window.PostUnique(MP_EQUALIZER);
        c.SetStatus(TMP3PlayerStatus::mpsStopped);
    }
    if (c.autoPlay)
        Play();
}

void TMP3Player::Seek(int32_t ms)
{
    TMP3PlayerCore& c = *core_;
    MP_ASSERT(c.StreamSeekable());
    if (ms < 0 || !(Capabilities() & mpcSeek))
        return;
    {
        std::lock_guard held(c.lock);
        c.CountPlayed(); // a change of file heard by now counts before the seek
        try {
            c.ReturnToHeard(); // the seek is in the file heard; what was decoded of the next goes
        } catch (const std::exception&) {
            // The heard file is gone from disk: the seek is in the open file instead.
        }
        ++c.playGeneration;
        c.ownerActed.SetEvent();
        c.soundOut.SetOnNotify(nullptr);
        const bool wasPaused = c.status == TMP3PlayerStatus::mpsPaused;
        c.soundOut.Reset();
        c.soundOut.WaitForDone();
        c.soundOut.GetDoneBytes(); // what the old position played counts no more
        c.ResetCounters();

        const TDecoderInfo& info = c.source.OutputInfo();
        const int64_t landed = c.source.SeekToTime(ms);
        c.playedBytes = landed * (int64_t(info.Channels) * info.Bits / 8);
        c.writtenBytes = c.playedBytes;

        if (wasPaused) {
            c.thread.WakeEvent.ResetEvent();
            c.soundOut.Pause();
        } else {
            // The worker may have idled at the end of the data; its end notice no longer holds
            // (it belongs to the playback before the seek), so decoding must go on from here.
            c.thread.WakeEvent.SetEvent();
        }
        c.soundOut.SetOnNotify([&c](TSoundOut&) { c.NotifyPosition(); });
    }
    c.window.PostUnique(MP_POSITION);
}

} // namespace pt4
