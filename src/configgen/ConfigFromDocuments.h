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
// Building takes time about in proportion to the pair lists read. A list of
// TarnwellEditor.cfg holds at most 32,767 lines: a configuration that would
// have more is refused as soon as it passes that.
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

    // Takes in one document's pair list (as GetData gives it); throws what
    // loading a pair list throws, or when its root differs from the
    // documents' before, and then takes in nothing; throws an Overflow
    // failure once the configuration passes 32,767 lines, and from then on.
    void addDocument(const QStringList &pairs);

    // The root element's node, null before any document; valid until the next
    // addDocument. Throws the Overflow failure of a configuration too large.
    const Node *root() const;

    // List E in pre-order (a node, its attributes, then its children's subtrees),
    // each element path but the root flagged S unless it repeats; "E,path" or
    // "ES,path" lines, UTF-8 with LF. Throws as root() does.
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
