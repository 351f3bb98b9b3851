// The Qt side of the window port: the runs' log, status panels, options,
// fields, buttons, pages, stream boxes, playlist memo and tree, as the core
// reaches them through WindowPort.
#include "main_window.h"

#include "engine/time_format.h"
#include "qt_text.h"
#include "status_bar.h"

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTreeWidget>

namespace vantrel {

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

} // namespace

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
