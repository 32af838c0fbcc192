// The registry read on POSIX: the key file (see registry_posix.h) is
// checked, read and parsed, and the value copied from it.
#include "platform/posix/registry_posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix/posix_handles.h"
#include "platform/registry.h"

namespace platform {

namespace {

// A key file larger than this is not a key file.
constexpr size_t kMaxKeyFileBytes = 64 * 1024;

struct KeyFile {
    std::vector<std::pair<std::string, std::string>> values;
};

}  // namespace

RegistryStoreSettings& RegistryStore() {
    static RegistryStoreSettings settings;
    return settings;
}

namespace {

bool EqualsIgnoringAsciiCase(const std::string& a, const char* b) {
    const size_t length = std::strlen(b);
    if (a.size() != length) {
        return false;
    }
    for (size_t i = 0; i < length; ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z') {
            x = static_cast<char>(x - 'A' + 'a');
        }
        if (y >= 'A' && y <= 'Z') {
            y = static_cast<char>(y - 'A' + 'a');
        }
        if (x != y) {
            return false;
        }
    }
    return true;
}

// "SOFTWARE\Morlane\QRVCommon" -> "<folder>/Morlane/QRVCommon". False for a
// key with an empty, "." or ".." part or a '/' in a part.
bool KeyFilePath(const char* subkey, std::string* path) {
    std::vector<std::string> parts;
    std::string part;
    for (const char* p = subkey;; ++p) {
        if (*p == '\\' || *p == '\0') {
            if (part.empty() || part == "." || part == ".." ||
                part.find('/') != std::string::npos) {
                return false;
            }
            parts.push_back(part);
            part.clear();
            if (*p == '\0') {
                break;
            }
        } else {
            part += *p;
        }
    }
    size_t first = 0;
    if (EqualsIgnoringAsciiCase(parts[0], "SOFTWARE")) {
        first = 1;
    }
    if (first == parts.size()) {
        return false;
    }
    *path = RegistryStore().folder;
    for (size_t i = first; i < parts.size(); ++i) {
        *path += '/';
        *path += parts[i];
    }
    return true;
}

std::string TrimBlanks(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) {
        ++begin;
    }
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) {
        --end;
    }
    return text.substr(begin, end - begin);
}

void Parse(const std::string& text, KeyFile* key) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty() || line[0] == '#' || line[0] == ';') {
            continue;
        }
        const size_t equals = line.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        key->values.emplace_back(TrimBlanks(line.substr(0, equals)), line.substr(equals + 1));
    }
}

// Reads the whole key file into `text`; 0 or the code of the refusal.
OsError ReadKeyFile(const std::string& path, std::string* text) {
    const posix::ScopedFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.IsValid()) {
        const int error = errno;
        return (error == ENOENT || error == ENOTDIR) ? kRegistryNotFound : error;
    }
    struct stat status {};
    if (fstat(fd.Get(), &status) != 0) {
        return errno;
    }
    if (!S_ISREG(status.st_mode) || status.st_uid != RegistryStore().trusted_owner ||
        (status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        // Writable by someone other than the trusted owner: not trusted.
        return kRegistryNotFound;
    }
    if (static_cast<unsigned long long>(status.st_size) > kMaxKeyFileBytes) {
        return EFBIG;
    }
    char chunk[4096];
    for (;;) {
        const ssize_t got = read(fd.Get(), chunk, sizeof(chunk));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (got == 0) {
            return 0;
        }
        text->append(chunk, static_cast<size_t>(got));
        if (text->size() > kMaxKeyFileBytes) {
            return EFBIG;
        }
    }
}

const std::string* FindValue(const KeyFile& key, const char* name) {
    for (const auto& entry : key.values) {
        if (EqualsIgnoringAsciiCase(entry.first, name)) {
            return &entry.second;
        }
    }
    return nullptr;
}

}  // namespace

StepResult<RegistryReadStep> ReadMachineValue(const PathChar* subkey, const PathChar* name,
                                              uint32_t room, HeapBlock* block) {
    using Result = StepResult<RegistryReadStep>;
    std::string path;
    if (!KeyFilePath(subkey, &path)) {
        return Result::Failed(RegistryReadStep::OpenKey, kRegistryNotFound);
    }
    std::string text;
    const OsError read_error = ReadKeyFile(path, &text);
    if (read_error != 0) {
        return Result::Failed(RegistryReadStep::OpenKey, read_error);
    }
    KeyFile key;
    Parse(text, &key);
    const std::string* value = FindValue(key, name);
    if (value == nullptr) {
        return Result::Failed(RegistryReadStep::QuerySize, kRegistryNotFound);
    }
    const size_t size = value->size();  // at most the key file's size
    if (size > UINT32_MAX - room || !block->Allocate(static_cast<uint32_t>(size) + room)) {
        return Result::Failed(RegistryReadStep::Alloc, 0);
    }
    std::memcpy(block->Data(), value->data(), size);
    return Result();
}

}  // namespace platform
