// The player's settings: what the owner sets through the properties and the component's own
// state between operations. Only the owner thread touches them, so they need no lock; what the
// worker must know of them is copied into the playback under its lock.
#pragma once

#include "mp3plyr/mp3plyr.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace pt4 {

struct TPlayerSettings {
    bool autoOpen = true;
    bool autoPlay = true;
    int32_t changePosStep = 400;
    // The FileName property as the owner set it; what is heard is in the published snapshot.
    std::string fileName;
    int32_t volBalance = 0;
    uint32_t volume = 100;
    TMP3CpuCapabilities usingCpuCapabilities = mccAll;
    bool equalizerEnabled = false;
    int32_t equalizerCount = 6;
    TMP3EqualizerMode equalizerMode = TMP3EqualizerMode::memSubBand;
    std::array<int32_t, 32> equalizerValues{};
    std::array<int32_t, 32> equalizerFrequencies{};
    std::string waveFileName;

    bool loading = false;
    TMP3EndPlayReason endPlayReason = TMP3EndPlayReason::mepEndOfStream;
    // The playback whose failure was last shown: its workers may each run into the same failure
    // (a lost server), and it is shown once.
    std::optional<uint64_t> errorShownFor;
};

// Loudness normalisation as the owner chose it. The worker applies it at every change of file,
// so it lives under the playback's lock.
struct TLoudnessChoice {
    TReplayGainMode mode = TReplayGainMode::Off;
    double preampDb = 0.0;
    bool playsAlbum = false;
};

} // namespace pt4
