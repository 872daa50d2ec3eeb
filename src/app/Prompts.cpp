#include "Prompts.h"

#include "dlgSchemaProblems.h"
#include "dlgSelectAddItem.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>

namespace tarnwell {

Prompts::~Prompts() = default;

namespace {

QString title()
{
    return QGuiApplication::applicationDisplayName();
}

} // namespace

void WidgetPrompts::warning(QWidget *parent, const QString &text)
{
    QMessageBox::warning(parent, title(), text, QMessageBox::Ok);
}

void WidgetPrompts::information(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, title(), text, QMessageBox::Ok, parent);
    box.exec();
}

bool WidgetPrompts::question(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, title(), text, QMessageBox::Yes | QMessageBox::No, parent);
    return box.exec() == QMessageBox::Yes;
}

std::optional<QString> WidgetPrompts::fileName(QWidget *parent, const QString &filter)
{
    QFileDialog dialog(parent, title(), QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

std::optional<QString> WidgetPrompts::addItem(QWidget *parent, const QStringList &names)
{
    dlgSelectAddItem dialog(parent);
    dialog.SetAddableItems(names);
    dialog.exec();
    if (dialog.DialogResult() != 1)
        return std::nullopt;
    return dialog.SelectedItem();
}

std::optional<int> WidgetPrompts::schemaProblem(QWidget *parent, const QStringList &problems)
{
    dlgSchemaProblems dialog(parent);
    dialog.SetProblems(problems);
    if (dialog.exec() != QDialog::Accepted || dialog.SelectedRow() < 0)
        return std::nullopt;
    return dialog.SelectedRow();
}

} // namespace tarnwell
