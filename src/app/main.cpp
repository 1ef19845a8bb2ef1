// anodix: the window. Files named on the command line open in it (a file manager hands
// over the files a user opens with the program); --help and --version answer without it.
#include <QApplication>
#include <QIcon>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <string>
#include <vector>

#include "app/base.h"
#include "app/qtdialogs.h"
#include "audio/pulsewave.h"
#include "tools/commandline.h"

namespace {

constexpr char kUsage[] =
    "Usage: anodix [FILE.tdf]... [FILE.vyr]\n"
    "Opens the Anodix window. Each FILE.tdf goes into the next import slot (at most five),\n"
    "ticked and captioned with its file name; a FILE.vyr configuration is recalled in place\n"
    "of the one saved last. With no file the window starts with the configuration saved last.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and exit\n"
    "      --         every later argument is a file\n";

void Print(std::FILE* to, const std::string& text) { std::fputs(text.c_str(), to); }

}  // namespace

int main(int argc, char** argv) {
    using anodix::WindowCommandLine;
    // The questions are answered before Qt starts: they need no display.
    const WindowCommandLine asked =
        anodix::ReadWindowCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (asked.action == WindowCommandLine::Action::Help) {
        Print(stdout, kUsage);
        return 0;
    }
    if (asked.action == WindowCommandLine::Action::Version) {
        Print(stdout, std::string("anodix ") + ANODIX_VERSION + "\n");
        return 0;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName("anodix");
    QApplication::setApplicationVersion(ANODIX_VERSION);
    QGuiApplication::setDesktopFileName("org.anodix.Anodix");
    // The installed icon theme's, else the one built in (running from the build folder).
    Q_INIT_RESOURCE(icon);
    QApplication::setWindowIcon(QIcon::fromTheme("anodix", QIcon(":/icons/anodix.svg")));

    // Read again without the options Qt took for itself (-platform, -style, ...).
    std::vector<std::string> args;
    const QStringList qtArgs = QApplication::arguments();
    for (qsizetype k = 1; k < qtArgs.size(); ++k) args.push_back(qtArgs[k].toStdString());
    const WindowCommandLine line = anodix::ReadWindowCommandLine(args);
    if (line.action == WindowCommandLine::Action::Refuse) {
        Print(stderr, "anodix: " + line.error + "\nTry 'anodix --help' for more information.\n");
        return 2;
    }
    for (const std::string& file : line.leftOut)
        Print(stderr, "anodix: " + file + " left out: five families and one configuration fit\n");

    anodix::PulseWaveApi wave;
    anodix::QtFileDialogService dialogs;
    anodix::QtMessageService messages;
    anodix::Base w(anodix::Services{&wave, &dialogs, &messages});
    w.OpenAtStart(line.families, line.configuration);
    w.Form_Load();
    return app.exec();
}
