// The player core's side of opening a location in the background: starting an attempt,
// cancelling it, and taking its result on the owner thread. While an attempt runs the player is
// Connecting: closed and stopped, FileName the location.
#include "mp3plyr/errors.h"
#include "mp3plyr/player/player_core.h"

#include <optional>

namespace pt4 {

void TMP3PlayerCore::StartOpening()
{
    opener.Start(settings.fileName);
    Enter(TTransport::Connecting);
}

bool TMP3PlayerCore::CancelOpening()
{
    if (!opener.Cancel())
        return false;
    Enter(TTransport::Closed);
    return true;
}

void TMP3PlayerCore::FinishOpening(uint64_t id)
{
    std::optional<TOpenResult> result = opener.Take(id);
    if (!result) {
        if (std::optional<TOpenResult> next = opener.TakeNext(id))
            FinishNext(std::move(*next), id);
        return; // otherwise cancelled or replaced meanwhile; its thread has freed what it opened
    }
    const std::string name = settings.fileName;
    if (result->Error) {
        settings.fileName.clear();
        transport_ = TTransport::Closed; // told by the failure's own change of status
        ReportOpenFailure(DescribeError(result->Error, id, name));
        return;
    }
    try {
        // The first frames are in memory: this reads no further than the attempt did.
        OpenPlayback(result->Stream.release(),
                     uint8_t((result->Seekable ? kStreamSeekable : 0) | kStreamOwned), name);
        if (result->PlayWhenOpened)
            Play();
    } catch (...) {
        transport_ = StreamOpen() ? transport_ : TTransport::Closed;
        ReportOpenFailure(DescribeError(std::current_exception(), id, name));
    }
}

} // namespace pt4
