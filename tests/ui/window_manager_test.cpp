// The window under a real window manager (tests/ui/under_window_manager.sh
// runs it on an X server of its own): the saved outer bounds through restarts,
// after a move and resize by the window manager, and off every screen; drops.
#include "settings/registry_file.h"
#include "support/sample_disc.h"
#include "ui_test_util.h"
#include "window_input_test.h"

#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>

using namespace vantrel;
using namespace vantrel::uitest;

namespace {

QString run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(10000) || p.exitCode() != 0) qWarning("%s failed", qPrintable(program));
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

long field(const QString& text, const char* label, int base = 10) {
    const QRegularExpression re(QString::fromLatin1(label) + QStringLiteral(":\\s*(-?\\w+)"));
    const QRegularExpressionMatch m = re.match(text);
    return m.hasMatch() ? m.captured(1).toLong(nullptr, base) : -99999;
}

// The frame as the X server has it: the window's ancestor just below the root.
QRect xFrame(WId client) {
    QString id = QString::number(client);
    for (int depth = 0; depth < 8; ++depth) {
        const QString tree =
            run(QStringLiteral("xwininfo"), {QStringLiteral("-tree"), QStringLiteral("-id"), id});
        const long parent = field(tree, "Parent window id", 16);
        if (parent == field(tree, "Root window id", 16)) break;
        id = QString::number(parent);
    }
    const QString info = run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), id});
    return {int(field(info, "Absolute upper-left X")), int(field(info, "Absolute upper-left Y")),
            int(field(info, "Width")), int(field(info, "Height"))};
}

QRect savedBounds(const ConfigHome& home) {
    auto key = RegistryKey::parse(home.settingsText());
    if (!key) return {};
    return {key->readInteger("Left"), key->readInteger("Top"), key->readInteger("Width"),
            key->readInteger("Height")};
}

// Waits until the window manager has framed and placed the window, the frame
// has stayed put for a moment, and Qt's idea of it agrees with the X server's.
void settle(TfMain& w) {
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTRY_VERIFY_WITH_TIMEOUT(w.frameGeometry() != w.geometry(), 5000);
    QRect last;
    auto still = [&] {
        const QRect now = xFrame(w.winId());
        const bool same = now == last && now == w.frameGeometry();
        last = now;
        return same;
    };
    QTRY_VERIFY_WITH_TIMEOUT(still(), 5000); // QTRY_ polls every 50 ms
}

struct Seen {
    QRect frame; // on the screen, before the close
    QRect saved; // Left, Top, Width, Height after it
};

// One start and close of the program; `act` runs while the window is shown.
Seen startAndClose(const ConfigHome& home, const std::function<void(TfMain&)>& act = {}) {
    ShownWindow w;
    settle(*w);
    if (QTest::currentTestFailed()) return {};
    if (act) act(*w);
    Seen seen{xFrame(w->winId()), {}};
    w->close();
    seen.saved = savedBounds(home);
    return seen;
}

QString show(const QRect& r) {
    return QStringLiteral("left %1 top %2 width %3 height %4")
        .arg(r.left())
        .arg(r.top())
        .arg(r.width())
        .arg(r.height());
}

} // namespace

class WindowManagerTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void restartsKeepTheFrameInPlace();
    void aMoveAndResizeByTheWindowManagerComesBack();
    void aTitleBarOffEveryScreenIsPulledBack();
    void dropsOnEveryControlLoadTheSource();
};

void WindowManagerTest::initTestCase() {
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs an X server with a window manager (tests/ui/under_window_manager.sh)");
}

void WindowManagerTest::restartsKeepTheFrameInPlace() {
    ConfigHome home;
    const Seen first = startAndClose(home);
    qInfo("start 1: frame %s, saved %s", qPrintable(show(first.frame)), qPrintable(show(first.saved)));
    QCOMPARE(first.frame.topLeft(), QPoint(0, 0)); // the design place
    QCOMPARE(first.saved, first.frame);
    for (int start = 2; start <= 6; ++start) {
        const Seen seen = startAndClose(home);
        qInfo("start %d: frame %s, saved %s", start, qPrintable(show(seen.frame)),
              qPrintable(show(seen.saved)));
        QCOMPARE(seen.frame, first.frame);
        QCOMPARE(seen.saved, first.saved);
    }
}

void WindowManagerTest::aMoveAndResizeByTheWindowManagerComesBack() {
    ConfigHome home;
    const Seen moved = startAndClose(home, [](TfMain& w) {
        const QRect before = xFrame(w.winId());
        run(QStringLiteral("wmctrl"), {QStringLiteral("-i"), QStringLiteral("-r"), QString::number(w.winId()),
                                       QStringLiteral("-e"), QStringLiteral("0,140,90,480,400")});
        QTRY_VERIFY(xFrame(w.winId()) != before);
        QTRY_COMPARE(w.frameGeometry(), xFrame(w.winId()));
    });
    QCOMPARE(moved.frame.topLeft(), QPoint(140, 90));
    QCOMPARE(moved.saved, moved.frame);
    for (int start = 0; start < 2; ++start) {
        const Seen again = startAndClose(home);
        QCOMPARE(again.frame, moved.frame);
        QCOMPARE(again.saved, moved.saved);
    }
}

void WindowManagerTest::aTitleBarOffEveryScreenIsPulledBack() {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    struct Case {
        int left, top;
        QPoint expected; // the frame's top-left corner on the screen
    };
    const Case cases[] = {
        {-3, -60, screen.topLeft()},                                          // above the top edge
        {screen.right() + 500, 40, QPoint(screen.right() + 1 - 400, 40)},     // a right-hand monitor gone
        {-2000, screen.top() + 30, QPoint(screen.left(), screen.top() + 30)}, // a left-hand one
        {screen.left() + 10, screen.top() + 20,
         QPoint(screen.left() + 10, screen.top() + 20)}, // on screen: kept
    };
    for (const Case& c : cases) {
        ConfigHome home;
        home.writeSettings("Windows Registry Editor Version 5.00\n\n"
                           "[HKEY_CURRENT_USER\\Software\\Corvane Software\\Vantrel]\n"
                           "\"Width\"=dword:00000190\n\"Height\"=dword:00000190\n" +
                           QStringLiteral("\"Top\"=dword:%1\n\"Left\"=dword:%2\n")
                               .arg(quint32(c.top), 8, 16, QLatin1Char('0'))
                               .arg(quint32(c.left), 8, 16, QLatin1Char('0'))
                               .toStdString());
        const Seen seen = startAndClose(home);
        QCOMPARE(seen.frame, QRect(c.expected, QSize(400, 400)));
        QCOMPARE(seen.saved, seen.frame);
    }
}

void WindowManagerTest::dropsOnEveryControlLoadTheSource() {
    QTemporaryDir dir;
    const test::SampleDisc disc = test::writeSampleDisc((dir.path() + "/disc").toStdString(), 4);
    ConfigHome home;
    ShownWindow w;
    settle(*w);
    if (QTest::currentTestFailed()) return;
    checkDropsOnEveryControl(*w, disc);
}

VANTREL_UI_TEST(WindowManagerTest)
#include "window_manager_test.moc"
