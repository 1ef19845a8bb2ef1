// Files named by file numbers, on POSIX descriptors: bytes in, bytes out, no
// encoding or newline translation.
#include "tools/files.h"

#include <QCoreApplication>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace anodix {

namespace {

// Highest file number handed out (file numbers are 16-bit).
constexpr int kMaxFileNumber = 32767;

std::map<int, int>& OpenFiles() {
    static std::map<int, int> files;  // file number -> descriptor
    return files;
}

int LowestFreeNumber() {
    int number = 1;
    for (const auto& entry : OpenFiles()) {
        if (entry.first != number) break;
        ++number;
    }
    return number <= kMaxFileNumber ? number : 0;
}

int Descriptor(int fileNumber) {
    const auto it = OpenFiles().find(fileNumber);
    return it == OpenFiles().end() ? -1 : it->second;
}

enum class Existence { NotNeeded, CheckedOnce, CheckedEveryAttempt };

struct ModeRow {
    int flags;
    Existence existence;
};

bool ModeFor(std::string_view word, ModeRow& row) {
    std::string upper(word);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    if (upper == "INPUT" || upper == "READ" || upper == "R") {
        row = {O_RDONLY, Existence::CheckedEveryAttempt};
    } else if (upper == "OUTPUT" || upper == "WRITE" || upper == "W") {
        row = {O_WRONLY | O_CREAT | O_TRUNC, Existence::NotNeeded};
    } else if (upper == "APPEND" || upper == "A") {
        row = {O_WRONLY | O_CREAT | O_APPEND, Existence::NotNeeded};
    } else if (upper == "BINARY" || upper == "B") {
        row = {O_RDWR | O_CREAT, Existence::NotNeeded};
    } else if (upper == "READBINARY" || upper == "RB") {
        row = {O_RDONLY, Existence::CheckedOnce};
    } else if (upper == "WRITEBINARY" || upper == "WB") {
        row = {O_WRONLY | O_CREAT, Existence::NotNeeded};
    } else {
        return false;
    }
    return true;
}

// One attempt to open: a descriptor, or -1. A directory is not a file and is refused.
// A file opened only for reading must be a plain file: a device or a pipe in its place
// (/dev/zero, a FIFO) would be read without end or would block the window in the open.
int TryOpen(const std::string& path, int flags) {
    const bool readOnly = (flags & O_ACCMODE) == O_RDONLY;
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC | (readOnly ? O_NONBLOCK : 0), 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode) || (readOnly && !S_ISREG(st.st_mode))) {
        ::close(fd);
        return -1;
    }
    if (readOnly) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

// Lets the window handle pending events between attempts (never sleeps).
void YieldToEvents() {
    if (QCoreApplication::instance() != nullptr) QCoreApplication::processEvents();
}

bool TimedOut(std::uint32_t start, int timeoutMs) {
    return timeoutMs <= 0 ||
           TickElapsed(start, TickCount()) >= static_cast<std::uint32_t>(timeoutMs);
}

}  // namespace

std::uint32_t TickMask(std::uint32_t value) { return value & 0x7FFFFFFFu; }

std::uint32_t TickCount() {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count();
    return TickMask(static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms)));
}

std::uint32_t TickElapsed(std::uint32_t start, std::uint32_t now) {
    // Both ticks are 31-bit; the difference modulo 2^31 survives a wrap.
    return TickMask(now - start);
}

int FileOpenByMode(const std::string& path, std::string_view mode, int timeoutMs) {
    const std::uint32_t start = TickCount();
    ModeRow row{};
    if (!ModeFor(mode, row) || path.empty()) return 0;
    if (row.existence != Existence::NotNeeded && !FileExists(path)) return 0;
    for (bool first = true;; first = false) {
        if (!first && row.existence == Existence::CheckedEveryAttempt && !FileExists(path))
            return 0;
        const int number = LowestFreeNumber();
        if (number != 0) {
            const int fd = TryOpen(path, row.flags);
            if (fd >= 0) {
                OpenFiles()[number] = fd;
                return number;
            }
        }
        YieldToEvents();
        if (TimedOut(start, timeoutMs)) return 0;
    }
}

bool FileCloseRetry(int fileNumber, int timeoutMs) {
    (void)timeoutMs;
    const auto it = OpenFiles().find(fileNumber);
    if (it == OpenFiles().end()) return false;
    const int fd = it->second;
    OpenFiles().erase(it);
    // The descriptor is released by the first close whatever it reports, so a
    // second close could only hit a descriptor opened since: report, don't retry.
    return ::close(fd) == 0;
}

bool FileExists(const std::string& path) {
    if (path.empty()) return false;
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::int64_t FileLength(int fileNumber) {
    const int fd = Descriptor(fileNumber);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_size);
}

bool FileReadAll(int fileNumber, std::string& bytes) {
    bytes.clear();
    const int fd = Descriptor(fileNumber);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) return false;
    if (S_ISREG(st.st_mode) && ::lseek(fd, 0, SEEK_SET) < 0) return false;
    if (S_ISREG(st.st_mode) && st.st_size > 0) bytes.reserve(static_cast<std::size_t>(st.st_size));
    // Read to the end rather than to the length seen at the start: the file may be
    // growing, and pipes have no length.
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) continue;
            bytes.clear();
            return false;
        }
        if (got == 0) return true;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
}

namespace {

FileIdentity IdentityFrom(const struct stat& st) {
    FileIdentity id;
    id.present = true;
    id.device = static_cast<std::uint64_t>(st.st_dev);
    id.inode = static_cast<std::uint64_t>(st.st_ino);
    id.size = static_cast<std::int64_t>(st.st_size);
    id.modified = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    id.changed = static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return id;
}

bool Refuse(std::string* error, std::string text) {
    if (error != nullptr) *error = std::move(text);
    return false;
}

}  // namespace

FileIdentity IdentityOf(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return {};
    return IdentityFrom(st);
}

bool ReadPlainFile(const std::string& path, std::string& bytes, FileIdentity* identity,
                   std::string* error) {
    bytes.clear();
    if (identity != nullptr) *identity = {};
    if (path.empty()) return Refuse(error, SystemErrorText(ENOENT));
    // Opened without waiting, so that a pipe in the file's place cannot block the open.
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int why = errno;
        if (identity != nullptr) *identity = IdentityOf(path);
        return Refuse(error, SystemErrorText(why));
    }
    struct stat st {};
    const bool looked = ::fstat(fd, &st) == 0;
    // A folder in the file's place keeps its identity too: it is not tried again until
    // it changes.
    if (identity != nullptr && looked) *identity = IdentityFrom(st);
    if (!looked || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Refuse(error, "not a plain file");
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (st.st_size > 0) bytes.reserve(static_cast<std::size_t>(st.st_size));
    // To the end rather than to the length seen at the start: the file may be growing.
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            const int why = errno;
            ::close(fd);
            bytes.clear();
            return Refuse(error, SystemErrorText(why));
        }
        if (got == 0) break;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return true;
}

std::string SystemErrorText(int error) {
    const char* text = ::strerrordesc_np(error);
    std::string phrase = text != nullptr ? text : "error " + std::to_string(error);
    if (!phrase.empty() && phrase.front() >= 'A' && phrase.front() <= 'Z')
        phrase.front() += 'a' - 'A';
    return phrase;
}

bool FileWrite(int fileNumber, std::string_view bytes) {
    const int fd = Descriptor(fileNumber);
    if (fd < 0) return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (wrote == 0) return false;
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

}  // namespace anodix
