// The MKV window's model, offscreen, on the three-clip disc with a title of no
// clips added: the titles with the disc's main title chosen and the empty one
// greyed; the tracks' language, name and flags as edited in the list, and the
// unticked ones left out, judged by mkvmerge -J on the file the job writes.
#include "mkv_window/mkv_window.h"
#include "mux/mkv_job.h"
#include "support/sample_disc.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <fstream>
#include <sstream>

namespace vantrel::mkvwin {

class MkvWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void titlesWithTheMainTitleChosen();
    void editsReachTheFileAndUntickedTracksAreLeftOut();

private:
    int rowOf(const QString& caption) const;
    QTemporaryDir m_dir;
    std::unique_ptr<MkvWindow> m_window;
};

void MkvWindowTest::initTestCase() {
    QVERIFY(m_dir.isValid());
    qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("config")).toUtf8());
    const std::string root = m_dir.filePath(QStringLiteral("disc")).toStdString();
    test::writeThreeClipDisc(root);
    // A title that plays no clip (a menu), longer than the feature.
    const std::string xpl = root + "/ADV_OBJ/VPLST000.XPL";
    std::stringstream text;
    text << std::ifstream(xpl).rdbuf();
    std::string playlist = text.str();
    playlist.replace(
        playlist.find("</TitleSet>"), 0,
        "<Title id=\"menu\" titleNumber=\"5\" displayName=\"Menu\" titleDuration=\"00:01:00:00\"></Title>\n");
    std::ofstream(xpl, std::ios::trunc) << playlist;

    m_window = std::make_unique<MkvWindow>();
    QSignalSpy read(m_window.get(), &MkvWindow::tracksRead);
    m_window->openSource(QString::fromStdString(root));
    QVERIFY(read.wait(60000));
}

int MkvWindowTest::rowOf(const QString& caption) const {
    QTreeWidget* tracks = m_window->trackList();
    for (int i = 0; i < tracks->topLevelItemCount(); ++i)
        if (tracks->topLevelItem(i)->text(0).contains(caption)) return i;
    return -1;
}

void MkvWindowTest::titlesWithTheMainTitleChosen() {
    QTreeWidget* titles = m_window->titleList();
    QCOMPARE(titles->topLevelItemCount(), 5);
    // The longest title with clips, as vantrel-cli takes it: not the longer menu.
    QCOMPARE(titles->currentItem()->text(1), QStringLiteral("Feature"));
    QVERIFY(titles->currentItem()->isSelected());
    QCOMPARE(titles->currentItem()->text(3), QStringLiteral("3"));
    QVERIFY(!(titles->topLevelItem(4)->flags() & Qt::ItemIsEnabled));
    QVERIFY(titles->topLevelItem(1)->flags() & Qt::ItemIsEnabled);
    QCOMPARE(m_window->trackList()->topLevelItemCount(), 9);
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Vantrel MKV"));
    QVERIFY(m_window->outputField()->text().endsWith(QStringLiteral("/Feature.mkv")));
}

void MkvWindowTest::editsReachTheFileAndUntickedTracksAreLeftOut() {
    QTreeWidget* tracks = m_window->trackList();
    const int mpeg2 = rowOf(QStringLiteral("MPEG-2")), dd = rowOf(QStringLiteral("DD.6ch")),
              ddPlus = rowOf(QStringLiteral("DD+")), lpcm = rowOf(QStringLiteral("LPCM")),
              notes = rowOf(QStringLiteral("8bitRLE"));
    QVERIFY(mpeg2 >= 0 && dd >= 0 && ddPlus >= 0 && lpcm >= 0 && notes >= 0);
    // As a user edits the list: untick, type, tick.
    tracks->topLevelItem(mpeg2)->setCheckState(0, Qt::Unchecked);
    tracks->topLevelItem(lpcm)->setCheckState(0, Qt::Unchecked);
    QTreeWidgetItem* item = tracks->topLevelItem(dd);
    item->setText(3, QStringLiteral("fr"));
    item->setText(4, QStringLiteral("Director"));
    item->setCheckState(5, Qt::Checked);
    item->setCheckState(7, Qt::Checked);
    tracks->topLevelItem(ddPlus)->setCheckState(5, Qt::Unchecked);
    QTreeWidgetItem* sub = tracks->topLevelItem(notes);
    sub->setText(3, QStringLiteral("deu"));
    sub->setCheckState(6, Qt::Checked);
    sub->setCheckState(8, Qt::Checked);
    QCOMPARE(item->text(3), QStringLiteral("fre"));

    if (QStandardPaths::findExecutable(QStringLiteral("mkvmerge")).isEmpty()) QSKIP("mkvmerge missing");
    mux::MkvJob job = m_window->currentJob();
    job.output = m_dir.filePath(QStringLiteral("edited.mkv")).toStdString();
    mux::runMkvJob(job);
    QProcess identify;
    identify.start(QStringLiteral("mkvmerge"), {QStringLiteral("-J"), QString::fromStdString(job.output)});
    QVERIFY(identify.waitForFinished(30000));
    const QJsonArray got = QJsonDocument::fromJson(identify.readAllStandardOutput())["tracks"].toArray();

    // type, codec, language, name, default, forced, commentary, hearing impaired
    struct Want {
        const char* type;
        const char* codec;
        const char* language;
        const char* name;
        bool isDefault, forced, commentary, hearingImpaired;
    };
    const Want want[] = {
        {"video", "VC-1", "und", "Feature", true, false, false, false},
        {"audio", "E-AC-3", "und", "English", false, false, false, false},
        {"audio", "AC-3", "fre", "Director", true, false, true, false},
        {"audio", "DTS", "und", "German", false, false, false, false},
        {"audio", "MLP", "und", "Lossless", false, false, false, false},
        {"subtitles", "HDMV PGS", "und", "English", false, false, false, false},
        {"subtitles", "HDMV PGS", "ger", "Notes", false, true, false, true},
    };
    QCOMPARE(got.size(), static_cast<qsizetype>(std::size(want)));
    for (qsizetype i = 0; i < got.size(); ++i) {
        const Want& w = want[i];
        const QJsonObject t = got[i].toObject();
        const QJsonObject p = t["properties"].toObject();
        const QString where = QStringLiteral("track %1").arg(i);
        QVERIFY2(t["type"].toString() == QLatin1String(w.type), qPrintable(where));
        QVERIFY2(t["codec"].toString() == QLatin1String(w.codec), qPrintable(where));
        QVERIFY2(p["language"].toString() == QLatin1String(w.language), qPrintable(where));
        QVERIFY2(p["track_name"].toString() == QLatin1String(w.name), qPrintable(where));
        QVERIFY2(p["default_track"].toBool() == w.isDefault, qPrintable(where));
        QVERIFY2(p["forced_track"].toBool() == w.forced, qPrintable(where));
        QVERIFY2(p["flag_commentary"].toBool() == w.commentary, qPrintable(where));
        QVERIFY2(p["flag_hearing_impaired"].toBool() == w.hearingImpaired, qPrintable(where));
    }
}

} // namespace vantrel::mkvwin

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    vantrel::mkvwin::MkvWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "mkv_window_test.moc"
