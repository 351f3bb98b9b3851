#include "mkv_window.h"

#include "files/errors.h"
#include "files/file_layer.h"
#include "mux/one_pass_job.h"
#include "names/language_codes.h"
#include "settings/registry_file.h"

#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QShortcut>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QThread>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>

namespace vantrel::mkvwin {

namespace {

const char* const kKeyPath = "HKEY_CURRENT_USER\\Software\\Corvane Software\\Vantrel MKV";

enum TitleColumn { TNumber, TName, TDuration, TClips, TChapters };
enum TrackColumn { CTrack, CCodec, CChannels, CLanguage, CName, CDefault, CForced, CCommentary, CHearing };

QString q(const std::string& text) {
    return QString::fromStdString(text);
}

// Only the language and the name are typed; the flags are boxes to tick.
class TrackDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        if (index.column() != CLanguage && index.column() != CName) return nullptr;
        return QStyledItemDelegate::createEditor(parent, option, index);
    }
};

Qt::CheckState checked(bool on) {
    return on ? Qt::Checked : Qt::Unchecked;
}

const char* kindText(TrackKind kind) {
    return kind == TrackKind::Video ? "Video" : kind == TrackKind::Audio ? "Audio" : "Subtitle";
}

QString timeLeft(double seconds) {
    const int s = static_cast<int>(seconds + 0.5);
    return QStringLiteral("%1:%2 left").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

MkvWindow::MkvWindow(QWidget* parent) : QMainWindow(parent) {
    build();
    readSettings();
    updateTitle();
}

MkvWindow::~MkvWindow() {
    m_stop = true;
    // Threads whose end the window has not seen yet: their queued results go with it.
    for (QThread* t : m_threads) {
        t->wait();
        delete t;
    }
}

void MkvWindow::build() {
    setAcceptDrops(true);
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);

    auto* sourceRow = new QHBoxLayout;
    auto* sourceLabel = new QLabel(tr("&Source:"), central);
    m_source = new QLineEdit(central);
    m_source->setPlaceholderText(
        tr("a disc folder, HVDVD_TS, a playlist, an EVO file or a disc image (drop it here)"));
    sourceLabel->setBuddy(m_source);
    m_folderButton = new QPushButton(tr("&Folder..."), central);
    m_fileButton = new QPushButton(tr("F&ile..."), central);
    sourceRow->addWidget(sourceLabel);
    sourceRow->addWidget(m_source, 1);
    sourceRow->addWidget(m_folderButton);
    sourceRow->addWidget(m_fileButton);
    layout->addLayout(sourceRow);
    connect(m_source, &QLineEdit::returnPressed, this, [this] { openSource(m_source->text()); });
    connect(m_folderButton, &QPushButton::clicked, this, &MkvWindow::chooseFolder);
    connect(m_fileButton, &QPushButton::clicked, this, &MkvWindow::chooseFile);

    auto* split = new QSplitter(Qt::Vertical, central);
    m_titles = new QTreeWidget(split);
    m_titles->setRootIsDecorated(false);
    m_titles->setHeaderLabels({tr("Title"), tr("Name"), tr("Duration"), tr("Clips"), tr("Chapters")});
    m_titles->setAccessibleName(tr("Titles"));
    m_tracks = new QTreeWidget(split);
    m_tracks->setRootIsDecorated(false);
    m_tracks->setHeaderLabels({tr("Track"), tr("Codec"), tr("Channels"), tr("Language"), tr("Name"),
                               tr("Default"), tr("Forced"), tr("Commentary"), tr("Hearing impaired")});
    m_tracks->setAccessibleName(tr("Tracks"));
    m_tracks->setItemDelegate(new TrackDelegate(m_tracks));
    m_tracks->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                              QAbstractItemView::SelectedClicked);
    split->addWidget(m_titles);
    split->addWidget(m_tracks);
    split->setStretchFactor(0, 2);
    split->setStretchFactor(1, 3);
    layout->addWidget(split, 3);
    connect(m_titles, &QTreeWidget::itemSelectionChanged, this, &MkvWindow::titleChosen);
    connect(m_tracks, &QTreeWidget::itemChanged, this, &MkvWindow::trackEdited);

    m_warnings = new QLabel(central);
    m_warnings->setWordWrap(true);
    m_warnings->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_warnings->hide();
    layout->addWidget(m_warnings);

    auto* outputRow = new QHBoxLayout;
    auto* outputLabel = new QLabel(tr("&Output:"), central);
    m_output = new QLineEdit(central);
    outputLabel->setBuddy(m_output);
    m_outputButton = new QPushButton(tr("&Browse..."), central);
    outputRow->addWidget(outputLabel);
    outputRow->addWidget(m_output, 1);
    outputRow->addWidget(m_outputButton);
    layout->addLayout(outputRow);
    connect(m_output, &QLineEdit::textEdited, this, [this] { m_outputNamed = true; });
    connect(m_outputButton, &QPushButton::clicked, this, &MkvWindow::chooseOutput);

    auto* runRow = new QHBoxLayout;
    m_progress = new QProgressBar(central);
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->setFormat(QString());
    m_start = new QPushButton(tr("&Start"), central);
    m_start->setToolTip(tr("Ctrl+Return"));
    m_cancel = new QPushButton(tr("&Cancel"), central);
    m_cancel->setToolTip(tr("Escape"));
    m_cancel->setEnabled(false);
    runRow->addWidget(m_progress, 1);
    runRow->addWidget(m_start);
    runRow->addWidget(m_cancel);
    layout->addLayout(runRow);
    connect(m_start, &QPushButton::clicked, this, &MkvWindow::start);
    connect(m_cancel, &QPushButton::clicked, this, &MkvWindow::cancel);

    m_log = new QPlainTextEdit(central);
    m_log->setReadOnly(true);
    m_log->setPlaceholderText(tr("The job's notes, warnings and result"));
    m_log->setAccessibleName(tr("Log"));
    m_log->setTabChangesFocus(true);
    m_log->setMaximumBlockCount(5000);
    layout->addWidget(m_log, 2);
    m_result = new QLabel(central);
    m_result->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_result->setWordWrap(true);
    layout->addWidget(m_result);
    setCentralWidget(central);

    for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* go = new QShortcut(QKeySequence(Qt::CTRL | key), this);
        go->setContext(Qt::WindowShortcut);
        connect(go, &QShortcut::activated, this, &MkvWindow::start);
    }
    auto* stop = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    stop->setContext(Qt::WindowShortcut);
    connect(stop, &QShortcut::activated, this, [this] {
        if (m_state == State::Running) cancel();
    });
    resize(980, 700);
}

void MkvWindow::runOnWorker(std::function<void()> work) {
    QThread* thread = QThread::create(std::move(work));
    m_threads.push_back(thread);
    connect(thread, &QThread::finished, this, [this, thread] {
        m_threads.erase(std::remove(m_threads.begin(), m_threads.end(), thread), m_threads.end());
        thread->deleteLater();
    });
    thread->start();
}

void MkvWindow::openSource(const QString& given) {
    const QString path = given.trimmed();
    if (path.isEmpty() || m_state == State::Running) return;
    m_source->setText(path);
    m_titles->clear();
    m_tracks->clear();
    m_rows.clear();
    m_read.reset();
    m_warnings->hide();
    m_result->clear();
    m_progress->setValue(0);
    showStage(tr("Reading %1").arg(path));
    m_sourceFolder = QFileInfo(path).absolutePath();
    setState(State::Reading);
    const int generation = ++m_generation;
    runOnWorker([this, generation, path = path.toStdString()] {
        std::shared_ptr<const SourceRead> read;
        QString failure;
        try {
            read = std::make_shared<const SourceRead>(readSource(path));
        } catch (const std::exception& e) {
            failure = q(errorText(e));
        }
        QMetaObject::invokeMethod(
            this,
            [this, generation, read, failure] {
                if (generation != m_generation) return;
                showStage({});
                if (!read) {
                    setState(State::Idle);
                    m_result->setText(tr("Cannot read the source: %1").arg(failure));
                    log(QStringLiteral("error: ") + failure);
                    emit sourceRead();
                    return;
                }
                m_read = read;
                for (const std::string& n : read->notes) log(q(n));
                m_filling = true;
                for (const TitleRow& t : read->titles) {
                    auto* item = new QTreeWidgetItem(m_titles);
                    item->setText(TNumber, t.number ? QString::number(*t.number) : QStringLiteral("-"));
                    item->setText(TName, q(t.name));
                    item->setText(TDuration, t.seconds ? q(clockText(*t.seconds)) : QString());
                    item->setText(TClips, QString::number(t.clips));
                    item->setText(TChapters, QString::number(t.chapters));
                    if (!t.playable) {
                        item->setFlags(item->flags() & ~Qt::ItemIsEnabled);
                        item->setToolTip(TName, tr("plays no clip"));
                    }
                }
                for (int c = 0; c < m_titles->columnCount(); ++c) m_titles->resizeColumnToContents(c);
                m_filling = false;
                setState(State::Idle);
                emit sourceRead();
                if (read->defaultRow >= 0) {
                    QTreeWidgetItem* item = m_titles->topLevelItem(read->defaultRow);
                    m_titles->setCurrentItem(item);
                } else {
                    m_result->setText(tr("No title of this source plays a clip."));
                }
            },
            Qt::QueuedConnection);
    });
}

int MkvWindow::chosenRow() const {
    QTreeWidgetItem* item = m_titles->currentItem();
    if (!item || !item->isSelected()) return -1;
    return m_titles->indexOfTopLevelItem(item);
}

void MkvWindow::titleChosen() {
    const int row = chosenRow();
    if (m_filling || !m_read || row < 0 || m_state == State::Running) return;
    m_tracks->clear();
    m_rows.clear();
    m_warnings->hide();
    setState(State::Reading);
    showStage(tr("Reading the tracks of title %1").arg(m_titles->topLevelItem(row)->text(TNumber)));
    const int generation = ++m_generation;
    runOnWorker([this, generation, read = m_read, row] {
        std::optional<TitleTracks> tracks;
        QString failure;
        try {
            tracks = readTracks(*read, row);
        } catch (const std::exception& e) {
            failure = q(errorText(e));
        }
        QMetaObject::invokeMethod(
            this,
            [this, generation, tracks, failure] {
                if (generation != m_generation) return;
                showStage({});
                setState(State::Idle);
                if (!tracks) {
                    m_result->setText(tr("Cannot read the title: %1").arg(failure));
                    log(QStringLiteral("error: ") + failure);
                } else {
                    showTracks(*tracks);
                }
                emit tracksRead();
            },
            Qt::QueuedConnection);
    });
}

void MkvWindow::showTracks(const TitleTracks& tracks) {
    m_titleTracks = tracks;
    m_rows = tracks.tracks;
    m_titleName = q(tracks.title);
    m_filling = true;
    m_tracks->clear();
    for (const TrackRow& t : m_rows) {
        auto* item = new QTreeWidgetItem(m_tracks);
        item->setText(CTrack, QStringLiteral("%1 %2").arg(tr(kindText(t.kind)), q(t.caption)));
        item->setText(CCodec, q(t.codec));
        item->setText(CChannels, t.channels > 0 ? QString::number(t.channels) : QString());
        item->setText(CLanguage, q(t.language));
        item->setText(CName, q(t.name));
        item->setCheckState(CTrack, checked(t.mux));
        item->setCheckState(CDefault, checked(t.isDefault));
        item->setCheckState(CForced, checked(t.forced));
        item->setCheckState(CCommentary, checked(t.commentary));
        item->setCheckState(CHearing, checked(t.hearingImpaired));
        if (t.muxable) {
            item->setFlags(item->flags() | Qt::ItemIsEditable | Qt::ItemIsUserCheckable);
        } else {
            item->setFlags(item->flags() & ~Qt::ItemIsEnabled);
            item->setToolTip(CTrack, q(t.note));
        }
    }
    for (int c = 0; c < m_tracks->columnCount(); ++c) m_tracks->resizeColumnToContents(c);
    m_filling = false;
    QStringList warnings;
    for (const std::string& w : tracks.warnings) warnings << QStringLiteral("warning: ") + q(w);
    for (const TrackRow& t : m_rows)
        if (!t.note.empty()) warnings << q(t.caption + ": " + t.note);
    m_warnings->setText(warnings.join(QLatin1Char('\n')));
    m_warnings->setVisible(!warnings.isEmpty());
    if (!m_outputNamed)
        m_output->setText(q(defaultOutput(*m_read, tracks.title, m_outputFolder.toStdString())));
}

void MkvWindow::trackEdited(QTreeWidgetItem* item, int column) {
    if (m_filling) return;
    const int i = m_tracks->indexOfTopLevelItem(item);
    if (i < 0 || i >= static_cast<int>(m_rows.size())) return;
    TrackRow& t = m_rows[static_cast<std::size_t>(i)];
    const auto on = [&](int c) { return item->checkState(c) == Qt::Checked; };
    t.mux = on(CTrack);
    t.isDefault = on(CDefault);
    t.forced = on(CForced);
    t.commentary = on(CCommentary);
    t.hearingImpaired = on(CHearing);
    t.name = item->text(CName).toStdString();
    m_filling = true;
    if (column == CLanguage) {
        // Any ISO 639 form as typed; the list shows the code the file gets.
        t.language = language6392(item->text(CLanguage).trimmed().toStdString());
        item->setText(CLanguage, q(t.language));
    }
    if (column == CTrack) {
        settleDefaults(m_rows);
        for (std::size_t r = 0; r < m_rows.size(); ++r)
            m_tracks->topLevelItem(static_cast<int>(r))
                ->setCheckState(CDefault, checked(m_rows[r].isDefault));
    }
    m_filling = false;
}

std::vector<TrackRow> MkvWindow::trackRows() const {
    return m_rows;
}

mux::MkvJob MkvWindow::currentJob() const {
    if (!m_read) throw Error(ErrorKind::Usage, "no source");
    return jobOf(*m_read, chosenRow(), m_rows, m_output->text().toStdString());
}

void MkvWindow::setOutput(const QString& path) {
    m_output->setText(path);
    m_outputNamed = !path.isEmpty();
}

void MkvWindow::start() {
    if (m_state == State::Running || m_state == State::Reading || !m_read || chosenRow() < 0 ||
        m_rows.empty())
        return;
    const QString output = m_output->text().trimmed();
    bool replace = false;
    try {
        if (!output.isEmpty() && QFileInfo(output).isFile()) {
            // Onto an input never, whatever the answer would be.
            checkOutput(*m_read, m_titleTracks.parts, output.toStdString(), true);
            if (QMessageBox::question(this, tr("Replace the file?"),
                                      tr("%1 exists. Replace it?").arg(output)) != QMessageBox::Yes)
                return;
            replace = true;
        }
        checkOutput(*m_read, m_titleTracks.parts, output.toStdString(), replace);
    } catch (const std::exception& e) {
        m_result->setText(tr("Not started: %1").arg(q(errorText(e))));
        return;
    }
    m_outputFolder = QFileInfo(output).absolutePath();
    m_log->clear();
    m_unitWarnings.clear();
    m_result->clear();
    m_stop = false;
    m_percent = 0;
    m_progress->setValue(0);
    m_clock.start();
    setState(State::Running);
    // What vantrel-cli mkv says before its run.
    for (const std::string& n : m_read->notes) log(q(n));
    for (const std::string& w : m_titleTracks.warnings) log(QStringLiteral("warning: ") + q(w));
    for (const std::string& n : m_titleTracks.notes) log(q(n));
    log(tr("Writing %1").arg(output));
    const std::size_t earlier = m_titleTracks.warnings.size();
    runOnWorker([this, read = m_read, row = chosenRow(), rows = m_rows, out = output.toStdString(), earlier,
                 replace] {
        State state = State::Done;
        QString result;
        std::vector<std::string> warnings;
        try {
            mux::MkvJob job = jobOf(*read, row, rows, out);
            job.replace = replace; // the user said yes to replacing it
            std::vector<std::int64_t> sizes;
            std::int64_t total = 0;
            for (const mux::ClipPart& p : job.parts) {
                sizes.push_back(std::max<std::int64_t>(1, InputFile(p.path).size()));
                total += sizes.back();
            }
            auto part = std::make_shared<int>(-1);
            auto stage = std::make_shared<std::string>();
            auto before = std::make_shared<std::int64_t>(0);
            auto shown = std::make_shared<QElapsedTimer>();
            job.stopRequested = [this] { return m_stop.load(); };
            // In one pass reading the clips is the whole job; through
            // mkvmerge it is the first half and the muxer's run the second.
            const double reading = job.inProcess ? 1.0 : 0.5;
            job.progress = [=, this](const std::string& label, std::int64_t done, std::int64_t of) {
                const bool muxing = label == "Muxing";
                if (label != *stage) {
                    *stage = label;
                    if (!muxing && *part + 1 < static_cast<int>(sizes.size())) {
                        if (*part >= 0) *before += sizes[static_cast<std::size_t>(*part)];
                        ++*part;
                    }
                }
                double fraction = 0;
                if (muxing)
                    fraction = 0.5 + 0.5 * static_cast<double>(done) /
                                         static_cast<double>(std::max<std::int64_t>(1, of));
                else
                    fraction = reading * static_cast<double>(*before + done) /
                               static_cast<double>(std::max<std::int64_t>(1, total));
                if (shown->isValid() && shown->elapsed() < 100 && done < of) return;
                shown->start();
                QMetaObject::invokeMethod(
                    this, [this, l = q(label), fraction] { jobProgress(l, fraction); }, Qt::QueuedConnection);
            };
            job.warning = [this](const std::string& text) {
                QMetaObject::invokeMethod(
                    this, [this, t = q(text)] { jobWarning(t); }, Qt::QueuedConnection);
            };
            const mux::MkvOutcome outcome = mux::runTitleMkv(job);
            for (const std::string& n : outcome.notes)
                QMetaObject::invokeMethod(
                    this, [this, t = q(n)] { log(t); }, Qt::QueuedConnection);
            warnings = cli::summedWarnings(outcome.warnings);
            state = warnings.empty() && earlier == 0 ? State::Done : State::DoneWithWarnings;
            result = q(out);
        } catch (const Error& e) {
            state = e.kind() == ErrorKind::Interrupted ? State::Cancelled : State::Failed;
            result = q(e.detail());
        } catch (const std::exception& e) {
            state = State::Failed;
            result = q(errorText(e));
        }
        QMetaObject::invokeMethod(
            this, [this, state, result, warnings] { jobFinished(state, result, warnings); },
            Qt::QueuedConnection);
    });
}

void MkvWindow::cancel() {
    if (m_state != State::Running) return;
    m_stop = true;
    m_cancel->setEnabled(false);
    showStage(tr("Cancelling..."));
}

void MkvWindow::jobProgress(const QString& stage, double fraction) {
    if (m_state != State::Running) return;
    const int percent = std::clamp(static_cast<int>(fraction * 100), 0, 100);
    m_progress->setValue(percent);
    QString text = stage == QLatin1String("Muxing") ? tr("Muxing with mkvmerge") : stage;
    const double elapsed = static_cast<double>(m_clock.elapsed()) / 1000.0;
    if (fraction > 0.02 && elapsed > 2)
        text += QStringLiteral(" - ") + timeLeft(elapsed * (1 - fraction) / fraction);
    if (!m_stop) showStage(text);
    if (percent != m_percent) {
        m_percent = percent;
        updateTitle();
    }
}

void MkvWindow::jobWarning(const QString& text) {
    // Per-unit warnings are summed per stream at the end, as the terminal does.
    if (m_unitWarnings.add(text.toStdString())) return;
    log(QStringLiteral("warning: ") + text);
}

void MkvWindow::jobFinished(State state, const QString& result, const std::vector<std::string>& warnings) {
    for (const std::string& line : m_unitWarnings.lines()) log(QStringLiteral("warning: ") + q(line));
    showStage({});
    const int count = static_cast<int>(warnings.size() + m_titleTracks.warnings.size());
    switch (state) {
    case State::Done:
        m_progress->setValue(100);
        m_result->setText(tr("Done: %1").arg(result));
        break;
    case State::DoneWithWarnings:
        m_progress->setValue(100);
        m_result->setText(tr("Done with %n warning(s): %1", nullptr, count).arg(result));
        break;
    case State::Cancelled: m_result->setText(tr("Cancelled: nothing was written")); break;
    default: m_result->setText(tr("Failed: %1").arg(result)); break;
    }
    log(m_result->text());
    setState(state);
    emit jobEnded();
}

void MkvWindow::setState(State state) {
    m_state = state;
    const bool running = state == State::Running;
    const bool reading = state == State::Reading;
    m_start->setEnabled(!running && !reading);
    m_cancel->setEnabled(running);
    for (QWidget* w : std::initializer_list<QWidget*>{m_source, m_folderButton, m_fileButton, m_titles,
                                                      m_tracks, m_output, m_outputButton})
        w->setEnabled(!running);
    if (running) m_cancel->setFocus();
    updateTitle();
}

void MkvWindow::updateTitle() {
    const QString app = QStringLiteral("Vantrel MKV");
    const QString name = m_titleName.isEmpty() ? QStringLiteral("title") : m_titleName;
    switch (m_state) {
    case State::Running: setWindowTitle(QStringLiteral("%1% - %2 - %3").arg(m_percent).arg(name, app)); break;
    case State::Done: setWindowTitle(QStringLiteral("Done - %1 - %2").arg(name, app)); break;
    case State::DoneWithWarnings:
        setWindowTitle(QStringLiteral("Done with warnings - %1 - %2").arg(name, app));
        break;
    case State::Failed: setWindowTitle(QStringLiteral("Failed - %1 - %2").arg(name, app)); break;
    case State::Cancelled: setWindowTitle(QStringLiteral("Cancelled - %1 - %2").arg(name, app)); break;
    default: setWindowTitle(app); break;
    }
}

void MkvWindow::showStage(const QString& text) {
    // While a job runs: its percent, stage and time left; else what is being read.
    QString shown = text;
    if (m_state == State::Running)
        shown = shown.isEmpty() ? QStringLiteral("%p%") : QStringLiteral("%p% - ") + shown;
    // Before any run an empty bar, not "0%"; after one, where it ended.
    if (shown.isEmpty() && m_progress->value() > 0) shown = QStringLiteral("%p%");
    m_progress->setFormat(shown);
}

void MkvWindow::log(const QString& line) {
    m_log->appendPlainText(line);
}

void MkvWindow::chooseFolder() {
    const QString folder = QFileDialog::getExistingDirectory(this, tr("Disc folder"), m_sourceFolder);
    if (!folder.isEmpty()) openSource(folder);
}

void MkvWindow::chooseFile() {
    const QString file = QFileDialog::getOpenFileName(
        this, tr("Disc image, playlist or EVO file"), m_sourceFolder,
        tr("Discs (*.iso *.ISO *.udf *.img *.XPL *.xpl *.EVO *.evo *.VOB *.vob);;All files (*)"));
    if (!file.isEmpty()) openSource(file);
}

void MkvWindow::chooseOutput() {
    const QString start = m_output->text().isEmpty() ? m_outputFolder : m_output->text();
    // The question before replacing comes at Start, where it holds for a typed name too.
    const QString file = QFileDialog::getSaveFileName(
        this, tr("Matroska file"), start, tr("Matroska (*.mkv)"), nullptr, QFileDialog::DontConfirmOverwrite);
    if (file.isEmpty()) return;
    setOutput(file);
    m_outputFolder = QFileInfo(file).absolutePath();
}

void MkvWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls() && m_state != State::Running) event->acceptProposedAction();
}

void MkvWindow::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile()) return;
    event->acceptProposedAction();
    openSource(urls.first().toLocalFile());
}

void MkvWindow::closeEvent(QCloseEvent* event) {
    // A running job stops; what it wrote goes with it.
    m_stop = true;
    for (QThread* t : m_threads) t->wait();
    writeSettings();
    event->accept();
}

QString MkvWindow::settingsFile() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base)) base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/Corvane Software/Vantrel MKV.reg");
}

void MkvWindow::readSettings() {
    QFile file(settingsFile());
    if (!file.open(QIODevice::ReadOnly)) return;
    const std::optional<RegistryKey> key = RegistryKey::parse(file.readAll().toStdString(), kKeyPath);
    if (!key) return;
    try {
        QRect bounds = geometry();
        if (key->exists("Width")) bounds.setWidth(std::max(200, key->readInteger("Width")));
        if (key->exists("Height")) bounds.setHeight(std::max(200, key->readInteger("Height")));
        resize(bounds.size());
        if (key->exists("Top") && key->exists("Left"))
            move(key->readInteger("Left"), key->readInteger("Top"));
        if (key->exists("WindowState") && key->readInteger("WindowState") == 2)
            setWindowState(Qt::WindowMaximized);
        if (key->exists("SourceDir")) m_sourceFolder = q(key->readString("SourceDir"));
        if (key->exists("OutputDir")) m_outputFolder = q(key->readString("OutputDir"));
    } catch (const Error&) {
        // A value of another type: the rest keeps the program's defaults.
    }
}

void MkvWindow::writeSettings() {
    const QString path = settingsFile();
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) return;
    RegistryKey key(kKeyPath);
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly)) {
        if (auto parsed = RegistryKey::parse(existing.readAll().toStdString(), kKeyPath))
            key = std::move(*parsed);
        existing.close();
    }
    key.writeInteger("WindowState", isMaximized() ? 2 : 0);
    if (!isMaximized()) {
        const QRect frame = frameGeometry();
        key.writeInteger("Top", frame.top());
        key.writeInteger("Left", frame.left());
        key.writeInteger("Width", width());
        key.writeInteger("Height", height());
    }
    key.writeString("SourceDir", m_sourceFolder.toStdString());
    key.writeString("OutputDir", m_outputFolder.toStdString());
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly)) return;
    const std::string text = key.serialize();
    out.write(text.data(), static_cast<qint64>(text.size()));
    out.commit(); // a store that cannot be written keeps the last one
}

} // namespace vantrel::mkvwin
