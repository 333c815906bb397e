#include "accounts/SortKeyItem.h"

namespace qbk {

namespace {

constexpr int kSortKeyRole = Qt::UserRole + 1;

} // namespace

SortKeyItem::SortKeyItem(const QString& text, qint64 sortKey) : QTableWidgetItem(text) {
    setData(kSortKeyRole, sortKey);
}

qint64 SortKeyItem::sortKey() const {
    return data(kSortKeyRole).toLongLong();
}

bool SortKeyItem::operator<(const QTableWidgetItem& other) const {
    const QVariant otherKey = other.data(kSortKeyRole);
    if (!otherKey.isValid())
        return QTableWidgetItem::operator<(other);
    return sortKey() < otherKey.toLongLong();
}

} // namespace qbk
