#include "synth/support/synthesis_reference.h"

#include "mp3plyr/synth/synthesis_window.h"

#include <cmath>
#include <fstream>
#include <stdexcept>
#include <string>

namespace pt4::test {

namespace {

const double kPi = std::acos(-1.0);

std::vector<double> LoadStandardWindow()
{
    const std::string path = std::string(PT4_TEST_DATA_DIR) + "/tables/synthesis_window.txt";
    std::ifstream file(path);
    std::vector<double> window;
    double value = 0.0;
    while (file >> value)
        window.push_back(value);
    if (window.size() != 512)
        throw std::runtime_error("cannot read 512 window values from " + path);
    return window;
}

} // namespace

const std::vector<double>& StandardWindow()
{
    static const std::vector<double> window = LoadStandardWindow();
    return window;
}

std::vector<double> DirectCosineTransform(const float* x, int n)
{
    std::vector<double> out(n, 0.0);
    for (int k = 0; k < n; ++k)
        for (int i = 0; i < n; ++i)
            out[k] += x[i] * std::cos(kPi * (2 * i + 1) * k / (2.0 * n));
    return out;
}

StandardSynthesis::StandardSynthesis(int bands) : bands_(bands), fifo_(32 * bands, 0.0)
{
    const int step = 32 / bands;
    for (int i = 0; i < 16 * bands; ++i)
        window_.push_back(StandardWindow()[step * i]);
}

std::vector<double> StandardSynthesis::Slot(const std::vector<double>& subbands)
{
    const int n = bands_;
    // Shift the FIFO by 2N and put the new matrix outputs at its front.
    for (int i = 32 * n - 1; i >= 2 * n; --i)
        fifo_[i] = fifo_[i - 2 * n];
    for (int i = 0; i < 2 * n; ++i) {
        double sum = 0.0;
        for (int k = 0; k < n; ++k)
            sum += std::cos((n / 2 + i) * (2 * k + 1) * kPi / (2.0 * n)) * subbands[k];
        fifo_[i] = sum;
    }
    // Build the 16N-value vector U from alternating halves of the FIFO's 4N-value blocks.
    std::vector<double> u(16 * n);
    for (int i = 0; i < 8; ++i) {
        for (int j = 0; j < n; ++j) {
            u[2 * n * i + j] = fifo_[4 * n * i + j];
            u[2 * n * i + n + j] = fifo_[4 * n * i + 3 * n + j];
        }
    }
    std::vector<double> out(n, 0.0);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < 16; ++i)
            out[j] += u[j + n * i] * window_[j + n * i];
    return out;
}

std::vector<WindowTap> DirectWindowTaps(int bands, int32_t position, int n)
{
    const int half = bands / 2;
    const int ringSize = 16 * bands;
    const int rowStep = 32 / bands;
    const auto& w = SynthesisWindow;
    auto wrap = [ringSize](int32_t index) { return ((index % ringSize) + ringSize) % ringSize; };

    std::vector<WindowTap> taps;
    int32_t a = position + half;
    int32_t b = position + 3 * half;
    for (int out = 0; out < half; ++out) {
        const int row = out * rowStep;
        if (out == n) {
            for (int j = 0; j < 8; ++j) {
                taps.push_back({wrap(a + 2 * bands * j), w[16 * row + 2 * j]});
                taps.push_back({wrap(b + 2 * bands * j), -w[16 * row + 2 * j + 1]});
            }
        }
        ++a;
        --b;
    }
    if (n == half) {
        for (int j = 0; j < 8; ++j)
            taps.push_back({wrap(b + 2 * bands * j), w[256 + j]});
    }
    for (int m = 0; m <= half - 2; ++m) {
        --a;
        ++b;
        if (half + 1 + m != n)
            continue;
        const int row = (half - 1 - m) * rowStep;
        for (int j = 0; j < 8; ++j) {
            taps.push_back({wrap(a + 2 * bands * j), w[16 * row + 15 - 2 * j]});
            taps.push_back({wrap(b + 2 * bands * j), w[16 * row + 14 - 2 * j]});
        }
    }
    return taps;
}

std::vector<double> DirectWindowSums(const float* ring, int32_t position, int bands)
{
    std::vector<double> sums(bands, 0.0);
    for (int n = 0; n < bands; ++n)
        for (const WindowTap& tap : DirectWindowTaps(bands, position, n))
            sums[n] += static_cast<double>(tap.Factor) * ring[tap.RingIndex];
    return sums;
}

int16_t RoundAndClip(double sum)
{
    const double rounded = std::nearbyint(sum);
    if (rounded < -32768.0)
        return -32768;
    if (rounded > 32767.0)
        return 32767;
    return static_cast<int16_t>(rounded);
}

} // namespace pt4::test
