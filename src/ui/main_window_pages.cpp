// The window's controls and pages as the design builds them, and their
// absolute geometry: the right-hand controls follow the right edge, the bottom
// row the bottom edge, the logo the window's middle.
#include "main_window.h"

#include "engine/click_handlers.h"
#include "jpeg_image.h"
#include "playlist/playlist.h"
#include "qt_text.h"
#include "rebuild/rebuild.h"
#include "runs/runs.h"
#include "status_bar.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QFile>
#include <QFont>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QSplitter>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cstddef>
#include <cstdint>

namespace vantrel {

namespace {

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

} // namespace vantrel
