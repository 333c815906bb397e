#include "accounts/ChallengeSolver.h"

#include "accounts/NonceSearch.h"

#include <QtConcurrent/QtConcurrentRun>

namespace qbk {

SolveOutcome solveChallenge(const QString& challenge, int difficultyBits, CancelFlag cancel) {
    const QByteArray utf8 = challenge.toUtf8();
    const auto found = pow::findSmallestNonce(std::string_view(utf8.constData(), utf8.size()),
                                              difficultyBits, *cancel);
    SolveOutcome outcome;
    if (found.nonce)
        outcome.solution = Solution{challenge, *found.nonce};
    outcome.error = QString::fromStdString(found.error);
    return outcome;
}

QFuture<SolveOutcome> startSolving(const QString& challenge, int difficultyBits,
                                   CancelFlag cancel) {
    return QtConcurrent::run(solveChallenge, challenge, difficultyBits, std::move(cancel));
}

} // namespace qbk
