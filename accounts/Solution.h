#pragma once

#include <QString>
#include <QtGlobal>

namespace qbk {

// A solved registration challenge: the challenge as received and the nonce found for it.
struct Solution {
    QString challenge;
    quint64 nonce = 0;
};

} // namespace qbk
