// The emitter that writes a document's patched text, element by element.
#include "PatchEmitter.h"

#include "Error.h"
#include "PathSyntax.h"
#include "StoreCommon.h"

#include <algorithm>

namespace tarnwell::xml::store {

PatchEmitter::PatchEmitter(const EncodedText &text, const LexDocument &lex, const DomDocument &dom,
                           const Target &target, const QString &fileName)
    : m_text(text), m_s(text.utf8()), m_lex(lex), m_dom(dom), m_target(target), m_fileName(fileName),
      m_alignment(dom, target), m_names(dom, fileName)
{
    m_nl = lineEndOf(m_s);
    m_unit = detectIndentUnit();
}

QByteArray PatchEmitter::run()
{
    const LexElement &root = m_lex.elements[0];
    copy(0, root.start);
    emitElement(0, 0, {});
    copy(root.end, m_s.size());
    return assemble();
}

QByteArray PatchEmitter::runNew()
{
    add("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    emitNew(0, QByteArray(), -1, {});
    add("\n");
    QByteArray out;
    for (const auto &piece : m_pieces)
        out += piece.text;
    return out;
}

// A carriage return that ends what is written so far and a line feed that
// starts what comes next read as one line end (CR LF), though they were two
// apart (text around a removed child, say): the carriage return, which reads
// as a line feed anyway, is written as one.
void PatchEmitter::splitJoinedLineEnd()
{
    if (m_pieces.empty())
        return;
    Piece &last = m_pieces.back();
    if (!last.original) {
        if (last.text.endsWith('\r'))
            last.text.back() = '\n';
        return;
    }
    if (last.to > last.from && m_s.at(last.to - 1) == '\r') {
        --last.to;
        if (last.to == last.from)
            m_pieces.pop_back();
        add("\n");
    }
}

void PatchEmitter::copy(qsizetype from, qsizetype to)
{
    if (from >= to)
        return;
    if (!m_pieces.empty() && m_pieces.back().original && m_pieces.back().to == from) {
        m_pieces.back().to = to;
        return;
    }
    if (m_s.at(from) == '\n')
        splitJoinedLineEnd();
    m_pieces.push_back({true, from, to, {}});
}

void PatchEmitter::add(const QByteArray &text)
{
    if (text.isEmpty())
        return;
    if (text.front() == '\n')
        splitJoinedLineEnd();
    if (!m_pieces.empty() && !m_pieces.back().original) {
        m_pieces.back().text += text;
        return;
    }
    m_pieces.push_back({false, 0, 0, text});
}

QByteArray PatchEmitter::assemble() const
{
    QByteArray out;
    out.reserve(m_text.original().size() + 256);
    out.append(m_text.bom());
    for (const Piece &p : m_pieces) {
        if (p.original) {
            const qsizetype a = m_text.toOriginal(p.from), b = m_text.toOriginal(p.to);
            if (a < 0 || b < a)
                throw storeError(m_fileName, QStringLiteral("its text could not be patched safely."));
            out.append(m_text.original().constData() + a, b - a);
        } else {
            out.append(m_text.encode(p.text, true, m_fileName));
        }
    }
    return out;
}

// The white space before an element on a line of its own; onOwnLine
// tells whether it is on one.
QByteArray PatchEmitter::indentOf(qsizetype start, bool *onOwnLine) const
{
    qsizetype i = start;
    while (i > 0 && (m_s[i - 1] == ' ' || m_s[i - 1] == '\t'))
        --i;
    *onOwnLine = i == 0 || m_s[i - 1] == '\n' || m_s[i - 1] == '\r';
    return *onOwnLine ? m_s.mid(i, start - i) : QByteArray();
}

QByteArray PatchEmitter::detectIndentUnit() const
{
    for (const LexElement &e : m_lex.elements) {
        if (e.children.empty())
            continue;
        bool parentOwn = false, childOwn = false;
        const QByteArray parentIndent = indentOf(e.start, &parentOwn);
        const QByteArray childIndent = indentOf(m_lex.elements[static_cast<size_t>(e.children[0])].start, &childOwn);
        if (parentOwn && childOwn && childIndent.size() > parentIndent.size() && childIndent.startsWith(parentIndent))
            return childIndent.mid(parentIndent.size());
    }
    return "  ";
}

// A new element and its subtree, indented below indent, inside the
// document element scope (-1: none), below the declarations that new
// text above it makes.
void PatchEmitter::emitNew(int t, const QByteArray &indent, int scope, Declared declared)
{
    const TargetElement &e = m_target.elements[static_cast<size_t>(t)];
    add(m_names.startOfNewElement(e, scope, declared));
    if (e.children.empty() && e.value.isEmpty()) {
        add("/>");
        return;
    }
    add('>' + escapeXml(e.value));
    for (int c : e.children) {
        add(m_nl + indent + m_unit);
        emitNew(c, indent + m_unit, scope, declared);
    }
    if (!e.children.empty())
        add(m_nl + indent);
    add("</" + e.name.toUtf8() + '>');
}

// An existing element d standing for target element t, below the
// declarations that new text above it makes.
void PatchEmitter::emitElement(int d, int t, const Declared &above)
{
    const LexElement &lx = m_lex.elements[static_cast<size_t>(d)];
    if (m_alignment.sameSubtree(d, t)) {
        copy(lx.start, lx.end);
        return;
    }
    const TargetElement &te = m_target.elements[static_cast<size_t>(t)];

    // Start tag: attributes kept, changed in place, removed or added.
    std::vector<bool> used(te.attributes.size(), false);
    const qsizetype pos = emitExistingAttributes(d, t, &used);
    // New attributes, after the declarations their prefixes need.
    Declared declared = above;
    std::vector<size_t> added;
    for (size_t i = 0; i < te.attributes.size(); ++i) {
        if (!used[i])
            added.push_back(i);
    }
    if (!added.empty()) {
        QByteArray declarations;
        const QByteArray attributes = m_names.newAttributes(te, added, d, declared, &declarations, true);
        add(declarations + attributes);
    }
    copy(pos, lx.tagClose);

    const bool needsContent = !te.value.isEmpty() || !te.children.empty();
    if (lx.selfClosing) {
        if (!needsContent) {
            copy(lx.tagClose, lx.end);
            return;
        }
        add(">");
        emitContent(d, t, declared);
        add(QByteArray("</").append(lx.name).append('>'));
        return;
    }
    copy(lx.tagClose, lx.contentStart);
    emitContent(d, t, declared);
    copy(lx.contentEnd, lx.end);
}

// The start tag of the existing element d up to its last attribute, the
// attributes that target element t keeps written as they are (or with their
// new values in place) and the others left out. *used marks the attributes
// of t written; returns where the text after the last attribute starts.
qsizetype PatchEmitter::emitExistingAttributes(int d, int t, std::vector<bool> *used)
{
    const LexElement &lx = m_lex.elements[static_cast<size_t>(d)];
    const DomElement &de = m_dom.elements[static_cast<size_t>(d)];
    const TargetElement &te = m_target.elements[static_cast<size_t>(t)];
    copy(lx.start, lx.nameEnd);
    qsizetype pos = lx.nameEnd;
    for (const LexAttribute &la : lx.attributes) {
        const qsizetype after = la.valueEnd + 1;
        if (la.name == "xmlns" || la.name.startsWith("xmlns:")) {
            copy(pos, after);
            pos = after;
            continue;
        }
        const auto dom = std::find_if(de.attributes.begin(), de.attributes.end(),
                                      [&](const DomAttribute &a) { return a.qname == la.name; });
        int found = -1;
        if (dom != de.attributes.end()) {
            for (size_t i = 0; i < te.attributes.size() && found < 0; ++i) {
                if (!(*used)[i] && te.attributes[i].segment == dom->segment)
                    found = static_cast<int>(i);
            }
        }
        if (found < 0) { // removed, with the blank before it
            pos = after;
            continue;
        }
        (*used)[static_cast<size_t>(found)] = true;
        const QString &value = te.attributes[static_cast<size_t>(found)].value;
        if (value == dom->value) {
            copy(pos, after);
        } else {
            copy(pos, la.valueStart);
            add(escapeXml(value, m_s[la.valueEnd]));
            copy(la.valueEnd, after);
        }
        pos = after;
    }
    return pos;
}

// The path of the document's element d as the pair list writes it.
QString PatchEmitter::indexedPath(int d) const
{
    QStringList segments;
    for (int e = d; e >= 0;) {
        const DomElement &element = m_dom.elements[static_cast<size_t>(e)];
        int index = 0;
        if (element.parent >= 0) {
            for (int sibling : m_dom.elements[static_cast<size_t>(element.parent)].shown()) {
                if (sibling == e)
                    break;
                if (m_dom.elements[static_cast<size_t>(sibling)].name == element.name)
                    ++index;
            }
        }
        segments.prepend(IndexedSegment(element.name, index));
        e = element.parent;
    }
    return segments.join(QLatin1Char('/'));
}

} // namespace tarnwell::xml::store
