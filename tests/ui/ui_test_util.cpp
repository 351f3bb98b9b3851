#include "ui_test_util.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTest>
#include <QTimer>

namespace vantrel::uitest {

ConfigHome::ConfigHome()
    : m_old(qgetenv("XDG_CONFIG_HOME")), m_hadOld(qEnvironmentVariableIsSet("XDG_CONFIG_HOME")) {
    qputenv("XDG_CONFIG_HOME", m_dir.path().toUtf8());
}

ConfigHome::~ConfigHome() {
    if (m_hadOld)
        qputenv("XDG_CONFIG_HOME", m_old);
    else
        qunsetenv("XDG_CONFIG_HOME");
}

std::string ConfigHome::settingsText() const {
    QFile f(settingsFile());
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll().toStdString();
}

void ConfigHome::writeSettings(const std::string& text) const {
    QDir().mkpath(m_dir.path() + "/Corvane Software");
    QFile f(settingsFile());
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) qFatal("cannot write the settings file");
    f.write(text.data(), static_cast<qint64>(text.size()));
}

ShownWindow::ShownWindow() : window(std::make_unique<TfMain>()) {
    window->errorReportHook = [this](const QString& text) { errors.push_back(text); };
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get())) qWarning("window not exposed");
    QCoreApplication::processEvents(); // the first activation
    QCoreApplication::processEvents();
}

ShownWindow::~ShownWindow() = default;

void onNextModal(std::function<void(QWidget*)> act) {
    auto* timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    auto acted = std::make_shared<QPointer<QWidget>>();
    auto stop = [timer] {
        timer->stop();
        timer->deleteLater();
    };
    QObject::connect(timer, &QTimer::timeout, [timer, act, tries, acted, stop] {
        QWidget* modal = QApplication::activeModalWidget();
        if (*acted) {
            // A file dialog refuses an accept while its folder model is still
            // being filled by its gatherer thread (slow on a busy machine); the
            // dialog then stays open, so act on it again until it has finished.
            if (++*tries >= 1000)
                stop();
            else if (modal == acted->data() && *tries % 20 == 0)
                act(modal);
            return;
        }
        if (!modal) {
            // A file dialog can take seconds to come up on a busy machine under
            // the sanitizers; giving up early would leave it open for good.
            if (++*tries >= 6000) stop();
            return;
        }
        auto* dialog = qobject_cast<QDialog*>(modal);
        if (!dialog) {
            stop();
            act(modal);
            return;
        }
        *acted = modal;
        *tries = 0;
        QObject::connect(dialog, &QDialog::finished, timer, stop);
        act(modal);
    });
    timer->start(10);
}

QStringList logLines(TfMain& w) {
    auto* memo = w.findChild<QPlainTextEdit*>(QStringLiteral("mMessage"));
    return memo->toPlainText().split(QLatin1Char('\n'));
}

} // namespace vantrel::uitest
