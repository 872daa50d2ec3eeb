#include "ColoredTreeModel.h"

#include <QColor>

namespace tarnwell {

QVariant ColoredTreeModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::ForegroundRole)
        return TreeModel::data(index, role);
    const QVariant color = TreeModel::data(index, ForeColorRole);
    if (!color.isValid())
        return {};
    const quint32 bgr = color.toUInt();
    return QColor(int(bgr & 0xff), int((bgr >> 8) & 0xff), int((bgr >> 16) & 0xff));
}

} // namespace tarnwell
