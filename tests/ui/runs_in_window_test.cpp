// The runs driven from the window: the enabled states through a scan and a
// demux of the sample disc, a second run button pressed mid-run, and closing
// the window while a run is active.
#include "runs/source_selection.h"
#include "support/sample_disc.h"
#include "ui/status_bar.h"
#include "ui_test_util.h"

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

using namespace vantrel;
using namespace vantrel::uitest;

namespace {

struct Buttons {
    bool check, readXPL, demux, rebuild, cancel;
    bool operator==(const Buttons&) const = default;
};

Buttons buttons(TfMain& w) {
    auto on = [&](const char* name) { return child<QPushButton>(w, name)->isEnabled(); };
    return {on("bCheck"), on("bReadXPL"), on("bDemux"), on("bRebuild"), on("bCancel")};
}

QString describe(const Buttons& b) {
    return QStringLiteral("check %1 readXPL %2 demux %3 rebuild %4 cancel %5")
        .arg(b.check)
        .arg(b.readXPL)
        .arg(b.demux)
        .arg(b.rebuild)
        .arg(b.cancel);
}

} // namespace

class RunsInWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void enabledStatesThroughScanAndDemux();
    void secondRunButtonMidRunDoesNothing();
    void closingDuringARunStopsItThenSaves();

private:
    QTemporaryDir m_dir;
    test::SampleDisc m_small;
    test::SampleDisc m_large;
};

void RunsInWindowTest::initTestCase() {
    m_small = test::writeSampleDisc((m_dir.path() + "/small").toStdString(), 8);
    // Past 4 MiB the pack loop lets pending clicks through.
    m_large = test::writeSampleDisc((m_dir.path() + "/large").toStdString(), 480);
}

void RunsInWindowTest::enabledStatesThroughScanAndDemux() {
    ConfigHome home;
    ShownWindow w;
    QCOMPARE(buttons(*w), (Buttons{false, false, false, true, false}));
    w->setFieldText(Field::EVOfile, m_small.feature1);
    EVOadj(w->core());
    QCOMPARE(buttons(*w), (Buttons{true, true, false, true, false}));

    // During the scan: Read EVO off, Cancel on, the Status page in front.
    std::vector<Buttons> during;
    std::vector<int> pages;
    w->core().boxes.onChanged = [&](int box) {
        w->boxChanged(box);
        if (during.empty()) during.push_back(buttons(*w));
    };
    child<QTabWidget>(*w, "PageControl")->setCurrentIndex(5);
    child<QPushButton>(*w, "bCheck")->click();
    QVERIFY(w.errors.empty());
    QCOMPARE(child<QTabWidget>(*w, "PageControl")->currentIndex(), 0);
    QVERIFY(!during.empty());
    QVERIFY2(!during.front().check, qPrintable(describe(during.front())));

    // After it: every stream found is enabled and ticked, Demux follows.
    QCOMPARE(buttons(*w), (Buttons{true, true, true, true, false}));
    const std::pair<const char*, const char*> captions[] = {
        {"cbVideo0", "VC-1.stream.0"},  {"cbVideo1", "MPEG-2.stream.1"},  {"cbAudio00", "DD+.stream.00"},
        {"cbAudio01", "DD.stream.01"},  {"cbAudio02", "DTSHD.stream.02"}, {"cbAudio03", "LPCM.stream.03"},
        {"cbAudio04", "MLP.stream.04"}, {"cbSub00", "Subpicture.00"},     {"cbSub01", "Ext.Subpicture.01"},
    };
    for (const auto& [name, caption] : captions) {
        auto* cb = child<QCheckBox>(*w, name);
        QVERIFY2(cb->isEnabled() && cb->isChecked(), name);
        QCOMPARE(cb->text(), QString::fromLatin1(caption));
    }
    QVERIFY(!child<QCheckBox>(*w, "cbAudio05")->isEnabled());
    QVERIFY(logLines(*w).contains(QStringLiteral("Opening file FEATURE_1.EVO")));
    QCOMPARE(logLines(*w).count(QStringLiteral("Done.")), 1);
    auto* bar = child<StatusPanels>(*w, "StatusBar");
    QCOMPARE(bar->panelText(0), QStringLiteral(" Ready"));
    QCOMPARE(bar->panelText(1), QStringLiteral(" "));

    // Demux into an output folder: one file per ticked box, named after the captions.
    const QString out = m_dir.path() + "/out";
    QDir().mkpath(out);
    child<QLineEdit>(*w, "eWorkdir")->setText(out);
    during.clear();
    child<QPushButton>(*w, "bDemux")->click();
    QVERIFY(w.errors.empty());
    QCOMPARE(buttons(*w), (Buttons{true, true, true, true, false}));
    QCOMPARE(logLines(*w).count(QStringLiteral("Done.")), 2);
    const QStringList files = QDir(out).entryList(QDir::Files);
    QCOMPARE(files.size(), 9);
    QVERIFY2(files.contains(QStringLiteral("FEATURE_1_2.DD+.stream.00.mpa")), qPrintable(files.join(' ')));
    QVERIFY(QFileInfo(out + "/FEATURE_1_2.VC-1.stream.0.mpv").size() > 0);

    // Unticking the last ticked box disables Demux.
    for (int n = 0; n < StreamBoxes::kCount; ++n) {
        auto* cb = child<QCheckBox>(*w, StreamBoxes::name(n).c_str());
        if (cb->isChecked()) cb->click();
    }
    QVERIFY(!child<QPushButton>(*w, "bDemux")->isEnabled());

    // Read XPL of the disc: its title's streams get the playlist's captions.
    child<QPushButton>(*w, "bReadXPL")->click();
    QVERIFY(w.errors.empty());
    QCOMPARE(child<QTabWidget>(*w, "PageControl")->currentIndex(), 4);
    QCOMPARE(child<QCheckBox>(*w, "cbAudio00")->text(), QStringLiteral("DD+.6ch.stream.00.English"));
    QCOMPARE(child<QCheckBox>(*w, "cbAudio00")->toolTip(), QStringLiteral("DD+.6ch.stream.00.English"));
    QCOMPARE(child<QTreeWidget>(*w, "tvXPL")->topLevelItemCount(), 5);
    QCOMPARE(buttons(*w), (Buttons{true, true, true, true, false}));
}

void RunsInWindowTest::secondRunButtonMidRunDoesNothing() {
    ConfigHome home;
    ShownWindow w;
    w->setFieldText(Field::EVOfile, m_large.feature1);
    EVOadj(w->core());
    child<QCheckBox>(*w, "cbFastCheck")->setChecked(false);
    int clicked = 0;
    bool cancelOn = false;
    // The first time the scan lets events through, Rebuild and Read XPL are pressed.
    QTimer::singleShot(0, w.window.get(), [&] {
        cancelOn = child<QPushButton>(*w, "bCancel")->isEnabled();
        child<QPushButton>(*w, "bRebuild")->click();
        child<QPushButton>(*w, "bReadXPL")->click();
        ++clicked;
    });
    child<QPushButton>(*w, "bCheck")->click();
    QCOMPARE(clicked, 1);
    QVERIFY(cancelOn);
    QVERIFY(w.errors.empty());
    QCOMPARE(logLines(*w).count(QStringLiteral("Done.")), 1);
    QVERIFY(!QFileInfo::exists(QString::fromStdString(m_large.root) + "HVDVD_TS/FEATURE_1.rebuilt.EVO"));
    QCOMPARE(child<QTreeWidget>(*w, "tvXPL")->topLevelItemCount(), 4); // the playlist was not read
    QVERIFY(child<QCheckBox>(*w, "cbVideo0")->isChecked());
}

void RunsInWindowTest::closingDuringARunStopsItThenSaves() {
    ConfigHome home;
    ShownWindow w;
    w->setFieldText(Field::EVOfile, m_large.feature1);
    EVOadj(w->core());
    child<QCheckBox>(*w, "cbFastCheck")->setChecked(false);
    bool closedAtOnce = true;
    QTimer::singleShot(0, w.window.get(), [&] {
        closedAtOnce = w->close(); // no question; the run is asked to stop
        QVERIFY(!QFile::exists(home.settingsFile()));
    });
    child<QPushButton>(*w, "bCheck")->click();
    QVERIFY(!closedAtOnce);
    QVERIFY(w->isVisible());
    QVERIFY(!w->runActive());
    // The run ended early (stopped), then the deferred close saves and closes.
    QTRY_VERIFY(!w->isVisible());
    QVERIFY(QFile::exists(home.settingsFile()));
    QVERIFY(logLines(*w).contains(QStringLiteral("Done.")));
}

VANTREL_UI_TEST(RunsInWindowTest)
#include "runs_in_window_test.moc"
