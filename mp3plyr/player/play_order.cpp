#include "mp3plyr/player/play_order.h"

#include <algorithm>
#include <numeric>

namespace pt4 {

TPlayOrder::TPlayOrder() : random_(std::random_device{}()) {}

int32_t TPlayOrder::Entry(int32_t position) const
{
    if (!shuffled_ || position < 0 || position >= count_)
        return position;
    return order_[size_t(position)];
}

int32_t TPlayOrder::Position(int32_t entry) const
{
    if (!shuffled_ || entry < 0 || entry >= count_)
        return entry;
    return position_[size_t(entry)];
}

void TPlayOrder::Reset(int32_t count)
{
    count_ = std::max(count, 0);
    order_.clear();
    if (shuffled_)
        Shuffle(-1);
}

void TPlayOrder::NewPass()
{
    if (!shuffled_)
        return;
    const std::vector<int32_t> last = order_;
    // Of two entries or more some other order always exists; a draw repeats the last one rarely.
    do
        Shuffle(-1);
    while (count_ > 1 && order_ == last);
}

int32_t TPlayOrder::SetShuffled(bool shuffled, int32_t current)
{
    const int32_t entry = Entry(current);
    shuffled_ = shuffled;
    order_.clear();
    if (shuffled_)
        Shuffle(entry);
    return Position(entry);
}

// A new order; `first`, when it is an entry, plays first.
void TPlayOrder::Shuffle(int32_t first)
{
    order_.resize(size_t(count_));
    std::iota(order_.begin(), order_.end(), 0);
    auto rest = order_.begin();
    if (first >= 0 && first < count_) {
        std::swap(order_.front(), order_[size_t(first)]);
        ++rest;
    }
    std::shuffle(rest, order_.end(), random_);
    position_.assign(size_t(count_), 0);
    for (int32_t position = 0; position < count_; ++position)
        position_[size_t(order_[size_t(position)])] = position;
}

} // namespace pt4
