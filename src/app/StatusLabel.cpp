#include "StatusLabel.h"

#include <QPainter>
#include <QToolTip>
#include <QStyle>

namespace tarnwell {

StatusLabel::StatusLabel(const char *name, const QString &accessibleName, QWidget *parent)
    : QLabel(parent), m_caption(accessibleName)
{
    setObjectName(QLatin1String(name));
    setAccessibleName(accessibleName);
    setFocusPolicy(Qt::TabFocus);
    setTextFormat(Qt::PlainText);
    setVisible(false);
}

void StatusLabel::setPanel(const QString &text, const QString &details, const QString &spoken)
{
    setText(text);
    setToolTip(details);
    setAccessibleName(text.isEmpty() ? m_caption : m_caption + QStringLiteral(": ") + (spoken.isEmpty() ? text : spoken));
    setAccessibleDescription(details);
    setVisible(!text.isEmpty());
}

void StatusLabel::focusInEvent(QFocusEvent *event)
{
    QLabel::focusInEvent(event);
    // The panel may show its text cut; the keyboard user reads it whole here.
    const QString whole = toolTip().isEmpty() || toolTip() == text() ? text() : text() + u'\n' + toolTip();
    QToolTip::showText(mapToGlobal(QPoint(0, 0)), whole, this);
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
