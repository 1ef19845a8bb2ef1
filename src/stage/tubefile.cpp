#include "stage/tubefile.h"

#include <QFile>
#include <QFileInfo>

#include "curves/tracerfiles.h"

namespace anodix {

TubeFile ReadTubeFile(const std::string& path) {
    TubeFile out;
    const QString qpath = QString::fromStdString(path);
    const QFileInfo info(qpath);
    out.name = info.completeBaseName().toStdString();
    // A device or a pipe could be read without end: only plain files.
    if (info.exists() && !info.isFile()) {
        out.reason = "not a plain file";
        return out;
    }
    QFile file(qpath);
    if (!file.open(QIODevice::ReadOnly)) {
        out.reason = file.errorString().toStdString();
        return out;
    }
    const QByteArray bytes = file.readAll();
    const std::string_view text(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    if (RecogniseCurveText(text) == CurveFormat::Tdf) {
        out.families.push_back(ReadTdfFamily(text, out.name));
    } else {
        TracerRead read = ReadTracerText(text, out.name);
        if (!read.ok) {
            out.reason = std::move(read.reason);
            return out;
        }
        out.families = std::move(read.families);
        for (Family& f : out.families) f.name = out.name;
    }
    if (out.families.front().curves.size() < 2) {
        out.reason = "the file holds fewer than two curves";
        return out;
    }
    out.ok = true;
    return out;
}

}  // namespace anodix
