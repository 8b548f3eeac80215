// Writes a Layer I stream of random but valid frames, for test fixtures: allocations, scale
// factors and samples are drawn at random within each frame's bit budget.
// Usage: make_layer1_stream OUT ID SAMPLE_RATE_INDEX BITRATE_INDEX MODE MODE_EXT CRC FRAMES SEED
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

constexpr int kKbps[2][16] = {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
                              {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0}};
constexpr int kRatesBy50[2][3] = {{441, 480, 320}, {882, 960, 640}};

class BitWriter {
public:
    explicit BitWriter(std::vector<uint8_t>& bytes) : bytes_(bytes) {}
    void Put(uint32_t value, int bits)
    {
        for (int i = bits - 1; i >= 0; --i) {
            if (bit_ % 8 == 0)
                bytes_.push_back(0);
            if ((value >> i) & 1)
                bytes_.back() |= uint8_t(0x80 >> (bit_ % 8));
            ++bit_;
        }
    }
    size_t Bits() const { return bit_; }

private:
    std::vector<uint8_t>& bytes_;
    size_t bit_ = 0;
};

// CRC-16 (polynomial 0x8005, start 0xFFFF) over `bits` bits of `data` from bit `first`.
uint16_t Crc(const std::vector<uint8_t>& data, size_t first, size_t bits)
{
    uint32_t crc = 0xFFFF;
    for (size_t i = first; i < first + bits; ++i) {
        const uint32_t bit = (data[i / 8] >> (7 - i % 8)) & 1;
        const uint32_t top = (crc >> 15) & 1;
        crc = (crc << 1) & 0xFFFF;
        if (top ^ bit)
            crc ^= 0x8005;
    }
    return uint16_t(crc);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 10) {
        std::fprintf(stderr, "usage: %s OUT ID SRI BRI MODE MODE_EXT CRC FRAMES SEED\n", argv[0]);
        return 2;
    }
    const int id = std::atoi(argv[2]), sri = std::atoi(argv[3]), bri = std::atoi(argv[4]);
    const int mode = std::atoi(argv[5]), modeExt = std::atoi(argv[6]), crc = std::atoi(argv[7]);
    const int frames = std::atoi(argv[8]);
    std::mt19937 random(uint32_t(std::atoi(argv[9])));
    auto draw = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };

    const int channels = mode == 3 ? 1 : 2;
    const int bound = mode == 1 ? 4 * (modeExt + 1) : 32; // in subbands
    const int baseLength = 4 * (240 * kKbps[id][bri] / kRatesBy50[id][sri]);

    std::vector<uint8_t> stream;
    for (int f = 0; f < frames; ++f) {
        const int padding = f % 2;
        const size_t length = size_t(baseLength + 4 * padding);
        std::vector<uint8_t> frame;
        BitWriter out(frame);
        out.Put(0xFFF, 12);
        out.Put(uint32_t(id), 1);
        out.Put(3, 2);           // Layer I
        out.Put(crc ? 0 : 1, 1); // protection bit 0 = CRC follows
        out.Put(uint32_t(bri), 4);
        out.Put(uint32_t(sri), 2);
        out.Put(uint32_t(padding), 1);
        out.Put(0, 1);
        out.Put(uint32_t(mode), 2);
        out.Put(uint32_t(modeExt), 2);
        out.Put(0, 4); // copyright, original, emphasis
        if (crc)
            out.Put(0, 16); // filled in below

        // Allocation per subband and channel; above the bound one value serves both channels.
        int alloc[32][2] = {};
        int budget = int(length * 8) - int(out.Bits());
        for (int sb = 0; sb < 32; ++sb)
            budget -= 4 * (sb < bound ? channels : 1);
        for (int sb = 0; sb < 32; ++sb)
            for (int ch = 0; ch < channels; ++ch) {
                if (sb >= bound && ch == 1) {
                    alloc[sb][1] = alloc[sb][0];
                    continue;
                }
                const int a = draw(0, 3) == 0 ? 0 : draw(1, std::max(1, 14 - sb / 3));
                alloc[sb][ch] = a;
            }
        // Shrink until scale factors and samples fit the frame.
        auto cost = [&] {
            int bits = 0;
            for (int sb = 0; sb < 32; ++sb)
                for (int ch = 0; ch < channels; ++ch) {
                    const int a = alloc[sb][ch];
                    if (a == 0)
                        continue;
                    bits += 6;
                    if (!(sb >= bound && ch == 1))
                        bits += 12 * (a + 1);
                }
            return bits;
        };
        while (cost() > budget) {
            const int sb = draw(0, 31), ch = draw(0, channels - 1);
            if (alloc[sb][ch] > 0) {
                --alloc[sb][ch];
                if (sb >= bound && channels == 2)
                    alloc[sb][1 - ch] = alloc[sb][ch];
            }
        }

        for (int sb = 0; sb < 32; ++sb)
            for (int ch = 0; ch < channels; ++ch)
                if (!(sb >= bound && ch == 1))
                    out.Put(uint32_t(alloc[sb][ch]), 4);
        if (crc) { // over header bits 16-31 and the allocation, skipping the CRC field itself
            std::vector<uint8_t> covered;
            BitWriter c(covered);
            for (size_t i = 16; i < out.Bits(); ++i)
                if (i < 32 || i >= 48)
                    c.Put((frame[i / 8] >> (7 - i % 8)) & 1, 1);
            const uint16_t sum = Crc(covered, 0, c.Bits());
            frame[4] = uint8_t(sum >> 8);
            frame[5] = uint8_t(sum);
        }
        for (int sb = 0; sb < 32; ++sb)
            for (int ch = 0; ch < channels; ++ch)
                if (alloc[sb][ch] != 0)
                    out.Put(uint32_t(draw(std::min(63, 15 + sb / 2), std::min(63, 40 + sb / 2))), 6);
        for (int slot = 0; slot < 12; ++slot)
            for (int sb = 0; sb < 32; ++sb)
                for (int ch = 0; ch < channels; ++ch) {
                    const int a = alloc[sb][ch];
                    if (a == 0 || (sb >= bound && ch == 1))
                        continue;
                    out.Put(uint32_t(draw(0, (1 << (a + 1)) - 2)), a + 1); // all ones is not a sample
                }
        frame.resize(length, 0);
        stream.insert(stream.end(), frame.begin(), frame.end());
    }

    FILE* file = std::fopen(argv[1], "wb");
    if (file == nullptr || std::fwrite(stream.data(), 1, stream.size(), file) != stream.size()) {
        std::perror(argv[1]);
        return 1;
    }
    std::fclose(file);
    return 0;
}
