#pragma once

#include "accounts/Solution.h"

#include <QFuture>
#include <QString>
#include <atomic>
#include <memory>
#include <optional>

namespace qbk {

// What a search gave: a solution, or a Russian error text; neither when it was cancelled.
struct SolveOutcome {
    std::optional<Solution> solution;
    QString error;
};

using CancelFlag = std::shared_ptr<std::atomic<bool>>;

// The smallest nonce for the challenge, on all cores; a plain function without side effects.
SolveOutcome solveChallenge(const QString& challenge, int difficultyBits, CancelFlag cancel);

// Runs solveChallenge on the application's global thread pool.
QFuture<SolveOutcome> startSolving(const QString& challenge, int difficultyBits, CancelFlag cancel);

} // namespace qbk
