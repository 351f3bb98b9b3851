// The window of vantrel-mkv: a disc (or an .iso, a playlist, an EVO file) to
// one Matroska file. The source is read, a title's tracks are found and the
// title job runs on worker threads; the job is the one vantrel-cli mkv runs.
// The window's title tells the state: "Vantrel MKV", "NN% - TITLE - Vantrel
// MKV", then "Done - ...", "Done with warnings - ...", "Failed - ..." or
// "Cancelled - ...".
#pragma once

#include "cli/warning_summary.h"
#include "title_choice.h"

#include <QElapsedTimer>
#include <QMainWindow>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QThread;
class QTreeWidget;
class QTreeWidgetItem;

namespace vantrel::mkvwin {

class MkvWindow : public QMainWindow {
    Q_OBJECT
public:
    enum class State { Idle, Reading, Running, Done, DoneWithWarnings, Failed, Cancelled };

    explicit MkvWindow(QWidget* parent = nullptr);
    ~MkvWindow() override;
    MkvWindow(const MkvWindow&) = delete;
    MkvWindow& operator=(const MkvWindow&) = delete;

    // Reads a source on a worker thread; its titles follow, the default one chosen.
    void openSource(const QString& path);
    // The output file named on the command line: kept over the default names.
    void setOutput(const QString& path);
    // Start: the job of the chosen title and tracks, after the checks of its output.
    void start();
    // Stops a running job at once; nothing is left behind.
    void cancel();

    State state() const { return m_state; }
    QTreeWidget* titleList() const { return m_titles; }
    QTreeWidget* trackList() const { return m_tracks; }
    QLineEdit* outputField() const { return m_output; }
    // The tracks as the list shows them, edits included.
    std::vector<TrackRow> trackRows() const;
    // The job Start would run.
    mux::MkvJob currentJob() const;

    static QString settingsFile();

signals:
    void sourceRead();
    void tracksRead();
    void jobEnded();

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void build();
    void chooseFolder();
    void chooseFile();
    void chooseOutput();
    void titleChosen();
    void showTracks(const TitleTracks& tracks);
    void trackEdited(QTreeWidgetItem* item, int column);
    void runOnWorker(std::function<void()> work);
    void setState(State state);
    void updateTitle();
    void showStage(const QString& text);
    void log(const QString& line);
    void jobProgress(const QString& stage, double fraction);
    void jobWarning(const QString& text);
    void jobFinished(State state, const QString& result, const std::vector<std::string>& warnings);
    void readSettings();
    void writeSettings();
    int chosenRow() const;

    QLineEdit* m_source = nullptr;
    QPushButton* m_folderButton = nullptr;
    QPushButton* m_fileButton = nullptr;
    QTreeWidget* m_titles = nullptr;
    QTreeWidget* m_tracks = nullptr;
    QLabel* m_warnings = nullptr;
    QLineEdit* m_output = nullptr;
    QPushButton* m_outputButton = nullptr;
    QProgressBar* m_progress = nullptr;
    QPushButton* m_start = nullptr;
    QPushButton* m_cancel = nullptr;
    QPlainTextEdit* m_log = nullptr;
    QLabel* m_result = nullptr;

    State m_state = State::Idle;
    std::shared_ptr<const SourceRead> m_read;
    TitleTracks m_titleTracks;
    std::vector<TrackRow> m_rows;
    int m_generation = 0; // a read whose generation is not the current one is dropped
    bool m_filling = false;
    bool m_outputNamed = false; // given on the command line or typed: not replaced by a default
    QString m_titleName;
    int m_percent = 0;
    std::atomic<bool> m_stop{false};
    QElapsedTimer m_clock;
    cli::WarningSummary m_unitWarnings;
    std::vector<QThread*> m_threads;
    QString m_sourceFolder, m_outputFolder;
};

} // namespace vantrel::mkvwin
