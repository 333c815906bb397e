#pragma once

#include <QDialog>

class QCheckBox;
class QPushButton;

// Asks the player to acknowledge that a personal zip of mods may keep them off the server
// before the archive is chosen; accepted only through the choose button.
class ZipWarningDialog : public QDialog {
    Q_OBJECT

public:
    explicit ZipWarningDialog(QWidget* parent = nullptr);

private:
    QCheckBox* understandBox = nullptr;
    QPushButton* chooseButton = nullptr;
};
