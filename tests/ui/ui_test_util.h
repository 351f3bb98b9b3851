// Helpers shared by the window's tests.
#pragma once

#include "ui/main_window.h"

#include <QCheckBox>
#include <QObject>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QWidget;

namespace vantrel::uitest {

// Registers a test class for ui_test_main (name -> factory).
using TestFactory = std::function<QObject*()>;
int registerTest(const char* name, TestFactory factory);
#define VANTREL_UI_TEST(Class)                                                                               \
    static const int Class##_registered = ::vantrel::uitest::registerTest(#Class, [] { return new Class; });

// A fresh XDG_CONFIG_HOME for as long as it lives.
class ConfigHome {
public:
    ConfigHome();
    ~ConfigHome();
    QString path() const { return m_dir.path(); }
    QString settingsFile() const { return m_dir.path() + "/Corvane Software/Vantrel.reg"; }
    std::string settingsText() const;
    void writeSettings(const std::string& text) const;

private:
    QTemporaryDir m_dir;
    QByteArray m_old;
    bool m_hadOld;
};

// A shown main window that has had its first activation (settings loaded,
// boxes reset). Errors are collected instead of shown in a box.
struct ShownWindow {
    ShownWindow();
    ~ShownWindow();
    TfMain& operator*() { return *window; }
    TfMain* operator->() { return window.get(); }
    std::unique_ptr<TfMain> window;
    std::vector<QString> errors;
};

template <class T> T* child(QWidget& w, const char* name) {
    return w.findChild<T*>(QString::fromLatin1(name));
}

// Acts on the next modal window (a message box or a file dialog) once it is
// shown (polled every 10 ms, for at most a minute).
void onNextModal(std::function<void(QWidget*)> act);
// Log lines of mMessage.
QStringList logLines(TfMain& w);

} // namespace vantrel::uitest
