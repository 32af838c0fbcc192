// The quarantine tests' machine services on Windows: the real registry (in
// the program's default view, the 32-bit one under WOW64, as the wrapper
// reads it) and the loader's module list.
#include <windows.h>

#include <cstring>

#include <gtest/gtest.h>

#include "support/suite_fixture.h"

namespace quarantinetest {

namespace {

constexpr wchar_t kKey[] = L"SOFTWARE\\Morlane\\QRVCommon";
constexpr wchar_t kParentKey[] = L"SOFTWARE\\Morlane";
// Marks a key these tests made, so a real suite's key is never touched.
constexpr wchar_t kMarker[] = L"ZQTestKey";

bool KeyExists() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

bool KeyIsOurs() {
    DWORD size = 0;
    return RegGetValueW(HKEY_LOCAL_MACHINE, kKey, kMarker, RRF_RT_ANY, nullptr, nullptr, &size) ==
           ERROR_SUCCESS;
}

void RemoveKey() {
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kKey);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kParentKey);  // only when empty
}

void SetValue(const void* data, DWORD bytes) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_WRITE,
                                             nullptr, &key, nullptr));
    const LSTATUS status =
        RegSetValueExW(key, L"ProgramPath", 0, REG_SZ, static_cast<const BYTE*>(data), bytes);
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, status);
}

}  // namespace

SuiteRegistry::SuiteRegistry() {
    if (KeyExists()) {
        usable_ = KeyIsOurs();
        if (usable_) {
            RemoveKey();
        }
    }
}

SuiteRegistry::~SuiteRegistry() {
    if (usable_) {
        RemoveKey();
    }
}

void SuiteRegistry::CreateKey() {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_WRITE,
                                             nullptr, &key, nullptr));
    const DWORD one = 1;
    const LSTATUS status =
        RegSetValueExW(key, kMarker, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4);
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, status);
}

void SuiteRegistry::SetInstallPath(const PathString& path) {
    CreateKey();
    SetValue(path.c_str(), static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
}

void SuiteRegistry::SetInstallPathWithoutTerminator(const PathString& path) {
    CreateKey();
    // The registry adds the terminator itself when the character after the
    // data is NUL, as it is after a string's own: the data is followed by
    // another character here.
    PathString followed = path + L'X';
    SetValue(followed.data(), static_cast<DWORD>(path.size() * sizeof(wchar_t)));
}

bool IsLibraryLoaded(const PathString& path) {
    return GetModuleHandleW(path.c_str()) != nullptr;
}

PathString BuildPath(const char* path) {
    PathString converted(path, path + std::strlen(path));
    for (wchar_t& c : converted) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    if (!converted.empty() && converted[0] == L'\\') {
        converted.insert(0, L"Z:");
    }
    return converted;
}

const int kLibraryMissingCode = ERROR_MOD_NOT_FOUND;
const int kNothingToLoadCode = ERROR_INVALID_NAME;
const int kExportMissingCode = ERROR_PROC_NOT_FOUND;

}  // namespace quarantinetest
