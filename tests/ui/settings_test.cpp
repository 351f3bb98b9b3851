// The settings store: the window's loading at first activation and saving at close.
#include "engine/time_format.h"
#include "files/errors.h"
#include "settings/registry_file.h"
#include "ui_test_util.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QSplitter>
#include <QTabWidget>
#include <QTest>

using namespace vantrel;
using namespace vantrel::uitest;

namespace {

const std::string kHead = "Windows Registry Editor Version 5.00\n\n"
                          "[HKEY_CURRENT_USER\\Software\\Corvane Software\\Vantrel]\n";

// Names of the values in file order.
std::vector<std::string> names(const RegistryKey& key) {
    std::vector<std::string> out;
    for (const auto& v : key.values()) out.push_back(v.name);
    return out;
}

// Sizes the window by its outer size, frame included, as the settings store it.
void resizeOuter(TfMain& w, int width, int height) {
    w.resize(width - (w.outerWidth() - w.width()), height - (w.outerHeight() - w.height()));
    QTest::qWait(10);
}

RegistryKey load(const ConfigHome& home) {
    auto key = RegistryKey::parse(home.settingsText());
    if (!key) qFatal("no settings key written");
    return *key;
}

} // namespace

class SettingsTest : public QObject {
    Q_OBJECT
private slots:
    void firstStartKeepsDesignValuesAndFirstCloseWritesEverything();
    void valuesComeBackAtTheNextStart();
    void maximisedCloseKeepsEarlierNormalBounds();
    void installIsWrittenOnce();
    void wrongTypeStopsLoadingAndSkipsTheBoxReset();
    void unwritableStoreSavesNothingSilently();
    void titleBarOnNoScreenIsPulledBack();
};

void SettingsTest::firstStartKeepsDesignValuesAndFirstCloseWritesEverything() {
    ConfigHome home;
    QVERIFY(!QFile::exists(home.settingsFile()));
    {
        ShownWindow w;
        QVERIFY(w.errors.empty());
        QCOMPARE(w->size(), QSize(362, 346));
        QCOMPARE(child<QLineEdit>(*w, "eAudioExt")->text(), QStringLiteral("mpa"));
        const double before = localNowDays();
        w->close();
        const double after = localNowDays();
        QVERIFY(w.errors.empty());
        RegistryKey key = load(home);
        QCOMPARE(names(key),
                 (std::vector<std::string>{"WindowState", "Top", "Left", "Width", "Height", "TreeWidth",
                                           "AudioExt", "VideoExt", "SubExt", "Workdir", "EVOdir", "XPLdir",
                                           "Continue", "FastCheck", "CountFrames", "Install"}));
        QCOMPARE(key.readInteger("WindowState"), 0);
        QCOMPARE(key.readInteger("Top"), 0);
        QCOMPARE(key.readInteger("Left"), 0);
        QCOMPARE(key.readInteger("Width"), w->outerWidth());
        QCOMPARE(key.readInteger("Height"), w->outerHeight());
        QCOMPARE(key.readInteger("TreeWidth"), 96);
        QCOMPARE(key.readString("AudioExt"), std::string("mpa"));
        QCOMPARE(key.readString("VideoExt"), std::string("mpv"));
        QCOMPARE(key.readString("SubExt"), std::string("sup"));
        QCOMPARE(key.readString("Workdir"), std::string());
        QCOMPARE(key.readString("EVOdir"), std::string());
        QCOMPARE(key.readInteger("Continue"), 1);
        QCOMPARE(key.readInteger("FastCheck"), 1);
        QCOMPARE(key.readInteger("CountFrames"), 1);
        const double install = doubleFromLittleEndian(key.readBinary("Install"));
        QVERIFY(install >= before - 1e-6 && install <= after + 1e-6);
    }
    QVERIFY(!QFile::exists(home.settingsFile() + ".tmp")); // nothing left of the atomic write
}

void SettingsTest::valuesComeBackAtTheNextStart() {
    ConfigHome home;
    {
        ShownWindow w;
        resizeOuter(*w, 500, 420);
        w->move(30, 40);
        child<QLineEdit>(*w, "eAudioExt")->setText(QStringLiteral("ac3"));
        child<QLineEdit>(*w, "eWorkdir")->setText(QStringLiteral("/tmp/out dir"));
        child<QCheckBox>(*w, "cbFastCheck")->setChecked(false);
        child<QCheckBox>(*w, "cbCountFr")->setChecked(false);
        child<QTabWidget>(*w, "PageControl")->setCurrentIndex(4);
        child<QSplitter>(*w, "splXPL")->setSizes({150, 180});
        QTest::qWait(10);
        w->core().EVOdir = "/media/disc/HVDVD_TS/";
        w->core().XPLdir = "/media/disc/ADV_OBJ/";
        w->close();
    }
    ShownWindow w;
    QVERIFY(w.errors.empty());
    QCOMPARE(w->outerWidth(), 500);
    QCOMPARE(w->outerHeight(), 420);
    QCOMPARE(w->pos(), QPoint(30, 40));
    QCOMPARE(child<QLineEdit>(*w, "eAudioExt")->text(), QStringLiteral("ac3"));
    QCOMPARE(child<QLineEdit>(*w, "eVideoExt")->text(), QStringLiteral("mpv"));
    QCOMPARE(child<QLineEdit>(*w, "eWorkdir")->text(), QStringLiteral("/tmp/out dir"));
    QVERIFY(!child<QCheckBox>(*w, "cbFastCheck")->isChecked());
    QVERIFY(!child<QCheckBox>(*w, "cbCountFr")->isChecked());
    QVERIFY(child<QCheckBox>(*w, "cbContinue")->isChecked());
    QCOMPARE(w->core().EVOdir, std::string("/media/disc/HVDVD_TS/"));
    QCOMPARE(w->core().XPLdir, std::string("/media/disc/ADV_OBJ/"));
    QVERIFY(child<QLineEdit>(*w, "eEVOfile")->text().isEmpty()); // paths themselves are not kept
    child<QTabWidget>(*w, "PageControl")->setCurrentIndex(4);
    QTest::qWait(10);
    QCOMPARE(child<QSplitter>(*w, "splXPL")->sizes().at(0), 150);

    // A longer stored extension is shown as stored; an empty output folder stays empty.
    w->close();
    RegistryKey key = load(home);
    key.writeString("SubExt", "subtitle");
    key.writeString("Workdir", "");
    home.writeSettings(key.serialize());
    ShownWindow again;
    QCOMPARE(child<QLineEdit>(*again, "eSubExt")->text(), QStringLiteral("subtitle"));
    QVERIFY(child<QLineEdit>(*again, "eWorkdir")->text().isEmpty());
}

void SettingsTest::maximisedCloseKeepsEarlierNormalBounds() {
    ConfigHome home;
    {
        ShownWindow w;
        resizeOuter(*w, 480, 400);
        w->move(11, 22);
        w->close();
    }
    const RegistryKey normal = load(home);
    {
        ShownWindow w;
        w->showMaximized();
        QTest::qWait(20);
        QVERIFY(w->isMaximized());
        w->close();
    }
    RegistryKey key = load(home);
    QCOMPARE(key.readInteger("WindowState"), 2);
    for (const char* name : {"Top", "Left", "Width", "Height"})
        QCOMPARE(key.readInteger(name), normal.readInteger(name));
    QCOMPARE(key.readInteger("Width"), 480);

    // The next start opens maximised.
    ShownWindow w;
    QVERIFY(w->isMaximized());
}

void SettingsTest::installIsWrittenOnce() {
    ConfigHome home;
    {
        ShownWindow w;
        w->close();
    }
    RegistryKey key = load(home);
    const std::vector<std::uint8_t> first = key.readBinary("Install");
    QCOMPARE(first.size(), std::size_t(8));
    // An earlier date stays through later closes.
    key.writeBinary("Install", doubleToLittleEndian(40000.25));
    home.writeSettings(key.serialize());
    {
        ShownWindow w;
        w->close();
    }
    QCOMPARE(doubleFromLittleEndian(load(home).readBinary("Install")), 40000.25);
    // Deleted, it is written again with the date of that close.
    home.writeSettings(kHead + "\"Width\"=dword:00000190\n");
    {
        ShownWindow w;
        w->close();
    }
    const double again = doubleFromLittleEndian(load(home).readBinary("Install"));
    QVERIFY(std::abs(again - localNowDays()) < 1.0 / 24);
}

void SettingsTest::wrongTypeStopsLoadingAndSkipsTheBoxReset() {
    ConfigHome home;
    home.writeSettings(kHead + "\"Width\"=\"480\"\n\"AudioExt\"=\"ac3\"\n");
    {
        ShownWindow w;
        QCOMPARE(w.errors, (std::vector<QString>{"Invalid data type for 'Width'"}));
        QCOMPARE(w->size(), QSize(362, 346));
        QCOMPARE(child<QLineEdit>(*w, "eAudioExt")->text(), QStringLiteral("mpa"));
        // The boxes keep their design captions: the reset did not run.
        QCOMPARE(child<QCheckBox>(*w, "cbVideo0")->text(), QStringLiteral("Video stream"));
        QCOMPARE(child<QCheckBox>(*w, "cbAudio15")->text(), QStringLiteral("Audio stream"));
        QCOMPARE(child<QCheckBox>(*w, "cbSub00")->text(), QStringLiteral("Subpicture"));
    }
    // Values before the bad one stay applied, the ones after it keep their design values.
    home.writeSettings(kHead + "\"Width\"=dword:000001e0\n\"AudioExt\"=\"ac3\"\n\"FastCheck\"=\"0\"\n"
                               "\"CountFrames\"=dword:00000000\n\"Top\"=dword:zz\n");
    ShownWindow w;
    QCOMPARE(w.errors, (std::vector<QString>{"Failed to get data for 'Top'"}));
    QCOMPARE(w->outerWidth(), 480);
    QCOMPARE(child<QLineEdit>(*w, "eAudioExt")->text(), QStringLiteral("mpa")); // after "Top" in read order
    QVERIFY(child<QCheckBox>(*w, "cbCountFr")->isChecked());
    QCOMPARE(child<QCheckBox>(*w, "cbVideo0")->text(), QStringLiteral("Video stream"));
}

void SettingsTest::unwritableStoreSavesNothingSilently() {
    ConfigHome home;
    // A plain file where the folder should be: the key can not be created.
    QFile blocker(home.path() + "/Corvane Software");
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    ShownWindow w;
    w->close();
    QVERIFY(w.errors.empty());
    QVERIFY(!QFile::exists(home.settingsFile()));
}

void SettingsTest::titleBarOnNoScreenIsPulledBack() {
    // Two monitors side by side; a title bar 20 pixels high.
    const QList<QRect> two{{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}};
    const QList<QRect> one{{0, 0, 1920, 1080}};
    struct Case {
        const char* what;
        QList<QRect> screens;
        QRect saved;
        QPoint expected;
    };
    const Case cases[] = {
        {"on the first screen", one, {100, 100, 400, 300}, {100, 100}},
        {"on the second monitor", two, {2500, 200, 400, 300}, {2500, 200}},
        {"second monitor gone", one, {2500, 200, 400, 300}, {1520, 200}},
        {"title bar above the top", one, {-3, -60, 366, 446}, {0, 0}},
        {"title bar half above the top", one, {50, -9, 400, 300}, {50, -9}},
        {"title's middle above the top", one, {50, -11, 400, 300}, {50, 0}},
        {"32 pixels of title bar left", one, {-368, 100, 400, 300}, {-368, 100}},
        {"31 pixels of title bar left", one, {-369, 100, 400, 300}, {0, 100}},
        {"below the bottom", one, {10, 1075, 400, 300}, {10, 780}},
        {"larger than the screen", one, {-100, -100, 3000, 2000}, {0, 0}},
        {"no screen known", {}, {-500, -500, 400, 300}, {-500, -500}},
    };
    for (const Case& c : cases) {
        const QRect out = TfMain::reachableBounds(c.saved, 20, c.screens);
        QVERIFY2(out == QRect(c.expected, c.saved.size()), c.what);
    }
}
VANTREL_UI_TEST(SettingsTest)
#include "settings_test.moc"
