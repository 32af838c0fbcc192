// The plain and extended forms of Windows paths, as text, on every backend,
// and the forms each backend hands to the system and to other programs.
#include "platform/path_forms.h"

#include <gtest/gtest.h>

#include <string>

#include "support/os_codes.h"

namespace {

using testsupport::kWindows;

std::string Narrow(const PathString& text) {
    return std::string(text.begin(), text.end());
}

TEST(PathFormsTest, TheExtendedFormOfEachKindOfPath) {
    struct Case {
        const PathChar* plain;
        const PathChar* extended;
    };
    const Case cases[] = {
        {ZQ_T("C:"), ZQ_T("\\\\?\\C:\\")},
        {ZQ_T("C:\\"), ZQ_T("\\\\?\\C:\\")},
        {ZQ_T("d:\\Tools\\a.exe"), ZQ_T("\\\\?\\d:\\Tools\\a.exe")},
        {ZQ_T("C:\\dot.\\COM1.exe"), ZQ_T("\\\\?\\C:\\dot.\\COM1.exe")},
        {ZQ_T("C:\\trailing space \\a.exe"), ZQ_T("\\\\?\\C:\\trailing space \\a.exe")},
        {ZQ_T("\\\\server\\share"), ZQ_T("\\\\?\\UNC\\server\\share")},
        {ZQ_T("\\\\server\\share\\dir\\a.exe"), ZQ_T("\\\\?\\UNC\\server\\share\\dir\\a.exe")},
        // Given as they are: already extended, a device, not absolute, or
        // only resolved in the plain form.
        {ZQ_T("\\\\?\\C:\\a.exe"), ZQ_T("\\\\?\\C:\\a.exe")},
        {ZQ_T("\\\\?\\UNC\\s\\x\\a.exe"), ZQ_T("\\\\?\\UNC\\s\\x\\a.exe")},
        {ZQ_T("\\\\.\\PhysicalDrive0"), ZQ_T("\\\\.\\PhysicalDrive0")},
        {ZQ_T("relative\\a.exe"), ZQ_T("relative\\a.exe")},
        {ZQ_T("C:relative"), ZQ_T("C:relative")},
        {ZQ_T("\\rooted\\a.exe"), ZQ_T("\\rooted\\a.exe")},
        {ZQ_T("C:/Tools/a.exe"), ZQ_T("C:/Tools/a.exe")},
        {ZQ_T("C:\\Tools\\..\\a.exe"), ZQ_T("C:\\Tools\\..\\a.exe")},
        {ZQ_T("C:\\.\\a.exe"), ZQ_T("C:\\.\\a.exe")},
        {ZQ_T("\\\\server"), ZQ_T("\\\\server")},
        {ZQ_T("\\\\\\share"), ZQ_T("\\\\\\share")},
        {ZQ_T(""), ZQ_T("")},
        // A name that only begins with dots is a name.
        {ZQ_T("C:\\...x\\a.exe"), ZQ_T("\\\\?\\C:\\...x\\a.exe")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.plain));
        EXPECT_EQ(PathString(c.extended), platform::WindowsExtendedPath(c.plain));
    }
}

TEST(PathFormsTest, APlainPathNamesItsFileOnlyWithoutLengthDotSpaceOrDevice) {
    const PathString long_path = ZQ_T("C:\\") + PathString(255, ZQ_T('a')) + ZQ_T(".exe");
    struct Case {
        PathString plain;
        bool as_is;
    };
    const Case cases[] = {
        {ZQ_T("C:\\Tools\\a.exe"), true},
        {ZQ_T("\\\\server\\share\\a.exe"), true},
        {ZQ_T("C:\\Tools\\con.d\\a.exe"), false},
        {ZQ_T("C:\\COM1.exe"), false},
        {ZQ_T("C:\\com9"), false},
        {ZQ_T("C:\\LPT1.tar.gz"), false},
        {ZQ_T("C:\\NUL .exe"), false},
        {ZQ_T("C:\\aux"), false},
        {ZQ_T("C:\\prn.txt"), false},
        {ZQ_T("C:\\COM10.exe"), true},
        {ZQ_T("C:\\COM0.exe"), true},
        // The superscript one, two and three are port digits too.
        {ZQ_T("C:\\COM\u00B9.exe"), false},
        {ZQ_T("C:\\lpt\u00B2"), false},
        {ZQ_T("C:\\Tools\\LPT\u00B3 .tar.gz"), false},
        {ZQ_T("C:\\COM\u2074.exe"), true},  // superscript four: no port
        {ZQ_T("C:\\COM\u00B91.exe"), true},
        {ZQ_T("C:\\COM\u00BD.exe"), true},  // one half
        {ZQ_T("C:\\CONSOLE.exe"), true},
        {ZQ_T("C:\\NULL.exe"), true},
        {ZQ_T("C:\\xNUL.exe"), true},
        {ZQ_T("C:\\dot."), false},
        {ZQ_T("C:\\dot.\\a.exe"), false},
        {ZQ_T("C:\\space \\a.exe"), false},
        {ZQ_T("C:\\a.exe "), false},
        {ZQ_T("C:\\ lead.exe"), true},
        {ZQ_T("C:\\") + PathString(256, ZQ_T('a')), true},  // 259 characters
        {ZQ_T("C:\\") + PathString(257, ZQ_T('a')), false},
        {long_path, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.plain.substr(0, 40)));
        EXPECT_EQ(c.as_is, platform::WindowsPlainPathNamesFile(c.plain.c_str()));
    }
}

// A library's path for the loader's altered search: backslashes only (an
// install path may be written with "/"), nothing else changed.
TEST(PathFormsTest, ALibraryPathGoesToTheLoaderWithBackslashesOnly) {
    struct Case {
        const PathChar* path;
        const PathChar* loaded;
    };
    const Case cases[] = {
        {ZQ_T("C:\\Suite\\security\\zebscan\\druquara.dll"),
         ZQ_T("C:\\Suite\\security\\zebscan\\druquara.dll")},
        {ZQ_T("C:/Suite/security\\zebscan\\druquara.dll"),
         ZQ_T("C:\\Suite\\security\\zebscan\\druquara.dll")},
        {ZQ_T("//server/share/Suite\\druquara.dll"),
         ZQ_T("\\\\server\\share\\Suite\\druquara.dll")},
        {ZQ_T(""), ZQ_T("")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.path));
        EXPECT_EQ(PathString(c.loaded), platform::WindowsBackslashPath(c.path));
    }
}

TEST(PathFormsTest, EachBackendHandsOnTheFormItsSystemAndOtherProgramsTake) {
    const PathString plain = kWindows ? ZQ_T("C:\\Tools\\a.exe") : ZQ_T("/opt/tools/a.exe");
    const PathString device = kWindows ? ZQ_T("C:\\Tools\\COM1.exe") : ZQ_T("/opt/COM1.exe");
    if (kWindows) {
        EXPECT_EQ(ZQ_T("\\\\?\\C:\\Tools\\a.exe"), platform::SystemPath(plain.c_str()));
        EXPECT_EQ(plain, platform::PathForOtherPrograms(plain.c_str()));
        EXPECT_EQ(ZQ_T("\\\\?\\C:\\Tools\\COM1.exe"),
                  platform::PathForOtherPrograms(device.c_str()));
        // A superscript port digit names a device too.
        EXPECT_EQ(ZQ_T("\\\\?\\C:\\COM\u00B9.exe"),
                  platform::PathForOtherPrograms(ZQ_T("C:\\COM\u00B9.exe")));
    } else {
        for (const PathString& path : {plain, device}) {
            EXPECT_EQ(path, platform::SystemPath(path.c_str()));
            EXPECT_EQ(path, platform::PathForOtherPrograms(path.c_str()));
        }
    }
}

}  // namespace
