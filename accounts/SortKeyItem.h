#pragma once

#include <QTableWidgetItem>

namespace qbk {

// A table cell that shows one text and sorts by a number, so dates sort by time, not by
// their "dd.MM.yyyy" spelling.
class SortKeyItem : public QTableWidgetItem {
public:
    SortKeyItem(const QString& text, qint64 sortKey);

    qint64 sortKey() const;
    bool operator<(const QTableWidgetItem& other) const override;
};

} // namespace qbk
