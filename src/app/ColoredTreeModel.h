#pragma once

#include "TreeModel.h"

namespace tarnwell {

// The tree model as the view shows it: the node colour (0x00BBGGRR) as the
// foreground brush.
class ColoredTreeModel : public TreeModel
{
    Q_OBJECT

public:
    using TreeModel::TreeModel;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
};

} // namespace tarnwell
