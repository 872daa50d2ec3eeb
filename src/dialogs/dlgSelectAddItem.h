#pragma once

#include <QDialog>
#include <QStringList>

class QLabel;
class QListWidget;
class QPushButton;

namespace tarnwell {

// The modal pick list for Add: shows the names it is given and tells which
// button closed it and which name was chosen.
class dlgSelectAddItem : public QDialog
{
    Q_OBJECT

public:
    explicit dlgSelectAddItem(QWidget *parent = nullptr);

    // 1 once OK was pressed; 2 otherwise (Cancel, or closed another way).
    int DialogResult() const { return m_dialogResult; }
    // The name chosen with OK; empty otherwise.
    const QString &SelectedItem() const { return m_selectedItem; }
    // Shows items in the given order, first one selected.
    void SetAddableItems(const QStringList &items);

private:
    void OKButton_Click();
    void CancelButton_Click();
    void updateOk();

    int m_dialogResult = 2;
    QString m_selectedItem;
    QLabel *m_label;
    QListWidget *m_list;
    QPushButton *m_ok;
    QPushButton *m_cancel;
};

} // namespace tarnwell
