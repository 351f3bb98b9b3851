// The keyboard and dropped files as a user meets them: Tab out of the memos,
// Enter on a focused button, the focus after a run, and files dropped on any
// control, delivered the way Qt routes a drop (to the control under the cursor).
#include "window_input_test.h"

#include "runs/source_selection.h"
#include "support/sample_disc.h"
#include "ui_test_util.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QUrl>
#include <QWindow>
#include <qpa/qplatformdrag.h>
#include <qpa/qwindowsysteminterface.h>

using namespace vantrel;
using namespace vantrel::uitest;

namespace vantrel::uitest {

void checkDropsOnEveryControl(TfMain& w, const test::SampleDisc& disc) {
    struct Target {
        const char* control;
        int page;
    };
    const Target targets[] = {{"mMessage", 0}, {"mXPL", 4}, {"tsAudio", 2}, {"eWorkdir", 5}, {"eXPLfile", 0}};
    w.log("a line of the log");
    w.memoAdd("<Playlist>");
    auto* log = child<QPlainTextEdit>(w, "mMessage");
    auto* memo = child<QPlainTextEdit>(w, "mXPL");
    auto* workdir = child<QLineEdit>(w, "eWorkdir");
    const QString logText = log->toPlainText();
    const QString memoText = memo->toPlainText();
    const QString workdirText = workdir->text();
    for (const Target& t : targets) {
        child<QTabWidget>(w, "PageControl")->setCurrentIndex(t.page);
        w.setFieldText(Field::EVOfile, "");
        QWidget* target = child<QWidget>(w, t.control);
        QVERIFY2(target && target->isVisible(), t.control);
        QTest::qWait(20);
        // A point inside the control, clear of scroll bars and borders.
        const QPoint inside = target->mapTo(&w, QPoint(target->width() / 3, target->height() / 3));
        QWidget* under = w.childAt(inside);
        QVERIFY2(under == target || target->isAncestorOf(under), t.control);

        auto* data = new QMimeData; // the drag owns it until the drop is over
        data->setUrls({QUrl::fromLocalFile(QString::fromStdString(disc.feature1))});
        QWindow* window = w.windowHandle();
        const QPoint pos = w.mapTo(w.window(), inside);
        QWindowSystemInterface::handleDrag(window, data, pos, Qt::CopyAction | Qt::MoveAction, Qt::LeftButton,
                                           {});
        QWindowSystemInterface::handleDrag(window, data, pos, Qt::CopyAction | Qt::MoveAction, Qt::LeftButton,
                                           {});
        QWindowSystemInterface::handleDrop(window, data, pos, Qt::CopyAction | Qt::MoveAction, Qt::LeftButton,
                                           {});
        QWindowSystemInterface::handleDrag(window, nullptr, pos, Qt::IgnoreAction, Qt::NoButton, {}); // leave
        delete data;

        QCOMPARE(w.fieldText(Field::EVOfile), disc.feature1);
        QVERIFY2(child<QPushButton>(w, "bCheck")->isEnabled(), t.control);
        QCOMPARE(log->toPlainText(), logText);
        QCOMPARE(memo->toPlainText(), memoText);
        QCOMPARE(workdir->text(), workdirText);
    }
}

} // namespace vantrel::uitest

class WindowInputTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void tabLeavesTheMemosAndReachesTheRunButtons();
    void enterPressesAFocusedButtonAndTheFocusStaysThere();
    void dropsOnEveryControlLoadTheSource();

private:
    QTemporaryDir m_dir;
    test::SampleDisc m_disc;
};

void WindowInputTest::initTestCase() {
    m_disc = test::writeSampleDisc((m_dir.path() + "/disc").toStdString(), 8);
}

void WindowInputTest::tabLeavesTheMemosAndReachesTheRunButtons() {
    ConfigHome home;
    ShownWindow w;
    QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
    w->log("line");
    w->memoAdd("<Playlist>");
    w->setButtonEnabled(Button::Cancel, true);
    for (auto [memoName, page] : {std::pair{"mMessage", 0}, std::pair{"mXPL", 4}}) {
        child<QTabWidget>(*w, "PageControl")->setCurrentIndex(page);
        auto* memo = child<QPlainTextEdit>(*w, memoName);
        const QString text = memo->toPlainText();
        memo->setFocus(Qt::MouseFocusReason);
        QTRY_VERIFY(memo->hasFocus());
        QStringList reached; // the run buttons on the way to Cancel
        for (int i = 0; i < 20 && !child<QPushButton>(*w, "bCancel")->hasFocus(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            if (i == 0) QVERIFY2(!memo->hasFocus(), memoName);
            const QString name = QApplication::focusWidget()->objectName();
            if (name == "bDemux" || name == "bRebuild" || name == "bCancel") reached.append(name);
        }
        QCOMPARE(memo->toPlainText(), text); // no tab typed into it
        QCOMPARE(reached, (QStringList{"bRebuild", "bCancel"}) /* Demux is disabled */);
    }
}

void WindowInputTest::enterPressesAFocusedButtonAndTheFocusStaysThere() {
    ConfigHome home;
    ShownWindow w;
    QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
    const QString out = m_dir.path() + "/out";
    QDir(out).removeRecursively();
    QDir().mkpath(out);
    child<QLineEdit>(*w, "eWorkdir")->setText(out);
    w->setFieldText(Field::EVOfile, m_disc.feature1);
    EVOadj(w->core());
    auto* xplField = child<QLineEdit>(*w, "eXPLfile");

    for (const char* name : {"bCheck", "bDemux"}) {
        auto* button = child<QPushButton>(*w, name);
        QVERIFY2(button->isEnabled(), name);
        button->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(button->hasFocus());
        QTest::keyClick(button, Qt::Key_Return);
        // The run has ended: the focus is back on its button, not in the
        // playlist field with its text selected.
        QVERIFY2(button->hasFocus(), name);
        QVERIFY(!xplField->hasSelectedText());
    }
    QCOMPARE(logLines(*w).count(QStringLiteral("Done.")), 2); // the scan and the demux
    QVERIFY(QDir(out).entryList(QDir::Files).contains(QStringLiteral("FEATURE_1_2.VC-1.stream.0.mpv")));
}

void WindowInputTest::dropsOnEveryControlLoadTheSource() {
    ConfigHome home;
    ShownWindow w;
    checkDropsOnEveryControl(*w, m_disc);
}

VANTREL_UI_TEST(WindowInputTest)
#include "window_input_test.moc"
