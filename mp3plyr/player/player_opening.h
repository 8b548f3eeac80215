// The player's side of opening a location in the background: starting an attempt, cancelling it,
// and taking its result on the owner thread. While an attempt runs the player is closed and
// stopped, FileName is the location, and Connecting() is true.
#pragma once

#include <cstdint>

namespace pt4 {

class TMP3PlayerCore;

// Starts opening core.fileName; the player is closed. Announced as a change of status.
void StartOpening(TMP3PlayerCore& core);
// Ends the attempt under way, if any: FileName empties and the change is announced as a change
// of status (nothing played, so play does not end). False when there was no attempt.
bool CancelOpening(TMP3PlayerCore& core);
// The hidden window's notice that attempt `id` has its result (owner thread): the stream opens
// and plays as a synchronous open would have (AutoPlay, or Play called meanwhile), or the
// failure is told as a change of status during which LastError holds it. A stale id is dropped.
void FinishOpening(TMP3PlayerCore& core, uint64_t id);

} // namespace pt4
