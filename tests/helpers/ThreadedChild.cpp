// A child for the live process tests whose work happens off its first thread, as a
// browser's or a compiler's does: "burn" spins a worker on one core, "nap" has a worker
// sleep a millisecond at a time. The first thread only waits. Runs until killed.
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

int main(int argc, char** argv) {
    const bool burn = argc > 1 && std::strcmp(argv[1], "burn") == 0;
    std::atomic<unsigned long> spins{0};
    std::thread worker([&] {
        for (;;) {
            if (burn)
                spins.fetch_add(1, std::memory_order_relaxed);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    worker.join();
}
