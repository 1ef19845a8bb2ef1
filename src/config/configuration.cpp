// Configuration files: the keys of the set-up and their text forms.
#include "config/configuration.h"

#include <climits>
#include <cmath>
#include <limits>

#include <unistd.h>

#include "tools/appdir.h"
#include "tools/files.h"
#include "tools/ini.h"
#include "tools/numtext.h"
#include "tools/replacefile.h"

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

}  // namespace

bool SaveConfiguration(const std::string& path, const ConfigurationValues& v) {
    // The keys are written into a copy of the file beside it, which then replaces the
    // file in one step: a save failing half-way leaves the file as it was.
    FileToReplace old;
    if (!ReadToReplace(path, old)) return false;
    const std::string copy = WriteBeside(old.target, old.bytes, old.mode);
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
    if (!ok) {
        ::unlink(copy.c_str());
        return false;
    }
    return MoveOver(copy, old.target);
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
