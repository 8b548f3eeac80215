// TMP3Player with a station: its buffer filled before the sound starts and again whenever it ran
// dry, with the output held meanwhile, so that a slow or uneven station is heard as a pause that
// ends when it has caught up, not as a stutter.
#include "mp3plyr/player/player_core.h"

#include <algorithm>
#include <chrono>

namespace pt4 {
namespace {

// The sound is about to break off when less than this is left to play (ms).
constexpr int64_t kDryMs = 200;

} // namespace

void TMP3PlayerCore::StartStation(TMPLiveStream& live)
{
    int32_t bytesPerSecond = 0;
    {
        std::lock_guard held(lock);
        bytesPerSecond = std::max(playback->Source->BitRate() / 8, 0);
        // About a second of audio rides out a network's usual jitter.
        liveRefillBytes = std::max(bytesPerSecond, kLiveStepBytes);
        liveWant = liveRefillBytes;
        liveHolding = true;
    }
    live.StartPlaying(bytesPerSecond);
    live.SetOnStateChanged([this] { window.PostUnique(MP_STATUS); });
}

bool TMP3PlayerCore::RunningDry(TPlayback& p)
{
    const int64_t block = soundOut.BlockSize();
    const int64_t pcmPerSecond =
        int64_t(soundOut.SampleRate()) * soundOut.Channels() * soundOut.BitsPerSample() / 8;
    if (block <= 0 || pcmPerSecond <= 0)
        return false;
    // The output plays whole blocks: the bytes of the block being filled wait until it is full.
    // They are what the ring holds beyond its whole free blocks (to a percent).
    constexpr int64_t kBlocks = 4;
    const int64_t freeBytes = soundOut.FreeSpacePercent() * kBlocks * block / 100;
    const int64_t filling = std::max<int64_t>((kBlocks * block - freeBytes) % block, 0);
    CountPlayed();
    const int64_t playable = p.WrittenBytes - p.PlayedBytes - filling;
    if (playable * 1000 >= kDryMs * pcmPerSecond)
        return false;
    // Unless the station has what completes that block, the sound breaks off.
    const int64_t missing = (block - filling) * liveRefillBytes / pcmPerSecond + kLiveStepBytes;
    return !p.Live->WaitForData(int32_t(std::min<int64_t>(missing, INT32_MAX)), std::chrono::milliseconds(0));
}

bool TMP3PlayerCore::StationReady(TPlayback& p, bool ready)
{
    if (p.PlayingToFile) {
        // A file written instead never runs dry: nothing is held.
        liveHolding = false;
        liveWant = kLiveStepBytes;
        return ready;
    }
    if (liveHolding) {
        if (!ready)
            return false;
        liveHolding = false;
        liveWant = kLiveStepBytes;
        if (!userPaused)
            soundOut.Unpause();
        window.PostUnique(MP_STATUS);
        return true;
    }
    if (!RunningDry(p))
        return ready;
    // Dry: the sound stops here, once, and goes on when a second of audio has come.
    liveHolding = true;
    liveWant = liveRefillBytes;
    soundOut.Pause();
    window.PostUnique(MP_STATUS);
    return false;
}

bool TMP3PlayerCore::FollowFormat(std::unique_lock<std::mutex>& held)
{
    const TDecoderInfo info = playback->Source->OutputInfo();
    if (info.SampleRate == soundOut.SampleRate() && info.Channels == soundOut.Channels() &&
        info.Bits == soundOut.BitsPerSample())
        return true;
    // The old format plays out first, as at the end of data.
    if (!PlayOutQueued(held))
        return false;
    TPlayback& p = *playback;
    CountPlayed();
    // The counts go on in bytes of the new format, so that the time played goes on as it was.
    const int64_t before = int64_t(soundOut.SampleRate()) * soundOut.Channels() * soundOut.BitsPerSample();
    const int64_t after = int64_t(info.SampleRate) * info.Channels * info.Bits;
    const auto rescale = [&](int64_t bytes) { return before > 0 ? bytes * after / before : bytes; };
    p.PlayedBytes = rescale(p.PlayedBytes);
    p.WrittenBytes = rescale(p.WrittenBytes);
    for (TPlayback::TTitleMark& mark : p.Titles)
        if (mark.Written && mark.AtBytes > 0)
            mark.AtBytes = rescale(mark.AtBytes);
    // A second of audio at the new bit rate rides out the jitter from here on.
    liveRefillBytes = std::max(p.Source->BitRate() / 8, kLiveStepBytes);
    soundOut.Close();
    soundOut.SetSampleRate(info.SampleRate);
    soundOut.SetBitsPerSample(info.Bits);
    soundOut.SetChannels(info.Channels);
    soundOut.Open();
    if (userPaused)
        soundOut.Pause();
    Publish();
    return true;
}

} // namespace pt4
