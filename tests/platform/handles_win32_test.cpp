// The Win32 backend's handles leave the thread's last error as it was when
// they are released: a handle closed on the way out of a failed call must
// not replace the error that call left for its caller.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/event.h"
#include "platform/thread.h"
#include "platform/win32/win32_handles.h"

namespace {

constexpr DWORD kLeftByACall = 1234;

uint32_t Nothing(void*) {
    return 0;
}

TEST(Win32Handles, ReleasingAHandleKeepsTheLastError) {
    {
        platform::win32::KernelHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        ASSERT_TRUE(event.IsValid());
        SetLastError(kLeftByACall);
    }
    EXPECT_EQ(GetLastError(), kLeftByACall) << "kernel handle";
    {
        WIN32_FIND_DATAW data;
        platform::win32::FindHandle find(FindFirstFileW(L"C:\\*", &data));
        ASSERT_TRUE(find.IsValid());
        SetLastError(kLeftByACall);
    }
    EXPECT_EQ(GetLastError(), kLeftByACall) << "find handle";
    {
        platform::win32::KernelHandle closed(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        CloseHandle(closed.Get());  // released twice: CloseHandle fails inside
        SetLastError(kLeftByACall);
    }
    EXPECT_EQ(GetLastError(), kLeftByACall) << "a release that fails";
    {
        platform::Thread thread;
        ASSERT_TRUE(thread.Start(&Nothing, nullptr));
        thread.Wait();
        SetLastError(kLeftByACall);
    }
    EXPECT_EQ(GetLastError(), kLeftByACall) << "thread";
}

}  // namespace
