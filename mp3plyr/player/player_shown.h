// What the player reports of the file being heard: its name, tags, length and format. The
// playback publishes a new snapshot whenever what is heard changes (an open, a close, a change
// of file or station title reaching the speakers, a corrected length); the property getters
// read only the snapshot, so they never wait for a decode step nor see a file half replaced.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

namespace pt4 {

struct TShownFile {
    std::string FileName, Title, Artist;
    uint32_t LengthMs = 0;
    int32_t BitRate = 0;
    int32_t Layer = 0;
    int32_t Version = 0;
    int32_t OutSampleRate = 0;
    int32_t OutChannels = 0;
    int32_t OutBits = 0;
    std::string VbrHeaderName;
};

class TPlayerShown {
public:
    TShownFile Read() const
    {
        std::lock_guard held(mutex_);
        return shown_;
    }
    // True when anything the owner is told of changed.
    bool Publish(TShownFile shown)
    {
        std::lock_guard held(mutex_);
        const bool changed = shown.FileName != shown_.FileName || shown.Title != shown_.Title ||
                             shown.Artist != shown_.Artist || shown.LengthMs != shown_.LengthMs;
        shown_ = std::move(shown);
        return changed;
    }

private:
    mutable std::mutex mutex_; // guards shown_ only; taken for a copy, never while waiting
    TShownFile shown_;
};

} // namespace pt4
