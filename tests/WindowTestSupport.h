#pragma once

#include "Prompts.h"

#include <QFile>
#include <QQueue>
#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>

// Shared by the window test suites.

// A writable copy of a sample from examples/ in dir.
inline QString copyExample(const QTemporaryDir &dir, const QString &name)
{
    const QString path = dir.filePath(name);
    QFile::remove(path);
    QFile::copy(QStringLiteral(TARNWELL_EXAMPLES "/") + name, path);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    return path;
}

// The child of root with that object name; the test stops when it is missing.
template<typename T>
T *findWidget(const QObject *root, const char *name)
{
    T *w = root->findChild<T *>(QLatin1String(name));
    if (!w)
        qFatal("no widget %s", name);
    return w;
}

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
    std::optional<int> schemaProblem(QWidget *, const QStringList &problems) override
    {
        listedProblems.append(problems);
        return problemChoices.isEmpty() ? std::nullopt : problemChoices.dequeue();
    }
    QString lastFilter;
    QList<QStringList> listedProblems;
    QQueue<std::optional<int>> problemChoices;
};
