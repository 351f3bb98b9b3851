// The main window: every control of the program, the Qt side of the window
// port through which the runs report, source selection by dialog and by drop,
// the settings store, start-up and shutdown. The core state lives in the Core
// that the window owns; the runs themselves are plain C++ and only see the port.
// One class, in files by concern: main_window.cpp (life cycle, events, error
// report), main_window_pages.cpp (controls, pages, geometry),
// window_port_adapter.cpp (WindowPort), source_selection_ui.cpp (dialogs and
// drops), settings.cpp (settings store, outer bounds).
#pragma once

#include "engine/core.h"
#include "engine/window_port.h"
#include "version.h"

#include <QList>
#include <QRect>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QFileDialog;
class QLabel;
class QLineEdit;
class QMimeData;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QTimer;
class QTabWidget;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace vantrel {

class StatusPanels;

class TfMain : public QWidget, public WindowPort {
    Q_OBJECT
public:
    static constexpr int kDesignWidth = 362;
    static constexpr int kDesignHeight = 346;
    static constexpr const char* kCaption = "Vantrel " VANTREL_VERSION " (based on Orvand's demux 0.6)";

    explicit TfMain(QWidget* parent = nullptr);
    ~TfMain() override;

    Core& core() { return m_core; }

    // WindowPort.
    void log(const std::string& text) override;
    void slog(const std::string& text, int panel) override;
    bool optionTicked(Option option) override;
    std::string fieldText(Field field) override;
    void setFieldText(Field field, const std::string& text) override;
    void setButtonEnabled(Button button, bool enabled) override;
    void showPage(Page page) override;
    void boxChanged(int box) override;
    void processEvents() override;
    void repaint() override;
    bool confirm(const std::string& title, const std::string& question) override;
    double now() override;
    std::string formatLongTime(double days) override;
    void memoClear() override;
    void memoAdd(const std::string& line) override;
    void memoSetVisible(bool visible) override;
    std::vector<std::string> memoLines() override;
    void memoKeep(int first, int last) override;
    void treeClear() override;
    int treeAddRoot(const std::string& text) override;
    int treeAddChild(int parent, const std::string& text) override;

    // Source selection: the browse buttons and dropped files.
    void bbEVOClick();
    void bbXPLClick();
    // The first item of a drop: an ".EVO" or ".XPL" local file (extension
    // compared upper-cased) goes into its field; anything else is ignored.
    // Returns true when the drop was taken.
    bool WMDropFiles(const QMimeData* data);

    // Settings store (a registry-export text file under the XDG config folder).
    static QString settingsFile();
    void RegRead();
    void RegWrite();

    // Left edge of the logo for an outer window width.
    static int logoLeft(int outerWidth);

    // The file dialogs as the browse buttons set them up (start folder, preset
    // name, filters). Exposed for the tests.
    void setUpEVODialog(QFileDialog& dialog) const;
    void setUpXPLDialog(QFileDialog& dialog) const;

    // True while a run handler is active (a second run button does nothing then).
    bool runActive() const { return m_runDepth > 0 || m_core.runActive; }

    // The application's error report. When set, the hook receives the report
    // text instead of a message box being shown (the tests use it).
    std::function<void(const QString&)> errorReportHook;
    void reportError(const std::string& text);

    // Outer width and height (frame included), as the settings store them.
    int outerWidth() const;
    int outerHeight() const;

    // Outer bounds (frame included) as they would come back on the screens
    // given: a title bar whose middle line runs over no screen for at least
    // kTitleGrip pixels (a monitor that has gone, a position saved off-screen)
    // is pulled onto the nearest screen.
    static constexpr int kTitleGrip = 32;
    static QRect reachableBounds(const QRect& bounds, int titleHeight, const QList<QRect>& screens);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // A drag or drop with files onto a control (from the event filter): the
    // window takes it, and a drop goes to WMDropFiles. False for other drags.
    bool takeDropOnControl(QEvent* event);
    void createControls();
    void createPages();
    void placeControls();
    void FormShow();
    void FormActivate();
    void FormClose();
    // Runs a handler; every error escaping it ends in the error report.
    void handle(const std::function<void()>& handler);
    // Runs one of the four runs, unless a run is active already.
    void runButton(void (*run)(Core&));
    QCheckBox* box(int n) const { return m_boxes[static_cast<std::size_t>(n)]; }
    QCheckBox* option(Option option) const;
    QLineEdit* field(Field field) const;
    QPushButton* button(Button button) const;
    void refreshXPLMemo();
    // Gives the window outer bounds (pulled onto a screen if need be): the
    // client area is their size less the frame, and the frame's top-left
    // corner goes to their place. Until the window manager has framed the
    // window, the frame is not known: the bounds are then given again once it
    // is (watched on the window's events and for a few seconds by a timer,
    // since a frame that leaves the client where it was sends no event).
    void applyOuterBounds(const QRect& bounds);
    void givePendingBounds();

    Core m_core;

    QLineEdit* m_eEVOfile = nullptr;
    QToolButton* m_bbEVO = nullptr;
    QPushButton* m_bCheck = nullptr;
    QLineEdit* m_eXPLfile = nullptr;
    QToolButton* m_bbXPL = nullptr;
    QPushButton* m_bReadXPL = nullptr;
    QTabWidget* m_pageControl = nullptr;
    QPushButton* m_bDemux = nullptr;
    QPushButton* m_bRebuild = nullptr;
    QLabel* m_imLogo = nullptr;
    QPushButton* m_bCancel = nullptr;
    StatusPanels* m_statusBar = nullptr;

    QPlainTextEdit* m_mMessage = nullptr;
    std::array<QCheckBox*, StreamBoxes::kCount> m_boxes{};
    QTreeWidget* m_tvXPL = nullptr;
    QSplitter* m_splXPL = nullptr;
    QPlainTextEdit* m_mXPL = nullptr;
    QLineEdit* m_eVideoExt = nullptr;
    QLineEdit* m_eAudioExt = nullptr;
    QLineEdit* m_eSubExt = nullptr;
    QLineEdit* m_eWorkdir = nullptr;
    QCheckBox* m_cbContinue = nullptr;
    QCheckBox* m_cbFastCheck = nullptr;
    QCheckBox* m_cbCountFr = nullptr;

    // The log's line count (an empty first line is a line too).
    int m_logLines = 0;
    // The playlist memo's lines; the text control shows them when visible.
    std::vector<std::string> m_xplLines;
    bool m_xplVisible = true;
    // Tree nodes by the handle handed to the core.
    std::vector<QTreeWidgetItem*> m_treeNodes;
    // The tree width, kept while the XPL page was never laid out.
    int m_treeWidth = 96;

    std::optional<QRect> m_pendingBounds;
    QTimer* m_frameWatch = nullptr;
    int m_frameWatchTicks = 0;

    // The run button that had the focus when it was disabled.
    QPushButton* m_focusWhileDisabled = nullptr;

    bool m_activated = false;
    int m_runDepth = 0;
    bool m_closePending = false;
    bool m_closed = false;
};

// The one main window of the program (set while it exists).
extern TfMain* fMain;

// The application's title ("HD DVD Vantrel"), desktop file name and icon; run
// once the QApplication exists, before the window is created.
void setUpApplication();

} // namespace vantrel
