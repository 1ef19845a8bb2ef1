// The dialog filter rule, answered by a recording dialog, and the Qt dialog itself.
#include <QtTest>

#include <QApplication>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTimer>

#include "app/qtdialogs.h"

using namespace anodix;

namespace {

class RecordingDialog : public FileDialogService {
public:
    std::vector<FileDialogRequest> requests;
    std::string answer = "/home/u/x.vyr";
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
    void filterRule() {
        RecordingDialog dialog;
        QCOMPARE(FileDialog(dialog, "/home/u", "*.vyr", "VYR Configuration", "Save"), dialog.answer);
        const FileDialogRequest& r = dialog.requests.at(0);
        QVERIFY(r.action == "Save" && r.title == "VYR Configuration" && r.initialDirectory == "/home/u");
        QVERIFY(r.filters == (Filters{{"Tous fichiers (*.*)", "*.*"}, {"Fichiers anodix (*.vyr)", "*.vyr"}}));
        QCOMPARE(r.filterIndex, 2);
        FileDialog(dialog, "/", "data.table.txt", "T", "Open");  // between the first and second "."
        QCOMPARE(dialog.requests.at(1).filters.at(1).second, std::string("*.table"));
        FileDialog(dialog, "/", "curves", "T", "Open");
        QVERIFY(dialog.requests.at(2).filters == (Filters{{"Tous fichiers (*.*)", "*.*"}}));
        QCOMPARE(dialog.requests.at(2).filterIndex, 1);
        // Neither "Open" nor "Save": no dialog, no path.
        QCOMPARE(FileDialog(dialog, "/", "*.tdf", "T", "open"), std::string());
        QCOMPARE(dialog.requests.size(), std::size_t(3));
    }

    // Qt's dialog: filters in its form with the program's type preselected, the
    // folder set, a choice returned, the Save form asking before replacing, cancel "".
    void qtDialog() {
        QTemporaryDir dir;
        const QString file = dir.filePath("set.vyr");
        QVERIFY(QFile(file).open(QIODevice::WriteOnly));
        QtFileDialogService service;
        QStringList seen;
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(d);
            seen = d->nameFilters();
            seen << d->selectedNameFilter() << d->directory().absolutePath()
                 << QString::number(d->fileMode() == QFileDialog::ExistingFile);
            d->selectFile(file);
            QMetaObject::invokeMethod(d, "accept");
        });
        QCOMPARE(QString::fromStdString(FileDialog(service, dir.path().toStdString(), "*.vyr", "T", "Open")), file);
        QCOMPARE(seen, (QStringList{"Tous fichiers (*.*) (*)", "Fichiers anodix (*.vyr) (*.vyr)",
                                    "Fichiers anodix (*.vyr)", QDir(dir.path()).absolutePath(), "1"}));
        bool asksBeforeReplacing = false;
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(d);
            asksBeforeReplacing =
                d->acceptMode() == QFileDialog::AcceptSave && !d->testOption(QFileDialog::DontConfirmOverwrite);
            d->reject();
        });
        QCOMPARE(FileDialog(service, dir.path().toStdString(), "*.vyr", "T", "Save"), std::string());
        QVERIFY(asksBeforeReplacing);
    }
};

QTEST_MAIN(TestFileDialog)
#include "test_dialogs.moc"
