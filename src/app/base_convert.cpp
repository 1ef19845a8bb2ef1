// Conversion of external data tables into TDF files.
#include "app/base.h"
#include "curves/convert.h"
#include "curves/tracerfiles.h"
#include "tools/appdir.h"
#include "tools/dialogs.h"
#include "tools/fields.h"
#include "tools/files.h"
#include "tools/replacefile.h"

namespace anodix {

void Base::MnuConvertion_Click() { ConvertExternalData(); }

// Asks for a table, converts it, asks where to save the TDF file and writes it. The
// folders of the last table opened and the last file saved are remembered for the
// next run; "" stands for the program's own folder.
void Base::ConvertExternalData() {
    if (state_.ConvertInDir.empty()) state_.ConvertInDir = ProgramDirectory();
    if (state_.ConvertOutDir.empty()) state_.ConvertOutDir = ProgramDirectory();
    if (services_.dialogs == nullptr) return;

    const std::string tablePath =
        FileDialog(*services_.dialogs, state_.ConvertInDir, "*.txt", "Import external data", "Open",
                   {{"Curve files (*.tdf *.utd *.txt *.dat *.csv *.tsv)",
                     "*.tdf *.utd *.txt *.dat *.csv *.tsv"}});
    if (tablePath.empty()) return;

    const int in = FileOpenByMode(tablePath, "R", kFileTimeoutMs);
    if (in == 0) {
        Message("Can't open " + tablePath);
        return;
    }
    state_.ConvertInDir = GetPath(tablePath);
    std::string table;
    const bool read = FileReadAll(in, table);
    FileCloseRetry(in, kFileTimeoutMs);
    if (!read) {
        Message("Can't open " + tablePath);
        return;
    }

    // Another tracer's file gives one TDF file per screen voltage it holds; anything
    // else is a table to convert. What cannot be used is refused before anything is
    // asked or written.
    const CurveFormat format = RecogniseCurveText(table);
    if (format != CurveFormat::Tdf && format != CurveFormat::Unknown) {
        const TracerRead tracer = ReadTracerText(table, {});
        table.clear();
        table.shrink_to_fit();
        if (!tracer.ok) {
            Message("Can't read " + tablePath + ": " + tracer.reason);
            return;
        }
        SaveTdfFiles(tracer.families);
        return;
    }
    // A table to convert begins with a number or with a title in double quotes.
    const std::size_t first = table.find_first_not_of(" \t\r\n");
    if (format == CurveFormat::Unknown && (first == std::string::npos || table[first] != '"')) {
        Message("Can't read " + tablePath + ": line 1: not a curve file of a known layout");
        return;
    }
    const TableConversion converted = ConvertTable(table);
    table.clear();
    table.shrink_to_fit();
    if (!converted.ok) {
        Message("Can't convert " + tablePath + ": " + converted.reason);
        return;
    }

    const std::string tdfPath =
        FileDialog(*services_.dialogs, state_.ConvertOutDir, "*.tdf", "Save TDF", "Save");
    if (tdfPath.empty()) return;

    // Written whole or not at all: a file already there stays as it was when the new
    // one cannot be written.
    std::string reason;
    if (!ReplaceFile(tdfPath, converted.tdf, &reason)) {
        Message("can't open " + tdfPath + ": " + reason);
        return;
    }
    state_.ConvertOutDir = GetPath(tdfPath);
}

// Asks where to save and writes the families' TDF files, one per screen voltage, each
// whole or not at all; the first that cannot be written is named and ends the run.
void Base::SaveTdfFiles(const std::vector<Family>& families) {
    const std::string tdfPath =
        FileDialog(*services_.dialogs, state_.ConvertOutDir, "*.tdf", "Save TDF", "Save");
    if (tdfPath.empty()) return;
    for (const TdfOutput& file : TdfFiles(families, tdfPath)) {
        std::string reason;
        if (!ReplaceFile(file.path, file.tdf, &reason)) {
            Message("can't open " + file.path + ": " + reason);
            return;
        }
    }
    state_.ConvertOutDir = GetPath(tdfPath);
}

}  // namespace anodix
