#include "stage/tubefile.h"

#include <QFileInfo>

#include "curves/curvefile.h"

namespace anodix {

TubeFile ReadTubeFile(const std::string& path) {
    TubeFile out;
    out.name = QFileInfo(QString::fromStdString(path)).completeBaseName().toStdString();
    const CurveFile file = ReadCurveFile(path, out.name);
    if (!file.ok) {
        out.reason = file.reason.empty() ? file.error : file.reason;
        return out;
    }
    out.families = *file.families;
    for (Family& f : out.families) f.name = out.name;
    if (out.families.front().curves.size() < 2) {
        out.reason = "the file holds fewer than two curves";
        return out;
    }
    out.ok = true;
    return out;
}

}  // namespace anodix
