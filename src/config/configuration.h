#pragma once
// The set-up as a configuration file (INI form, ".vyr") and the record of the
// configuration saved last.
#include <array>
#include <cstdint>
#include <string>

namespace anodix {

// Everything a configuration file holds, as plain values.
struct ConfigurationValues {
    std::string Mode;                // "Cook" or "Capture"
    float Top = 0, Left = 0, Width = 0, Height = 0;  // window geometry, twips
    std::string Ia, Ua, Pa, Ld;      // texts of CbMaDiv, CbVdiv, TxPwr, RLoad
    std::int32_t InDevice = -1, OutDevice = -1;
    std::string VG1, VG2;            // texts of TxVg1, TxVg2
    std::array<std::string, 5> Import;  // paths of the ticked slots, "" otherwise
    float CalX = 0, CalY = 0;        // written, never read back
};

// Writes every key, in the order in which the file has always held them. Keys
// already in the file are replaced, other keys stay. False when a write failed.
bool SaveConfiguration(const std::string& path, const ConfigurationValues& values);

// Reads the keys back: numbers by the leading-number rule (an empty value is 0),
// devices rounded halves to even and kept within 32 bits, texts as they stand.
// The calibration factors are not read (they stay 0).
ConfigurationValues ReadConfiguration(const std::string& path);

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
