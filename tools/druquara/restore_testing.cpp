// zqrestore's test hook (restore.h), compiled in builds with the tests only.
#include <utility>

#include "restore.h"

namespace druquara {

namespace {

std::function<void()>& Between() {
    static std::function<void()> between;
    return between;
}

}  // namespace

void SetBetweenPassesForTesting(std::function<void()> between) {
    Between() = std::move(between);
}

void RunBetweenPassesForTesting() {
    if (Between()) {
        Between()();
    }
}

}  // namespace druquara
