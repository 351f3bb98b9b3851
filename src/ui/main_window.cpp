#include "main_window.h"

#include "engine/click_handlers.h"
#include "engine/errors.h"
#include "engine/time_format.h"
#include "error_report.h"
#include "jpeg_image.h"
#include "playlist/playlist.h"
#include "qt_text.h"
#include "rebuild/rebuild.h"
#include "runs/runs.h"
#include "status_bar.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDropEvent>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QMimeData>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWindow>

#include <exception>

// The logo and the icon live in a static library: pull its resources in.
static void initUiResources() {
    Q_INIT_RESOURCE(ui);
}

namespace vantrel {

TfMain* fMain = nullptr;

namespace {

QString joinLines(const std::vector<std::string>& lines) {
    std::string all;
    std::size_t size = 0;
    for (const auto& l : lines) size += l.size() + 1;
    all.reserve(size);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i) all += '\n';
        all += lines[i];
    }
    return qs(all);
}

// The page tabs take the room of their captions plus a small margin, as the
// six of them fit into the design width.
class CompactTabStyle : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
        if (metric == PM_TabBarTabHSpace) return 12;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

QPixmap logoPixmap() {
    QFile file(QStringLiteral(":/vantrel/logo.jpg"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    QByteArray bytes = file.readAll();
    RgbImage image;
    if (!decodeJpeg(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                    static_cast<std::size_t>(bytes.size()), image))
        return {};
    QImage q(image.rgb.data(), image.width, image.height, image.width * 3, QImage::Format_RGB888);
    return QPixmap::fromImage(q.copy()); // copy: the pixels outlive the decoded buffer
}

} // namespace

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

void TfMain::createControls() {
    m_eEVOfile = new QLineEdit(this);
    m_eEVOfile->setObjectName(QStringLiteral("eEVOfile"));
    m_eEVOfile->setReadOnly(true);
    m_eEVOfile->setToolTip(QStringLiteral("Drop here the source EVO file"));

    m_bbEVO = new QToolButton(this);
    m_bbEVO->setObjectName(QStringLiteral("bbEVO"));
    m_bbEVO->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    m_bbEVO->setToolTip(QStringLiteral("Browse an EVO file"));

    m_bCheck = new QPushButton(QStringLiteral("Read EVO"), this);
    m_bCheck->setObjectName(QStringLiteral("bCheck"));
    m_bCheck->setToolTip(QStringLiteral("Read the source EVO file to detect streams"));
    m_bCheck->setEnabled(false);

    m_eXPLfile = new QLineEdit(this);
    m_eXPLfile->setObjectName(QStringLiteral("eXPLfile"));
    m_eXPLfile->setReadOnly(true);
    m_eXPLfile->setToolTip(QStringLiteral("Drop here the VPLST000.XPL"));

    m_bbXPL = new QToolButton(this);
    m_bbXPL->setObjectName(QStringLiteral("bbXPL"));
    m_bbXPL->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    m_bbXPL->setToolTip(QStringLiteral("Browse the HD DVD disc's VPLST000.XPL"));

    m_bReadXPL = new QPushButton(QStringLiteral("Read XPL"), this);
    m_bReadXPL->setObjectName(QStringLiteral("bReadXPL"));
    m_bReadXPL->setToolTip(QStringLiteral("Read the XPL file to detect stream infos"));
    m_bReadXPL->setEnabled(false);

    m_pageControl = new QTabWidget(this);
    m_pageControl->setObjectName(QStringLiteral("PageControl"));
    auto* tabStyle = new CompactTabStyle;
    tabStyle->setParent(m_pageControl);
    m_pageControl->tabBar()->setStyle(tabStyle);
    createPages();

    m_bDemux = new QPushButton(QStringLiteral("Demux"), this);
    m_bDemux->setObjectName(QStringLiteral("bDemux"));
    m_bDemux->setToolTip(QStringLiteral("Demux the source EVO to streams"));
    QFont bold = m_bDemux->font();
    bold.setBold(true);
    m_bDemux->setFont(bold);
    m_bDemux->setEnabled(false);

    m_bRebuild = new QPushButton(QStringLiteral("Rebuild"), this);
    m_bRebuild->setObjectName(QStringLiteral("bRebuild"));

    m_imLogo = new QLabel(this);
    m_imLogo->setObjectName(QStringLiteral("imLogo"));
    m_imLogo->setToolTip(QStringLiteral("HD DVD logo :-)"));
    m_imLogo->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_imLogo->setPixmap(logoPixmap());

    m_bCancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_bCancel->setObjectName(QStringLiteral("bCancel"));
    m_bCancel->setToolTip(QStringLiteral("You can stop the actual process"));
    m_bCancel->setEnabled(false);

    m_statusBar = new StatusPanels(this);
    m_statusBar->setObjectName(QStringLiteral("StatusBar"));
    m_statusBar->setPanelText(0, QStringLiteral(" Ready"));
    m_statusBar->setPanelText(1, QStringLiteral(" Select or drop an EVO file to demux"));
    m_statusBar->setToolTip(QStringLiteral(" Select or drop an EVO file to demux"));

    connect(m_bbEVO, &QToolButton::clicked, this, [this] { handle([this] { bbEVOClick(); }); });
    connect(m_bbXPL, &QToolButton::clicked, this, [this] { handle([this] { bbXPLClick(); }); });
    connect(m_bCheck, &QPushButton::clicked, this, [this] { runButton(&bCheckClick); });
    connect(m_bDemux, &QPushButton::clicked, this, [this] { runButton(&bDemuxClick); });
    connect(m_bReadXPL, &QPushButton::clicked, this, [this] { runButton(&bReadXPLClick); });
    connect(m_bRebuild, &QPushButton::clicked, this, [this] { runButton(&bRebuildClick); });
    connect(m_bCancel, &QPushButton::clicked, this, [this] { handle([this] { bCancelClick(m_core); }); });
}

void TfMain::createPages() {
    // Status: the run log.
    auto* tsStatus = new QWidget;
    tsStatus->setObjectName(QStringLiteral("tsStatus"));
    m_mMessage = new QPlainTextEdit(tsStatus);
    m_mMessage->setObjectName(QStringLiteral("mMessage"));
    m_mMessage->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_mMessage->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_mMessage->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_mMessage->setTabChangesFocus(true);
    auto* statusLayout = new QVBoxLayout(tsStatus);
    statusLayout->setContentsMargins(0, 0, 0, 0);
    statusLayout->addWidget(m_mMessage);
    m_pageControl->addTab(tsStatus, QStringLiteral("Status"));

    // Video, Audio, Subpicture: the 40 stream boxes.
    auto makeBox = [this](int n, QWidget* page) {
        auto* cb = new QCheckBox(qs(StreamBoxes::designCaption(n)), page);
        cb->setObjectName(qs(StreamBoxes::name(n)));
        cb->setToolTip(qs(StreamBoxes::pageTooltip(n)));
        cb->setEnabled(false);
        m_boxes[static_cast<std::size_t>(n)] = cb;
        connect(cb, &QCheckBox::toggled, this, [this, n](bool checked) {
            handle([this, n, checked] { m_core.boxes.setTicked(n, checked); });
        });
        return cb;
    };
    auto makeBoxPage = [&](const char* name, const char* caption, const char* tooltip, int first, int count) {
        auto* page = new QWidget;
        page->setObjectName(QString::fromLatin1(name));
        page->setToolTip(QString::fromLatin1(tooltip));
        auto* grid = new QGridLayout(page);
        grid->setContentsMargins(8, 6, 8, 6);
        grid->setVerticalSpacing(0);
        int rows = 8;
        for (int i = 0; i < count; ++i) grid->addWidget(makeBox(first + i, page), i % rows, i / rows);
        grid->setRowStretch(rows, 1);
        m_pageControl->addTab(page, QString::fromLatin1(caption));
    };
    makeBoxPage("tsVideo", "Video", "Check the desired video stream", 0, 8);
    makeBoxPage("tsAudio", "Audio", "Check the desired audio streams", StreamBoxes::kFirstAudio, 16);
    makeBoxPage("tsSubpicture", "Subpicture", "Check the desired subpicture streams", StreamBoxes::kFirstSub,
                16);

    // XPL: the tree beside the playlist memo.
    auto* tsXPL = new QWidget;
    tsXPL->setObjectName(QStringLiteral("tsXPL"));
    m_splXPL = new QSplitter(Qt::Horizontal, tsXPL);
    m_splXPL->setObjectName(QStringLiteral("splXPL"));
    m_splXPL->setChildrenCollapsible(false);
    m_tvXPL = new QTreeWidget(m_splXPL);
    m_tvXPL->setObjectName(QStringLiteral("tvXPL"));
    m_tvXPL->setHeaderHidden(true);
    m_tvXPL->setIndentation(19);
    m_tvXPL->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_tvXPL->setToolTip(QStringLiteral("Infos from your XPL file"));
    m_tvXPL->setMinimumWidth(50);
    m_mXPL = new QPlainTextEdit(m_splXPL);
    m_mXPL->setObjectName(QStringLiteral("mXPL"));
    m_mXPL->setFont(QFont(QStringLiteral("Courier New"), 8));
    m_mXPL->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_mXPL->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_mXPL->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_mXPL->setTabChangesFocus(true);
    m_mXPL->setToolTip(QStringLiteral("This is your XPL file (part of it)"));
    m_mXPL->setMinimumWidth(50);
    m_splXPL->setStretchFactor(0, 0);
    m_splXPL->setStretchFactor(1, 1);
    m_splXPL->setSizes({m_treeWidth, 10000});
    connect(m_splXPL, &QSplitter::splitterMoved, this, [this](int pos, int) { m_treeWidth = pos; });
    auto* xplLayout = new QVBoxLayout(tsXPL);
    xplLayout->setContentsMargins(0, 0, 0, 0);
    xplLayout->addWidget(m_splXPL);
    m_pageControl->addTab(tsXPL, QStringLiteral("XPL"));
    for (const char* root : {"Video", "Audio", "Subpicture", "Chapter"}) treeAddRoot(root);

    // Options.
    auto* tsOption = new QWidget;
    tsOption->setObjectName(QStringLiteral("tsOption"));
    auto* gbFile = new QGroupBox(tsOption);
    gbFile->setObjectName(QStringLiteral("gbFile"));
    auto* lVideoExt = new QLabel(QStringLiteral("Extensions (video, audio, subtitle)"), gbFile);
    lVideoExt->setObjectName(QStringLiteral("lVideoExt"));
    auto makeExt = [gbFile](const char* name, const char* text) {
        auto* e = new QLineEdit(QString::fromLatin1(text), gbFile);
        e->setObjectName(QString::fromLatin1(name));
        e->setMaxLength(5);
        e->setFixedWidth(44);
        return e;
    };
    m_eVideoExt = makeExt("eVideoExt", "mpv");
    m_eAudioExt = makeExt("eAudioExt", "mpa");
    m_eSubExt = makeExt("eSubExt", "sup");
    auto* lWorkdir = new QLabel(QStringLiteral("Output folder"), gbFile);
    lWorkdir->setObjectName(QStringLiteral("lWorkdir"));
    m_eWorkdir = new QLineEdit(gbFile);
    m_eWorkdir->setObjectName(QStringLiteral("eWorkdir"));
    auto* gbLayout = new QGridLayout(gbFile);
    gbLayout->setContentsMargins(8, 4, 8, 6);
    gbLayout->setVerticalSpacing(2);
    auto* extRow = new QHBoxLayout;
    extRow->addWidget(lVideoExt);
    extRow->addWidget(m_eVideoExt);
    extRow->addWidget(m_eAudioExt);
    extRow->addWidget(m_eSubExt);
    extRow->addStretch(1);
    gbLayout->addLayout(extRow, 0, 0);
    auto* dirRow = new QHBoxLayout;
    dirRow->addWidget(lWorkdir);
    dirRow->addWidget(m_eWorkdir, 1);
    gbLayout->addLayout(dirRow, 1, 0);

    auto makeOption = [tsOption](const char* name, const char* text, const char* tooltip) {
        auto* cb = new QCheckBox(QString::fromLatin1(text), tsOption);
        cb->setObjectName(QString::fromLatin1(name));
        cb->setChecked(true);
        if (tooltip) cb->setToolTip(QString::fromLatin1(tooltip));
        return cb;
    };
    m_cbContinue = makeOption("cbContinue", "Continue with second  EVO",
                              "Demux continues with e.g. FEATURE_2.EVO if it exists");
    m_cbFastCheck =
        makeOption("cbFastCheck", "Fast EVO checking", "Read EVO checks only the first ~300 MB of the file");
    m_cbCountFr = makeOption("cbCountFr", "Count frames", nullptr);
    auto* optionLayout = new QVBoxLayout(tsOption);
    optionLayout->setContentsMargins(6, 4, 6, 4);
    optionLayout->setSpacing(2);
    optionLayout->addWidget(gbFile);
    optionLayout->addWidget(m_cbContinue);
    optionLayout->addWidget(m_cbFastCheck);
    optionLayout->addWidget(m_cbCountFr);
    optionLayout->addStretch(1);
    m_pageControl->addTab(tsOption, QStringLiteral("Options"));
    m_pageControl->setCurrentIndex(0);
}

int TfMain::logoLeft(int outerWidth) {
    return outerWidth <= 432 ? 153 : outerWidth / 2 - 63;
}

int TfMain::outerWidth() const {
    return width() + (frameGeometry().width() - geometry().width());
}

int TfMain::outerHeight() const {
    return height() + (frameGeometry().height() - geometry().height());
}

// The design places, with the right-hand controls following the right edge,
// the bottom row following the bottom edge and the page control stretching.
void TfMain::placeControls() {
    const int dw = width() - kDesignWidth;
    const int dh = height() - kDesignHeight;
    m_eEVOfile->setGeometry(8, 8, 249 + dw, 21);
    m_bbEVO->setGeometry(263 + dw, 6, 25, 25);
    m_bCheck->setGeometry(294 + dw, 7, 60, 25);
    m_eXPLfile->setGeometry(8, 40, 249 + dw, 21);
    m_bbXPL->setGeometry(263 + dw, 38, 25, 25);
    m_bReadXPL->setGeometry(294 + dw, 38, 60, 25);
    m_pageControl->setGeometry(8, 69, 346 + dw, 219 + dh);
    m_bDemux->setGeometry(8, 294 + dh, 60, 25);
    m_bRebuild->setGeometry(74, 294 + dh, 60, 25);
    m_imLogo->setGeometry(logoLeft(outerWidth()), 292 + dh, 125, 31);
    m_bCancel->setGeometry(294 + dw, 294 + dh, 60, 25);
    m_statusBar->setGeometry(0, height() - 21, width(), 21);
}

void TfMain::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeControls(); // FormResize: the logo follows the window's middle
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
    case QEvent::Drop: {
        // The memos and the edits would take a dropped file's address as text.
        auto* drop = static_cast<QDropEvent*>(event);
        if (!drop->mimeData()->hasUrls()) break;
        if (event->type() == QEvent::Drop) handle([this, drop] { WMDropFiles(drop->mimeData()); });
        drop->acceptProposedAction(); // the drop is released in every case
        return true;
    }
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

// --- The window port -------------------------------------------------------

void TfMain::log(const std::string& text) {
    QTextDocument* doc = m_mMessage->document();
    QTextCursor cursor(doc);
    cursor.movePosition(QTextCursor::End);
    if (m_logLines > 0 || !doc->isEmpty()) cursor.insertBlock();
    cursor.insertText(qs(text));
    ++m_logLines;
    QScrollBar* bar = m_mMessage->verticalScrollBar();
    bar->setValue(bar->maximum());
}

void TfMain::slog(const std::string& text, int panel) {
    m_statusBar->setPanelText(panel, QStringLiteral(" ") + qs(text));
    if (panel == 1) m_statusBar->setToolTip(qs(text));
    m_statusBar->repaint();
}

QCheckBox* TfMain::option(Option o) const {
    switch (o) {
    case Option::Continue: return m_cbContinue;
    case Option::FastCheck: return m_cbFastCheck;
    case Option::CountFrames: return m_cbCountFr;
    }
    return m_cbContinue;
}

bool TfMain::optionTicked(Option o) {
    return option(o)->isChecked();
}

QLineEdit* TfMain::field(Field f) const {
    switch (f) {
    case Field::EVOfile: return m_eEVOfile;
    case Field::XPLfile: return m_eXPLfile;
    case Field::Workdir: return m_eWorkdir;
    case Field::VideoExt: return m_eVideoExt;
    case Field::AudioExt: return m_eAudioExt;
    case Field::SubExt: return m_eSubExt;
    }
    return m_eEVOfile;
}

std::string TfMain::fieldText(Field f) {
    return field(f)->text().toStdString();
}

void TfMain::setFieldText(Field f, const std::string& text) {
    field(f)->setText(qs(text));
}

QPushButton* TfMain::button(Button b) const {
    switch (b) {
    case Button::Check: return m_bCheck;
    case Button::ReadXPL: return m_bReadXPL;
    case Button::Demux: return m_bDemux;
    case Button::Rebuild: return m_bRebuild;
    case Button::Cancel: return m_bCancel;
    }
    return m_bCheck;
}

void TfMain::setButtonEnabled(Button b, bool enabled) {
    QPushButton* pushButton = button(b);
    if (!enabled && pushButton->hasFocus()) {
        // Qt would hand the focus on to the next control, the playlist field
        // after Read EVO, with all its text selected. The window holds it
        // instead, and the button gets it back when it is enabled again.
        m_focusWhileDisabled = pushButton;
        setFocus(Qt::OtherFocusReason);
    }
    pushButton->setEnabled(enabled);
    if (enabled && m_focusWhileDisabled == pushButton) {
        m_focusWhileDisabled = nullptr;
        if (QApplication::focusWidget() == this) pushButton->setFocus(Qt::OtherFocusReason);
    }
}

void TfMain::showPage(Page page) {
    m_pageControl->setCurrentIndex(static_cast<int>(page));
}

void TfMain::boxChanged(int n) {
    const BoxState& state = m_core.boxes[n];
    QCheckBox* cb = box(n);
    QSignalBlocker blocker(cb);
    cb->setEnabled(state.enabled);
    cb->setChecked(state.ticked);
    cb->setText(qs(state.caption));
    cb->setToolTip(qs(state.tooltip));
}

void TfMain::processEvents() {
    QCoreApplication::processEvents();
}

void TfMain::repaint() {
    QWidget::repaint();
}

bool TfMain::confirm(const std::string& title, const std::string& question) {
    QMessageBox box(QMessageBox::Question, qs(title), qs(question), QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

double TfMain::now() {
    return localNowDays();
}

std::string TfMain::formatLongTime(double days) {
    QLocale locale;
    return formatTimeOfDay(days, locale.timeFormat(QLocale::LongFormat).toStdString(),
                           locale.amText().toStdString(), locale.pmText().toStdString());
}

void TfMain::refreshXPLMemo() {
    m_mXPL->setPlainText(joinLines(m_xplLines));
}

void TfMain::memoClear() {
    m_xplLines.clear();
    m_mXPL->clear();
}

void TfMain::memoAdd(const std::string& line) {
    m_xplLines.push_back(line);
    if (!m_xplVisible) return; // shown in one piece when the memo is shown again
    if (m_xplLines.size() == 1)
        refreshXPLMemo();
    else
        m_mXPL->appendPlainText(qs(line));
}

void TfMain::memoSetVisible(bool visible) {
    if (visible == m_xplVisible) return;
    m_xplVisible = visible;
    if (visible) refreshXPLMemo();
    m_mXPL->setVisible(visible);
}

std::vector<std::string> TfMain::memoLines() {
    return m_xplLines;
}

void TfMain::memoKeep(int first, int last) {
    const int count = static_cast<int>(m_xplLines.size());
    if (first < 0) first = 0;
    if (last >= count) last = count - 1;
    if (first > last) {
        m_xplLines.clear();
    } else {
        m_xplLines.erase(m_xplLines.begin() + last + 1, m_xplLines.end());
        m_xplLines.erase(m_xplLines.begin(), m_xplLines.begin() + first);
    }
    if (m_xplVisible) refreshXPLMemo();
}

void TfMain::treeClear() {
    m_tvXPL->clear();
    m_treeNodes.clear();
}

int TfMain::treeAddRoot(const std::string& text) {
    auto* item = new QTreeWidgetItem(m_tvXPL, QStringList{qs(text)});
    m_treeNodes.push_back(item);
    return static_cast<int>(m_treeNodes.size()) - 1;
}

int TfMain::treeAddChild(int parent, const std::string& text) {
    if (parent < 0 || parent >= static_cast<int>(m_treeNodes.size())) return treeAddRoot(text);
    auto* item = new QTreeWidgetItem(m_treeNodes[static_cast<std::size_t>(parent)], QStringList{qs(text)});
    m_treeNodes.push_back(item);
    return static_cast<int>(m_treeNodes.size()) - 1;
}

} // namespace vantrel
