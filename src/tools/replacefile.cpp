#include "tools/replacefile.h"

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tools/files.h"

namespace anodix {

bool ReadToReplace(const std::string& path, FileToReplace& file) {
    if (path.empty()) return false;
    file.target = path;
    file.bytes.clear();
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            file.target = real;
            std::free(real);
        }
    }
    if (::stat(file.target.c_str(), &st) == 0) {
        // A file the user may not write stays as it is.
        if (!S_ISREG(st.st_mode) || ::access(file.target.c_str(), W_OK) != 0) return false;
        const int number = FileOpenByMode(file.target, "RB", 0);
        if (number == 0) return false;
        const bool read = FileReadAll(number, file.bytes);
        FileCloseRetry(number, 0);
        if (!read) return false;
        file.mode = st.st_mode & 07777;
        return true;
    }
    if (errno != ENOENT) return false;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    file.mode = 0666 & ~mask;
    return true;
}

std::string WriteBeside(const std::string& target, const std::string& bytes, mode_t mode) {
    // Named after the target, hidden, in the same folder (a rename never crosses disks).
    const std::size_t slash = target.rfind('/');
    std::string beside = slash == std::string::npos
                             ? "." + target + ".XXXXXX"
                             : target.substr(0, slash + 1) + "." + target.substr(slash + 1) + ".XXXXXX";
    const int fd = ::mkostemp(beside.data(), O_CLOEXEC);
    if (fd < 0) return {};
    bool ok = ::fchmod(fd, mode) == 0;
    for (std::size_t done = 0; ok && done < bytes.size();) {
        const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        ok = wrote > 0;
        if (ok) done += static_cast<std::size_t>(wrote);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok) {
        ::unlink(beside.c_str());
        return {};
    }
    return beside;
}

bool MoveOver(const std::string& beside, const std::string& target) {
    if (::rename(beside.c_str(), target.c_str()) == 0) return true;
    ::unlink(beside.c_str());
    return false;
}

}  // namespace anodix
