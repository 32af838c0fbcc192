// The original file held in a backup of the stand-in quarantine library, read
// back through zqrestore's own restore.
#pragma once

#include <filesystem>

#include <gtest/gtest.h>

#include "restore.h"
#include "support/temp_dir.h"

namespace quarantinetest {

inline ::testing::AssertionResult BackupOriginal(const std::filesystem::path& backup,
                                                 testsupport::Bytes* original) {
    testsupport::TempDir scratch;
    const PathString out = scratch.Join("original");
    const druquara::RestoreOutcome outcome =
        druquara::RestoreBackup(backup.native().c_str(), out.c_str());
    if (outcome.status != druquara::RestoreStatus::Restored) {
        return ::testing::AssertionFailure() << outcome.message;
    }
    *original = testsupport::ReadFile(out);
    return ::testing::AssertionSuccess();
}

}  // namespace quarantinetest
