// A fresh folder per test, removed with everything in it afterwards, and
// small helpers to make and read files in it.
//
// The folders lie in the folder that the environment variable ZQ_TEST_TEMP
// names, where it is set, and in the system's temporary folder otherwise.
// The tests that walk folder trees run confined (tests/CMakeLists.txt,
// zq_add_test CONFINED): natively ZQ_TEST_TEMP is a private tmpfs in a
// private mount namespace, under Wine the root of a drive of its own, so a
// walk that goes astray never leaves what the tests made.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/types.h"

namespace testsupport {

using Bytes = std::vector<uint8_t>;

// The folder the temporary folders are made in.
std::filesystem::path TempBase();

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // The folder joined with `name` ("a/b" makes nested names), in the
    // platform's own path text.
    PathString Join(const std::string& name) const;

  private:
    std::filesystem::path path_;
};

// Writes `bytes` to `path`, replacing the file; makes missing parent folders.
void WriteFile(const std::filesystem::path& path, const Bytes& bytes);
void WriteFile(const std::filesystem::path& path, const std::string& text);
Bytes ReadFile(const std::filesystem::path& path);
std::string ReadText(const std::filesystem::path& path);

// `count` bytes of a repeatable pseudo-random pattern.
Bytes PatternBytes(size_t count, uint32_t seed);

}  // namespace testsupport
