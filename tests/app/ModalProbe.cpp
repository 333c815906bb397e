// Linked beside the launcher's own main() in a test build: reports and closes each message box
// and ends a normal start once the main window is up, so whole instances run unattended.
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <iostream>

static void installProbe() {
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            std::cerr << "probe: message box: " << box->text().toStdString() << std::endl;
            return box->done(QMessageBox::Ok);
        }
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->isVisible() && widget->inherits("MainWindow"))
                return std::cerr << "probe: main window shown" << std::endl, QApplication::quit();
    });
    timer->start(100);
}

Q_COREAPP_STARTUP_FUNCTION(installProbe)
