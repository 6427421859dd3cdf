#include <PowerCore/foundation/SharedString.hpp>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

using PowerCore::SharedString;

TEST(SharedString, CopiesShareOneTextAndCompareByContent) {
    const SharedString firefox("Firefox");
    const SharedString copy = firefox;
    const SharedString other(std::string("Firefox"));
    EXPECT_TRUE(copy.sharesTextWith(firefox));
    EXPECT_FALSE(other.sharesTextWith(firefox));
    EXPECT_EQ(other, firefox);
    EXPECT_EQ(firefox, "Firefox");
    EXPECT_NE(firefox, SharedString("Firefox "));
    EXPECT_EQ(SharedString(""), SharedString());
    EXPECT_TRUE(SharedString("").empty());
    EXPECT_EQ(SharedString().str(), "");
}

TEST(SharedString, AssignmentKeepsTheTextAliveAsLongAsAnyCopy) {
    SharedString a("A name longer than the small-string buffer");
    SharedString b("B");
    b = a; // drops B's text, shares A's
    a = SharedString("other");
    EXPECT_EQ(b, "A name longer than the small-string buffer");
    SharedString& self = b;
    b = self;
    EXPECT_EQ(b, "A name longer than the small-string buffer");
    SharedString moved = std::move(b);
    EXPECT_TRUE(b.empty()); // NOLINT(bugprone-use-after-move): a moved-from copy is empty
    EXPECT_EQ(moved, "A name longer than the small-string buffer");
}

TEST(SharedString, CopiesAreMadeAndDroppedOnManyThreads) {
    // Loaded history is decoded on worker threads and dropped elsewhere: the count must stay
    // exact (the sanitizer build reports a text freed twice or never).
    std::vector<SharedString> names;
    for (int i = 0; i < 8; ++i)
        names.emplace_back("Application number " + std::to_string(i));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([names] {
            std::vector<SharedString> held;
            for (int round = 0; round < 20000; ++round) {
                held.push_back(names[size_t(round) % names.size()]);
                if (held.size() > 64) held.clear();
            }
        });
    names.erase(names.begin() + 1, names.end()); // the threads' copies keep the rest alive
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(names.front(), "Application number 0");
}

} // namespace
