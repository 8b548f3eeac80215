// Shared helpers of the player tests: fixture bytes, decoding through the frame source, and
// draining the player's message window until something happened.
#pragma once

#include "mp3plyr/mp3plyr.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pt4::testing {

std::vector<uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::string DemoClipPath();

// A fresh file name in a private temporary folder.
std::string TempPath(const std::string& name);

// The frames of an MPEG audio stream (no tags), each as its own byte vector.
std::vector<std::vector<uint8_t>> SplitFrames(const std::vector<uint8_t>& audio);
// The demo clip's frames, the first (a VBR information frame) left out.
std::vector<std::vector<uint8_t>> DemoFrames();
std::vector<uint8_t> Join(const std::vector<std::vector<uint8_t>>& frames);

// PCM of `bytes` as the frame source produces it with the player's settings; `gapless` false
// keeps the encoder's delay and padding, as whole-frame references have them.
std::vector<uint8_t> DecodeAll(const std::vector<uint8_t>& bytes, bool gapless = true);

// 16-bit little-endian PCM bytes as samples.
std::vector<int16_t> AsSamples(const std::vector<uint8_t>& bytes);

// The PCM part of a RIFF WAVE file.
std::vector<uint8_t> WavePcm(const std::vector<uint8_t>& wave);

// Delivers the player's messages until `done` holds or the time runs out; false on time-out.
bool DrainUntil(TMP3Player& player, const std::function<bool()>& done,
                std::chrono::milliseconds limit = std::chrono::seconds(20));
// Delivers everything queued, and whatever arrives within `quiet`.
void DrainFor(TMP3Player& player, std::chrono::milliseconds quiet);

} // namespace pt4::testing
