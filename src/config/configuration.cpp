// Configuration files: the keys of the set-up and their text forms.
#include "config/configuration.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tools/appdir.h"
#include "tools/files.h"
#include "tools/ini.h"
#include "tools/numtext.h"

namespace anodix {

namespace {

std::int32_t DeviceNumber(const std::string& text) {
    const double value = RoundHalfEven(LeadingNumber(text));
    constexpr double low = std::numeric_limits<std::int32_t>::min();
    constexpr double high = std::numeric_limits<std::int32_t>::max();
    if (!(value >= low)) return std::numeric_limits<std::int32_t>::min();
    if (value > high) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(value);
}

float Number(const std::string& text) {
    const double value = LeadingNumber(text);
    constexpr double limit = std::numeric_limits<float>::max();
    if (value > limit) return std::numeric_limits<float>::max();
    if (value < -limit) return -std::numeric_limits<float>::max();
    return static_cast<float>(value);
}

// A copy of the file (or an empty file when there is none yet) beside it, with its
// permissions: "" when it cannot be made. The keys are written into the copy, which
// then replaces the file in one step, so that a save failing half-way (a full disk)
// leaves the file as it was and no half-written file behind.
std::string CopyBeside(const std::string& target) {
    std::string bytes;
    mode_t mode = 0;
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode) || ::access(target.c_str(), W_OK) != 0) return {};
        const int number = FileOpenByMode(target, "RB", 0);
        if (number == 0) return {};
        const bool read = FileReadAll(number, bytes);
        FileCloseRetry(number, 0);
        if (!read) return {};
        mode = st.st_mode & 07777;
    } else if (errno == ENOENT) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    } else {
        return {};
    }
    const std::size_t slash = target.rfind('/');
    std::string copy = slash == std::string::npos
                           ? "." + target + ".save-XXXXXX"
                           : target.substr(0, slash + 1) + "." + target.substr(slash + 1) + ".save-XXXXXX";
    const int fd = ::mkostemp(copy.data(), O_CLOEXEC);
    if (fd < 0) return {};
    bool ok = ::fchmod(fd, mode) == 0;
    for (std::size_t done = 0; ok && done < bytes.size();) {
        const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        ok = wrote > 0;
        if (ok) done += static_cast<std::size_t>(wrote);
    }
    ok = (::close(fd) == 0) && ok;
    if (!ok) {
        ::unlink(copy.c_str());
        return {};
    }
    return copy;
}

}  // namespace

bool SaveConfiguration(const std::string& path, const ConfigurationValues& v) {
    if (path.empty()) return false;
    // Through a symbolic link to the file it names, keeping the link.
    std::string target = path;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }
    const std::string copy = CopyBeside(target);
    if (copy.empty()) return false;

    bool ok = true;
    auto put = [&](const char* section, const std::string& key, const std::string& value) {
        ok = ok && WriteIni(copy, section, key, value);
    };
    put("Form", "Mode", v.Mode);
    put("FORM", "Top", GeneralNumber(v.Top));
    put("FORM", "Left", GeneralNumber(v.Left));
    put("FORM", "Width", GeneralNumber(v.Width));
    put("FORM", "Height", GeneralNumber(v.Height));
    put("DISPLAY", "Ia", v.Ia);
    put("DISPLAY", "Ua", v.Ua);
    put("DISPLAY", "Pa", v.Pa);
    put("DISPLAY", "Ld", v.Ld);
    put("DATA", "InDevice", std::to_string(v.InDevice));
    put("DATA", "OutDevice", std::to_string(v.OutDevice));
    put("DATA", "VG1", v.VG1);
    put("DATA", "VG2", v.VG2);
    for (std::size_t k = 0; k < v.Import.size(); ++k) put("IMPORT", std::to_string(k), v.Import[k]);
    put("CAL", "X", GeneralNumber(v.CalX));
    put("CAL", "Y", GeneralNumber(v.CalY));
    ok = ok && ::rename(copy.c_str(), target.c_str()) == 0;
    if (!ok) ::unlink(copy.c_str());
    return ok;
}

ConfigurationValues ReadConfiguration(const std::string& path) {
    ConfigurationValues v;
    v.Top = Number(ReadIni(path, "FORM", "Top"));
    v.Left = Number(ReadIni(path, "FORM", "Left"));
    v.Width = Number(ReadIni(path, "FORM", "Width"));
    v.Height = Number(ReadIni(path, "FORM", "Height"));
    v.Ia = ReadIni(path, "DISPLAY", "Ia");
    v.Ua = ReadIni(path, "DISPLAY", "Ua");
    v.Pa = ReadIni(path, "DISPLAY", "Pa");
    v.Ld = ReadIni(path, "DISPLAY", "Ld");
    v.InDevice = DeviceNumber(ReadIni(path, "DATA", "InDevice"));
    v.OutDevice = DeviceNumber(ReadIni(path, "DATA", "OutDevice"));
    v.VG1 = ReadIni(path, "DATA", "VG1");
    v.VG2 = ReadIni(path, "DATA", "VG2");
    v.Mode = ReadIni(path, "FORM", "Mode");
    for (std::size_t k = 0; k < v.Import.size(); ++k) v.Import[k] = ReadIni(path, "IMPORT", std::to_string(k));
    return v;
}

std::string MruPath() { return ProgramDirectory() + "/VYR.mru"; }

bool RecordMostRecent(const std::string& configurationPath) {
    return WriteIni(MruPath(), "LAST", "Last", configurationPath);
}

std::string ReadMostRecent() { return ReadIni(MruPath(), "LAST", "Last"); }

double TwipsPerPixel(double logicalDpi) { return logicalDpi > 0 ? 1440.0 / logicalDpi : 15.0; }

double PixelsToTwips(double pixels, double logicalDpi) { return pixels * TwipsPerPixel(logicalDpi); }

int TwipsToPixels(double twips, double logicalDpi) {
    const double pixels = RoundHalfEven(twips / TwipsPerPixel(logicalDpi));
    constexpr double limit = std::numeric_limits<int>::max();
    if (!(pixels > -limit)) return -std::numeric_limits<int>::max();
    if (pixels > limit) return std::numeric_limits<int>::max();
    return static_cast<int>(pixels);
}

}  // namespace anodix
