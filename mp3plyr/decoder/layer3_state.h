// Decoder state of Layer III: reservoir, granule buffers, overlap and per-stream tables.
#pragma once

namespace pt4 {

struct Layer3State {
};

} // namespace pt4
