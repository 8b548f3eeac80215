#include "mp3plyr/player/player_opening.h"

#include "mp3plyr/errors.h"
#include "mp3plyr/player/player_core.h"

#include <optional>

namespace pt4 {

void StartOpening(TMP3PlayerCore& core)
{
    core.opener.Start(core.settings.fileName);
    core.window.PostUnique(MP_STATUS);
}

bool CancelOpening(TMP3PlayerCore& core)
{
    if (!core.opener.Cancel())
        return false;
    core.settings.fileName.clear();
    core.window.PostUnique(MP_STATUS);
    return true;
}

void FinishOpening(TMP3PlayerCore& core, uint64_t id)
{
    std::optional<TOpenResult> result = core.opener.Take(id);
    if (!result)
        return; // cancelled or replaced meanwhile; its thread has freed what it opened
    if (result->Error) {
        const std::string failed = core.settings.fileName;
        core.settings.fileName.clear();
        core.ReportOpenFailure(DescribeError(result->Error, id, failed));
        return;
    }
    const std::string name = core.settings.fileName;
    try {
        // The first frames are in memory: this reads no further than the attempt did.
        core.OpenPlayback(result->Stream.release(),
                          uint8_t((result->Seekable ? kStreamSeekable : 0) | kStreamOwned), name);
        core.settings.fileName = name;
        if (result->PlayWhenOpened)
            core.owner.Play();
    } catch (...) {
        if (!core.StreamOpen())
            core.settings.fileName.clear();
        core.ReportOpenFailure(DescribeError(std::current_exception(), id, name));
    }
}

} // namespace pt4
