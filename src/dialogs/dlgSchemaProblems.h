#pragma once

#include <QDialog>
#include <QStringList>

class QListWidget;
class QPushButton;

namespace tarnwell {

// The list of what the schema check found in the stored file, one line a
// problem (line, path, message); the chosen one is gone to in the tree.
class dlgSchemaProblems : public QDialog
{
    Q_OBJECT

public:
    explicit dlgSchemaProblems(QWidget *parent = nullptr);

    // Shows the problems in the given order, the first one selected.
    void SetProblems(const QStringList &lines);
    // The row chosen with OK (or Enter, or a double click); -1 otherwise.
    int SelectedRow() const { return m_selectedRow; }

private:
    void OKButton_Click();

    int m_selectedRow = -1;
    QListWidget *lstProblem;
    QPushButton *OKButton;
    QPushButton *CancelButton;
};

} // namespace tarnwell
