#pragma once

#include <QString>

namespace qbk {

enum class CheckSeverity { Ok = 0, Warning = 1, Error = 2 };

// One row of the self-check: what was checked and what was found.
struct CheckResult {
    QString title;
    QString detail;
    CheckSeverity severity = CheckSeverity::Ok;

    bool operator==(const CheckResult&) const = default;
};

} // namespace qbk
