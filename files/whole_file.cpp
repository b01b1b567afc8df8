#include "files/whole_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <climits>
#include <exception>

namespace {

// Keeps errno of the failure that matters across the clean-up calls.
struct ErrnoKeeper {
    int saved = errno;
    ~ErrnoKeeper() { errno = saved; }
};

std::string folder_of(const std::string& path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file that path finally names, following symbolic links; a link to a
// file not yet there names that file.
bool resolve_target(const char* path, std::string& target)
{
    target = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info;
        if (lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return true;
        char link[PATH_MAX];
        ssize_t size = readlink(target.c_str(), link, sizeof link);
        if (size < 0)
            return false;
        if (size_t(size) >= sizeof link) {
            errno = ENAMETOOLONG;
            return false;
        }
        std::string next(link, size_t(size));
        target = next.front() == '/' ? next : folder_of(target) + "/" + next;
    }
    errno = ELOOP;
    return false;
}

// A new file in folder, named after base, with the mode a fresh file gets
// under the process's umask.
int create_temporary(const std::string& folder, const std::string& base, std::string& name)
{
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = folder + "/." + base + "." + std::to_string(getpid()) + "." + std::to_string(counter++) + ".tmp";
        int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

bool write_all(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes.remove_prefix(size_t(written));
    }
    return true;
}

// Whether the old file may be replaced. It must be a regular file (renaming
// over a device or folder would destroy it, not save into it) that the user
// may write: renaming over a write-protected file would bypass its
// protection, as the folder's permissions alone would allow.
bool may_replace(const std::string& target, bool& exists)
{
    struct stat info;
    exists = stat(target.c_str(), &info) == 0;
    if (!exists)
        return errno == ENOENT;
    if (!S_ISREG(info.st_mode)) {
        errno = EINVAL;
        return false;
    }
    return faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) == 0;
}

// Gives the new file the old one's permission bits and owner; a missing old
// file keeps the fresh file's mode. An owner that cannot be kept refuses the
// save, so that replacing another user's file never makes it ours.
bool copy_mode(int fd, const std::string& target)
{
    struct stat old_info;
    if (stat(target.c_str(), &old_info) != 0)
        return errno == ENOENT;
    if (fchmod(fd, old_info.st_mode & 07777) != 0)
        return false;
    struct stat new_info;
    if (fstat(fd, &new_info) != 0)
        return false;
    if (new_info.st_uid == old_info.st_uid && new_info.st_gid == old_info.st_gid)
        return true;
    // A chown may clear set-id bits, so the bits are set once more.
    return fchown(fd, old_info.st_uid, old_info.st_gid) == 0 && fchmod(fd, old_info.st_mode & 07777) == 0;
}

bool fill_and_close(int fd, const std::string& target, std::string_view bytes)
{
    bool ok = copy_mode(fd, target) && write_all(fd, bytes) && fsync(fd) == 0;
    ErrnoKeeper keep;
    if (close(fd) != 0 && ok) {
        keep.saved = errno;
        ok = false;
    }
    return ok;
}

// Where the folder cannot take a temporary file (the user may write the
// file but not the folder), the file is overwritten where it stands: not
// crash-safe, but its owner, mode and links stay as they were.
bool write_in_place(const std::string& target, std::string_view bytes)
{
    // Non-blocking: a FIFO put in the file's place meanwhile cannot hang us.
    int fd = open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat info;
    bool ok = fstat(fd, &info) == 0;
    if (ok && !S_ISREG(info.st_mode)) {
        errno = EINVAL;
        ok = false;
    }
    ok = ok && write_all(fd, bytes) && ftruncate(fd, off_t(bytes.size())) == 0 && fsync(fd) == 0;
    ErrnoKeeper keep;
    if (close(fd) != 0 && ok) {
        keep.saved = errno;
        ok = false;
    }
    return ok;
}

// The rename is durable only once the folder's entry is on storage; a
// folder that cannot be synced still holds the complete new file.
void sync_folder(const std::string& folder)
{
    ErrnoKeeper keep;
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

bool read_exactly(int fd, size_t size, std::string& contents)
{
    try {
        contents.assign(size, '\0');
    } catch (const std::exception&) {
        errno = ENOMEM;
        return false;
    }
    size_t done = 0;
    while (done < size) {
        ssize_t got = read(fd, contents.data() + done, size - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0) {
            errno = EIO;  // the file shrank while being read
            return false;
        }
        done += size_t(got);
    }
    return true;
}

}  // namespace

bool read_whole_file(const char* path, std::string& contents)
{
    // Non-blocking so that a FIFO picked by mistake cannot hang the window.
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    bool ok = false;
    struct stat info;
    if (fstat(fd, &info) != 0) {
    } else if (!S_ISREG(info.st_mode)) {
        // Devices and the like report no size to read a whole file by.
        errno = EINVAL;
    } else {
        ok = read_exactly(fd, size_t(info.st_size), contents);
    }
    ErrnoKeeper keep;
    close(fd);
    return ok;
}

bool replace_file(const char* path, std::string_view bytes)
{
    try {
        std::string target;
        bool exists = false;
        if (!resolve_target(path, target) || !may_replace(target, exists))
            return false;
        std::string folder = folder_of(target);
        std::string base = target.substr(target.rfind('/') == std::string::npos ? 0 : target.rfind('/') + 1);
        std::string temporary;
        int fd = create_temporary(folder, base, temporary);
        if (fd < 0)
            return exists && write_in_place(target, bytes);
        if (!fill_and_close(fd, target, bytes) || rename(temporary.c_str(), target.c_str()) != 0) {
            ErrnoKeeper keep;
            unlink(temporary.c_str());
            return false;
        }
        sync_folder(folder);
        return true;
    } catch (const std::exception&) {
        errno = ENOMEM;
        return false;
    }
}

std::string file_failure_reason(const char* path, int error)
{
    // The file refused is named by its kind: the error a pipe or a device
    // gives (no reader, an invalid argument) would not say what is wrong.
    struct stat info;
    if (path && stat(path, &info) == 0) {
        if (S_ISFIFO(info.st_mode))
            return "Is a named pipe";
        if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode))
            return "Is a device";
        if (S_ISSOCK(info.st_mode))
            return "Is a socket";
        if (S_ISDIR(info.st_mode))
            return "Is a directory";
    }
    char text[256];
    return strerror_r(error, text, sizeof text);  // the GNU form: thread-safe, returns the text
}
