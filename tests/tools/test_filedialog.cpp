// The dialog filter rule, answered by a recording dialog, and the Qt dialog itself.
#include <QtTest>

#include <QApplication>
#include <QFileDialog>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include "tools/appdir.h"
#include "tools/filedialog.h"

using namespace anodix;

namespace {

class RecordingDialog : public FileDialogService {
public:
    std::vector<FileDialogRequest> requests;
    std::string answer;
    std::string Run(const FileDialogRequest& request) override {
        requests.push_back(request);
        return answer;
    }
};

using Filters = std::vector<std::pair<std::string, std::string>>;

}  // namespace

class TestFileDialog : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void filterRule() {
        RecordingDialog dialog;
        dialog.answer = "/home/u/x.vyr";
        QCOMPARE(FileDialog(dialog, "/home/u", "*.vyr", "VYR Configuration", "Save"),
                 std::string("/home/u/x.vyr"));
        QCOMPARE(dialog.requests.size(), std::size_t(1));
        const FileDialogRequest& r = dialog.requests[0];
        QCOMPARE(r.action, std::string("Save"));
        QCOMPARE(r.title, std::string("VYR Configuration"));
        QCOMPARE(r.initialDirectory, std::string("/home/u"));
        QCOMPARE(r.proposedName, std::string("*.vyr"));
        QVERIFY(r.filters == (Filters{{"Tous fichiers (*.*)", "*.*"}, {"Fichiers anodix (*.vyr)", "*.vyr"}}));
        QCOMPARE(r.filterIndex, 2);

        // The extension is what lies between the first and second "." of the name.
        dialog.answer.clear();
        QCOMPARE(FileDialog(dialog, "/", "data.table.txt", "T", "Open"), std::string());
        QVERIFY(dialog.requests[1].filters[1] == (std::pair<std::string, std::string>{"Fichiers anodix (*.table)", "*.table"}));

        // No extension: the single entry, index 1.
        FileDialog(dialog, "/", "curves", "T", "Open");
        QVERIFY(dialog.requests[2].filters == (Filters{{"Tous fichiers (*.*)", "*.*"}}));
        QCOMPARE(dialog.requests[2].filterIndex, 1);
    }

    void unknownActionShowsNoDialog() {
        RecordingDialog dialog;
        dialog.answer = "/x";
        QCOMPARE(FileDialog(dialog, "/", "*.tdf", "T", "open"), std::string());
        QCOMPARE(FileDialog(dialog, "/", "*.tdf", "T", "Print"), std::string());
        QVERIFY(dialog.requests.empty());
    }

    void programDirectory() {
        const std::string dir = ProgramDirectory();
        QVERIFY(!dir.empty());
        QVERIFY(dir.back() != '/');
        QVERIFY(QFileInfo(QString::fromStdString(dir)).isDir());
        QCOMPARE(ProgramName(), std::string("anodix"));
    }

    // The real dialog: filters in Qt's form, the program's type preselected, the
    // folder set, a choice returned and cancel giving "".
    void qtDialog() {
        QTemporaryDir dir;
        const QString file = dir.path() + "/set.vyr";
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QtFileDialogService service;
        QStringList seenFilters;
        QString seenSelected;
        QString seenDirectory;
        bool acceptMode = false;
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(d);
            seenFilters = d->nameFilters();
            seenSelected = d->selectedNameFilter();
            seenDirectory = d->directory().absolutePath();
            acceptMode = d->acceptMode() == QFileDialog::AcceptOpen && d->fileMode() == QFileDialog::ExistingFile;
            d->selectFile(file);
            QMetaObject::invokeMethod(d, "accept");
        });
        QCOMPARE(QString::fromStdString(FileDialog(service, dir.path().toStdString(), "*.vyr", "VYR Configuration", "Open")),
                 file);
        QCOMPARE(seenFilters, (QStringList{"Tous fichiers (*.*) (*)", "Fichiers anodix (*.vyr) (*.vyr)"}));
        QCOMPARE(seenSelected, QString("Fichiers anodix (*.vyr)"));  // as the user sees it
        QCOMPARE(seenDirectory, QDir(dir.path()).absolutePath());
        QVERIFY(acceptMode);

        bool saveMode = false;
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(d);
            saveMode = d->acceptMode() == QFileDialog::AcceptSave &&
                       !d->testOption(QFileDialog::DontConfirmOverwrite);
            d->reject();
        });
        QCOMPARE(FileDialog(service, dir.path().toStdString(), "*.vyr", "VYR Configuration", "Save"), std::string());
        QVERIFY(saveMode);
    }
};

QTEST_MAIN(TestFileDialog)
#include "test_filedialog.moc"
