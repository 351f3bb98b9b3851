// The settings: one file per user, "Corvane Software/Vantrel.reg" in the XDG
// configuration folder, holding the values of the program's registry key in
// the registry export format. Loaded at the first activation, saved at close.
#include "main_window.h"

#include "engine/time_format.h"
#include "files/errors.h"
#include "settings/registry_file.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QSaveFile>
#include <QScreen>
#include <QSplitter>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>

namespace vantrel {

QString TfMain::settingsFile() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base)) base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/Corvane Software/Vantrel.reg");
}

void TfMain::RegRead() {
    QFile file(settingsFile());
    if (!file.open(QIODevice::ReadOnly)) return; // first start, or the store can not be opened
    const std::optional<RegistryKey> key = RegistryKey::parse(file.readAll().toStdString());
    if (!key) return;
    auto has = [&](const char* name) { return key->exists(name); };

    // The outer bounds: read in the store's order (a value of the wrong type
    // ends the loading there), given to the window in one step.
    QRect bounds = frameGeometry();
    auto readBound = [&](const char* name, auto apply) {
        if (!has(name)) return;
        apply(key->readInteger(name));
        applyOuterBounds(bounds);
    };
    readBound("Width", [&](int v) { bounds.setWidth(v); });
    readBound("Height", [&](int v) { bounds.setHeight(v); });
    readBound("Top", [&](int v) { bounds.moveTop(v); });
    readBound("Left", [&](int v) { bounds.moveLeft(v); });
    if (has("WindowState")) {
        switch (key->readInteger("WindowState")) {
        case 1: setWindowState(Qt::WindowMinimized); break;
        case 2: setWindowState(Qt::WindowMaximized); break;
        default: break; // normal, or a state the program never writes
        }
    }
    if (has("TreeWidth")) {
        m_treeWidth = std::max(50, key->readInteger("TreeWidth"));
        int total = 0;
        for (int size : m_splXPL->sizes()) total += size;
        m_splXPL->setSizes({m_treeWidth, std::max(50, total - m_treeWidth)});
    }
    auto readText = [&](const char* name, QLineEdit* edit) {
        if (!has(name)) return;
        QString text = QString::fromStdString(key->readString(name));
        // The edits take at most 5 characters from the keyboard; a longer
        // stored text is shown as stored.
        if (text.size() > edit->maxLength()) edit->setMaxLength(static_cast<int>(text.size()));
        edit->setText(text);
    };
    readText("AudioExt", m_eAudioExt);
    readText("VideoExt", m_eVideoExt);
    readText("SubExt", m_eSubExt);
    readText("Workdir", m_eWorkdir);
    if (has("EVOdir")) m_core.EVOdir = key->readString("EVOdir");
    if (has("XPLdir")) m_core.XPLdir = key->readString("XPLdir");
    if (has("Continue")) m_cbContinue->setChecked(key->readBool("Continue"));
    if (has("FastCheck")) m_cbFastCheck->setChecked(key->readBool("FastCheck"));
    if (has("CountFrames")) m_cbCountFr->setChecked(key->readBool("CountFrames"));
}

QRect TfMain::reachableBounds(const QRect& bounds, int titleHeight, const QList<QRect>& screens) {
    if (screens.isEmpty()) return bounds;
    const int titleMiddle = bounds.top() + std::max(titleHeight, 1) / 2;
    const int grip = std::min(kTitleGrip, bounds.width());
    for (const QRect& s : screens) {
        const int overlap = std::min(bounds.right(), s.right()) - std::max(bounds.left(), s.left()) + 1;
        if (titleMiddle >= s.top() && titleMiddle <= s.bottom() && overlap >= grip) return bounds;
    }
    // The screen nearest to the bounds' middle; the window's top-left corner
    // goes onto it, and as much of the window as fits.
    const QPoint middle = bounds.center();
    const QRect* nearest = &screens.first();
    long best = -1;
    for (const QRect& s : screens) {
        const long dx = std::max({s.left() - middle.x(), 0, middle.x() - s.right()});
        const long dy = std::max({s.top() - middle.y(), 0, middle.y() - s.bottom()});
        if (best < 0 || dx * dx + dy * dy < best) {
            best = dx * dx + dy * dy;
            nearest = &s;
        }
    }
    const QRect& s = *nearest;
    QRect out = bounds;
    out.moveLeft(std::clamp(bounds.left(), s.left(), std::max(s.left(), s.right() + 1 - bounds.width())));
    out.moveTop(std::clamp(bounds.top(), s.top(), std::max(s.top(), s.bottom() + 1 - bounds.height())));
    return out;
}

void TfMain::applyOuterBounds(const QRect& bounds) {
    const QRect frame = frameGeometry();
    const QRect client = geometry();
    m_pendingBounds.reset();
    if (frame == client && isVisible()) {
        m_pendingBounds = bounds;
        if (!m_frameWatch) {
            m_frameWatch = new QTimer(this);
            connect(m_frameWatch, &QTimer::timeout, this, [this] {
                // No frame after some seconds: there is no window manager.
                if (++m_frameWatchTicks > 100) m_pendingBounds.reset();
                givePendingBounds();
            });
        }
        m_frameWatchTicks = 0;
        m_frameWatch->start(40);
    }
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens()) screens.append(screen->availableGeometry());
    const QRect wanted = reachableBounds(bounds, client.top() - frame.top(), screens);
    resize(wanted.width() - (frame.width() - client.width()),
           wanted.height() - (frame.height() - client.height()));
    move(wanted.topLeft());
}

void TfMain::givePendingBounds() {
    // Saved bounds are those of the normal window; a maximised or minimised
    // one keeps what the window manager gives it.
    if (windowState() != Qt::WindowNoState) m_pendingBounds.reset();
    if (!m_pendingBounds) {
        if (m_frameWatch) m_frameWatch->stop();
        return;
    }
    if (frameGeometry() == geometry()) return; // not framed yet
    const QRect bounds = *m_pendingBounds;
    applyOuterBounds(bounds);
}

void TfMain::RegWrite() {
    const QString path = settingsFile();
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) return; // the key can not be created: nothing saved

    // Start from what the store holds, so that "Install", the bounds of an
    // earlier close and values of other versions stay.
    RegistryKey key;
    QFile existing(path);
    if (existing.exists()) {
        if (!existing.open(QIODevice::ReadOnly)) return;
        if (auto parsed = RegistryKey::parse(existing.readAll().toStdString())) key = std::move(*parsed);
        existing.close();
    }

    const bool maximised = isMaximized();
    key.writeInteger("WindowState", maximised ? 2 : (isMinimized() ? 1 : 0));
    if (!maximised) {
        const QRect normal = frameGeometry();
        key.writeInteger("Top", normal.top());
        key.writeInteger("Left", normal.left());
        key.writeInteger("Width", outerWidth());
        key.writeInteger("Height", outerHeight());
    }
    const QList<int> sizes = m_splXPL->sizes();
    const int treeWidth = m_tvXPL->isVisible() && !sizes.isEmpty() && sizes[0] > 0 ? sizes[0] : m_treeWidth;
    key.writeInteger("TreeWidth", treeWidth);
    key.writeString("AudioExt", m_eAudioExt->text().toStdString());
    key.writeString("VideoExt", m_eVideoExt->text().toStdString());
    key.writeString("SubExt", m_eSubExt->text().toStdString());
    key.writeString("Workdir", m_eWorkdir->text().toStdString());
    key.writeString("EVOdir", m_core.EVOdir);
    key.writeString("XPLdir", m_core.XPLdir);
    key.writeBool("Continue", m_cbContinue->isChecked());
    key.writeBool("FastCheck", m_cbFastCheck->isChecked());
    key.writeBool("CountFrames", m_cbCountFr->isChecked());
    if (!key.exists("Install")) key.writeBinary("Install", doubleToLittleEndian(localNowDays()));

    // All or nothing: the new file replaces the old one only when completely written.
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly)) return;
    const std::string text = key.serialize();
    out.write(text.data(), static_cast<qint64>(text.size()));
    if (!out.commit()) throw Error("Failed to set data for 'WindowState'");
}

} // namespace vantrel
