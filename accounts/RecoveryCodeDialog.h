#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;

namespace qbk {

// Shows a freshly issued recovery code once. The server keeps only its digest, so the dialog
// cannot be dismissed by Escape or a close request: only "Запомнил" ends it.
class RecoveryCodeDialog : public QDialog {
    Q_OBJECT
public:
    RecoveryCodeDialog(const QString& code, QWidget* parent = nullptr);

    void reject() override;

private:
    QLineEdit* codeField_ = nullptr;
};

} // namespace qbk
