// The emitter that writes a document's patched text, element by element.
#pragma once

#include <QSet>
#include <optional>

#include "ChildAlignment.h"
#include "NamespaceScope.h"
#include "StoreTarget.h"
#include "XmlDocument.h"
#include "XmlLexer.h"
#include "XmlText.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace tarnwell::xml::store {

// Writes the text of a document holding a target: the existing document's
// text where the target keeps it, new text where it changes. The elements
// and their tags are written in PatchEmitter.cpp, the content between an
// existing element's tags in PatchContent.cpp.
class PatchEmitter
{
public:
    PatchEmitter(const EncodedText &text, const LexDocument &lex, const DomDocument &dom, const Target &target,
                 const QString &fileName);

    // The new text of the existing document, in its own encoding.
    QByteArray run();
    // The text of a new document (the emitter runs over an empty one): UTF-8,
    // an XML declaration, LF.
    QByteArray runNew();

private:
    struct Piece
    {
        bool original;
        qsizetype from, to;
        QByteArray text;
    };
    struct ChildGaps;
    struct TextPlaces;

    // The output as pieces of the original text and new text.
    void copy(qsizetype from, qsizetype to);
    void add(const QByteArray &text);
    void splitJoinedLineEnd();
    QByteArray assemble() const;

    // The document's layout.
    QByteArray indentOf(qsizetype start, bool *onOwnLine) const;
    QByteArray detectIndentUnit() const;

    // Elements and their tags.
    void emitNew(int t, const QByteArray &indent, int scope, Declared declared);
    void emitElement(int d, int t, const Declared &above);
    qsizetype emitExistingAttributes(int d, int t, std::vector<bool> *used);
    QString indexedPath(int d) const;

    // The content between an existing element's tags.
    QByteArray markupRefIn(qsizetype from, qsizetype to) const;
    void dropText(qsizetype from, qsizetype to) const;
    // Whether item is text that refers to an entity holding markup.
    bool refersToMarkup(const LexItem &item) const;
    void dropTextItems(const LexElement &lx, size_t from, size_t to) const;
    void emitItems(const LexElement &lx, size_t from, size_t to, bool container, bool valueChanged,
                   const QString &value, bool *valueWritten);
    bool emitFirstChildrenAfterComments(int d, int t, const QByteArray &indent, bool ownLine, const Declared &declared);
    void emitContent(int d, int t, const Declared &declared);
    void emitLeafValue(int d, int t);
    void emitFirstChildren(int d, int t, const Declared &declared);
    void emitWithoutChildren(int d, int t);
    void emitAmongChildren(int d, int t, const Declared &declared);
    int placesWithText(const LexElement &lx) const;
    ChildGaps gapsAroundChildren(const LexElement &lx, const std::vector<int> &match) const;
    TextPlaces textAmongChildren(const LexElement &lx, const TargetElement &te, const std::vector<int> &match,
                                 const ChildGaps &gaps) const;

    const EncodedText &m_text;
    const QByteArray &m_s;
    const LexDocument &m_lex;
    const DomDocument &m_dom;
    mutable std::optional<QSet<QByteArray>> m_markupRefs; // m_dom.markupEntityRefs, to look up
    const Target &m_target;
    const QString &m_fileName;
    ChildAlignment m_alignment;
    NamespaceScope m_names;
    QByteArray m_nl, m_unit;
    std::vector<Piece> m_pieces;
};

} // namespace tarnwell::xml::store
