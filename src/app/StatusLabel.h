#pragma once

#include <QLabel>

namespace tarnwell {

// A status bar panel that shows as much of its one-line text as fits, ending
// in "…" when cut, so a long text never pushes its neighbours out of the
// window. text() stays whole; the tool tip carries the details.
class StatusLabel : public QLabel
{
    Q_OBJECT

public:
    StatusLabel(const char *name, const QString &accessibleName, QWidget *parent);

    // Shows text (hidden when it is empty) with details as tool tip and
    // accessible description.
    void setPanel(const QString &text, const QString &details);

    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace tarnwell
