#include "ViewRevisions.h"

#include "Error.h"

#include <QDir>
#include <QFileInfo>

namespace tarnwell {

namespace {

QString shown(const QString &fileName)
{
    return quoteForMessage(QFileInfo(fileName).fileName(), 200);
}

} // namespace

void ViewRevisions::fileBound(quint64 revision)
{
    // An empty tree stores nothing over the file; an empty box that is
    // typed into replaces it whole.
    m_tree = revision;
    m_text.reset();
}

void ViewRevisions::fileReleased()
{
    m_tree.reset();
    m_text.reset();
}

QString ViewRevisions::treeStoreRefusal(quint64 revision, const QString &fileName) const
{
    if (!m_tree || *m_tree == revision)
        return QString();
    return QStringLiteral("PutData was refused: %1 was changed after the tree was read (by Write in the XML View, "
                          "or by another program), and storing the tree would undo that change. Press GetData to "
                          "read the file as it is now; the tree's changes that are not stored are dropped then.")
        .arg(shown(fileName));
}

QString ViewRevisions::textStoreRefusal(quint64 revision, const QString &fileName) const
{
    if (!m_text || *m_text == revision)
        return QString();
    return QStringLiteral("Write was refused: %1 was changed after Read fetched this text (by PutData, or by "
                          "another program), and writing it would undo that change. Press Read to fetch the file "
                          "as it is now; it replaces the text in the box.")
        .arg(shown(fileName));
}

} // namespace tarnwell
