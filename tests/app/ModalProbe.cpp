// Linked beside the launcher's own main() in a test build: reports and closes each message box
// and ends a normal start once the main window is up, so whole instances run unattended.
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <iostream>

static void probeWindows() {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        std::cerr << "probe: message box: " << box->text().toStdString() << std::endl;
        return box->done(QMessageBox::Ok);
    }
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->isVisible() && widget->inherits("MainWindow")) {
            std::cerr << "probe: main window shown" << std::endl;
            return QApplication::quit();
        }
}

static void installProbe() {
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, probeWindows);
    timer->start(100);
}

Q_COREAPP_STARTUP_FUNCTION(installProbe)
