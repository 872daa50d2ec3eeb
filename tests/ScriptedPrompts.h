#pragma once

#include "Prompts.h"

#include <QQueue>
#include <QStringList>

// Answers the window's questions from queues filled by a test, and records
// every message shown. An unexpected question fails loudly.
class ScriptedPrompts : public tarnwell::Prompts
{
public:
    QStringList warnings;
    QStringList informations;
    QStringList questions;
    QQueue<std::optional<QString>> fileNames;
    QQueue<bool> answers;
    QQueue<std::optional<QString>> addItems;
    QList<QStringList> offeredNames;

    void warning(QWidget *, const QString &text) override { warnings.append(text); }
    void information(QWidget *, const QString &text) override { informations.append(text); }
    bool question(QWidget *, const QString &text) override
    {
        questions.append(text);
        return answers.isEmpty() ? false : answers.dequeue();
    }
    std::optional<QString> fileName(QWidget *, const QString &filter) override
    {
        lastFilter = filter;
        return fileNames.isEmpty() ? std::nullopt : fileNames.dequeue();
    }
    std::optional<QString> addItem(QWidget *, const QStringList &names) override
    {
        offeredNames.append(names);
        return addItems.isEmpty() ? std::nullopt : addItems.dequeue();
    }
    QString lastFilter;
};
