// Makes files that the scan cannot open while an object of this class
// lives: on POSIX by taking every permission away (and the file-access
// capabilities out of the thread that scans, and of the threads it starts);
// on Windows by holding each file open without sharing.
#pragma once

#include <filesystem>
#include <memory>

namespace scantest {

class UnreadableFiles {
  public:
    UnreadableFiles();
    ~UnreadableFiles();
    UnreadableFiles(const UnreadableFiles&) = delete;
    UnreadableFiles& operator=(const UnreadableFiles&) = delete;

    // Makes `path`, an existing file or (POSIX) folder, unreadable until
    // Release. False when that cannot be had here.
    bool Make(const std::filesystem::path& path);
    // Makes every file given readable again (before the tree is removed).
    void Release();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace scantest
