#pragma once
// Curve files written by other tube tracers and by spreadsheets, read into families.
// The layout is recognised from the text itself, never from the file name:
//  - uTracer list: a "Point  Curve  Ia (mA) ..." header, one row per point;
//  - uTracer matrix: the swept variable, then the steps ("Vg = -2 V ..."), then rows
//    of the swept value with one current (or Ia and Is) per step;
//  - uTmax "Data 2": a few lines of settings, then a TAB table "Point Curve Ia ...";
//  - pypsucurvetrace: "%" comments and rows of 10 or 11 numbers, currents in amperes;
//  - CSV or TSV with named columns (Va/Ua/Vp/Up, Ia/Ip, Vg/Vg1/Ug1, Vs/Vg2/Ug2).
// Anything else that begins with a number is TDF text, read as the slots always have.
#include <string>
#include <string_view>
#include <vector>

#include "curves/family.h"

namespace anodix {

enum class CurveFormat {
    Unknown,
    Tdf,
    UtracerList,
    UtracerMatrix,
    UtmaxData,
    PsuCurveTrace,
    NamedColumns,
};

// The layout of the text, from its first lines.
CurveFormat RecogniseCurveText(std::string_view text);

struct TracerRead {
    bool ok = false;
    CurveFormat format = CurveFormat::Unknown;
    // One family per screen voltage, in the order the file first holds them; curves of a
    // triode sweep form a family of their own. Each family has at least one curve.
    std::vector<Family> families;
    std::string reason;  // "line N: why", when not ok
};

// Reads the curves of a tracer's file (not TDF). Families are named `name`, or, when
// the file holds several, `name` + "_Ug2-" + the screen voltage in whole volts
// (triode sweeps: `name` + "_triode"). Points whose current is negative (a tracer's
// mark for a point cut by its current limit) are left out, as are rows a tracer cut
// short. A screen current (Is, Ig2) is kept with each point where the file has one.
// Every number kept is finite.
TracerRead ReadTracerText(std::string_view text, const std::string& name);

// The TDF files of the families of one file, read with an empty name: `path` itself
// for a single family; for several, `path` without its ".tdf" followed by each family's
// name ("EL34.tdf" gives "EL34_Ug2-250.tdf", "EL34_Ug2-300.tdf").
struct TdfOutput {
    std::string path;
    std::string tdf;
};
std::vector<TdfOutput> TdfFiles(const std::vector<Family>& families, const std::string& path);

// The screen voltage a family was measured at ("250 V"), "" when it has none.
std::string ScreenVoltageText(const Family& family);

}  // namespace anodix
