// Where the log goes for a given executable path: beside it, whole, or
// nowhere; never in another folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <functional>
#include <string>

#include "platform/module_path.h"
#include "support/os_codes.h"

namespace {

using testsupport::kWindows;

PathString Repeat(size_t count, PathChar c) {
    return PathString(count, c);
}

// An executable path of `length` characters: "C:\" (or "/"), folders of 100
// characters, and a file name that makes up the rest.
PathString ExecutableOfLength(size_t length) {
    PathString path = kWindows ? PathString(ZQ_T("C:")) : PathString();
    while (length - path.size() > 101 + 8) {
        path += ZQ_PATH_SEP_STR + Repeat(99, ZQ_T('d'));
    }
    path += ZQ_PATH_SEP_STR;
    path += Repeat(length - path.size() - 4, ZQ_T('z'));
    path += ZQ_T(".exe");
    return path;
}

TEST(ModulePath, TheLogLiesInTheExecutablesOwnFolderWhateverItsLength) {
    const PathString name = ZQ_T("ZQCindervane.log");
    for (size_t length : {20u, 259u, 260u, 267u, 307u, 1000u}) {
        SCOPED_TRACE(length);
        const PathString exe = ExecutableOfLength(length);
        ASSERT_EQ(exe.size(), length);
        const PathString folder = exe.substr(0, exe.find_last_of(ZQ_PATH_SEP) + 1);
        const PathString log = platform::PathBesideModule(exe, name.c_str());
        PathString want = folder + name;
        if (kWindows && want.size() >= 260) {
            want = ZQ_T("\\\\?\\") + want;
        }
        EXPECT_EQ(log, want);
    }
}

TEST(ModulePath, NoLogWhereNoFolderCanBeNamed) {
    EXPECT_EQ(platform::PathBesideModule(ZQ_T("noseparator"), ZQ_T("ZQCindervane.log")),
              PathString());
    // A folder that leaves no room for the file name.
    const PathString too_long = (kWindows ? PathString(ZQ_T("C:")) : PathString()) +
                                ZQ_PATH_SEP_STR + Repeat(kWindows ? 32755 : 4085, ZQ_T('d')) +
                                ZQ_PATH_SEP_STR + ZQ_T("z.exe");
    EXPECT_EQ(platform::PathBesideModule(too_long, ZQ_T("ZQCindervane.log")), PathString());
}

TEST(ModulePath, AShareTakesTheLongUncForm) {
    if (!kWindows) {
        GTEST_SKIP() << "Windows shares only";
    }
    const PathString exe = ZQ_T("\\\\server\\share") + ExecutableOfLength(400).substr(2);
    const PathString log = platform::PathBesideModule(exe, ZQ_T("ZQCindervane.log"));
    EXPECT_EQ(log.substr(0, 21), PathString(ZQ_T("\\\\?\\UNC\\server\\share\\")));
}

}  // namespace

namespace {

// A reader that behaves as GetModuleFileNameW does for an executable path
// of `length` characters: a cut text fills the buffer; `terminated_when_cut`
// tells whether the cut text still ends in a zero (newer systems) or not
// (older ones).
struct FakeModulePath {
    PathString path;
    bool terminated_when_cut;
    size_t calls = 0;

    size_t operator()(PathChar* buffer, size_t capacity) {
        ++calls;
        if (path.size() < capacity) {
            std::copy(path.begin(), path.end(), buffer);
            buffer[path.size()] = 0;
            return path.size();
        }
        const size_t kept = terminated_when_cut ? capacity - 1 : capacity;
        std::copy(path.begin(), path.begin() + static_cast<std::ptrdiff_t>(kept), buffer);
        if (terminated_when_cut) {
            buffer[kept] = 0;
        }
        return capacity;
    }
};

TEST(ModulePath, AnExecutablePathIsReadWholeHoweverLong) {
    for (size_t length : {20u, 259u, 260u, 267u, 307u, 1000u, 5000u}) {
        for (bool terminated : {false, true}) {
            SCOPED_TRACE(std::to_string(length) + (terminated ? " terminated" : " unterminated"));
            FakeModulePath fake{ExecutableOfLength(length), terminated};
            const PathString read = platform::ReadWholePath(std::ref(fake), 260, 65536);
            EXPECT_EQ(read, fake.path);
            // A cut text is never taken: each one leads to a larger buffer.
            EXPECT_EQ(fake.calls, length < 260 ? 1u : length < 520 ? 2u : length < 1040 ? 3u : 6u);
        }
    }
}

TEST(ModulePath, APathBeyondTheLargestBufferIsNotUsedCut) {
    FakeModulePath fake{ExecutableOfLength(1000), false};
    EXPECT_EQ(platform::ReadWholePath(std::ref(fake), 260, 900), PathString());
    FakeModulePath failing{PathString(), false};
    EXPECT_EQ(platform::ReadWholePath(std::ref(failing), 260, 900), PathString());
}

}  // namespace
