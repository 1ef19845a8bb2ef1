// Configuration files: the keys of the set-up and their text forms.
#include "config/configuration.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <iterator>
#include <limits>
#include <utility>
#include <vector>

#include "tools/appdir.h"
#include "tools/files.h"
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

// The sections of a configuration and their keys (the mode's section "Form" is "FORM").
const std::pair<const char*, std::vector<const char*>> kConfigurationKeys[] = {
    {"FORM", {"Mode", "Top", "Left", "Width", "Height"}},
    {"DISPLAY", {"Ia", "Ua", "Pa", "Ld", "Ua0", "Ia0", "Vin"}},
    {"DATA", {"InDevice", "OutDevice", "VG1", "VG2"}},
    {"IMPORT", {"0", "1", "2", "3", "4"}},
    {"CAL", {"X", "Y", "HzV", "HzI"}},
    {"STAGE", {"Bplus", "Ra", "Rk", "Rl", "Bypassed", "PushPull", "Raa", "Bias"}}};

}  // namespace

bool PutConfiguration(IniDocument& document, const ConfigurationValues& v) {
    bool ok = true;
    auto put = [&](const char* section, const std::string& key, const std::string& value) {
        ok = document.Set(section, key, value) && ok;
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
    if (v.CornerV) put("CAL", "HzV", GeneralNumber(*v.CornerV));
    if (v.CornerI) put("CAL", "HzI", GeneralNumber(*v.CornerI));
    put("DISPLAY", "Ua0", v.Ua0);
    put("DISPLAY", "Ia0", v.Ia0);
    put("DISPLAY", "Vin", v.Vin);
    put("STAGE", "Bplus", v.Bplus);
    put("STAGE", "Ra", v.Ra);
    put("STAGE", "Rk", v.Rk);
    put("STAGE", "Rl", v.Rl);
    put("STAGE", "Bypassed", v.Bypassed);
    put("STAGE", "PushPull", v.PushPull);
    put("STAGE", "Raa", v.Raa);
    put("STAGE", "Bias", v.Bias);
    return ok;
}

ConfigurationValues GetConfiguration(const IniDocument& document) {
    auto get = [&](const char* section, const std::string& key) {
        return document.Get(section, key);
    };
    ConfigurationValues v;
    v.Top = Number(get("FORM", "Top"));
    v.Left = Number(get("FORM", "Left"));
    v.Width = Number(get("FORM", "Width"));
    v.Height = Number(get("FORM", "Height"));
    v.Ia = get("DISPLAY", "Ia");
    v.Ua = get("DISPLAY", "Ua");
    v.Pa = get("DISPLAY", "Pa");
    v.Ld = get("DISPLAY", "Ld");
    v.InDevice = DeviceNumber(get("DATA", "InDevice"));
    v.OutDevice = DeviceNumber(get("DATA", "OutDevice"));
    v.VG1 = get("DATA", "VG1");
    v.VG2 = get("DATA", "VG2");
    v.Mode = get("FORM", "Mode");
    for (std::size_t k = 0; k < v.Import.size(); ++k)
        v.Import[k] = get("IMPORT", std::to_string(k));
    v.CalX = Number(get("CAL", "X"));
    v.CalY = Number(get("CAL", "Y"));
    // A corner is given only by a number; a key left empty (or a negative number) is none.
    for (auto [key, corner] : {std::pair{"HzV", &v.CornerV}, std::pair{"HzI", &v.CornerI}}) {
        const std::string text = get("CAL", key);
        const double hz = LeadingNumber(text);
        if (text.find_first_of("0123456789") != std::string::npos && hz >= 0.0 && hz <= 1000.0)
            *corner = static_cast<float>(hz);
    }
    v.Ua0 = get("DISPLAY", "Ua0");
    v.Ia0 = get("DISPLAY", "Ia0");
    v.Vin = get("DISPLAY", "Vin");
    v.Bplus = get("STAGE", "Bplus");
    v.Ra = get("STAGE", "Ra");
    v.Rk = get("STAGE", "Rk");
    v.Rl = get("STAGE", "Rl");
    v.Bypassed = get("STAGE", "Bypassed");
    v.PushPull = get("STAGE", "PushPull");
    v.Raa = get("STAGE", "Raa");
    v.Bias = get("STAGE", "Bias");
    for (const auto& [section, keys] : kConfigurationKeys) {
        if (document.Has(section)) v.held.insert(section);
        for (const char* key : keys)
            if (document.Has(section, key)) v.held.insert(std::string(section) + "/" + key);
    }
    return v;
}

bool SaveConfiguration(const std::string& path, const ConfigurationValues& values,
                       std::string* reason) {
    // Keys the program does not write stay: the file is read first, and replaced whole
    // (a save failing half-way leaves it as it was).
    IniDocument document;
    if (!document.Load(path)) {
        if (reason != nullptr) *reason = "the file cannot be read";
        return false;
    }
    if (!PutConfiguration(document, values)) {
        // A text with a line break (a file name may hold one) would not read back.
        if (reason != nullptr) *reason = "a text holds a line break";
        return false;
    }
    return document.Save(path, reason);
}

std::optional<ConfigurationValues> ReadConfiguration(const std::string& path,
                                                     std::string* notConfiguration) {
    IniDocument document;
    if (!FileExists(path) || !document.Load(path)) return std::nullopt;
    ConfigurationValues v = GetConfiguration(document);
    const bool some = std::any_of(std::begin(kConfigurationKeys), std::end(kConfigurationKeys),
                                  [&v](const auto& section) { return v.Holds(section.first); });
    if (!some) {
        if (notConfiguration != nullptr)
            *notConfiguration =
                "not a configuration: it holds none of the sections [FORM], [DISPLAY], [DATA], "
                "[IMPORT], [CAL] and [STAGE]";
        return std::nullopt;
    }
    return v;
}

std::string MruPath() { return ProgramDirectory() + "/VYR.mru"; }

bool RecordMostRecent(const std::string& configurationPath) {
    return WriteIni(MruPath(), "LAST", "Last", configurationPath);
}

std::string ReadMostRecent() { return ReadIni(MruPath(), "LAST", "Last"); }

double TwipsPerPixel(double logicalDpi) { return logicalDpi > 0 ? 1440.0 / logicalDpi : 15.0; }

double PixelsToTwips(double pixels, double logicalDpi) {
    return pixels * TwipsPerPixel(logicalDpi);
}

int TwipsToPixels(double twips, double logicalDpi) {
    const double pixels = RoundHalfEven(twips / TwipsPerPixel(logicalDpi));
    constexpr double limit = std::numeric_limits<int>::max();
    if (!(pixels > -limit)) return -std::numeric_limits<int>::max();
    if (pixels > limit) return std::numeric_limits<int>::max();
    return static_cast<int>(pixels);
}

}  // namespace anodix
