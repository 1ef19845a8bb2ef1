// Conversion of external data tables into TDF files.
#include "app/base.h"
#include "curves/convert.h"
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

    const std::string tablePath = FileDialog(*services_.dialogs, state_.ConvertInDir, "*.txt",
                                             "Import external data", "Open");
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

    // A table the conversion cannot use is refused before anything is asked or written.
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

}  // namespace anodix
