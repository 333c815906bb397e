#pragma once

#include "diagnostics/CheckResult.h"
#include "diagnostics/LauncherChecks.h"

#include <QDialog>
#include <QFutureWatcher>
#include <vector>

class QLabel;
class QVBoxLayout;

namespace qbk {

// The self-check window: runs the checks on the global pool at once and shows a row per
// result with a summary once they are all in. Closing it early drops the results.
class CheckDialog : public QDialog {
public:
    // Checks the folder against the endpoints of the launcher's own settings.
    CheckDialog(const QString& launcherDirectory, QWidget* parent = nullptr);
    CheckDialog(LauncherChecks::Config config, QWidget* parent = nullptr);

    static QString summaryFor(const std::vector<CheckResult>& results);

private:
    void buildUi();
    void showResults();
    void addRow(const CheckResult& result);

    QLabel* summaryLabel_ = nullptr;
    QVBoxLayout* listLayout_ = nullptr;
    QFutureWatcher<std::vector<CheckResult>>* watcher_ = nullptr;
    QString logFile_;
};

} // namespace qbk
