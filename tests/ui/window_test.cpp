// The window's controls, layout, log and status bar, stream-box mirror, error
// report and Cancel.
#include "engine/click_handlers.h"
#include "ui/error_report.h"
#include "ui/jpeg_image.h"
#include "ui/status_bar.h"
#include "ui_test_util.h"
#include "version.h"

#include <QApplication>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

using namespace vantrel;
using namespace vantrel::uitest;

class WindowTest : public QObject {
    Q_OBJECT
private slots:
    void controlsHaveTheirNamesTextsTooltipsAndStates();
    void pagesAndTheirContents();
    void designPlacesAndResizeBehaviour();
    void everyCaptionFitsAtTheDesignSize();
    void logoFollowsTheMiddleBeyond433();
    void logoIsDecodedFromOurJpeg();
    void statusBarPanelsFollowTheWidthRule();
    void logAppendsLinesUnchanged();
    void boxesMirrorTheCoreAndUserTicksReachIt();
    void errorReportAppendsFullStopAfterLaterCharacters();
    void errorReportIsOneCriticalBox();
    void cancelDuringScanStopsWithoutQuestion();
    void cancelDuringDemuxAsksAndNoKeepsTheRunGoing();
};

void WindowTest::controlsHaveTheirNamesTextsTooltipsAndStates() {
    ConfigHome home;
    ShownWindow w;
    QCOMPARE(w->objectName(), QStringLiteral("fMain"));
    QCOMPARE(fMain, w.window.get());
    QCOMPARE(w->windowTitle(), QStringLiteral("Vantrel " VANTREL_VERSION " (based on Orvand's demux 0.6)"));
    QCOMPARE(QApplication::applicationDisplayName(), QStringLiteral("HD DVD Vantrel"));
    QVERIFY(w->acceptDrops());

    struct Expect {
        const char* name;
        const char* text;
        const char* tooltip;
        bool enabled;
    };
    const Expect buttons[] = {
        {"bCheck", "Read EVO", "Read the source EVO file to detect streams", false},
        {"bReadXPL", "Read XPL", "Read the XPL file to detect stream infos", false},
        {"bDemux", "Demux", "Demux the source EVO to streams", false},
        {"bRebuild", "Rebuild", "", true},
        {"bCancel", "Cancel", "You can stop the actual process", false},
    };
    for (const auto& e : buttons) {
        auto* b = child<QPushButton>(*w, e.name);
        QVERIFY2(b, e.name);
        QCOMPARE(b->text(), QString::fromLatin1(e.text));
        QCOMPARE(b->toolTip(), QString::fromLatin1(e.tooltip));
        QCOMPARE(b->isEnabled(), e.enabled);
    }
    QVERIFY(child<QPushButton>(*w, "bDemux")->font().bold());
    QVERIFY(!child<QPushButton>(*w, "bCheck")->font().bold());

    auto* eEVO = child<QLineEdit>(*w, "eEVOfile");
    auto* eXPL = child<QLineEdit>(*w, "eXPLfile");
    QVERIFY(eEVO && eXPL);
    QVERIFY(eEVO->isReadOnly() && eXPL->isReadOnly());
    QVERIFY(eEVO->text().isEmpty() && eXPL->text().isEmpty());
    QCOMPARE(eEVO->toolTip(), QStringLiteral("Drop here the source EVO file"));
    QCOMPARE(eXPL->toolTip(), QStringLiteral("Drop here the VPLST000.XPL"));
    QCOMPARE(child<QToolButton>(*w, "bbEVO")->toolTip(), QStringLiteral("Browse an EVO file"));
    QCOMPARE(child<QToolButton>(*w, "bbXPL")->toolTip(),
             QStringLiteral("Browse the HD DVD disc's VPLST000.XPL"));
    QVERIFY(!child<QToolButton>(*w, "bbEVO")->icon().isNull());
    QCOMPARE(child<QLabel>(*w, "imLogo")->toolTip(), QStringLiteral("HD DVD logo :-)"));

    auto* bar = child<StatusPanels>(*w, "StatusBar");
    QVERIFY(bar);
    QCOMPARE(bar->panelText(0), QStringLiteral(" Ready"));
    QCOMPARE(bar->panelText(1), QStringLiteral(" Select or drop an EVO file to demux"));
    QCOMPARE(bar->toolTip(), QStringLiteral(" Select or drop an EVO file to demux"));

    // After the first activation every stream box is disabled, unticked and
    // shows its page's reset caption and tooltip.
    for (int n = 0; n < StreamBoxes::kCount; ++n) {
        auto* cb = child<QCheckBox>(*w, StreamBoxes::name(n).c_str());
        QVERIFY2(cb, StreamBoxes::name(n).c_str());
        QVERIFY(!cb->isEnabled());
        QVERIFY(!cb->isChecked());
        QCOMPARE(cb->text().toStdString(), StreamBoxes::resetCaption(n));
        QCOMPARE(cb->toolTip().toStdString(), StreamBoxes::pageTooltip(n));
    }

    // Options page.
    QCOMPARE(child<QLabel>(*w, "lVideoExt")->text(), QStringLiteral("Extensions (video, audio, subtitle)"));
    QCOMPARE(child<QLabel>(*w, "lWorkdir")->text(), QStringLiteral("Output folder"));
    const std::pair<const char*, const char*> exts[] = {
        {"eVideoExt", "mpv"}, {"eAudioExt", "mpa"}, {"eSubExt", "sup"}};
    for (const auto& [name, text] : exts) {
        auto* e = child<QLineEdit>(*w, name);
        QCOMPARE(e->text(), QString::fromLatin1(text));
        QCOMPARE(e->maxLength(), 5);
        QVERIFY(!e->isReadOnly());
    }
    QVERIFY(child<QLineEdit>(*w, "eWorkdir")->text().isEmpty());
    auto* cont = child<QCheckBox>(*w, "cbContinue");
    QCOMPARE(cont->text(), QStringLiteral("Continue with second  EVO"));
    QCOMPARE(cont->toolTip(), QStringLiteral("Demux continues with e.g. FEATURE_2.EVO if it exists"));
    auto* fast = child<QCheckBox>(*w, "cbFastCheck");
    QCOMPARE(fast->text(), QStringLiteral("Fast EVO checking"));
    QCOMPARE(fast->toolTip(), QStringLiteral("Read EVO checks only the first ~300 MB of the file"));
    auto* count = child<QCheckBox>(*w, "cbCountFr");
    QCOMPARE(count->text(), QStringLiteral("Count frames"));
    QVERIFY(count->toolTip().isEmpty());
    QVERIFY(cont->isChecked() && fast->isChecked() && count->isChecked());
    QVERIFY(w->optionTicked(Option::FastCheck));
    fast->setChecked(false);
    QVERIFY(!w->optionTicked(Option::FastCheck));
}

void WindowTest::pagesAndTheirContents() {
    ConfigHome home;
    ShownWindow w;
    auto* pages = child<QTabWidget>(*w, "PageControl");
    QVERIFY(pages);
    QCOMPARE(pages->count(), 6);
    QCOMPARE(pages->currentIndex(), 0);
    const std::tuple<const char*, const char*, const char*> expected[] = {
        {"tsStatus", "Status", ""},
        {"tsVideo", "Video", "Check the desired video stream"},
        {"tsAudio", "Audio", "Check the desired audio streams"},
        {"tsSubpicture", "Subpicture", "Check the desired subpicture streams"},
        {"tsXPL", "XPL", ""},
        {"tsOption", "Options", ""},
    };
    for (int i = 0; i < 6; ++i) {
        const auto& [name, caption, tooltip] = expected[i];
        QCOMPARE(pages->widget(i)->objectName(), QString::fromLatin1(name));
        QCOMPARE(pages->tabText(i), QString::fromLatin1(caption));
        QCOMPARE(pages->widget(i)->toolTip(), QString::fromLatin1(tooltip));
    }
    // Every box on its page; the six tabs fit without scroll buttons.
    QCOMPARE(pages->widget(1)->findChildren<QCheckBox*>().size(), 8);
    QCOMPARE(pages->widget(2)->findChildren<QCheckBox*>().size(), 16);
    QCOMPARE(pages->widget(3)->findChildren<QCheckBox*>().size(), 16);
    int tabsWidth = 0;
    for (int i = 0; i < 6; ++i) tabsWidth += pages->tabBar()->tabRect(i).width();
    QVERIFY2(tabsWidth <= pages->width(), qPrintable(QString::number(tabsWidth)));

    auto* memo = child<QPlainTextEdit>(*w, "mMessage");
    QVERIFY(!memo->isReadOnly());
    QCOMPARE(memo->lineWrapMode(), QPlainTextEdit::NoWrap);
    QCOMPARE(memo->parentWidget(), pages->widget(0));

    auto* tree = child<QTreeWidget>(*w, "tvXPL");
    QCOMPARE(tree->topLevelItemCount(), 4);
    const char* roots[] = {"Video", "Audio", "Subpicture", "Chapter"};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(tree->topLevelItem(i)->text(0), QString::fromLatin1(roots[i]));
        QCOMPARE(tree->topLevelItem(i)->childCount(), 0);
    }
    QCOMPARE(tree->indentation(), 19);
    QCOMPARE(tree->selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(tree->toolTip(), QStringLiteral("Infos from your XPL file"));
    auto* xpl = child<QPlainTextEdit>(*w, "mXPL");
    QCOMPARE(xpl->toolTip(), QStringLiteral("This is your XPL file (part of it)"));
    QCOMPARE(xpl->font().family(), QStringLiteral("Courier New"));
    pages->setCurrentIndex(4);
    QTest::qWait(10);
    QCOMPARE(child<QSplitter>(*w, "splXPL")->sizes().at(0), 96);

    // The tree and memo operations of the port.
    int root = w->treeAddRoot("Info");
    int title = w->treeAddChild(root, "Title: sample");
    QCOMPARE(tree->topLevelItemCount(), 5);
    QCOMPARE(tree->topLevelItem(4)->child(0)->text(0), QStringLiteral("Title: sample"));
    w->treeAddChild(title, "deeper");
    QCOMPARE(tree->topLevelItem(4)->child(0)->child(0)->text(0), QStringLiteral("deeper"));
    w->treeClear();
    QCOMPARE(tree->topLevelItemCount(), 0);

    w->memoSetVisible(false);
    for (const char* line : {"", "<a>", "  <b/>", "</a>"}) w->memoAdd(line);
    QVERIFY(xpl->isHidden());
    w->memoSetVisible(true);
    QCOMPARE(xpl->toPlainText(), QStringLiteral("\n<a>\n  <b/>\n</a>"));
    w->memoKeep(1, 2);
    QCOMPARE(w->memoLines(), (std::vector<std::string>{"<a>", "  <b/>"}));
    QCOMPARE(xpl->toPlainText(), QStringLiteral("<a>\n  <b/>"));
}

void WindowTest::designPlacesAndResizeBehaviour() {
    ConfigHome home;
    ShownWindow w;
    QCOMPARE(w->size(), QSize(362, 346));
    QCOMPARE(w->minimumSize(), QSize(362, 346));
    QCOMPARE(w->pos(), QPoint(0, 0));
    auto geo = [&](const char* name) {
        return w->findChild<QWidget*>(QString::fromLatin1(name))->geometry();
    };
    QCOMPARE(geo("eEVOfile"), QRect(8, 8, 249, 21));
    QCOMPARE(geo("bbEVO"), QRect(263, 6, 25, 25));
    QCOMPARE(geo("bCheck"), QRect(294, 7, 60, 25));
    QCOMPARE(geo("eXPLfile"), QRect(8, 40, 249, 21));
    QCOMPARE(geo("bbXPL"), QRect(263, 38, 25, 25));
    QCOMPARE(geo("bReadXPL"), QRect(294, 38, 60, 25));
    QCOMPARE(geo("PageControl"), QRect(8, 69, 346, 219));
    QCOMPARE(geo("bDemux"), QRect(8, 294, 60, 25));
    QCOMPARE(geo("bRebuild"), QRect(74, 294, 60, 25));
    QCOMPARE(geo("imLogo"), QRect(153, 292, 125, 31));
    QCOMPARE(geo("bCancel"), QRect(294, 294, 60, 25));
    QCOMPARE(geo("StatusBar"), QRect(0, 325, 362, 21));

    w->resize(562, 446);
    QTest::qWait(10);
    QCOMPARE(geo("eEVOfile"), QRect(8, 8, 449, 21));
    QCOMPARE(geo("bbEVO"), QRect(463, 6, 25, 25));
    QCOMPARE(geo("bReadXPL"), QRect(494, 38, 60, 25));
    QCOMPARE(geo("PageControl"), QRect(8, 69, 546, 319));
    QCOMPARE(geo("bDemux"), QRect(8, 394, 60, 25));
    QCOMPARE(geo("bRebuild"), QRect(74, 394, 60, 25));
    QCOMPARE(geo("bCancel"), QRect(494, 394, 60, 25));
    QCOMPARE(geo("imLogo").y(), 392);
    QCOMPARE(geo("StatusBar"), QRect(0, 425, 562, 21));

    w->resize(100, 100); // the minimum holds
    QTest::qWait(10);
    QCOMPARE(w->size(), QSize(362, 346));
}

void WindowTest::everyCaptionFitsAtTheDesignSize() {
    ConfigHome home;
    ShownWindow w;
    auto* pages = child<QTabWidget>(*w, "PageControl");
    for (int page = 0; page < pages->count(); ++page) {
        pages->setCurrentIndex(page);
        QTest::qWait(10);
        for (auto* label : pages->widget(page)->findChildren<QLabel*>())
            QVERIFY2(label->width() >= label->sizeHint().width(), qPrintable(label->objectName()));
        for (auto* box : pages->widget(page)->findChildren<QCheckBox*>()) {
            // Design and reset captions; the longest scan caption of its page.
            QFontMetrics fm(box->font());
            const int indicator = box->sizeHint().width() - fm.horizontalAdvance(box->text());
            const QString name = box->objectName();
            const QString longest =
                name.startsWith(QStringLiteral("cbSub"))     ? QStringLiteral("Ext.Subpicture.15")
                : name.startsWith(QStringLiteral("cbAudio")) ? QStringLiteral("DTSHD.stream.15")
                                                             : QStringLiteral("MPEG-2.stream.1");
            QVERIFY2(box->width() >= indicator + fm.horizontalAdvance(longest),
                     qPrintable(box->objectName()));
            QVERIFY2(box->width() >= box->sizeHint().width(), qPrintable(box->objectName()));
        }
    }
    for (auto* button : w->findChildren<QPushButton*>()) {
        if (!button->isVisibleTo(w.window.get()) || button->parentWidget() != w.window.get()) continue;
        const int text = QFontMetrics(button->font()).horizontalAdvance(button->text());
        QVERIFY2(text + 4 <= button->width(), qPrintable(button->objectName()));
    }
}

void WindowTest::logoFollowsTheMiddleBeyond433() {
    QCOMPARE(TfMain::logoLeft(370), 153);
    QCOMPARE(TfMain::logoLeft(432), 153);
    QCOMPARE(TfMain::logoLeft(433), 153);
    QCOMPARE(TfMain::logoLeft(434), 154);
    QCOMPARE(TfMain::logoLeft(500), 187);

    ConfigHome home;
    ShownWindow w;
    auto* logo = child<QLabel>(*w, "imLogo");
    const int frame = w->outerWidth() - w->width();
    for (auto [width, left] : {std::pair{370, 153}, std::pair{433, 153}, std::pair{500, 187}}) {
        w->resize(width - frame, 400);
        QTest::qWait(10);
        QCOMPARE(w->outerWidth(), width);
        QCOMPARE(logo->x(), left);
    }
}

void WindowTest::logoIsDecodedFromOurJpeg() {
    QFile file(QStringLiteral(":/vantrel/logo.jpg"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QByteArray bytes = file.readAll();
    RgbImage image;
    std::string error;
    QVERIFY(decodeJpeg(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size()),
                       image, &error));
    QCOMPARE(image.width, 125);
    QCOMPARE(image.height, 32);
    QCOMPARE(image.rgb.size(), std::size_t(125 * 32 * 3));

    // Damaged pictures are refused with a message, never end the program.
    QByteArray cut = bytes.left(bytes.size() / 3);
    QVERIFY(
        !decodeJpeg(reinterpret_cast<const std::uint8_t*>(cut.constData()), std::size_t(cut.size()), image) ||
        image.width == 125); // libjpeg pads a truncated scan; no crash either way
    QByteArray garbage(200, '\x55');
    QVERIFY(!decodeJpeg(reinterpret_cast<const std::uint8_t*>(garbage.constData()), 200, image, &error));
    QVERIFY(!error.empty());
    QCOMPARE(image.width, 0);
    QVERIFY(!decodeJpeg(nullptr, 0, image));

    ConfigHome home;
    ShownWindow w;
    auto* logo = child<QLabel>(*w, "imLogo");
    QCOMPARE(logo->pixmap().size(), QSize(125, 32));
    QCOMPARE(logo->size(), QSize(125, 31));
}

void WindowTest::statusBarPanelsFollowTheWidthRule() {
    ConfigHome home;
    ShownWindow w;
    auto* bar = child<StatusPanels>(*w, "StatusBar");
    QFontMetrics fm(bar->font());
    w->slog("Writing stream(s)", 0);
    QCOMPARE(bar->panelText(0), QStringLiteral(" Writing stream(s)"));
    QCOMPARE(bar->panelWidth(0), fm.horizontalAdvance(QStringLiteral(" Writing stream(s)a")));
    const int wide = bar->panelWidth(0);
    w->slog("Ready", 0);
    QCOMPARE(bar->panelWidth(0), fm.horizontalAdvance(QStringLiteral(" Readya")));
    QVERIFY(bar->panelWidth(0) < wide);
    QCOMPARE(bar->panelWidth(1), bar->width() - bar->panelWidth(0)); // the last panel stretches
    // Panel 0 leaves the tooltip alone; panel 1 sets it without the blank.
    QCOMPARE(bar->toolTip(), QStringLiteral(" Select or drop an EVO file to demux"));
    w->slog(" Reading FEATURE_1.EVO 4/10 Mbytes", 1);
    QCOMPARE(bar->panelText(1), QStringLiteral("  Reading FEATURE_1.EVO 4/10 Mbytes"));
    QCOMPARE(bar->toolTip(), QStringLiteral(" Reading FEATURE_1.EVO 4/10 Mbytes"));
    w->slog("", 1);
    QCOMPARE(bar->panelText(1), QStringLiteral(" "));
    QVERIFY(bar->toolTip().isEmpty());
}

void WindowTest::logAppendsLinesUnchanged() {
    ConfigHome home;
    ShownWindow w;
    w->log("");
    w->log("Opening file FEATURE_1.EVO");
    w->log("");
    w->log("Done.");
    QCOMPARE(logLines(*w), (QStringList{"", "Opening file FEATURE_1.EVO", "", "Done."}));
    // The user may type into the log; later lines go below what was typed.
    auto* memo = child<QPlainTextEdit>(*w, "mMessage");
    memo->moveCursor(QTextCursor::End);
    memo->insertPlainText(QStringLiteral(" typed"));
    w->log("next");
    QCOMPARE(logLines(*w).last(), QStringLiteral("next"));
    QCOMPARE(logLines(*w).at(3), QStringLiteral("Done. typed"));
}

void WindowTest::boxesMirrorTheCoreAndUserTicksReachIt() {
    ConfigHome home;
    ShownWindow w;
    Core& core = w->core();
    const int a3 = StreamBoxes::audioBox(3);
    auto* cb = child<QCheckBox>(*w, "cbAudio03");
    auto* demux = child<QPushButton>(*w, "bDemux");
    core.boxes.setEnabled(a3, true);
    core.boxes.setCaption(a3, "DD+.stream.03");
    core.boxes.setTooltip(a3, "DD+.6ch.stream.03.English");
    core.boxes.setTicked(a3, true);
    QVERIFY(cb->isEnabled() && cb->isChecked());
    QCOMPARE(cb->text(), QStringLiteral("DD+.stream.03"));
    QCOMPARE(cb->toolTip(), QStringLiteral("DD+.6ch.stream.03.English"));
    QVERIFY(demux->isEnabled());

    // A click by the user goes through the core: the tick and the Demux button follow.
    QTest::mouseClick(cb, Qt::LeftButton, {}, QPoint(6, cb->height() / 2));
    QVERIFY(!cb->isChecked());
    QVERIFY(!core.boxes.ticked(a3));
    QVERIFY(!demux->isEnabled());
    cb->click();
    QVERIFY(core.boxes.ticked(a3));
    QVERIFY(demux->isEnabled());

    // Resetcbs disables and recaptions, keeping the tick (and Demux).
    Resetcbs(core);
    QVERIFY(!cb->isEnabled() && cb->isChecked());
    QCOMPARE(cb->text(), QStringLiteral("No audio stream"));
    QVERIFY(demux->isEnabled());
}

void WindowTest::errorReportAppendsFullStopAfterLaterCharacters() {
    QCOMPARE(errorReportText("Stream write error"), std::string("Stream write error."));
    QCOMPARE(errorReportText("Done."), std::string("Done."));
    QCOMPARE(errorReportText("Invalid data type for 'Width'"), std::string("Invalid data type for 'Width'"));
    QCOMPARE(errorReportText("Cannot open file \"\". No such file or directory"),
             std::string("Cannot open file \"\". No such file or directory."));
    QCOMPARE(errorReportText("x-"), std::string("x-"));  // '-' comes before '.'
    QCOMPARE(errorReportText("x/"), std::string("x/.")); // '/' comes after '.'
    QCOMPARE(errorReportText("1"), std::string("1."));
    QCOMPARE(errorReportText("é"), std::string("é.")); // bytes above 127 count as later
    QCOMPARE(errorReportText(""), std::string(""));
}

void WindowTest::errorReportIsOneCriticalBox() {
    ConfigHome home;
    ShownWindow w;
    w->errorReportHook = nullptr;
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    int boxes = 0;
    onNextModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) {
            modal->close();
            return;
        }
        ++boxes;
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttons = box->standardButtons();
        box->accept();
    });
    // Rebuild with no source chosen: the run fails to open the empty path.
    child<QPushButton>(*w, "bRebuild")->click();
    QCOMPARE(boxes, 1);
    QCOMPARE(title, QStringLiteral("HD DVD Vantrel"));
    QCOMPARE(icon, QMessageBox::Critical);
    QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY2(text.startsWith(QStringLiteral("Cannot open file \"")), qPrintable(text));
    QVERIFY(text.endsWith(QLatin1Char('.')));
}

void WindowTest::cancelDuringScanStopsWithoutQuestion() {
    ConfigHome home;
    ShownWindow w;
    Core& core = w->core();
    auto* cancel = child<QPushButton>(*w, "bCancel");
    w->setButtonEnabled(Button::Cancel, true);
    core.demuxActive = 0;
    // A question would block the click; this timer would then find and close it.
    QWidget* seen = nullptr;
    QTimer::singleShot(0, [&] {
        seen = QApplication::activeModalWidget();
        if (seen) seen->close();
    });
    cancel->click();
    QCOMPARE(core.stopRequested, std::uint8_t(1));
    QTest::qWait(20);
    QVERIFY(!seen);
}

void WindowTest::cancelDuringDemuxAsksAndNoKeepsTheRunGoing() {
    ConfigHome home;
    ShownWindow w;
    Core& core = w->core();
    auto* cancel = child<QPushButton>(*w, "bCancel");
    w->setButtonEnabled(Button::Cancel, true);
    core.demuxActive = 1;

    for (bool yes : {false, true}) {
        core.stopRequested = 0;
        QString title, text;
        bool noIsDefault = false;
        onNextModal([&, yes](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QVERIFY(box);
            title = box->windowTitle();
            text = box->text();
            noIsDefault = box->defaultButton() == box->button(QMessageBox::No);
            if (yes)
                box->button(QMessageBox::Yes)->click();
            else
                QTest::keyClick(box, Qt::Key_Return); // Enter takes the default answer
        });
        cancel->click();
        QCOMPARE(title, QStringLiteral("Confirm"));
        QCOMPARE(text, QStringLiteral("Are you sure to stop demuxing?"));
        QVERIFY(noIsDefault);
        QCOMPARE(core.stopRequested, std::uint8_t(yes ? 1 : 0));
    }
}

VANTREL_UI_TEST(WindowTest)
#include "window_test.moc"
