// The program's own directory: the per-user data folder.
#include "tools/appdir.h"

#include <QDir>
#include <QStandardPaths>

namespace anodix {

std::string ProgramDirectory() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (dir.isEmpty()) {
        // No per-application folder known: a folder of our own in the user's data.
        dir = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        if (dir.isEmpty()) dir = QDir::homePath() + "/.local/share";
        dir += "/" + QString::fromStdString(ProgramName());
    }
    while (dir.size() > 1 && dir.endsWith('/')) dir.chop(1);
    QDir().mkpath(dir);
    return dir.toStdString();
}

std::string ProgramName() { return "anodix"; }

}  // namespace anodix
