// Choosing the source and the playlist: the two browse dialogs and files
// dropped onto the window or any of its controls. The names and folders derived from the two fields
// come from EVOadj and XPLadj of the runs.
#include "main_window.h"

#include "files/path_parts.h"
#include "qt_text.h"
#include "runs/source_selection.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

namespace vantrel {

namespace {

// Disc file names are upper case and the file systems here are case-sensitive,
// so every pattern matches regardless of case.
const char* const kEVOFilter = "EVOB files (HD DVD) (*.[eE][vV][oO])";
const char* const kVOBFilter = "VOB files (DVD) (*.[vV][oO][bB])";
const char* const kXPLFilter = "XPL ([vV][pP][lL][sS][tT]000.[xX][pP][lL])";

} // namespace

void TfMain::setUpEVODialog(QFileDialog& dialog) const {
    dialog.setWindowTitle(QStringLiteral("Choose the EVO file to demux"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontResolveSymlinks);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters({QString::fromLatin1(kEVOFilter), QString::fromLatin1(kVOBFilter)});
    dialog.selectNameFilter(QString::fromLatin1(kEVOFilter));
    dialog.setDefaultSuffix(QStringLiteral("EVO"));
    if (!m_core.EVOdir.empty()) dialog.setDirectory(qs(m_core.EVOdir));
    if (!m_core.EVOname.empty()) dialog.selectFile(qs(m_core.EVOname));
}

void TfMain::setUpXPLDialog(QFileDialog& dialog) const {
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters({QString::fromLatin1(kXPLFilter)});
    dialog.setDefaultSuffix(QStringLiteral("xpl"));
    if (!m_core.XPLdir.empty()) dialog.setDirectory(qs(m_core.XPLdir));
    if (!m_core.xplDialogFileName.empty()) dialog.selectFile(qs(m_core.xplDialogFileName));
}

// A cancelled dialog leaves the field and everything derived from it as it was.
// While a run is active the source stays as the run found it.
void TfMain::bbEVOClick() {
    if (runActive()) return;
    QFileDialog dialog(this);
    setUpEVODialog(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    setFieldText(Field::EVOfile, dialog.selectedFiles().first().toStdString());
    EVOadj(m_core);
}

void TfMain::bbXPLClick() {
    if (runActive()) return;
    QFileDialog dialog(this);
    setUpXPLDialog(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    setFieldText(Field::XPLfile, dialog.selectedFiles().first().toStdString());
    m_core.xplDialogFileName = fileNamePart(fieldText(Field::XPLfile));
    XPLadj(m_core);
}

bool TfMain::WMDropFiles(const QMimeData* data) {
    if (!data || !data->hasUrls() || runActive()) return false;
    const QList<QUrl> urls = data->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile()) return false;
    const QString path = urls.first().toLocalFile();
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString ext = dot < 0 ? QString() : name.mid(dot).toUpper();
    if (ext == QLatin1String(".EVO")) {
        setFieldText(Field::EVOfile, path.toStdString());
        EVOadj(m_core);
        return true;
    }
    if (ext == QLatin1String(".XPL")) {
        setFieldText(Field::XPLfile, path.toStdString());
        XPLadj(m_core);
        return true;
    }
    return false;
}

bool TfMain::takeDropOnControl(QEvent* event) {
    // The memos and the edits would take a dropped file's address as text.
    auto* drop = static_cast<QDropEvent*>(event);
    if (!drop->mimeData()->hasUrls()) return false;
    if (event->type() == QEvent::Drop) handle([this, drop] { WMDropFiles(drop->mimeData()); });
    drop->acceptProposedAction(); // the drop is released in every case
    return true;
}

void TfMain::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TfMain::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TfMain::dropEvent(QDropEvent* event) {
    handle([this, event] { WMDropFiles(event->mimeData()); });
    event->acceptProposedAction(); // the drop is released in every case
}

} // namespace vantrel
