#pragma once

#include "accounts/Session.h"

#include <QString>

namespace qbk {

// "навсегда" for a permanent ban, else "до " and the local end time as dd.MM.yyyy HH:mm:ss.
QString banEndText(const Session::Ban& ban);

// "Аккаунт заблокирован <end>. Причина: <reason>", as the status strip shows a ban.
QString banStatusText(const Session::Ban& ban);

} // namespace qbk
