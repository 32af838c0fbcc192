// Rotation of the log file when the log starts.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "log/logger.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

TEST(LoggerRotation, MovesAFileOf512KiBOrMoreToTheBackup) {
    struct Case {
        const char* name;
        size_t log_size;  // 0: no log file
        bool backup_exists;
        bool backup_read_only;
        bool rotates;
    };
    const Case cases[] = {
        {"no log file", 0, false, false, false},
        {"one byte below the limit", 524287, true, false, false},
        {"at the limit", 524288, false, false, true},
        {"above the limit", 600000, true, false, true},
        {"read-only backup replaced", 524288, true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::TempDir dir;
        const fs::path log = dir.Path() / "ZQCindervane.log";
        const fs::path backup = dir.Path() / "ZQCindervane.log0";
        const std::string old_log(c.log_size, 'L');
        if (c.log_size > 0) {
            testsupport::WriteFile(log, old_log);
        }
        if (c.backup_exists) {
            testsupport::WriteFile(backup, std::string("old backup"));
            if (c.backup_read_only) {
                fs::permissions(
                    backup,
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
            }
        }

        ASSERT_EQ(g_Logger.Init(log.native().c_str()), 1);
        g_Logger.Write("new run");
        g_Logger.Stop();

        const std::string text = testsupport::ReadText(log);
        std::string last_message;
        std::string stamp;
        const auto lines = testsupport::SplitCrLfLines(text.substr(text.rfind('L') + 1));
        ASSERT_EQ(lines.size(), 1u);
        ASSERT_TRUE(testsupport::SplitLogLine(lines[0], &stamp, &last_message));
        EXPECT_EQ(last_message, "new run");
        if (c.rotates) {
            EXPECT_EQ(testsupport::ReadText(backup), old_log);
            EXPECT_EQ(text.find('L'), std::string::npos) << "the new log starts empty";
        } else {
            EXPECT_EQ(text.substr(0, c.log_size), old_log) << "the log is appended to";
            EXPECT_EQ(fs::exists(backup), c.backup_exists);
        }
    }
}

}  // namespace
