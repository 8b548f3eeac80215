#include "output/support/deadline.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <future>
#include <thread>

namespace pt4::test {

namespace {

[[noreturn]] void GiveUp(const char* what)
{
    std::fprintf(stderr, "DEADLOCK: %s did not finish within the guard time\n", what);
    std::fflush(stderr);
    std::_Exit(1);
}

} // namespace

void FinishesWithin(const char* what, const std::function<void()>& work, std::chrono::seconds limit)
{
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    std::thread runner([&] {
        try {
            work();
            done.set_value();
        } catch (...) {
            done.set_exception(std::current_exception());
        }
    });
    if (finished.wait_for(limit) != std::future_status::ready)
        GiveUp(what);
    runner.join();
    finished.get();
}

void SpinUntil(const char* what, const std::function<bool()>& condition, std::chrono::seconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            GiveUp(what);
        std::this_thread::yield();
    }
}

} // namespace pt4::test
