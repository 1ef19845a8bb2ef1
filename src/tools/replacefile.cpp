#include "tools/replacefile.h"

#include "tools/files.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace anodix {

namespace {

// Longest part of the file's name taken into the name of the file beside it, so that
// a name near the system's limit still leaves room for the dot and the random part.
constexpr std::size_t kBesideNameLength = 200;

bool Refuse(std::string* reason, std::string text) {
    if (reason != nullptr) *reason = std::move(text);
    return false;
}

// No write permission, or a disk mounted read-only.
bool NotWritable(int error) { return error == EACCES || error == EPERM || error == EROFS; }

std::string ErrorText(int error) { return SystemErrorText(error); }

}  // namespace

bool ReplaceFile(const std::string& path, std::string_view bytes, std::string* reason) {
    if (path.empty()) return Refuse(reason, ErrorText(ENOENT));
    // A symbolic link stays: the file it names is replaced, or made when it names no
    // file yet. (A chain of more than 40 links ends where it is: the rename then fails.)
    std::string target = path;
    struct stat st {};
    for (int hops = 0; hops < 40 && ::lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
         ++hops) {
        std::string named(PATH_MAX, '\0');
        const ssize_t length = ::readlink(target.c_str(), named.data(), named.size());
        if (length <= 0) break;
        named.resize(static_cast<std::size_t>(length));
        // A relative link names a file from the link's own folder.
        if (named.front() != '/') named.insert(0, target.substr(0, target.rfind('/') + 1));
        target = std::move(named);
    }
    mode_t mode = 0;
    if (::stat(target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return Refuse(reason, ErrorText(EISDIR));
        if (!S_ISREG(st.st_mode)) return Refuse(reason, "it is not a plain file");
        // A file the user may not write stays as it is, although its folder would
        // take a replacement.
        if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
            return Refuse(reason,
                          NotWritable(errno) ? "the file is not writable" : ErrorText(errno));
        }
        mode = st.st_mode & 07777;
    } else if (errno == ENOENT) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    } else {
        return Refuse(reason, ErrorText(errno));
    }

    // Hidden, named after the file, in the same folder: a rename never crosses disks.
    // (Without a slash in the path, slash + 1 is 0: the folder part is empty.)
    const std::size_t slash = target.rfind('/');
    std::string beside =
        target.substr(0, slash + 1) + "." + target.substr(slash + 1, kBesideNameLength) + ".XXXXXX";
    const int fd = ::mkostemp(beside.data(), O_CLOEXEC);
    if (fd < 0)
        return Refuse(reason, NotWritable(errno) ? "the folder is not writable" : ErrorText(errno));
    // The new file starts private (0600); a disk that cannot hold the old permissions
    // (a FAT stick) leaves it so rather than failing the save.
    ::fchmod(fd, mode);
    int error = 0;
    for (std::size_t done = 0; error == 0 && done < bytes.size();) {
        const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote > 0) {
            done += static_cast<std::size_t>(wrote);
        } else if (wrote == 0) {
            error = EIO;
        } else if (errno != EINTR) {
            error = errno;
        }
    }
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && ::rename(beside.c_str(), target.c_str()) != 0) error = errno;
    if (error != 0) {
        ::unlink(beside.c_str());
        return Refuse(reason, ErrorText(error));
    }
    return true;
}

}  // namespace anodix
