#pragma once
// Files named by file numbers: opened by mode word with a short retry, read and
// written as bytes (no encoding or newline translation), closed with a retry.
#include <cstdint>
#include <string>
#include <string_view>

namespace anodix {

// The time-out the program gives every open and close of a data file: a file held by
// another program for a moment gets a few more attempts.
inline constexpr int kFileTimeoutMs = 10;

// The lowest free file number from 1 upward, or 0 when the file was not opened.
// Mode words (any letter case): INPUT/READ/R, OUTPUT/WRITE/W, APPEND/A, BINARY/B,
// READBINARY/RB, WRITEBINARY/WB. Retries until timeoutMs has elapsed, processing
// pending events between attempts, never sleeping; a time-out of 0 makes one attempt.
int FileOpenByMode(const std::string& path, std::string_view mode, int timeoutMs);

// Closes the file number; false when every attempt failed until the time-out.
bool FileCloseRetry(int fileNumber, int timeoutMs);

// True when the file's date can be read; false for an empty path.
bool FileExists(const std::string& path);

// The value with bit 31 cleared.
std::uint32_t TickMask(std::uint32_t value);
// The millisecond tick: a monotonic clock masked with TickMask.
std::uint32_t TickCount();
// Milliseconds from start to now, both ticks; a wrap of the 31-bit tick is allowed for.
std::uint32_t TickElapsed(std::uint32_t start, std::uint32_t now);

// Operations on an open file number; false or -1 on failure (bad number, I/O error).
std::int64_t FileLength(int fileNumber);
bool FileReadAll(int fileNumber, std::string& bytes);    // whole file from the start
bool FileWrite(int fileNumber, std::string_view bytes);  // at the current position

// What tells one state of a file from another: the device and inode it lies in, its
// size, and the times of its last modification and status change (nanoseconds). A file
// that cannot be looked at is not present; two looks at a missing file are equal.
struct FileIdentity {
    bool present = false;
    std::uint64_t device = 0, inode = 0;
    std::int64_t size = 0, modified = 0, changed = 0;
    bool operator==(const FileIdentity&) const = default;
};
FileIdentity IdentityOf(const std::string& path);

// Reads a plain file whole in one attempt, without file numbers, retries or events:
// what a redraw and a command-line program read curves with. A folder, device or pipe
// is refused. identity, when given, is the file's as it was read (not present when it
// could not be opened); error, when given, says why not ("no such file or directory",
// "not a plain file").
bool ReadPlainFile(const std::string& path, std::string& bytes, FileIdentity* identity = nullptr,
                   std::string* error = nullptr);

// The system's text for an error number in lower case ("no such file or directory"),
// untranslated: the rest of every message is English too.
std::string SystemErrorText(int error);

}  // namespace anodix
