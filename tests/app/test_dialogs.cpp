// The dialog filter rule, answered by a recording dialog, and the Qt dialog itself.
#include <QtTest>

#include <QApplication>
#include <QFileDialog>

#include "app/qtdialogs.h"

using namespace anodix;

namespace {

struct RecordingDialog : FileDialogService {
    std::vector<FileDialogRequest> requests;
    std::string Run(const FileDialogRequest& request) override {
        requests.push_back(request);
        return "/home/u/x.vyr";
    }
};

}  // namespace

class TestFileDialog : public QObject {
    Q_OBJECT

private slots:
    // The filters and the type preselected: qtDialog below.
    void filterRule() {
        RecordingDialog dialog;
        QCOMPARE(FileDialog(dialog, "/home/u", "*.vyr", "T", "Save"), std::string("/home/u/x.vyr"));
        FileDialog(dialog, "/", "curves", "T", "Open");  // no extension: every file only
        QVERIFY(dialog.requests.at(1).filterIndex == 1 &&
                dialog.requests.at(1).filters.size() == 1);
        // Neither "Open" nor "Save": no dialog, no path.
        QVERIFY(FileDialog(dialog, "/", "*.tdf", "T", "open").empty() &&
                dialog.requests.size() == 2);
    }

    // Qt's dialog: its filters, the type preselected, the folder; Open takes an existing file,
    // Save asks before replacing, cancel gives "".
    void qtDialog() {
        QTemporaryDir dir;
        const QString file = dir.filePath("set.vyr");
        QVERIFY(QFile(file).open(QIODevice::WriteOnly));
        QtFileDialogService service;
        QStringList seen;
        const auto answerNext = [&](bool accept) {
            QTimer::singleShot(0, [&, accept] {
                auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                QVERIFY(d);
                seen << d->nameFilters() << d->selectedNameFilter() << d->directory().absolutePath()
                     << (d->fileMode() == QFileDialog::ExistingFile ? "existing" : "any")
                     << (d->testOption(QFileDialog::DontConfirmOverwrite) ? "replaces" : "asks");
                d->selectFile(file);
                QMetaObject::invokeMethod(d, accept ? "accept" : "reject");
            });
        };
        answerNext(true);
        QCOMPARE(QString::fromStdString(
                     FileDialog(service, dir.path().toStdString(), "*.vyr", "T", "Open")),
                 file);
        answerNext(false);
        QCOMPARE(FileDialog(service, dir.path().toStdString(), "*.vyr", "T", "Save"),
                 std::string());
        const QStringList shown{"Tous fichiers (*.*) (*)", "Fichiers anodix (*.vyr) (*.vyr)",
                                "Fichiers anodix (*.vyr)", QDir(dir.path()).absolutePath()};
        QCOMPARE(seen,
                 (shown + QStringList{"existing", "asks"} + shown + QStringList{"any", "asks"}));
    }
};

QTEST_MAIN(TestFileDialog)
#include "test_dialogs.moc"
