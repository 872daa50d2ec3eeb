#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

namespace tarnwell {

// The modal questions the window asks. The window asks only through this
// interface, so tests can answer without a modal loop.
class Prompts
{
public:
    virtual ~Prompts();

    // A warning: exclamation icon, OK only, the application's title.
    virtual void warning(QWidget *parent, const QString &text) = 0;
    // A notice: no icon, OK only, the application's title.
    virtual void information(QWidget *parent, const QString &text) = 0;
    // A Yes/No question without an icon; true for Yes.
    virtual bool question(QWidget *parent, const QString &text) = 0;
    // The file-open dialog; a name that does not exist yet is accepted.
    // Nothing when the user cancels.
    virtual std::optional<QString> fileName(QWidget *parent, const QString &filter) = 0;
    // The add-item dialog; the chosen name, or nothing when it was not
    // closed with OK.
    virtual std::optional<QString> addItem(QWidget *parent, const QStringList &names) = 0;
    // The list of schema problems, one line each; the chosen row, or
    // nothing when it was closed without one.
    virtual std::optional<int> schemaProblem(QWidget *parent, const QStringList &problems) = 0;
};

// The real dialogs.
class WidgetPrompts : public Prompts
{
public:
    void warning(QWidget *parent, const QString &text) override;
    void information(QWidget *parent, const QString &text) override;
    bool question(QWidget *parent, const QString &text) override;
    std::optional<QString> fileName(QWidget *parent, const QString &filter) override;
    std::optional<QString> addItem(QWidget *parent, const QStringList &names) override;
    std::optional<int> schemaProblem(QWidget *parent, const QStringList &problems) override;
};

} // namespace tarnwell
