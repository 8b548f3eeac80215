// TMP3Player with a station: its buffer filled before the sound starts and again whenever it ran
// dry, with the output held meanwhile, so that a slow or uneven station is heard as a pause that
// ends when it has caught up, not as a stutter.
#include "mp3plyr/player_core.h"

#include <algorithm>

namespace pt4 {
namespace {

// The output is held when the station's buffer is dry and the device has no whole block left:
// less than a block's share of the ring queued (see TSoundOut::FreeSpacePercent).
constexpr int32_t kDryFreePercent = 75;

} // namespace

void TMP3PlayerCore::StartStation(TMPLiveStream& live)
{
    int32_t bytesPerSecond = 0;
    {
        std::lock_guard held(lock);
        bytesPerSecond = std::max(playback->Source.BitRate() / 8, 0);
        // About a second of audio rides out a network's usual jitter.
        liveRefillBytes = std::max(bytesPerSecond, kLiveStepBytes);
        liveWant = liveRefillBytes;
        liveHolding = true;
    }
    live.StartPlaying(bytesPerSecond);
    live.SetOnStateChanged([this] { window.PostUnique(MP_STATUS); });
}

bool TMP3PlayerCore::StationReady(bool ready)
{
    if (ready) {
        if (liveHolding) {
            liveHolding = false;
            liveWant = kLiveStepBytes;
            if (!userPaused)
                soundOut.Unpause();
            window.PostUnique(MP_STATUS);
        }
        return true;
    }
    if (!liveHolding && soundOut.FreeSpacePercent() > kDryFreePercent) {
        // Dry: the sound stops here, once, and goes on when a second of audio has come.
        liveHolding = true;
        liveWant = liveRefillBytes;
        soundOut.Pause();
        window.PostUnique(MP_STATUS);
    }
    return false;
}

} // namespace pt4
