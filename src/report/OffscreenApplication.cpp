#include "report/OffscreenApplication.h"

#include <QApplication>

#include <cstdio>
#include <memory>

namespace vantrel::report {

namespace {

// Qt's notes for developers (a missing run-time folder and the like) are not for the operator.
void QuietMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtFatalMsg || type == QtCriticalMsg) fprintf(stderr, "%s\n", qPrintable(message));
}

}  // namespace

void EnsureOffscreenApplication() {
    if (QCoreApplication::instance()) return;
    qInstallMessageHandler(QuietMessages);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "vantrel-records";
    static char* argv[] = {name, nullptr};
    static std::unique_ptr<QApplication> application = std::make_unique<QApplication>(argc, argv);
}

}  // namespace vantrel::report
