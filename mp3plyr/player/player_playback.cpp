// TMP3Player: opening a stream and seeking.
#include "mp3plyr/mp3plyr.h"

#include "mp3plyr/errors.h"
#include "mp3plyr/player/player_core.h"

#include <algorithm>
#include <mutex>

namespace pt4 {

void TMP3Player::OpenStream(TMPStream* stream, uint8_t flags)
{
    core_->OpenPlayback(stream, flags, {});
}

void TMP3PlayerCore::OpenPlayback(TMPStream* stream, uint8_t flags, const std::string& name)
{
    std::unique_ptr<TMPStream> owned((flags & kStreamOwned) ? stream : nullptr);
    owner.Close();
    if (stream) {
        // Measured before the worker can see it: with nothing open the worker idles.
        auto opened = std::make_unique<TPlayback>(decoder, NewId(), (flags & kStreamSeekable) != 0);
        opened->FileName = name;
        opened->Stream = stream;
        opened->OwnedStream = std::move(owned);
        opened->Live = dynamic_cast<TMPLiveStream*>(stream);
        try {
            opened->Source.Open(stream, opened->Seekable());
        } catch (...) {
            // Nothing is open now, and nothing is named: the failed name is not kept.
            settings.fileName.clear();
            SetStatus(TMP3PlayerStatus::mpsStopped);
            throw;
        }
        TMPLiveStream* live = opened->Live;
        {
            std::lock_guard held(lock);
            playback = std::move(opened);
            Renew();
            const TDecoderInfo& info = playback->Source.OutputInfo();
            soundOut.SetSampleRate(info.SampleRate);
            soundOut.SetBitsPerSample(info.Bits);
            soundOut.SetChannels(info.Channels);
            ApplyLoudness();
            StartFrameCount();
            if (live) {
                // The station's first title came with its answer, before anyone listened.
                titlesChanged = true;
                NoteTitles(*playback);
            }
            Publish();
        }
        if (live) {
            {
                std::lock_guard gate(liveLock);
                liveStream = live;
            }
            // A new title is noted by the worker where it has decoded to, and announced as a
            // change of status once it is heard, as a new file would be.
            live->SetOnTitlesChanged([this] { titlesChanged = true; });
            StartStation(*live);
        }
        window.PostUnique(MP_EQUALIZER);
        SetStatus(TMP3PlayerStatus::mpsStopped);
    }
    if (settings.autoPlay)
        owner.Play();
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
        c.Renew();
        c.ownerActed.SetEvent();
        c.soundOut.SetOnNotify(nullptr);
        const bool wasPaused = c.settings.status == TMP3PlayerStatus::mpsPaused;
        c.soundOut.Reset();
        c.soundOut.WaitForDone();
        c.soundOut.GetDoneBytes(); // what the old position played counts no more
        c.ResetCounters();

        TPlayback& p = *c.playback;
        const TDecoderInfo& info = p.Source.OutputInfo();
        const int64_t landed = p.Source.SeekToTime(ms);
        p.PlayedBytes = landed * (int64_t(info.Channels) * info.Bits / 8);
        p.WrittenBytes = p.PlayedBytes;

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
