#pragma once
// A directory tree served through the file services, with every name confined to it. Not part of the
// public interface.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ber/result.h"
#include "mms/pdu.h"

namespace iecstack::server {

// Names are taken as clients give them: a leading '/' names the root, '/' separates directories.
// A name that holds a NUL byte, or that leads outside the root (through "..", or a symbolic link
// whose target lies outside), is refused with FileAccessDenied; nothing outside the root is ever
// opened, listed or removed. The checks are made by the kernel while it resolves the name, beneath
// the root's open descriptor, so a link swapped in meanwhile cannot lead out either.
class FileStore {
public:
    using Code = mms::FileErrorCode;

    // Null, with `error` set, when `root` is no directory we can open.
    static std::unique_ptr<FileStore> open(const std::string& root, std::string* error);
    ~FileStore();
    FileStore(const FileStore&) = delete;
    FileStore& operator=(const FileStore&) = delete;

    struct Listed {
        std::string name;  // the asked name's directory part, then the entry; directories end with '/'
        uint64_t size = 0;
        uint64_t modifiedMs = 0;
    };
    // A directory's regular files and subdirectories by name (symbolic links are not listed), or a
    // file on its own.
    Result<std::vector<Listed>, Code> list(const std::string& name) const;

    struct Opened {
        int fd = -1;  // the caller's to close
        uint64_t size = 0;
        uint64_t modifiedMs = 0;
    };
    // Regular files only.
    Result<Opened, Code> openForReading(const std::string& name) const;

    // Removes a regular file; FileBusy while one of `openFds` is that file.
    std::optional<Code> remove(const std::string& name, const std::vector<int>& openFds) const;

private:
    explicit FileStore(int rootFd) : rootFd_(rootFd) {}
    int openBeneath(const std::string& relative, int flags, Code* code) const;

    int rootFd_;
};

}  // namespace iecstack::server
