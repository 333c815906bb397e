// Linked only into the test build of the launcher, beside the launcher's own main(): reports
// each message box on standard error and closes it, and ends a normal start once the main
// window is up, so that tests can run whole instances with nobody at the screen.

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <iostream>

namespace {

void probeWindows() {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        std::cerr << "probe: message box: " << box->text().toStdString() << std::endl;
        box->done(QMessageBox::Ok);
        return;
    }
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->inherits("MainWindow")) {
            std::cerr << "probe: main window shown" << std::endl;
            QApplication::quit();
            return;
        }
    }
}

void installProbe() {
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, probeWindows);
    timer->start(100);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(installProbe)
