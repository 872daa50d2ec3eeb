#include "dlgSchemaProblems.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarnwell {

dlgSchemaProblems::dlgSchemaProblems(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("dlgSchemaProblems"));
    setWindowTitle(QStringLiteral("Schema problems"));
    auto *label = new QLabel(QStringLiteral("&Problems in the stored file (line, path, message):"), this);
    lstProblem = new QListWidget(this);
    lstProblem->setObjectName(QStringLiteral("lstProblem"));
    lstProblem->setAccessibleName(QStringLiteral("Problems"));
    label->setBuddy(lstProblem);
    OKButton = new QPushButton(QStringLiteral("Go to"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Close"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKButton);
    buttons->addWidget(CancelButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(lstProblem);
    layout->addLayout(buttons);
    resize(720, 320);
    connect(OKButton, &QPushButton::clicked, this, [this] { OKButton_Click(); });
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(lstProblem, &QListWidget::itemActivated, this, [this] { OKButton_Click(); });
}

void dlgSchemaProblems::SetProblems(const QStringList &lines)
{
    lstProblem->clear();
    lstProblem->addItems(lines);
    if (!lines.isEmpty())
        lstProblem->setCurrentRow(0);
    OKButton->setEnabled(!lines.isEmpty());
}

void dlgSchemaProblems::OKButton_Click()
{
    m_selectedRow = lstProblem->currentRow();
    if (m_selectedRow >= 0)
        accept();
}

} // namespace tarnwell
