#pragma once

#include "mods/ServerMod.h"
#include "mods/ServerModComparison.h"

#include <QEventLoop>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

namespace qbk {

// The blocking comparison with the server's manifest that the main window runs before play
// and before the self-check. It waits in a local event loop that cancel() ends at once, so a
// window closing meanwhile does not have to sit out the time-out.
class ServerModCheck : public QObject {
    Q_OBJECT

public:
    ServerModCheck(ServerModComparison comparison, QString manifestUrl, QObject* parent = nullptr);

    // False when no manifest arrived within timeoutMs or the wait was cancelled; the lists are
    // empty then.
    bool run(QList<ServerMod>& missing, QList<ServerMod>& extra, int timeoutMs);
    void cancel();

private:
    ServerModComparison comparison_;
    QString manifestUrl_;
    QPointer<QEventLoop> loop_;
    bool cancelled_ = false;
};

} // namespace qbk
