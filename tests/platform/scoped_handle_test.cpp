// The ownership of one handle: released exactly once, by whoever owns it
// last, and never while a call still lends its place.
#include "platform/scoped_handle.h"

#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Handles are small numbers, 0 owns nothing; every release is recorded.
std::vector<int>& Released() {
    static std::vector<int> released;
    return released;
}

struct CountedTraits {
    using Value = int;
    static Value Invalid() { return 0; }
    static bool IsValid(Value value) { return value != 0; }
    static void Close(Value value) { Released().push_back(value); }
};

using Handle = platform::ScopedHandle<CountedTraits>;

class ScopedHandleTest : public ::testing::Test {
  protected:
    void SetUp() override { Released().clear(); }
};

TEST_F(ScopedHandleTest, ReleasedOnceByItsLastOwner) {
    {
        Handle first(7);
        Handle second(std::move(first));
        EXPECT_FALSE(first.IsValid());
        Handle third;
        third = std::move(second);
        EXPECT_TRUE(Released().empty());
        EXPECT_EQ(third.Get(), 7);
    }
    EXPECT_EQ(Released(), std::vector<int>({7}));
}

TEST_F(ScopedHandleTest, TakingAnotherReleasesTheOneHeld) {
    Handle handle(3);
    Handle other(4);
    handle = std::move(other);  // 3 goes, 4 stays
    handle.Reset(5);            // 4 goes
    *handle.Receive() = 6;      // 5 goes before the call fills the place
    EXPECT_EQ(Released(), std::vector<int>({3, 4, 5}));
    EXPECT_EQ(handle.Get(), 6);
    handle = std::move(handle);  // owning itself changes nothing
    EXPECT_EQ(handle.Get(), 6);
}

TEST_F(ScopedHandleTest, GivenUpOrInvalidIsNeverReleased) {
    {
        Handle handle(9);
        EXPECT_EQ(handle.Release(), 9);
        Handle failed(CountedTraits::Invalid());
        failed.Reset();
    }
    EXPECT_TRUE(Released().empty());
}

}  // namespace
