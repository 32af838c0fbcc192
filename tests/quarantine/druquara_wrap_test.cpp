// DruquaraWrap against the suite's registry key and the stand-in quarantine
// library (and its failing variants), one wrapper per test.
#include "quarantine/druquara_wrap.h"

#include <cerrno>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "infect/md5_context.h"
#include "backup_original.h"
#include "platform/path_combine.h"
#include "support/suite_fixture.h"
#include "support/log_capture.h"
#include "support/os_codes.h"
#include "support/temp_dir.h"

namespace {

using testsupport::kWindows;

namespace fs = std::filesystem;
using quarantinetest::BuildPath;
using quarantinetest::IsLibraryLoaded;
using testsupport::Bytes;
using Lines = std::vector<std::string>;

constexpr PathChar kDetectionName[] = ZQ_T("3rd.Infect.Cindervane");
const std::string kDoInitFailed = "[DruquaraWrap::QuarantineFile][147]Do init failed";

std::string Md5Hex(const Bytes& bytes) {
    MD5Context md5;
    md5.Init();
    md5.Update(bytes.data(), static_cast<uint32_t>(bytes.size()));
    return md5.HexDigest();
}

// "Name=Value" lines of a quarantine record.
std::string RecordValue(const std::string& record, const std::string& name) {
    const std::string prefix = name + "=";
    size_t start = 0;
    while (start < record.size()) {
        size_t end = record.find('\n', start);
        if (end == std::string::npos) {
            end = record.size();
        }
        const std::string line = record.substr(start, end - start);
        if (line.compare(0, prefix.size(), prefix) == 0) {
            return line.substr(prefix.size());
        }
        start = end + 1;
    }
    return "<missing>";
}

std::vector<fs::path> FilesWithExtension(const fs::path& folder, const std::string& extension) {
    std::vector<fs::path> found;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        if (entry.path().extension() == extension) {
            found.push_back(entry.path());
        }
    }
    return found;
}

class DruquaraWrapTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!registry_.Usable()) {
            GTEST_SKIP() << "this machine has the suite's registry key; the tests leave it alone";
        }
    }

    // The install folder with its trailing separator or without.
    PathString InstallPath(bool trailing_separator = false) const {
        PathString path = install_.Path().native();
        if (trailing_separator) {
            path += ZQ_PATH_SEP;
        }
        return path;
    }
    fs::path LibraryFolder() const { return install_.Path() / "security" / "zebscan"; }
    fs::path LibraryFile() const { return LibraryFolder() / ZQ_DRUQUARA_FILE_NAME; }
    fs::path QuarantineFolder() const { return LibraryFolder() / "Quarantine"; }

    // Puts the library built at `build_path` where the suite keeps it.
    void InstallLibrary(const char* build_path) {
        fs::create_directories(LibraryFolder());
        fs::copy_file(fs::path(BuildPath(build_path)), LibraryFile(),
                      fs::copy_options::overwrite_existing);
    }

    quarantinetest::SuiteRegistry registry_;
    testsupport::TempDir install_;
    testsupport::TempDir files_;
};

// How far the suite is set up before the wrapper starts.
enum class Suite { NoKey, KeyOnly, InstallPath };

// One way the wrapper gets no object: what the machine holds, how often a
// file is handed over afterwards, and the exact log.
struct FailureCase {
    const char* name;
    Suite suite;
    const char* library;  // the library variant installed, or none
    int quarantine_calls;
    Lines lines;
};

std::ostream& operator<<(std::ostream& out, const FailureCase& c) {
    return out << c.name;
}

std::vector<FailureCase> FailureCases() {
    return {
        // The key is read once: later files log only the missing instance.
        {"NoKey",
         Suite::NoKey,
         nullptr,
         2,
         {"[DruquaraWrap::Init][83]Call RegOpenKeyEx failed: 2", kDoInitFailed, kDoInitFailed}},
        {"KeyWithoutInstallPath",
         Suite::KeyOnly,
         nullptr,
         0,
         {"[DruquaraWrap::Init][90]Call RegQueryValueEx failed: 2"}},
        // The loader's own code.
        {"NoLibrary",
         Suite::InstallPath,
         nullptr,
         0,
         {"[DRUDllGetClassObject][22]Call LoadLibrary failed: " +
          std::to_string(quarantinetest::kLibraryMissingCode)}},
        // The library stays loaded until the wrapper goes.
        {"NoExport",
         Suite::InstallPath,
         ZQ_DRUQUARA_NOEXPORT_LIBRARY,
         1,
         {"[DRUDllGetClassObject][29]Call GetProcAddress failed: " +
              std::to_string(quarantinetest::kExportMissingCode),
          kDoInitFailed}},
        // The factory leaves a pointer that is no object: it must be dropped
        // and never used.
        {"FailingFactory",
         Suite::InstallPath,
         ZQ_DRUQUARA_FACTORYFAILS_LIBRARY,
         2,
         {"[DRUDllGetClassObject][36]Call CreateRecycleObject failed: 1234", kDoInitFailed,
          kDoInitFailed}},
    };
}

class DruquaraWrapFailureTest : public DruquaraWrapTest,
                                public ::testing::WithParamInterface<FailureCase> {};

TEST_P(DruquaraWrapFailureTest, LogsItsLinesKeepsNoObjectAndFreesTheLibrary) {
    const FailureCase& c = GetParam();
    if (c.library != nullptr) {
        InstallLibrary(c.library);
    }
    if (c.suite == Suite::KeyOnly) {
        registry_.CreateKey();
    } else if (c.suite == Suite::InstallPath) {
        registry_.SetInstallPath(InstallPath());
    }
    const bool has_library = c.library != nullptr;
    testsupport::LogCapture log;
    {
        DruquaraWrap wrap;
        EXPECT_EQ(has_library, wrap.HasLibrary());
        EXPECT_FALSE(wrap.HasObject());
        EXPECT_EQ(has_library, IsLibraryLoaded(LibraryFile().native()));
        const PathString file = files_.Join("a.exe");
        for (int i = 0; i < c.quarantine_calls; ++i) {
            wrap.QuarantineFile(file.c_str(), kDetectionName, 0);
        }
    }
    EXPECT_FALSE(IsLibraryLoaded(LibraryFile().native()));
    EXPECT_EQ(c.lines, log.Lines());
}

INSTANTIATE_TEST_SUITE_P(Failures, DruquaraWrapFailureTest, ::testing::ValuesIn(FailureCases()),
                         [](const testing::TestParamInfo<FailureCase>& row) {
                             return std::string(row.param.name);
                         });

// With or without a trailing separator on the install path, and with the
// value stored without its terminator, the library is found; everything
// succeeding logs nothing.
TEST_F(DruquaraWrapTest, InstallPathFormsAllReachTheLibraryWithoutALogLine) {
    struct Case {
        const char* name;
        bool trailing_separator;
        bool terminated;
    };
    const Case cases[] = {
        {"plain", false, true},
        {"trailing separator", true, true},
        {"no terminator", false, false},
        {"trailing separator, no terminator", true, false},
    };
    InstallLibrary(ZQ_DRUQUARA_LIBRARY);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.terminated) {
            registry_.SetInstallPath(InstallPath(c.trailing_separator));
        } else {
            registry_.SetInstallPathWithoutTerminator(InstallPath(c.trailing_separator));
        }
        testsupport::LogCapture log;
        {
            DruquaraWrap wrap;
            EXPECT_TRUE(wrap.HasLibrary());
            EXPECT_TRUE(wrap.HasObject());
        }
        EXPECT_EQ(log.Lines(), Lines{});
    }
}

TEST_F(DruquaraWrapTest, QuarantineReachesTheLibraryAndLeavesAnIdenticalCopyWithItsRecord) {
    InstallLibrary(ZQ_DRUQUARA_LIBRARY);
    registry_.SetInstallPath(InstallPath());
    const Bytes content = testsupport::PatternBytes(200000, 7);
    const PathString file = files_.Join("infected.exe");
    testsupport::WriteFile(file, content);

    testsupport::LogCapture log;
    {
        DruquaraWrap wrap;
        ASSERT_TRUE(wrap.HasObject());
        EXPECT_TRUE(IsLibraryLoaded(LibraryFile().native()));
        wrap.QuarantineFile(file.c_str(), kDetectionName, 0);
    }
    EXPECT_FALSE(IsLibraryLoaded(LibraryFile().native()));
    EXPECT_EQ(log.Lines(), Lines{});

    const auto copies = FilesWithExtension(QuarantineFolder(), ".quar");
    ASSERT_EQ(copies.size(), 1u);
    Bytes original;
    ASSERT_TRUE(quarantinetest::BackupOriginal(copies[0], &original));
    EXPECT_EQ(original, content);
    EXPECT_EQ(testsupport::ReadFile(file), content);  // the original untouched

    fs::path record_path = copies[0];
    record_path.replace_extension(".txt");
    const std::string record = testsupport::ReadText(record_path);
    EXPECT_EQ(RecordValue(record, "Original"), fs::path(file).u8string());
    EXPECT_EQ(RecordValue(record, "Detection"), "3rd.Infect.Cindervane");
    EXPECT_EQ(RecordValue(record, "Value"), "0");
    EXPECT_EQ(RecordValue(record, "MD5"), Md5Hex(content));
    EXPECT_EQ(RecordValue(record, "Size"), std::to_string(content.size()));
    EXPECT_EQ(RecordValue(record, "Time").size(), 19u);  // "YYYY-MM-DD HH:MM:SS"
}

// Only an absolute install path is used. An empty, relative or
// drive-relative one would load whatever library the current folder or the
// search path offers: it is refused with line 22 and ERROR_BAD_PATHNAME
// (EINVAL on POSIX), and nothing is loaded, even with a library lying where
// the relative path leads from the current folder.
TEST_F(DruquaraWrapTest, OnlyAnAbsoluteInstallPathIsUsed) {
    const std::string refused_line = "[DRUDllGetClassObject][22]Call LoadLibrary failed: " +
                                     std::to_string(testsupport::kErrRelativeLibraryPath);
    struct Case {
        PathString path;
        bool absolute;  // on this platform
    };
    // Absolute on Windows: the drive-rooted and the UNC form; on POSIX only
    // the rooted one (the others name folders below the current one).
    const Case forms[] = {
        {ZQ_T(""), false},
        {ZQ_T("suite"), false},
        {ZQ_T("C:suite"), false},
        {ZQ_T("\\\\server\\share\\suite"), kWindows},
        {ZQ_T("C:\\suite"), kWindows},
        {ZQ_T("/suite"), !kWindows},
    };
    std::vector<Case> cases;
    for (const Case& form : forms) {
        cases.push_back(form);
        if (!form.path.empty()) {
            cases.push_back({form.path + ZQ_PATH_SEP_STR, form.absolute});
        }
    }
    // A library where "suite" leads from the current folder.
    testsupport::TempDir current;
    const fs::path planted =
        current.Path() / "suite" / "security" / "zebscan" / ZQ_DRUQUARA_FILE_NAME;
    fs::create_directories(planted.parent_path());
    fs::copy_file(fs::path(BuildPath(ZQ_DRUQUARA_LIBRARY)), planted);
    const fs::path previous = fs::current_path();
    fs::current_path(current.Path());
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.path));
        registry_.SetInstallPath(c.path);
        testsupport::LogCapture log;
        {
            DruquaraWrap wrap;
            EXPECT_FALSE(wrap.HasLibrary());
            EXPECT_FALSE(IsLibraryLoaded(planted.native()));
        }
        const Lines lines = log.Lines();
        ASSERT_EQ(1u, lines.size());
        if (c.absolute) {
            // Handed to the loader, which finds no library there.
            EXPECT_EQ(0u, lines[0].find("[DRUDllGetClassObject][22]Call LoadLibrary failed: "));
            EXPECT_NE(refused_line, lines[0]);
        } else {
            EXPECT_EQ(refused_line, lines[0]);
        }
    }
    fs::current_path(previous);
}

// A joined library path longer than a path buffer is never cut and loaded.
// The install path here is as long as makes the cut path end in
// ".../security/zebscan/druquara", where a copy of the library lies (and
// Windows' loader would add ".dll" to it): nothing may be loaded.
TEST_F(DruquaraWrapTest, InstallPathTooLongForThePathBufferLoadsNothing) {
    const PathString cut_relative =
        ZQ_T("security") ZQ_PATH_SEP_STR ZQ_T("zebscan") ZQ_PATH_SEP_STR ZQ_T("druquara");
    const size_t install_length = platform::kMaxPathChars - 1 - 1 - cut_relative.size();
    PathString install = InstallPath() + ZQ_PATH_SEP_STR ZQ_T("p");
    ASSERT_LT(install.size(), install_length);
    install.append(install_length - install.size(), ZQ_T('x'));
    const fs::path cut_library = fs::path(install) / cut_relative;
    fs::create_directories(cut_library.parent_path());
    fs::copy_file(fs::path(BuildPath(ZQ_DRUQUARA_LIBRARY)), cut_library);
    registry_.SetInstallPath(install);

    testsupport::LogCapture log;
    {
        DruquaraWrap wrap;
        EXPECT_FALSE(wrap.HasLibrary());
        EXPECT_FALSE(wrap.HasObject());
        EXPECT_FALSE(IsLibraryLoaded(cut_library.native()));
    }
    EXPECT_EQ(log.Lines(), (Lines{"[DRUDllGetClassObject][22]Call LoadLibrary failed: " +
                                  std::to_string(quarantinetest::kNothingToLoadCode)}));
}

}  // namespace
