#pragma once
// Whole files read and written with the standard library, independently of the
// program's own file layer, so that tests can set up and check files on disk; the
// source tree's files and the build's programs as the tests reach them.
#include <QCoreApplication>
#include <QProcess>
#include <fstream>
#include <iterator>
#include <string>

namespace anodix::test {

inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Replaces the file with exactly these bytes; gives the path back.
inline std::string WriteWholeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    return path;
}

// A file of the source tree ("examples/EL34.tdf").
inline QString SourceFile(const QString& name) {
    return qEnvironmentVariable("ANODIX_SOURCE_DIR") + "/" + name;
}

// A program of the build: they lie at the top of the build folder, one above the tests.
inline QString BuiltProgram(const QString& name) {
    return QCoreApplication::applicationDirPath() + "/../" + name;
}

// A program run to its end: the exit status (-1 for a crash or a hang) and what it said.
struct ProgramRun {
    int status = -1;
    QByteArray out, err;
};
inline ProgramRun RunProgram(const QString& program, const QStringList& args,
                             const QString& dir = {}) {
    QProcess p;
    p.setWorkingDirectory(dir);
    p.start(program, args);
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit)
        return {-1, {}, p.errorString().toUtf8()};
    return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}

}  // namespace anodix::test
