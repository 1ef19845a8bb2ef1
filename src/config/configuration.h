#pragma once
// The set-up as a configuration file (INI form, ".vyr") and the record of the
// configuration saved last.
#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <string>

#include "tools/ini.h"
#include "tools/slotcount.h"

namespace anodix {

// Everything a configuration file holds, as plain values.
struct ConfigurationValues {
    std::string Mode;                                // "Cook" or "Capture"
    float Top = 0, Left = 0, Width = 0, Height = 0;  // window geometry, twips
    std::string Ia, Ua, Pa, Ld;                      // texts of CbMaDiv, CbVdiv, TxPwr, RLoad
    std::int32_t InDevice = -1, OutDevice = -1;
    std::string VG1, VG2;                        // texts of TxVg1, TxVg2
    std::array<std::string, kSlotCount> Import;  // paths of the ticked slots, "" otherwise
    float CalX = 0, CalY = 0;  // calibration factors; 0 in files that never set them
    // The operating point (volts, milliamperes; "" when none was chosen) and the text of
    // TxVin, in files since these were kept.
    std::string Ua0, Ia0, Vin;
    // The Stage panel, in files since it was kept: the texts of TxBplus, TxRa, TxRk, TxRl,
    // TxRaa and TxBias, and its two boxes ("1" ticked, "0" not).
    std::string Bplus, Ra, Rk, Rl, Raa, Bias, Bypassed, PushPull;
    // Where it came from a file: the keys it held, as "SECTION/Key" with the section in
    // capitals ("DISPLAY/Ua"), and each section alone ("IMPORT"). A key the file lacks
    // leaves its part of the set-up as it is.
    std::set<std::string> held;
    bool Holds(const std::string& key) const { return held.count(key) != 0; }
    // The input's high-pass corners (Hz; 0 DC-coupled) when known beforehand, in place of
    // those a capture run finds; none when the file does not give them.
    std::optional<float> CornerV = std::nullopt, CornerI = std::nullopt;
};

// Sets every key, in the order in which the file has always held them. Keys already
// in the document are replaced, other keys stay. False when a value could not be set
// (a text with a line break).
bool PutConfiguration(IniDocument& document, const ConfigurationValues& values);

// Reads the keys back: numbers by the leading-number rule (an empty value is 0),
// devices rounded halves to even and kept within 32 bits, texts as they stand.
ConfigurationValues GetConfiguration(const IniDocument& document);

// Reads the file once, sets every key, and replaces the file in one step. False when
// the file could not be read or written: it is then as it was, and *reason (when
// given) says why in a short lower-case phrase ("the folder is not writable").
bool SaveConfiguration(const std::string& path, const ConfigurationValues& values,
                       std::string* reason = nullptr);

// The keys of the file at path, read once; nothing when there is no file there or it
// cannot be read (a folder, a file without read permission), or when it holds none of a
// configuration's sections: *notConfiguration (when given) then says why.
std::optional<ConfigurationValues> ReadConfiguration(const std::string& path,
                                                     std::string* notConfiguration = nullptr);

// The record of the configuration saved last: "VYR.mru" in the program's directory.
std::string MruPath();
bool RecordMostRecent(const std::string& configurationPath);
std::string ReadMostRecent();

// Twips: 1440 per inch, so TwipsPerPixel(96) is 15.
double TwipsPerPixel(double logicalDpi);
double PixelsToTwips(double pixels, double logicalDpi);
// Whole pixels, halves to even.
int TwipsToPixels(double twips, double logicalDpi);

}  // namespace anodix
