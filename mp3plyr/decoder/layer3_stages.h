// The stages a Layer III granule passes through, in the order the granule routine calls them.
#pragma once

#include "mp3plyr/decoder/bit_reader.h"
#include "mp3plyr/decoder/layer3_state.h"
#include "mp3plyr/format/decoder_types.h"
#include "mp3plyr/format/frame_header_fields.h"

#include <cstdint>

// The two channels' buffers never overlap; saying so lets the compiler vectorize their loops.
#if defined(__GNUC__) || defined(__clang__)
#define PT4_RESTRICT __restrict__
#else
#define PT4_RESTRICT
#endif

namespace pt4 {

struct DecoderState;
struct DecoderConfig;

// --- frame: header, side information, reservoir (layer3_side_info.cpp, layer3_reservoir.cpp)

// Takes the frame's header fields and recomputes its length from a non-zero bit-rate index.
void ReadLayer3Header(const TMPFrameHeader& header, Layer3SideInfo& side);
// Side-information bytes counted from the frame start: 36/21 (MPEG-1), 21/13 (MPEG-2/2.5).
int32_t SideInfoBytes(const Layer3SideInfo& side, bool mpeg1);
// The CRC (skipped) and the side information: both granules of an MPEG-1 frame, or the one
// granule of an MPEG-2/2.5 frame into slot `granule`.
void ReadSideInfo(BitReader& reader, Layer3SideInfo& side, int32_t gainAdjustment, bool mpeg1, int granule);

// Appends the frame's main data (after `headerBytes` of header, side information and CRC);
// false, with nothing appended, when it cannot be held. Sets the decode start.
bool StoreMainData(MainDataReservoir& reservoir, const uint8_t* frame, int32_t paddedLength,
                   int32_t headerBytes, int32_t mainDataBegin);
// Points `reader` at the next granule-channel's main data and advances the main position by
// part2_3_length. The reader ends 39 bits (whole bytes) past the channel's last bit, so a decoder
// may look ahead of its data; a channel whose decoders read past that end is exhausted. Returns
// the bit offset at which the reader started.
int32_t PositionGranuleChannel(MainDataReservoir& reservoir, BitReader& reader, int32_t part23Length);
void FillSilence(uint8_t* pcm, const DecoderConfig& config);

// --- granule (layer3_granule.cpp)
// Decodes both channels of granule slot `granule` (MPEG-1: the granule; MPEG-2/2.5: the slot of
// the frame) and hands them to the transform routine, which writes PCM at `pcm`.
void DecodeGranule(DecoderState& state, int granule, uint8_t* pcm);

// --- scale factors (layer3_scalefactors.cpp)
void ReadScaleFactorsMpeg1(BitReader& reader, TScaleFactors& sf, const TScaleFactors& granule0,
                           const TGranuleInfo& gi, int32_t scfsi, int granule);
void ReadScaleFactorsMpeg2(BitReader& reader, TScaleFactors& sf, TGranuleInfo& gi, bool intensityRightChannel,
                           TIntensityInfo& intensity);

// --- Huffman (layer3_huffman.cpp). Both stop early once the reader is exhausted.
void DecodeBigValues(BitReader& reader, int32_t* lines, int32_t count, int32_t tableSelect);
// Returns the number of lines up to and including the last non-zero one.
int32_t DecodeCount1(BitReader& reader, int32_t* lines, int32_t count, int32_t bitBudget,
                     int32_t count1TableSelect);
// Regions, big values, count-1 and the zero tail of one granule-channel; returns its
// non-zero count. `bitOffset` is the reader's offset at the channel's start.
int32_t DecodeSpectrum(BitReader& reader, int32_t* lines, const TGranuleInfo& gi, const Layer3Layout& layout,
                       int32_t bitOffset);

// --- requantisation and reordering (layer3_requantize.cpp, layer3_reorder.cpp)
// `outputGain` scales every line (a loudness gain), at the cost of one product per granule-channel.
void Requantize(const int32_t* quantized, float* lines, int32_t& nonZeroCount, const TScaleFactors& sf,
                const TGranuleInfo& gi, TBandInfo& bandInfo, const Layer3Layout& layout, float* scratch,
                float outputGain = 1.0f);
// Interleaves one short band's three windows (`width` lines each) of `windows` into `out`.
void ReorderShortBand(const float* windows, float* out, int32_t width);

// --- stereo (layer3_stereo.cpp)
void MidSide(float* PT4_RESTRICT left, float* PT4_RESTRICT right, int32_t count);
// The lines where the right channel's intensity region starts.
int32_t IntensityStart(const TBandInfo& right, const Layer3Layout& layout);
void IntensityStereoMpeg1(float* left, float* right, const TScaleFactors& rightSf, const TBandInfo& leftInfo,
                          const TBandInfo& rightInfo, int32_t leftNonZero, bool ms,
                          const Layer3Layout& layout);
void IntensityStereoMpeg2(float* left, float* right, const TScaleFactors& rightSf, const TBandInfo& leftInfo,
                          const TBandInfo& rightInfo, int32_t leftNonZero, bool ms,
                          const TIntensityInfo& intensity, const Layer3Layout& layout);

// --- antialias (layer3_antialias.cpp)
void Antialias(float* lines, int32_t boundaries);

// --- transform routines by channel choice (layer3_transform.cpp)
TTransformRoutine Layer3TransformRoutine(TChannelRoute route);

} // namespace pt4
