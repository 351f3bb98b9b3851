// Choosing the source and the playlist: drops, the browse dialogs and the
// names derived from the two fields.
#include "ui_test_util.h"

#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QToolButton>
#include <QUrl>

using namespace vantrel;
using namespace vantrel::uitest;

namespace {

// Drops local files onto the window the way a file manager does.
void drop(TfMain& w, const QStringList& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const auto& p : paths) urls << QUrl::fromLocalFile(p);
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(50, 150), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent event(QPointF(50, 150), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &event);
    QVERIFY(event.isAccepted()); // released in every case
}

QString text(TfMain& w, const char* name) {
    return child<QLineEdit>(w, name)->text();
}
bool enabled(TfMain& w, const char* name) {
    return child<QPushButton>(w, name)->isEnabled();
}

// Does one of the dialog's name-filter patterns match the file name?
bool listed(const QFileDialog& dialog, const QString& fileName) {
    for (const QString& filter : dialog.nameFilters()) {
        QRegularExpression patterns(QStringLiteral("\\(([^()]*)\\)$"));
        auto m = patterns.match(filter);
        if (!m.hasMatch()) continue;
        for (const QString& p : m.captured(1).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            QRegularExpression re(QRegularExpression::wildcardToRegularExpression(p)); // case-sensitive
            if (re.match(fileName).hasMatch()) return true;
        }
    }
    return false;
}

} // namespace

class SourceSelectionTest : public QObject {
    Q_OBJECT
private slots:
    void workedExampleWithDiscFolders();
    void dropTakesTheFirstItemOnlyAndIgnoresOthers();
    void lowerCaseDiscFolderIsNotRecognised();
    void dialogsListDiscFilesRegardlessOfCase();
    void confirmedDialogSetsTheFieldAndCancelLeavesEverything();
};

void SourceSelectionTest::workedExampleWithDiscFolders() {
    ConfigHome home;
    ShownWindow w;
    drop(*w, {"/media/disc/HVDVD_TS/FEATURE_1.EVO"});
    Core& core = w->core();
    QCOMPARE(text(*w, "eEVOfile"), QStringLiteral("/media/disc/HVDVD_TS/FEATURE_1.EVO"));
    QCOMPARE(core.EVOname, std::string("FEATURE_1.EVO"));
    QCOMPARE(core.EVObase, std::string("FEATURE_1"));
    QCOMPARE(core.EVOdir, std::string("/media/disc/HVDVD_TS/"));
    QCOMPARE(core.XPLdir, std::string("/media/disc/ADV_OBJ/"));
    QCOMPARE(core.XPLname, std::string("VPLST000.XPL"));
    QCOMPARE(text(*w, "eXPLfile"), QStringLiteral("/media/disc/ADV_OBJ/VPLST000.XPL"));
    QVERIFY(enabled(*w, "bCheck"));
    QVERIFY(enabled(*w, "bReadXPL"));

    // The playlist of another disc points the EVO dialog at that disc's video folder.
    drop(*w, {"/other/ADV_OBJ/VPLST000.XPL"});
    QCOMPARE(text(*w, "eXPLfile"), QStringLiteral("/other/ADV_OBJ/VPLST000.XPL"));
    QCOMPARE(core.XPLdir, std::string("/other/ADV_OBJ/"));
    QCOMPARE(core.EVOdir, std::string("/other/HVDVD_TS/"));
    QCOMPARE(text(*w, "eEVOfile"), QStringLiteral("/media/disc/HVDVD_TS/FEATURE_1.EVO"));
}

void SourceSelectionTest::dropTakesTheFirstItemOnlyAndIgnoresOthers() {
    ConfigHome home;
    ShownWindow w;
    drop(*w, {"/d/HVDVD_TS/FEATURE_1.EVO", "/d/HVDVD_TS/FEATURE_2.EVO", "/d/ADV_OBJ/VPLST000.XPL"});
    QCOMPARE(text(*w, "eEVOfile"), QStringLiteral("/d/HVDVD_TS/FEATURE_1.EVO"));
    QCOMPARE(text(*w, "eXPLfile"), QStringLiteral("/d/ADV_OBJ/VPLST000.XPL")); // derived, not dropped

    // A VOB (even followed by an EVO) and other files change nothing.
    drop(*w, {"/dvd/VIDEO_TS/VTS_01_1.VOB", "/e/FEATURE_9.EVO"});
    drop(*w, {"/e/notes.txt"});
    drop(*w, {"/e/noextension"});
    QCOMPARE(text(*w, "eEVOfile"), QStringLiteral("/d/HVDVD_TS/FEATURE_1.EVO"));
    QCOMPARE(w->core().EVOname, std::string("FEATURE_1.EVO"));

    // The extension is compared upper-cased.
    drop(*w, {"/e/FEATURE_1.evo"});
    QCOMPARE(text(*w, "eEVOfile"), QStringLiteral("/e/FEATURE_1.evo"));
    QCOMPARE(w->core().EVObase, std::string("FEATURE_1"));
    drop(*w, {"/f/ADV_OBJ/vplst000.xpl"});
    QCOMPARE(text(*w, "eXPLfile"), QStringLiteral("/f/ADV_OBJ/vplst000.xpl"));
    QCOMPARE(w->core().XPLname, std::string("vplst000.xpl"));

    // Nothing to drop, or no local file: nothing happens.
    QMimeData empty;
    QVERIFY(!w->WMDropFiles(&empty));
    QMimeData remote;
    remote.setUrls({QUrl(QStringLiteral("https://example.invalid/FEATURE_1.EVO"))});
    QVERIFY(!w->WMDropFiles(&remote));
    QCOMPARE(text(*w, "eEVOfile"), QStringLiteral("/e/FEATURE_1.evo"));
}

void SourceSelectionTest::lowerCaseDiscFolderIsNotRecognised() {
    ConfigHome home;
    ShownWindow w;
    drop(*w, {"/disc/hvdvd_ts/FEATURE_1.EVO"});
    QCOMPARE(text(*w, "eXPLfile"), QStringLiteral("VPLST000.XPL"));
    QVERIFY(w->core().XPLname.empty());
    QVERIFY(w->core().XPLdir.empty());
    QVERIFY(enabled(*w, "bCheck"));
    QVERIFY(!enabled(*w, "bReadXPL"));
}

void SourceSelectionTest::dialogsListDiscFilesRegardlessOfCase() {
    ConfigHome home;
    ShownWindow w;
    QFileDialog evo;
    w->setUpEVODialog(evo);
    QCOMPARE(evo.windowTitle(), QStringLiteral("Choose the EVO file to demux"));
    QCOMPARE(evo.fileMode(), QFileDialog::ExistingFile);
    QVERIFY(evo.testOption(QFileDialog::DontResolveSymlinks));
    QCOMPARE(evo.nameFilters().size(), 2);
    QVERIFY(evo.nameFilters().at(0).startsWith(QStringLiteral("EVOB files (HD DVD)")));
    QVERIFY(evo.nameFilters().at(1).startsWith(QStringLiteral("VOB files (DVD)")));
    QVERIFY(evo.selectedNameFilter().startsWith(QStringLiteral("EVOB files (HD DVD)")));
    for (const char* name :
         {"FEATURE_1.EVO", "feature_1.evo", "Feature_2.Evo", "VTS_01_1.VOB", "vts_01_1.vob"})
        QVERIFY2(listed(evo, QString::fromLatin1(name)), name);
    QVERIFY(!listed(evo, QStringLiteral("VPLST000.XPL")));
    QVERIFY(!listed(evo, QStringLiteral("FEATURE_1.EVO.txt")));

    QFileDialog xpl;
    w->setUpXPLDialog(xpl);
    QCOMPARE(xpl.nameFilters().size(), 1);
    QVERIFY(xpl.nameFilters().at(0).startsWith(QStringLiteral("XPL (")));
    QVERIFY(listed(xpl, QStringLiteral("VPLST000.XPL")));
    QVERIFY(listed(xpl, QStringLiteral("vplst000.xpl")));
    QVERIFY(!listed(xpl, QStringLiteral("VPLST001.XPL")));
    QVERIFY(!listed(xpl, QStringLiteral("FEATURE_1.EVO")));
}

void SourceSelectionTest::confirmedDialogSetsTheFieldAndCancelLeavesEverything() {
    QTemporaryDir disc;
    QDir(disc.path()).mkpath(QStringLiteral("HVDVD_TS"));
    QDir(disc.path()).mkpath(QStringLiteral("ADV_OBJ"));
    const QString feature = disc.path() + "/HVDVD_TS/FEATURE_1.EVO";
    QFile(feature).open(QIODevice::WriteOnly);

    ConfigHome home;
    ShownWindow w;
    onNextModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        QVERIFY(dialog);
        dialog->selectFile(feature);
        static_cast<QDialog*>(dialog)->accept();
    });
    child<QToolButton>(*w, "bbEVO")->click();
    QCOMPARE(text(*w, "eEVOfile"), feature);
    QCOMPARE(w->core().EVOname, std::string("FEATURE_1.EVO"));
    QCOMPARE(text(*w, "eXPLfile"), disc.path() + "/ADV_OBJ/VPLST000.XPL");

    // The playlist dialog opens in the derived folder with the preset name; a cancel changes nothing.
    const std::string xplDir = w->core().XPLdir;
    QString openedIn, preset;
    onNextModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        QVERIFY(dialog);
        openedIn = dialog->directory().absolutePath();
        preset = dialog->selectedFiles().value(0);
        dialog->reject();
    });
    child<QToolButton>(*w, "bbXPL")->click();
    QCOMPARE(openedIn + "/", QString::fromStdString(xplDir));
    QVERIFY2(preset.endsWith(QStringLiteral("VPLST000.XPL")), qPrintable(preset));
    QCOMPARE(text(*w, "eXPLfile"), disc.path() + "/ADV_OBJ/VPLST000.XPL");
    QCOMPARE(w->core().XPLdir, xplDir);

    // The EVO dialog opens in the folder derived from the playlist's disc folder.
    drop(*w, {disc.path() + "/ADV_OBJ/VPLST000.XPL"});
    onNextModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        QVERIFY(dialog);
        openedIn = dialog->directory().absolutePath();
        dialog->reject();
    });
    child<QToolButton>(*w, "bbEVO")->click();
    QCOMPARE(openedIn, disc.path() + "/HVDVD_TS");
    QCOMPARE(text(*w, "eEVOfile"), feature);
    QCOMPARE(w->core().EVOname, std::string("FEATURE_1.EVO"));
    QVERIFY(enabled(*w, "bCheck"));
}

VANTREL_UI_TEST(SourceSelectionTest)
#include "source_selection_test.moc"
