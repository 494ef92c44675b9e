// Linked into every test: Qt's test mode from the start, before any window is built.
#include <QCoreApplication>
#include <QStandardPaths>

namespace {

void enter_test_mode() {
    QStandardPaths::setTestModeEnabled(true);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(enter_test_mode)
