#include "StatusLabel.h"

#include <QPainter>
#include <QStyle>

namespace tarnwell {

StatusLabel::StatusLabel(const char *name, const QString &accessibleName, QWidget *parent) : QLabel(parent)
{
    setObjectName(QLatin1String(name));
    setAccessibleName(accessibleName);
    setTextFormat(Qt::PlainText);
    setVisible(false);
}

void StatusLabel::setPanel(const QString &text, const QString &details)
{
    setText(text);
    setToolTip(details);
    setAccessibleDescription(details);
    setVisible(!text.isEmpty());
}

QSize StatusLabel::minimumSizeHint() const
{
    // Room for the ellipsis alone; the size hint asks for the whole text.
    const QMargins m = contentsMargins();
    return {fontMetrics().horizontalAdvance(QStringLiteral("…")) + m.left() + m.right() + 2 * margin(),
            QLabel::minimumSizeHint().height()};
}

void StatusLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    drawFrame(&painter);
    const QRect area = contentsRect().marginsRemoved(QMargins(margin(), margin(), margin(), margin()));
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, area.width());
    style()->drawItemText(&painter, area, int(alignment()), palette(), isEnabled(), shown, foregroundRole());
}

} // namespace tarnwell
