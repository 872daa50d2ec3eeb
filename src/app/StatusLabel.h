#pragma once

#include <QLabel>

namespace tarnwell {

// A status bar panel that shows as much of its one-line text as fits, ending
// in "…" when cut, so a long text never pushes its neighbours out of the
// window. text() stays whole; the tool tip carries the details. A screen
// reader hears the caption and the whole text as the panel's name and the
// details as its description; the keyboard reaches a shown panel with Tab,
// and its whole text then shows beside it.
class StatusLabel : public QLabel
{
    Q_OBJECT

public:
    StatusLabel(const char *name, const QString &accessibleName, QWidget *parent);

    // Shows text (hidden when it is empty) with details as tool tip and
    // accessible description; the accessible name is "caption: spoken",
    // spoken being text unless given (say, without a mark a voice would
    // read out as a symbol).
    void setPanel(const QString &text, const QString &details, const QString &spoken = {});

    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;

private:
    QString m_caption;
};

} // namespace tarnwell
