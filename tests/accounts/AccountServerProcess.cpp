#include "AccountServerProcess.h"

#include <QCoreApplication>
#include <QRegularExpression>

namespace qbk::test {

namespace {

// QProcess and the network classes want an application object; suites without one get it here.
void ensureApplication() {
    static int argc = 1;
    static char name[] = "qbk-test";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

} // namespace

AccountServerProcess::AccountServerProcess(const QStringList& extraArguments) {
    ensureApplication();
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(executable(),
                   QStringList{"--port", "0", "--pbkdf2-iterations", "1000"} + extraArguments);
    if (!process_.waitForStarted(5000))
        return;
    while (!process_.canReadLine() && process_.waitForReadyRead(5000)) {
    }
    static const QRegularExpression line(QStringLiteral("^listening 127\\.0\\.0\\.1:(\\d+)\\s*$"));
    const auto match = line.match(QString::fromUtf8(process_.readLine()));
    if (match.hasMatch())
        port_ = match.captured(1).toInt();
}

AccountServerProcess::~AccountServerProcess() {
    stop();
}

int AccountServerProcess::stop() {
    if (process_.state() == QProcess::NotRunning)
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
        return -1;
    }
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

QString AccountServerProcess::executable() {
    return QStringLiteral(QBK_ACCOUNT_SERVER_EXE);
}

} // namespace qbk::test
