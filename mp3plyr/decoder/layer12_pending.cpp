// Layers I and II are not decoded yet: their set-up refuses every stream.
#include "mp3plyr/decoder/layer12.h"

namespace pt4 {

bool SetupLayer1(DecoderState&, const TMPFrameHeader&, int32_t) { return false; }
bool SetupLayer2(DecoderState&, const TMPFrameHeader&, int32_t) { return false; }
TDecodeResult DecodeLayer1Frame(DecoderState&, const uint8_t*, uint8_t*) { return {}; }
TDecodeResult DecodeLayer2Frame(DecoderState&, const uint8_t*, uint8_t*) { return {}; }

} // namespace pt4
