// Reading the console title whole: each way GetConsoleTitleW answers a
// buffer too small for the title ends with the whole title, an empty title
// stays empty, and no console means no title.
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "platform/win32/console_title.h"

namespace {

using platform::win32::kFirstTitleChars;
using platform::win32::kLargestTitleChars;
using platform::win32::ReadWholeTitle;
using platform::win32::TitleRead;

// How a console answers a buffer too small for its title.
enum class Short {
    Zero,         // 0 and no error, nothing written
    WholeLength,  // the title's whole length, the text cut to the buffer
    Filled,       // what fitted, and its length
};

// A console with `title` that answers a short buffer as `style` does, and
// counts the calls.
struct FakeConsole {
    std::wstring title;
    Short style;
    DWORD error = ERROR_SUCCESS;  // the error of a console that is not there
    int calls = 0;

    TitleRead Read(wchar_t* buffer, DWORD capacity) {
        ++calls;
        if (error != ERROR_SUCCESS) {
            return {0, error};
        }
        const DWORD length = static_cast<DWORD>(title.size());
        if (length < capacity) {
            title.copy(buffer, length);
            buffer[length] = L'\0';
            return {length, ERROR_SUCCESS};
        }
        if (style == Short::Zero) {
            return {0, ERROR_SUCCESS};
        }
        title.copy(buffer, capacity - 1);
        buffer[capacity - 1] = L'\0';
        return {style == Short::WholeLength ? length : capacity - 1, ERROR_SUCCESS};
    }
};

TEST(ConsoleTitleTest, EveryWayOfAnsweringAShortBufferGivesTheWholeTitle) {
    struct Case {
        const char* name;
        size_t length;
        Short style;
    };
    const Case cases[] = {
        {"short", 15, Short::Zero},
        {"one less than the first buffer", kFirstTitleChars - 2, Short::Zero},
        {"filling the first buffer, answered 0", kFirstTitleChars - 1, Short::Zero},
        {"filling the first buffer, cut", kFirstTitleChars - 1, Short::Filled},
        {"longer, answered 0", 3000, Short::Zero},
        {"longer, answered with its length", 3000, Short::WholeLength},
        {"longer, answered with what fitted", 3000, Short::Filled},
        {"nearly the largest, answered 0", kLargestTitleChars - 2, Short::Zero},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeConsole console;
        for (size_t i = 0; i < c.length; ++i) {
            console.title += static_cast<wchar_t>(L'a' + i % 26);
        }
        console.style = c.style;
        std::wstring title = L"stale";
        ASSERT_TRUE(ReadWholeTitle(
            [&console](wchar_t* buffer, DWORD capacity) { return console.Read(buffer, capacity); },
            &title));
        EXPECT_EQ(title.size(), console.title.size());
        EXPECT_TRUE(title == console.title);
        EXPECT_LE(console.calls, 7);
    }
}

TEST(ConsoleTitleTest, AnEmptyTitleIsEmptyAndNoConsoleIsNoTitle) {
    FakeConsole empty{L"", Short::Zero};
    std::wstring title = L"stale";
    EXPECT_TRUE(ReadWholeTitle(
        [&empty](wchar_t* buffer, DWORD capacity) { return empty.Read(buffer, capacity); },
        &title));
    EXPECT_EQ(title, L"");

    FakeConsole none{L"", Short::Zero, ERROR_INVALID_HANDLE};
    title = L"stale";
    EXPECT_FALSE(ReadWholeTitle(
        [&none](wchar_t* buffer, DWORD capacity) { return none.Read(buffer, capacity); }, &title));
    EXPECT_EQ(none.calls, 1);
}

}  // namespace
