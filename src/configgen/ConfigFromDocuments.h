#pragma once

#include "NameOrder.h"

#include <QByteArray>
#include <QStringList>
#include <memory>
#include <vector>

// A TarnwellEditor.cfg inferred from example documents of one family.
//
// Every element path of the documents becomes one node, with the attribute
// and child element names that stood under it anywhere. Under each path the
// names follow the order in which they stood together under one element (a
// name's first occurrence there before the next name's); where documents,
// or elements of one document, disagree, the first seen order wins, and
// names never seen together keep the order in which they were first seen.
// Building takes time about in proportion to the pair lists read.
//
// The text is list E in pre-order (a path, its attributes, then its child
// elements' subtrees), one "E,path" line each, or "ES,path" for an element
// other than the root that never stood twice under one parent; UTF-8, LF.
//
// A document is refused, and nothing of it taken in, when an entry's path is
// malformed or its root differs from the root of the documents before. A
// document may be as large as the provider reads: only the configuration's
// lines are limited. A list of TarnwellEditor.cfg holds at most 32,767 lines:
// once the configuration passes that, addDocument, root() and text() throw
// an Overflow failure.
namespace tarnwell {

class ConfigFromDocuments
{
    struct Shape;

public:
    // One element path of the documents read, as the configuration lists it.
    struct Node
    {
        QString name;           // the element name
        QStringList attributes; // "@name", in final order
        QStringList children;   // element names, in final order
        bool repeats = false;   // stood twice under one parent in some document

        // The node of the child element childName, null when none stood here.
        const Node *child(QStringView childName) const;

    private:
        friend class ConfigFromDocuments;
        const Shape *m_shape = nullptr;
    };

    ConfigFromDocuments();
    ~ConfigFromDocuments();

    // Takes in one document's pair list (as GetData gives it); throws as told above.
    void addDocument(const QStringList &pairs);

    // The root element's node, null before any document; valid until the next addDocument.
    const Node *root() const;

    // The configuration's text, as told above.
    QByteArray text() const;

private:
    class DocumentReader;

    Shape *newShape(QString name);
    // Counts one more line of the configuration; throws past the limit.
    void countLine();

    qsizetype m_lines = 0;

    std::vector<std::unique_ptr<Shape>> m_shapes; // the root first
    // Shapes whose names changed since their node was last brought up to
    // date; root() does that, for the caller a const query.
    mutable std::vector<Shape *> m_stale;
};

} // namespace tarnwell
