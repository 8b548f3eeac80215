// Decoder state of Layers I and II.
#pragma once

namespace pt4 {

struct Layer12State {
};

} // namespace pt4
