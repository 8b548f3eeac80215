// Random operations from the owner thread while the worker and the output thread run: no
// deadlock, no crash, and every end of play reported exactly once.
#include "mp3plyr/mp3plyr.h"
#include "mp3plyr/runtime/exception_display.h"
#include "mp3plyr/runtime/message_window.h"
#include "output/support/pulse_daemon.h"
#include "support/player_fixtures.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>

namespace pt4 {
namespace {

using namespace pt4::testing;
using namespace std::chrono_literals;

bool Active(TMP3PlayerStatus status)
{
    return status != TMP3PlayerStatus::mpsStopped;
}

// `waveFile` empty: the sound server.
void RandomOperations(const std::string& waveFile, std::chrono::seconds length)
{
    const std::string clip = TempPath("stress.mp3");
    WriteFileBytes(clip, Join(DemoFrames()));
    const std::string other = TempPath("stress-junk.mp3");
    WriteFileBytes(other, std::vector<uint8_t>(3000, 0x42));

    std::atomic<bool> finished{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 600 && !finished; ++i)
            std::this_thread::sleep_for(100ms);
        if (!finished) {
            std::fputs("deadlock: the stress run did not finish within 60 s\n", stderr);
            std::abort();
        }
    });

    int errorsShown = 0;
    {
        TMP3Player player;
        player.SetAutoPlay(false);
        player.SetWaveFileName(waveFile);
        int endEvents = 0;
        TMP3EndPlayReason lastReason = TMP3EndPlayReason::mepStopped;
        player.OnEndPlay = [&](TMP3Player& p, TMP3EndPlayReason reason) {
            errorsShown += p.LastError().has_value();
            ++endEvents;
            lastReason = reason;
        };
        player.OnChangeStatus = [&](TMP3Player& p) { errorsShown += p.LastError().has_value(); };
        player.OnChangePosition = [](TMP3Player& p) { p.Position(); };

        const char* given = std::getenv("PT4_STRESS_SEED");
        const uint32_t seed = given ? uint32_t(std::strtoul(given, nullptr, 10)) : std::random_device{}();
        std::printf("stress seed %u (PT4_STRESS_SEED=%u repeats it)\n", seed, seed);
        std::mt19937 random(seed);
        const auto deadline = std::chrono::steady_clock::now() + length;
        int operations = 0;
        while (std::chrono::steady_clock::now() < deadline) {
            const bool wasOpen = player.Capabilities() & mpcClose;
            const bool wasActive = Active(player.Status());
            endEvents = 0;
            try {
                switch (random() % 12) {
                case 0: player.SetFileName(clip); break;
                case 1: player.Play(); break;
                case 2: player.Pause(); break;
                case 3: player.Resume(); break;
                case 4: player.Stop(); break;
                case 5:
                    if (player.Capabilities() & mpcSeek)
                        player.Seek(int32_t(random() % 9000));
                    break;
                case 6: player.Close(); break;
                case 7: player.SetVolume(random() % 120); break;
                case 8: player.SetVolBalance(int32_t(random() % 240) - 120); break;
                case 9: player.SetEqualizerValue(int32_t(random() % 6), int32_t(random() % 201) - 100); break;
                case 10: player.SetEqualizerEnabled(random() % 2); break;
                case 11: player.SetFileName(other); break;
                }
            } catch (const std::exception&) {
                // Opening the junk file fails: that is part of the run.
            }
            DrainFor(player, std::chrono::milliseconds(random() % 15));
            const bool isActive = Active(player.Status());
            // Leaving play while a stream was open is reported once; an end of stream reached
            // meanwhile may add its own report.
            const int expected = wasOpen && wasActive && !isActive ? 1 : 0;
            if (endEvents != expected) {
                ASSERT_EQ(endEvents, 1) << "operation " << operations;
                ASSERT_EQ(lastReason, TMP3EndPlayReason::mepEndOfStream) << "operation " << operations;
            }
            ++operations;
        }
        player.Stop();
        DrainFor(player, 20ms);
        EXPECT_FALSE(Active(player.Status()));
        EXPECT_GT(operations, 100);
    }
    EXPECT_EQ(errorsShown, 0);
    finished = true;
    watchdog.join();
}

TEST(PlayerStress, RandomOperationsAgainstTheFileOutput)
{
    RandomOperations(TempPath("stress.wav"), 4s);
}

TEST(PlayerStress, RandomOperationsAgainstTheSoundServer)
{
    test::SoundServer daemon;
    RandomOperations("", 6s);
}

} // namespace
} // namespace pt4
