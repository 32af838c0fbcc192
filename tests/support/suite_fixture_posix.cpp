// The quarantine tests' machine services on POSIX: the registry store moved
// to a temporary folder that the test user owns, and dlopen's RTLD_NOLOAD.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include <gtest/gtest.h>

#include "platform/posix/registry_posix.h"
#include "support/suite_fixture.h"
#include "support/temp_dir.h"

namespace quarantinetest {

namespace {

// The store's folder for the running test; one SuiteRegistry at a time.
std::unique_ptr<testsupport::TempDir> g_store;

std::filesystem::path KeyFile() {
    return g_store->Path() / "Morlane" / "QRVCommon";
}

void WriteKeyFile(const std::string& text) {
    testsupport::WriteFile(KeyFile(), text);
    ASSERT_EQ(0, chmod(KeyFile().c_str(), 0644));
}

}  // namespace

SuiteRegistry::SuiteRegistry() {
    g_store = std::make_unique<testsupport::TempDir>();
    platform::SetRegistryFolderForTesting(g_store->Path().c_str(), geteuid());
}

SuiteRegistry::~SuiteRegistry() {
    platform::SetRegistryFolderForTesting("/etc", 0);
    g_store.reset();
}

void SuiteRegistry::CreateKey() {
    WriteKeyFile("# the suite's settings\n");
}

void SuiteRegistry::SetInstallPath(const PathString& path) {
    WriteKeyFile("Version=1\nProgramPath=" + path + "\n");
}

void SuiteRegistry::SetInstallPathWithoutTerminator(const PathString& path) {
    WriteKeyFile("ProgramPath=" + path);
}

bool IsLibraryLoaded(const PathString& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) {
        return false;
    }
    dlclose(handle);
    return true;
}

PathString BuildPath(const char* path) {
    return path;
}

const int kLibraryMissingCode = ENOENT;
const int kNothingToLoadCode = ENOENT;
const int kExportMissingCode = ENOSYS;

}  // namespace quarantinetest
