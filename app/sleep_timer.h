// The sleep timer: after the chosen time the sound fades out and play stops. The fade takes the
// last seconds of the time; the volume comes back once play has stopped, ready for the next play.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>

namespace pt4 {

class TSleepTimer : public QObject {
    Q_OBJECT
public:
    // What the timer acts on: the player's volume (0 ... 100) and the window's Stop.
    struct THooks {
        std::function<uint32_t()> volume;
        std::function<void(uint32_t)> setVolume;
        std::function<void()> stop;
    };
    explicit TSleepTimer(THooks hooks, QObject* parent = nullptr);
    ~TSleepTimer() override;

    // The times the menu offers, in minutes.
    static constexpr int kMinutes[] = {15, 30, 60, 90};

    // How long the fade lasts and how often the volume steps down in it; shorter in tests.
    std::chrono::milliseconds FadeTime{10000};
    std::chrono::milliseconds FadeStep{100};

    // Counts down from `total` (the fade included), replacing a count already running.
    void Start(std::chrono::milliseconds total);
    // No more count; a fade under way gives the volume back.
    void Cancel();
    bool Active() const { return active_; }
    // The time chosen (0: off) and what is left of it.
    std::chrono::milliseconds Total() const { return total_; }
    std::chrono::milliseconds Remaining() const;
    bool Fading() const { return fading_; }

signals:
    // Started, cancelled, faded out.
    void Changed();

private:
    void BeginFade();
    void FadeTick();
    void Finish();
    void GiveVolumeBack();

    THooks hooks_;
    QTimer untilFade_; // one shot at the start of the fade: no wake-ups before it
    QTimer fadeTicks_;
    QElapsedTimer clock_;
    std::chrono::milliseconds total_{0};
    bool active_ = false;
    bool fading_ = false;
    uint32_t volumeBefore_ = 0; // the volume when the fade began
};

} // namespace pt4
