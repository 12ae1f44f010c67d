#include "platform/file_store_linux.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace nms::platform {
namespace {

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string baseOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

ports::WriteResult failure(const char* step, const std::string& path, int error) {
    return {false, std::string(step) + ": " + path + ": " + std::strerror(error)};
}

ports::FileStamp stampOf(const struct stat& st) {
    ports::FileStamp s;
    s.exists = true;
    s.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    s.ctimeNs = static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    s.size = static_cast<std::int64_t>(st.st_size);
    s.inode = static_cast<std::uint64_t>(st.st_ino);
    s.device = static_cast<std::uint64_t>(st.st_dev);
    return s;
}

int syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    const int rc = ::fsync(fd);
    const int err = rc == 0 ? 0 : errno;
    ::close(fd);
    return err;
}

// File systems whose files can change on another machine, which raises no inotify event here.
bool isNetworkFileSystem(const std::string& folder) {
    struct statfs fs {};
    if (::statfs(folder.c_str(), &fs) != 0) return true;
    switch (static_cast<unsigned long>(fs.f_type)) {
        case 0x6969UL:      // NFS
        case 0x517BUL:      // SMB
        case 0xFF534D42UL:  // CIFS
        case 0xFE534D42UL:  // SMB2
        case 0x65735546UL:  // FUSE (sshfs and the like)
        case 0x00C36400UL:  // Ceph
        case 0x5346414FUL:  // AFS
        case 0x01021997UL:  // 9P
        case 0x73757245UL:  // Coda
        case 0x01161970UL:  // GFS2
        case 0x7461636FUL:  // OCFS2
        case 0x0BD00BD0UL:  // Lustre
            return true;
        default:
            return false;
    }
}

// The rest of a temporary's name is "<pid>-<n>" (see replace()). A name that says no process is
// an old leftover too.
bool madeByAGoneProcess(const char* rest) {
    long pid = 0;
    const char* p = rest;
    for (; *p >= '0' && *p <= '9' && pid < 100000000; ++p) pid = pid * 10 + (*p - '0');
    if (p == rest || *p != '-' || pid <= 0) return true;
    return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

}  // namespace

LinuxFileStore::LinuxFileStore() : inotify_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}

LinuxFileStore::~LinuxFileStore() {
    if (inotify_ >= 0) ::close(inotify_);
}

bool LinuxFileStore::noEventsSince() {
    if (inotify_ < 0) return false;
    alignas(inotify_event) char buf[4096];
    bool quiet = true;
    while (true) {
        const ssize_t n = ::read(inotify_, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) break;
        if (n <= 0) {  // the watch is broken: stop relying on it
            ::close(inotify_);
            inotify_ = -1;
            watches_.clear();
            cached_.clear();
            return false;
        }
        quiet = false;
        for (ssize_t off = 0; off < n;) {
            const auto* ev = reinterpret_cast<const inotify_event*>(buf + off);
            // The folder itself went away or moved: its path must be watched afresh.
            if (ev->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) {
                for (auto it = watches_.begin(); it != watches_.end(); ++it)
                    if (it->second == ev->wd) {
                        if (!(ev->mask & IN_IGNORED)) ::inotify_rm_watch(inotify_, ev->wd);
                        watches_.erase(it);
                        break;
                    }
            }
            off += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
        }
    }
    if (!quiet) cached_.clear();
    return quiet;
}

bool LinuxFileStore::watch(const std::string& folder) {
    if (inotify_ < 0) return false;
    if (watches_.count(folder)) return true;
    if (isNetworkFileSystem(folder)) return false;
    const int wd = ::inotify_add_watch(inotify_, folder.c_str(),
                                       IN_CREATE | IN_DELETE | IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE |
                                           IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF |
                                           IN_ONLYDIR);
    if (wd < 0) return false;
    watches_[folder] = wd;
    return true;
}

void LinuxFileStore::forget(const std::string& path) { cached_.erase(path); }

std::string LinuxFileStore::temporaryPrefix(const std::string& path) {
    // Built by appending: GCC 12 warns falsely (-Wrestrict) on "literal" + std::string at -O3.
    std::string prefix(".");
    prefix.append(baseOf(path)).append(".tmp-");
    return prefix;
}

bool LinuxFileStore::fault(Step step) {
    if (!faultArmed_ || faultStep_ != step) return false;
    faultArmed_ = false;
    errno = faultError_;
    return true;
}

ports::FileStamp LinuxFileStore::stamp(const std::string& path) {
    if (noEventsSince()) {
        if (auto it = cached_.find(path); it != cached_.end()) return it->second;
    }
    // The watch is set before the stat, so that no change can fall between the two unseen.
    const bool watched = watch(folderOf(path));
    struct stat st {};
    const ports::FileStamp s = ::stat(path.c_str(), &st) == 0 ? stampOf(st) : ports::FileStamp{};
    if (watched) cached_[path] = s;
    return s;
}

std::optional<std::string> LinuxFileStore::read(const std::string& path, ports::FileStamp* stampOut) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return std::nullopt;
    }
    std::string content;
    // One byte beyond the size it has: the read that finds the end then needs no larger buffer,
    // which would copy a large file once more.
    content.resize(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 0) + 1);
    std::size_t have = 0;
    while (true) {
        if (have == content.size()) content.resize(content.size() + 4096);
        const ssize_t n = ::read(fd, content.data() + have, content.size() - have);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        have += static_cast<std::size_t>(n);
    }
    ::close(fd);
    content.resize(have);
    if (stampOut) *stampOut = stampOf(st);
    return content;
}

ports::BoundedRead LinuxFileStore::readAtMost(const std::string& path, std::size_t maxBytes) {
    ports::BoundedRead out;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) out.size = st.st_size;
    if (out.size > static_cast<std::int64_t>(maxBytes)) return out;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        out.error = std::strerror(errno);
        return out;
    }
    const std::size_t limit = maxBytes + 1;
    std::string content;
    std::size_t have = 0;
    while (have < limit) {
        // The size it has and one byte more; a device that says none grows it step by step.
        if (have == content.size())
            content.resize(
                std::min(limit, std::max<std::size_t>({content.size() * 2, 65536,
                                                       static_cast<std::size_t>(out.size) + 1})));
        const ssize_t n = ::read(fd, content.data() + have, content.size() - have);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            out.error = std::strerror(errno);
            ::close(fd);
            return out;
        }
        if (n == 0) break;
        have += static_cast<std::size_t>(n);
    }
    ::close(fd);
    content.resize(have);
    out.content = std::move(content);
    return out;
}

bool LinuxFileStore::isReadOnly(const std::string& path) {
    struct stat present {};
    return ::stat(path.c_str(), &present) == 0 && S_ISREG(present.st_mode) &&
           (present.st_mode & 0222) == 0;
}

ports::WriteResult LinuxFileStore::replace(const std::string& path, std::string_view content) {
    forget(path);
    // A rename needs only the folder's permission: a file made read-only (no write permission for
    // anyone) would be replaced without a word. Refused as a read-only folder is, root included.
    if (isReadOnly(path)) return {false, "write: " + path + ": the file is read-only"};
    const std::string folder = folderOf(path);
    const std::string temp =
        folder + "/" + temporaryPrefix(path) + std::to_string(::getpid()) + "-" + std::to_string(++counter_);

    const int fd = fault(Step::Create) ? -1 : ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return failure("create", temp, errno);
    auto abandon = [&](const char* step, int error) {
        ::close(fd);
        ::unlink(temp.c_str());
        return failure(step, temp, error);
    };

    // The new file keeps the permissions of the one it replaces.
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0) (void)::fchmod(fd, old.st_mode & 07777);

    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = fault(Step::Write) ? -1 : ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return abandon("write", errno);
        done += static_cast<std::size_t>(n);
    }
    if (fault(Step::Write)) return abandon("write", errno);
    if (fault(Step::Sync) || ::fdatasync(fd) != 0) return abandon("sync", errno);
    if (fault(Step::Close) || ::close(fd) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        return failure("close", temp, error);
    }
    if (fault(Step::Rename) || ::rename(temp.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        return failure("rename", path, error);
    }
    // The new content is in place; without this the rename itself might not survive a crash.
    const int folderError = fault(Step::SyncFolder) ? errno : syncFolder(folder);
    if (folderError != 0) return failure("sync folder", folder, folderError);
    return {};
}

ports::WriteResult LinuxFileStore::remove(const std::string& path) {
    forget(path);
    if (::unlink(path.c_str()) != 0) {
        if (errno == ENOENT) return {};
        return failure("remove", path, errno);
    }
    if (const int error = syncFolder(folderOf(path)); error != 0) return failure("sync folder", folderOf(path), error);
    return {};
}

ports::WriteResult LinuxFileStore::ensureWritableFolder(const std::string& folder) {
    if (folder.empty()) return {false, "mkdir: (empty path): " + std::string(std::strerror(ENOENT))};
    // Create each missing level, as mkdir -p does.
    for (std::size_t pos = 1; pos <= folder.size(); ++pos) {
        if (pos != folder.size() && folder[pos] != '/') continue;
        const std::string part = folder.substr(0, pos);
        if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return failure("mkdir", part, errno);
    }
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) return failure("stat", folder, errno);
    if (!S_ISDIR(st.st_mode)) return failure("mkdir", folder, ENOTDIR);
    // Permission bits do not tell the whole story (read-only mounts, root), so try it.
    const std::string probe = folder + "/.nms-write-test-" + std::to_string(::getpid());
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return failure("write", folder, errno);
    ::close(fd);
    ::unlink(probe.c_str());
    return {};
}

void LinuxFileStore::removeStaleTemporaries(const std::string& path) {
    const std::string folder = folderOf(path);
    const std::string prefix = temporaryPrefix(path);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    while (const dirent* e = ::readdir(dir)) {
        if (std::strncmp(e->d_name, prefix.c_str(), prefix.size()) != 0) continue;
        // A save in progress in another process (or in this one) keeps its temporary.
        if (!madeByAGoneProcess(e->d_name + prefix.size())) continue;
        ::unlinkat(::dirfd(dir), e->d_name, 0);
    }
    ::closedir(dir);
}

}  // namespace nms::platform
