#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

namespace tarnwell {

// Which text of the open file each view was read from, so that a store
// never undoes a change it did not see. The provider numbers the texts the
// file held (its "Revision"): a view may store only over the text it was
// read from or last stored itself. The window reports what happened; the
// decisions are made here from plain values.
class ViewRevisions
{
public:
    // A file was bound at revision: both views are empty.
    void fileBound(quint64 revision);
    // No file is bound.
    void fileReleased();
    // GetData filled the tree, or PutData stored it, at revision.
    void treeRead(quint64 revision) { m_tree = revision; }
    // Read filled the XML box, or Write stored it, at revision.
    void textRead(quint64 revision) { m_text = revision; }

    // Why PutData must not store over the file at revision (an empty string
    // when it may): the file changed since the tree was read.
    QString treeStoreRefusal(quint64 revision, const QString &fileName) const;
    // Why Write must not store over the file at revision: the file changed
    // since the box's text was read. Text typed into a box that Read never
    // filled replaces the file as it is, as the user asked.
    QString textStoreRefusal(quint64 revision, const QString &fileName) const;

private:
    std::optional<quint64> m_tree;
    std::optional<quint64> m_text;
};

} // namespace tarnwell
