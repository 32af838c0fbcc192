// POSIX: a file swapped for another file, a symbolic link or a FIFO after it
// was checked (or listed) is never followed, never blocks, and is never
// written; the repair only opens the very file (device and inode) that the
// check read.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/dir_search.h"
#include "platform/file_ref.h"
#include "infect/check_infection.h"
#include "infect/restore_host.h"
#include "sample_builder/sample_builder.h"
#include "scan/comm_func.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"
#include "check_then_repair.h"

namespace {

using sample::Bytes;
using Lines = std::vector<std::string>;
namespace fs = std::filesystem;

const char* const kTestEntries[] = {sample::kTestSignature};
const SignatureList kTestList = {kTestEntries, 1};

class RepairSwapTest : public ::testing::Test {
  protected:
    testsupport::TempDir dir_;
    std::string path_ = dir_.Join("infected.exe");
    std::string other_ = dir_.Join("other.exe");
    Bytes infected_ =
        sample::BuildInfected(sample::BuildPe(5000, sample::PeOptions{false, false, 5000}))
            .infected;

    void SetUp() override {
        testsupport::WriteFile(path_, infected_);
        testsupport::WriteFile(other_, infected_);
    }
};

// A reference to `path`, a file of the test's folder, as the walk makes it:
// located by a listing of the folder, which `search` holds open, with the
// listed size and the identity the listing found.
platform::FileRef ListedRef(platform::DirSearch* search, const std::string& path) {
    platform::FileRef ref(path.c_str());
    const fs::path file(path);
    EXPECT_TRUE(search->Open(file.parent_path().c_str()));
    for (; search->HasEntry(); search->Next()) {
        if (file.filename() == search->Name()) {
            EXPECT_EQ(platform::EntryKind::File, search->Kind());
            search->Locate(&ref);
            return ref;
        }
    }
    ADD_FAILURE() << "not listed: " << path;
    return ref;
}

TEST_F(RepairSwapTest, ASwapBetweenTheCheckAndTheRepairIsNeverWritten) {
    const std::string renamed = dir_.Join("renamed.exe");
    struct Case {
        const char* name;
        std::function<void()> swap;
        std::string line;
    };
    const Case cases[] = {
        {"another infected file renamed over it",
         [&] {
             testsupport::WriteFile(renamed, infected_);
             ASSERT_EQ(0, std::rename(renamed.c_str(), path_.c_str()));
         },
         "File changed since it was checked, nothing written"},
        {"a symbolic link to another infected file",
         [&] {
             fs::remove(path_);
             fs::create_symlink(other_, path_);
         },
         "Call CreateFile failed: 0x28"},
        {"a FIFO",
         [&] {
             fs::remove(path_);
             ASSERT_EQ(0, mkfifo(path_.c_str(), 0600));
         },
         "Call CreateFile failed: 0x16"},
    };
    // The file by its path, and as the walk lists it (the check then reads
    // it on the listing's word; only the repair's open asks again).
    for (const bool listed : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (listed ? ", listed" : ", by its path"));
            fs::remove(path_);
            testsupport::WriteFile(path_, infected_);
            platform::DirSearch search;
            platform::FileRef file =
                listed ? ListedRef(&search, path_) : platform::FileRef(path_.c_str());
            infecttest::CheckedRepair repair;
            ASSERT_NO_FATAL_FAILURE(infecttest::CheckThenRepair(file, kTestList, c.swap, &repair));
            EXPECT_EQ(FALSE, repair.result);
            EXPECT_EQ(Lines{c.line}, repair.lines);
            EXPECT_TRUE(infected_ == testsupport::ReadFile(other_));
            if (!fs::is_fifo(path_)) {
                EXPECT_TRUE(infected_ == testsupport::ReadFile(path_));
            }
        }
    }
}

// Every step opens without following a link or blocking on a FIFO.
TEST_F(RepairSwapTest, LinksAndFifosAreRefusedByEveryStep) {
    const std::string link = dir_.Join("link.exe");
    const std::string fifo = dir_.Join("fifo.exe");
    fs::create_symlink(other_, link);
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    struct Case {
        std::string path;
        std::string code;  // decimal
        std::string hex;
    };
    const Case cases[] = {{link, "40", "0x28"}, {fifo, "22", "0x16"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        testsupport::LogCapture log;
        BOOL infected = FALSE;
        EXPECT_EQ(FALSE, CommFunc::IsFilePE(c.path.c_str()));
        platform::FileRef file_ref(c.path.c_str());
        EXPECT_EQ(FALSE, CheckInfection(file_ref, &infected, kTestList));
        platform::FileRef repair_ref(c.path.c_str());
        EXPECT_EQ(FALSE, RestoreHost(repair_ref, kTestList));
        EXPECT_EQ((Lines{"[CommFunc::IsFilePE][66]Call CreateFile failed: " + c.code,
                         "Call CreateFile failed: " + c.hex, "Call CreateFile failed: " + c.hex}),
                  log.Lines());
    }
    EXPECT_TRUE(infected_ == testsupport::ReadFile(other_));
}

}  // namespace
