#include "file_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace iecstack::server {

namespace {

using Code = mms::FileErrorCode;

Code codeFor(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
        case ENAMETOOLONG:
            return Code::FileNonExistent;
        case EXDEV:  // the name leads out of the root
        case ELOOP:  // a link where none is followed
        case EACCES:
        case EPERM:
        case EISDIR:
            return Code::FileAccessDenied;
        case EBUSY:
        case ETXTBSY:
            return Code::FileBusy;
        default:
            return Code::Other;
    }
}

uint64_t modifiedMs(const struct stat& st) {
    return static_cast<uint64_t>(st.st_mtim.tv_sec) * 1000 +
           static_cast<uint64_t>(st.st_mtim.tv_nsec / 1000000);
}

// The path below the root: leading and trailing slashes dropped, "." for the root itself. Null for
// a name that no file of ours can have.
std::optional<std::string> relativePath(const std::string& name) {
    if (name.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    const size_t first = name.find_first_not_of('/');
    if (first == std::string::npos) {
        return std::string(".");
    }
    const size_t last = name.find_last_not_of('/');
    return name.substr(first, last - first + 1);
}

// Without openat2 (older kernels, filters that refuse it): one component at a time, no link
// followed and no "..", which is stricter than needed but never leads out.
int openWalking(int rootFd, const std::string& relative, int flags) {
    std::vector<std::string> parts;
    size_t at = 0;
    while (at <= relative.size()) {
        const size_t slash = std::min(relative.find('/', at), relative.size());
        const std::string part = relative.substr(at, slash - at);
        if (part == "..") {
            errno = EXDEV;
            return -1;
        }
        if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        at = slash + 1;
    }
    if (parts.empty()) {
        return openat(rootFd, ".", flags | O_CLOEXEC);
    }
    int dir = rootFd;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        const int next = openat(dir, parts[i].c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int saved = errno;
        if (dir != rootFd) {
            close(dir);
        }
        if (next < 0) {
            errno = saved;
            return -1;
        }
        dir = next;
    }
    const int fd = openat(dir, parts.back().c_str(), flags | O_NOFOLLOW | O_CLOEXEC);
    const int saved = errno;
    if (dir != rootFd) {
        close(dir);
    }
    errno = saved;
    return fd;
}

std::string listingPrefix(const std::string& name) {
    if (name.empty()) {
        return "/";
    }
    return name.back() == '/' ? name : name + "/";
}

}  // namespace

std::unique_ptr<FileStore> FileStore::open(const std::string& root, std::string* error) {
    const int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        if (error != nullptr) {
            *error = "cannot serve files from " + root + ": " + std::strerror(errno);
        }
        return nullptr;
    }
    return std::unique_ptr<FileStore>(new FileStore(fd));
}

FileStore::~FileStore() {
    close(rootFd_);
}

int FileStore::openBeneath(const std::string& relative, int flags, Code* code) const {
    struct open_how how {};
    how.flags = static_cast<uint64_t>(flags | O_CLOEXEC);
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    int fd = static_cast<int>(syscall(SYS_openat2, rootFd_, relative.c_str(), &how, sizeof how));
    if (fd < 0 && (errno == ENOSYS || errno == EPERM)) {
        fd = openWalking(rootFd_, relative, flags);
    }
    if (fd < 0) {
        *code = codeFor(errno);
    }
    return fd;
}

Result<std::vector<FileStore::Listed>, Code> FileStore::list(const std::string& name) const {
    const auto relative = relativePath(name);
    if (!relative) {
        return Code::FileAccessDenied;
    }
    Code code = Code::Other;
    const int fd = openBeneath(*relative, O_RDONLY, &code);
    if (fd < 0) {
        return code;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        close(fd);
        return Code::Other;
    }
    std::vector<Listed> listed;
    if (S_ISREG(st.st_mode)) {
        close(fd);
        listed.push_back(Listed{name, static_cast<uint64_t>(st.st_size), modifiedMs(st)});
        return listed;
    }
    if (!S_ISDIR(st.st_mode)) {
        close(fd);
        return Code::FileAccessDenied;
    }
    DIR* dir = fdopendir(fd);  // owns fd from here
    if (dir == nullptr) {
        close(fd);
        return Code::Other;
    }
    const std::string prefix = listingPrefix(name);
    while (const dirent* entry = readdir(dir)) {
        const std::string entryName = entry->d_name;
        if (entryName == "." || entryName == "..") {
            continue;
        }
        struct stat es {};
        if (fstatat(dirfd(dir), entry->d_name, &es, AT_SYMLINK_NOFOLLOW) != 0) {
            continue;
        }
        if (S_ISREG(es.st_mode)) {
            listed.push_back(Listed{prefix + entryName, static_cast<uint64_t>(es.st_size), modifiedMs(es)});
        } else if (S_ISDIR(es.st_mode)) {
            listed.push_back(Listed{prefix + entryName + "/", 0, modifiedMs(es)});
        }
    }
    closedir(dir);
    std::sort(listed.begin(), listed.end(), [](const Listed& a, const Listed& b) { return a.name < b.name; });
    return listed;
}

Result<FileStore::Opened, Code> FileStore::openForReading(const std::string& name) const {
    const auto relative = relativePath(name);
    if (!relative) {
        return Code::FileAccessDenied;
    }
    Code code = Code::Other;
    const int fd = openBeneath(*relative, O_RDONLY | O_NONBLOCK, &code);
    if (fd < 0) {
        return code;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return Code::FileAccessDenied;
    }
    return Opened{fd, static_cast<uint64_t>(st.st_size), modifiedMs(st)};
}

std::optional<Code> FileStore::remove(const std::string& name, const std::vector<int>& openFds) const {
    const auto relative = relativePath(name);
    if (!relative) {
        return Code::FileAccessDenied;
    }
    const size_t slash = relative->rfind('/');
    const std::string parent = slash == std::string::npos ? "." : relative->substr(0, slash);
    const std::string base = slash == std::string::npos ? *relative : relative->substr(slash + 1);
    if (base == "." || base == "..") {
        return Code::FileAccessDenied;
    }
    Code code = Code::Other;
    const int dir = openBeneath(parent, O_PATH | O_DIRECTORY, &code);
    if (dir < 0) {
        return code;
    }
    struct stat st {};
    std::optional<Code> refusal;
    if (fstatat(dir, base.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        refusal = codeFor(errno);
    } else if (!S_ISREG(st.st_mode)) {
        refusal = Code::FileAccessDenied;
    } else {
        for (int fd : openFds) {
            struct stat os {};
            if (fstat(fd, &os) == 0 && os.st_dev == st.st_dev && os.st_ino == st.st_ino) {
                refusal = Code::FileBusy;
            }
        }
        if (!refusal && unlinkat(dir, base.c_str(), 0) != 0) {
            refusal = codeFor(errno);
        }
    }
    close(dir);
    return refusal;
}

}  // namespace iecstack::server
