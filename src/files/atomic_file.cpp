#include "files/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "files/file_io.h"

namespace kf {

namespace {

// Read once, before main starts any thread: reading the umask means
// setting it, which would race with other threads creating files.
const mode_t kUmask = [] {
    const mode_t m = umask(0);
    umask(m);
    return m;
}();

// Temporaries being written, for removePendingTemporaries(). Fixed memory
// and lock-free flags: a signal handler may read it at any moment.
struct PendingSlot {
    std::atomic<bool> claimed{false};
    std::atomic<bool> live{false};
    char path[4096];
};
PendingSlot g_pending[8];

int claimSlot(const std::string& path) {
    if (path.size() >= sizeof g_pending[0].path) return -1;
    for (int i = 0; i < 8; ++i) {
        bool expected = false;
        if (!g_pending[i].claimed.compare_exchange_strong(expected, true)) continue;
        std::memcpy(g_pending[i].path, path.c_str(), path.size() + 1);
        g_pending[i].live = true;
        return i;
    }
    return -1;  // more writes at once than slots: that one is not removed on interrupt
}

void releaseSlot(int& slot) {
    if (slot < 0) return;
    g_pending[slot].live = false;
    g_pending[slot].claimed = false;
    slot = -1;
}

std::string dirName(const std::string& p) {
    const size_t slash = p.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : p.substr(0, slash);
}

std::string baseName(const std::string& p) {
    const size_t slash = p.find_last_of('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

// Where the data goes: a symbolic link's target (the link stays a link),
// and whether that is an existing device or pipe written in place. Returns
// 0 or an errno value; `mode` gets the permissions the new file should have.
int resolveTarget(const std::string& path, std::string& target, bool& inPlace, mode_t& mode) {
    if (path.empty()) return ENOENT;
    target = path;
    for (int hops = 0;; ++hops) {
        struct stat ls {};
        if (lstat(target.c_str(), &ls) != 0 || !S_ISLNK(ls.st_mode)) break;
        if (hops == 40) return ELOOP;
        std::vector<char> buf(static_cast<size_t>(ls.st_size > 0 ? ls.st_size : 255) + 1);
        const ssize_t n = readlink(target.c_str(), buf.data(), buf.size());
        if (n < 0) return errno;
        const std::string link(buf.data(), static_cast<size_t>(n));
        target = link.front() == '/' || target.find('/') == std::string::npos ? link : dirName(target) + "/" + link;
    }
    inPlace = false;
    mode = 0666 & ~kUmask;
    struct stat st {};
    if (stat(target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return EISDIR;
        if (!S_ISREG(st.st_mode)) {
            inPlace = true;
        } else {
            // A write-protected file stays protected, as writing over it in
            // place would fail; replacing keeps the file's permissions.
            if (access(target.c_str(), W_OK) != 0) return errno;
            mode = st.st_mode & 07777;
        }
    }
    return 0;
}

int createTemporary(const std::string& target, mode_t mode, std::string& temp) {
    // A hidden name beside the destination, short enough for any file system.
    const std::string pattern = dirName(target) + "/." + baseName(target).substr(0, 200) + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return -errno;
    fchmod(fd, mode);
    temp = name.data();
    return fd;
}

// The rename is only durable once the directory entry is on the disk.
void syncDirectory(const std::string& dir) {
    const int d = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (d < 0) return;
    (void)fsync(d);
    ::close(d);
}

}  // namespace

AtomicFile::~AtomicFile() { discard(); }

Status AtomicFile::fail(int err) {
    discard();
    return ioError(path_, err ? err : EIO);
}

Status AtomicFile::open(const std::string& path) {
    discard();
    path_ = path;
    mode_t mode = 0;
    if (const int err = resolveTarget(path, target_, inPlace_, mode)) return fail(err);
    if (inPlace_) {
        fd_ = ::open(target_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY);
        return fd_ < 0 ? fail(errno) : Status::success();
    }
    fd_ = createTemporary(target_, mode, temp_);
    if (fd_ < 0) return fail(-fd_);
    slot_ = claimSlot(temp_);
    return Status::success();
}

Status AtomicFile::write(const void* data, size_t size) {
    if (fd_ < 0) return Status::error("No open output file");
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd_, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return fail(n < 0 ? errno : EIO);
        p += n;
        size -= static_cast<size_t>(n);
    }
    return Status::success();
}

Status AtomicFile::writeAt(int64_t offset, const void* data, size_t size) {
    if (fd_ < 0) return Status::error("No open output file");
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::pwrite(fd_, p, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return fail(n < 0 ? errno : EIO);
        p += n;
        offset += n;
        size -= static_cast<size_t>(n);
    }
    return Status::success();
}

Status AtomicFile::commit() {
    if (fd_ < 0) return Status::error("No open output file");
    if (!inPlace_ && fsync(fd_) != 0) return fail(errno);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) return fail(errno);
    if (inPlace_) return Status::success();
    if (std::rename(temp_.c_str(), target_.c_str()) != 0) return fail(errno);
    temp_.clear();
    releaseSlot(slot_);
    syncDirectory(dirName(target_));
    return Status::success();
}

void AtomicFile::discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_.empty()) {
        unlink(temp_.c_str());
        temp_.clear();
    }
    releaseSlot(slot_);
}

Status writeFileAtomically(const std::string& path, const std::function<Status(AtomicFile&)>& produce) {
    AtomicFile f;
    if (Status st = f.open(path); !st) return st;
    if (Status st = produce(f); !st) return st;
    return f.commit();
}

Status checkWritable(const std::string& path) {
    std::string target, temp;
    bool inPlace = false;
    mode_t mode = 0;
    if (const int err = resolveTarget(path, target, inPlace, mode)) return ioError(path, err);
    if (inPlace) return Status::success();  // opening a pipe here would wait for its reader
    const int fd = createTemporary(target, mode, temp);
    if (fd < 0) return ioError(path, -fd);
    ::close(fd);
    unlink(temp.c_str());
    return Status::success();
}

bool isSameFile(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    const bool haveA = stat(a.c_str(), &sa) == 0, haveB = stat(b.c_str(), &sb) == 0;
    if (haveA && haveB) return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    if (haveA || haveB || a.empty() || b.empty()) return false;
    // Two files still to be made: the same if the names lead to one place.
    std::error_code ea, eb;
    namespace fs = std::filesystem;
    const auto pa = fs::weakly_canonical(fs::absolute(a, ea), ea), pb = fs::weakly_canonical(fs::absolute(b, eb), eb);
    return !ea && !eb && pa == pb;
}

void removePendingTemporaries() {
    for (PendingSlot& s : g_pending)
        if (s.live) unlink(s.path);
}

}  // namespace kf
