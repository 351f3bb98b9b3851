// ui_tests [CLASS [QtTest arguments]]: runs one registered test class, or all.
#include "ui_test_util.h"

#include <QApplication>
#include <QTest>

#include <map>
#include <memory>

namespace vantrel::uitest {

namespace {
std::map<std::string, TestFactory>& registry() {
    static std::map<std::string, TestFactory> tests;
    return tests;
}
} // namespace

int registerTest(const char* name, TestFactory factory) {
    registry()[name] = std::move(factory);
    return 0;
}

} // namespace vantrel::uitest

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    vantrel::setUpApplication();
    auto& tests = vantrel::uitest::registry();
    QStringList args = QApplication::arguments();
    QString only;
    if (args.size() > 1 && !args[1].startsWith(QLatin1Char('-'))) {
        only = args[1];
        args.removeAt(1);
        if (!tests.count(only.toStdString())) {
            qCritical("no test class %s", qPrintable(only));
            return 2;
        }
    }
    int failures = 0;
    for (auto& [name, factory] : tests) {
        if (!only.isEmpty() && only.toStdString() != name) continue;
        std::unique_ptr<QObject> test(factory());
        failures += QTest::qExec(test.get(), args);
    }
    return failures == 0 ? 0 : 1;
}
