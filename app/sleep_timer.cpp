#include "app/sleep_timer.h"

#include <algorithm>
#include <cmath>

namespace pt4 {

using std::chrono::milliseconds;

TSleepTimer::TSleepTimer(THooks hooks, QObject* parent) : QObject(parent), hooks_(std::move(hooks))
{
    untilFade_.setSingleShot(true);
    untilFade_.setTimerType(Qt::PreciseTimer); // a coarse one may be late by 5 %: 45 s of 15 min
    fadeTicks_.setTimerType(Qt::PreciseTimer);
    connect(&untilFade_, &QTimer::timeout, this, &TSleepTimer::BeginFade);
    connect(&fadeTicks_, &QTimer::timeout, this, &TSleepTimer::FadeTick);
}

TSleepTimer::~TSleepTimer()
{
    GiveVolumeBack();
}

void TSleepTimer::Start(milliseconds total)
{
    GiveVolumeBack();
    fadeTicks_.stop();
    total_ = std::max(total, milliseconds(0));
    active_ = true;
    clock_.start();
    untilFade_.start(std::max(total_ - FadeTime, milliseconds(0)));
    emit Changed();
}

void TSleepTimer::Cancel()
{
    if (!active_)
        return;
    GiveVolumeBack();
    untilFade_.stop();
    fadeTicks_.stop();
    active_ = false;
    total_ = milliseconds(0);
    emit Changed();
}

milliseconds TSleepTimer::Remaining() const
{
    if (!active_)
        return milliseconds(0);
    return std::max(total_ - milliseconds(clock_.elapsed()), milliseconds(0));
}

void TSleepTimer::BeginFade()
{
    fading_ = true;
    volumeBefore_ = hooks_.volume();
    fadeTicks_.start(FadeStep);
    FadeTick();
}

// The volume falls in proportion to the time left of the fade: silent at its end.
void TSleepTimer::FadeTick()
{
    const milliseconds left = Remaining();
    if (left <= milliseconds(0)) {
        Finish();
        return;
    }
    const milliseconds fade = std::min(FadeTime, total_);
    const double share = fade.count() > 0 ? double(left.count()) / double(fade.count()) : 0.0;
    hooks_.setVolume(uint32_t(std::lround(volumeBefore_ * std::min(share, 1.0))));
}

void TSleepTimer::Finish()
{
    fadeTicks_.stop();
    hooks_.setVolume(0);
    hooks_.stop();
    GiveVolumeBack();
    active_ = false;
    total_ = milliseconds(0);
    emit Changed();
}

void TSleepTimer::GiveVolumeBack()
{
    if (!fading_)
        return;
    fading_ = false;
    hooks_.setVolume(volumeBefore_);
}

} // namespace pt4
