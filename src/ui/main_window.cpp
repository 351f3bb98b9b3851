// The window's life cycle: creation, the first showing and activation,
// closing (once a run has stopped), the error report, and the event filter on
// every control (first exposure, drops, Enter on a button).
#include "main_window.h"

#include "engine/click_handlers.h"
#include "error_report.h"
#include "files/errors.h"
#include "qt_text.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include <exception>

// The logo and the icon live in a static library: pull its resources in.
static void initUiResources() {
    Q_INIT_RESOURCE(ui);
}

namespace vantrel {

TfMain* fMain = nullptr;

void setUpApplication() {
    initUiResources();
    // The application's title. Not the display name: Qt would append that to
    // the window's caption.
    QApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
    QGuiApplication::setDesktopFileName(QStringLiteral("vantrel"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/vantrel/vantrel.png")));
}

TfMain::TfMain(QWidget* parent) : QWidget(parent), m_core(*this) {
    initUiResources();
    fMain = this;
    setObjectName(QStringLiteral("fMain"));
    setWindowTitle(QString::fromLatin1(kCaption));
    // Tahoma 8 pt where it is installed; elsewhere fontconfig would give the
    // wider DejaVu Sans, in which captions such as the extensions label do not
    // fit, so the closest narrow relative comes next.
    QFont font;
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed")});
    font.setPointSize(8);
    setFont(font);
    createControls();
    setMinimumSize(kDesignWidth, kDesignHeight);
    resize(kDesignWidth, kDesignHeight);
    move(0, 0);
    placeControls();
    // Files dropped onto any control, and Enter on a focused button, are the
    // window's to handle.
    for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
}

TfMain::~TfMain() {
    // Box changes from the core must not reach controls that are going away.
    m_core.boxes.onChanged = nullptr;
    if (fMain == this) fMain = nullptr;
}

void TfMain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    FormShow();
    // Settings and box reset come with the first activation; a desktop without
    // a window manager may never activate the window, so the first exposure
    // brings them too. Not the show itself: a window manager frames the
    // window between the show and the exposure, and the saved bounds include
    // that frame.
    if (!m_activated && windowHandle()) windowHandle()->installEventFilter(this);
}

bool TfMain::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::Expose:
        if (watched == windowHandle() && windowHandle()->isExposed()) {
            windowHandle()->removeEventFilter(this);
            QTimer::singleShot(0, this, [this] { FormActivate(); });
        }
        break;
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        if (takeDropOnControl(event)) return true;
        break;
    case QEvent::KeyPress: {
        // Enter presses a focused button, as Space does.
        auto* key = static_cast<QKeyEvent*>(event);
        auto* pressed = qobject_cast<QAbstractButton*>(watched);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (enter && key->modifiers() == Qt::NoModifier &&
            (qobject_cast<QPushButton*>(pressed) || qobject_cast<QToolButton*>(pressed))) {
            if (pressed->isEnabled()) pressed->click();
            return true;
        }
        break;
    }
    default: break;
    }
    return QWidget::eventFilter(watched, event);
}

bool TfMain::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) FormActivate();
    if (event->type() == QEvent::WindowActivate || event->type() == QEvent::Move ||
        event->type() == QEvent::Resize)
        givePendingBounds();
    return QWidget::event(event);
}

void TfMain::FormShow() {
    setAcceptDrops(true);
}

void TfMain::FormActivate() {
    if (m_activated) return;
    m_activated = true;
    // A value of the wrong type ends the loading with the error report, and
    // the boxes then keep their design captions.
    handle([this] {
        RegRead();
        Resetcbs(m_core);
    });
}

void TfMain::closeEvent(QCloseEvent* event) {
    if (runActive()) {
        // Stop the run first; the close comes back once it has ended and
        // closed its files (runButton re-sends it).
        m_core.stopRequested = 1;
        m_closePending = true;
        event->ignore();
        return;
    }
    if (!m_closed) {
        m_closed = true;
        FormClose();
    }
    event->accept();
}

void TfMain::FormClose() {
    handle([this] { RegWrite(); });
}

void TfMain::handle(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        reportError(errorText(e));
    }
}

void TfMain::runButton(void (*run)(Core&)) {
    if (runActive() || m_closed) return;
    ++m_runDepth;
    handle([this, run] { run(m_core); });
    --m_runDepth;
    if (m_closePending && !runActive()) {
        m_closePending = false;
        QTimer::singleShot(0, this, &QWidget::close);
    }
}

void TfMain::reportError(const std::string& text) {
    QString shown = qs(errorReportText(text));
    if (errorReportHook) {
        errorReportHook(shown);
        return;
    }
    QMessageBox box(QMessageBox::Critical, QString::fromLatin1(kApplicationTitle), shown, QMessageBox::Ok,
                    this);
    box.exec();
}

} // namespace vantrel
