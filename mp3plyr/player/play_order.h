// The order in which a list's entries play: the list's own order, or a shuffled one that is new
// for every pass through the list. Positions are places in the order of play; entries are
// indexes into the list.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace pt4 {

class TPlayOrder {
public:
    // Seeded from the system's random source.
    TPlayOrder();

    bool Shuffled() const { return shuffled_; }
    // The entry at a position; the position itself while not shuffled.
    int32_t Entry(int32_t position) const;
    // Where an entry plays in this pass; the entry itself while not shuffled.
    int32_t Position(int32_t entry) const;

    // A list of `count` entries: a new pass (shuffled when shuffling is on).
    void Reset(int32_t count);
    // A new pass through the same list, in an order other than the last one when the list has
    // two entries or more.
    void NewPass();
    // Shuffling on or off in the middle of a pass. On: `current` plays first and the rest follow
    // shuffled; off: the list's order. Returns where `current` is now.
    int32_t SetShuffled(bool shuffled, int32_t current);

private:
    void Shuffle(int32_t first);

    bool shuffled_ = false;
    int32_t count_ = 0;
    std::vector<int32_t> order_;    // position -> entry, while shuffled
    std::vector<int32_t> position_; // entry -> position, while shuffled
    std::mt19937 random_;
};

} // namespace pt4
