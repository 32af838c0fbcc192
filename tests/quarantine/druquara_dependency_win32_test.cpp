// The quarantine library's own DLLs on Windows: a library that imports a DLL
// kept in its own folder gets that DLL, never one of the same name lying
// beside the program that loads it.
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/module_path.h"
#include "quarantine/dependent/zqdepend.h"
#include "quarantine/druquara_wrap.h"
#include "quarantine/recycle_object.h"
#include "support/log_capture.h"
#include "support/suite_fixture.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using quarantinetest::BuildPath;
using quarantinetest::IsLibraryLoaded;

TEST(DruquaraDependencyTest, TheLibraryGetsTheDllBesideItNotTheOneBesideTheProgram) {
    quarantinetest::SuiteRegistry registry;
    if (!registry.Usable()) {
        GTEST_SKIP() << "this machine has the suite's registry key; the tests leave it alone";
    }
    // The decoy lies beside this program, where the loader looks first for
    // a library's imports unless told otherwise.
    const PathString decoy = BuildPath(ZQ_DEPENDENCY_DECOY);
    ASSERT_EQ(fs::path(decoy), fs::path(platform::PathBesideExecutable(L"zqdepend.dll")));
    ASSERT_TRUE(fs::exists(decoy));

    testsupport::TempDir install;
    const fs::path folder = install.Path() / "security" / "zebscan";
    fs::create_directories(folder);
    const fs::path library = folder / "druquara.dll";
    const fs::path dependency = folder / "zqdepend.dll";
    fs::copy_file(fs::path(BuildPath(ZQ_DEPENDENT_LIBRARY)), library);
    fs::copy_file(fs::path(BuildPath(ZQ_DEPENDENCY_LIBRARY)), dependency);

    // The fixture does what it is for: a plain load by full path takes the
    // decoy, and the library's factory then fails with the decoy's answer
    // as its error code.
    {
        HMODULE plain = LoadLibraryW(library.c_str());
        ASSERT_NE(plain, nullptr) << GetLastError();
        EXPECT_TRUE(IsLibraryLoaded(decoy));
        EXPECT_FALSE(IsLibraryLoaded(dependency.native()));
        const auto factory = reinterpret_cast<CreateRecycleObjectFn>(
            reinterpret_cast<void*>(GetProcAddress(plain, kCreateRecycleObjectName)));
        ASSERT_NE(factory, nullptr);
        RecycleObject* object = nullptr;
        EXPECT_LT(factory(&kRecycleObjectIid, &object), 0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(kZqDependDecoyValue));
        EXPECT_EQ(object, nullptr);
        FreeLibrary(plain);
    }
    ASSERT_FALSE(IsLibraryLoaded(decoy));
    ASSERT_FALSE(IsLibraryLoaded(library.native()));

    // The wrapper's load takes the DLL beside the library: the factory hands
    // out its object and nothing is logged; so too with an install path
    // written with "/" (the loader's altered search wants backslashes).
    const std::wstring forms[] = {install.Path().native(), install.Path().generic_wstring(),
                                  install.Path().generic_wstring() + L"/"};
    for (const std::wstring& form : forms) {
        SCOPED_TRACE(fs::path(form).string());
        registry.SetInstallPath(form);
        testsupport::LogCapture log;
        {
            DruquaraWrap wrap;
            EXPECT_TRUE(wrap.HasObject());
            EXPECT_TRUE(IsLibraryLoaded(library.native()));
            EXPECT_TRUE(IsLibraryLoaded(dependency.native()));
            EXPECT_FALSE(IsLibraryLoaded(decoy));
        }
        EXPECT_EQ(log.Lines(), std::vector<std::string>{});
        EXPECT_FALSE(IsLibraryLoaded(library.native()));
        EXPECT_FALSE(IsLibraryLoaded(dependency.native()));
    }
}

}  // namespace
