#include "StatusPanels.h"

#include "Configuration.h"

#include <QDir>
#include <QFileInfo>

namespace tarnwell {

void StatusPanels::fileBound(const QString &path, bool isNew)
{
    m_path = path;
    m_isNew = isNew;
    m_unsaved = false;
    m_refusal.clear();
}

void StatusPanels::fileRefused(const QString &description)
{
    m_path.reset();
    m_isNew = false;
    m_unsaved = false;
    m_refusal = description;
}

void StatusPanels::treeStored()
{
    m_isNew = false;
    m_unsaved = false;
}

void StatusPanels::configurationRead(const QString &path, bool present, qsizetype entries)
{
    const QString shownPath = QDir::toNativeSeparators(path);
    if (!present) {
        m_configurationText = kNoConfiguration.toString();
        m_configurationDetails = QStringLiteral("%1 was not found, so no value can be edited.").arg(shownPath);
        return;
    }
    m_configurationText = QStringLiteral("%1: %2 %3")
                              .arg(kConfigurationFileName)
                              .arg(entries)
                              .arg(entries == 1 ? QStringLiteral("path") : QStringLiteral("paths"));
    m_configurationDetails = QStringLiteral("%1 lists %2 editable %3.")
                                 .arg(shownPath)
                                 .arg(entries)
                                 .arg(entries == 1 ? QStringLiteral("path") : QStringLiteral("paths"));
}

QString StatusPanels::fileText() const
{
    if (!m_path)
        return QString();
    QString text = QFileInfo(*m_path).fileName();
    if (m_isNew)
        text += kNewSuffix;
    if (m_unsaved)
        text.prepend(kUnsavedMark);
    return text;
}

QString StatusPanels::fileSpoken() const
{
    if (!m_path)
        return QString();
    QString text = QFileInfo(*m_path).fileName();
    if (m_isNew)
        text += QStringLiteral(", new");
    if (m_unsaved)
        text += QStringLiteral(", unsaved changes");
    return text;
}

QString StatusPanels::fileDetails() const
{
    if (!m_path)
        return QString();
    return QStringLiteral("%1%2\n%3")
        .arg(QDir::toNativeSeparators(QFileInfo(*m_path).absoluteFilePath()),
             m_isNew ? kNewSuffix.toString() : QString(),
             m_unsaved ? QStringLiteral("The tree holds changes that are not stored yet.")
                       : QStringLiteral("No unsaved changes."));
}

} // namespace tarnwell
