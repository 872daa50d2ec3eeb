#include "XmlStore.h"

#include "Error.h"
#include "PairEntry.h"
#include "PathSyntax.h"

#include <QSet>
#include <algorithm>

namespace tarnwell::xml {

namespace {

Error storeError(const QString &fileName, const QString &why)
{
    return Error(QStringLiteral("%1 was not stored: %2").arg(quoteForMessage(fileName, 200), why), Error::Kind::Provider);
}

// value written as element content (quote 0) or inside an attribute value
// delimited by quote. In attributes, tabs and line breaks become character
// references so that attribute normalisation keeps them; a carriage return
// always does, so that line-end normalisation keeps it.
QByteArray escapeXml(const QString &value, char quote = 0)
{
    QByteArray out;
    const QByteArray utf8 = value.toUtf8();
    out.reserve(utf8.size());
    for (char c : utf8) {
        switch (c) {
        case '&': out.append("&amp;"); break;
        case '<': out.append("&lt;"); break;
        case '\r': out.append("&#13;"); break;
        case '>': out.append(quote ? ">" : "&gt;"); break;
        case '\t': out.append(quote ? "&#9;" : "\t"); break;
        case '\n': out.append(quote ? "&#10;" : "\n"); break;
        case '"': out.append(quote == '"' ? "&quot;" : "\""); break;
        case '\'': out.append(quote == '\'' ? "&apos;" : "'"); break;
        default: out.append(c);
        }
    }
    return out;
}

// The schema-instance namespace, held once so that look-ups can point at it.
const QString &schemaInstanceNamespace()
{
    static const QString uri = kXsiNamespace.toString();
    return uri;
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

size_t combine(size_t seed, size_t value)
{
    return seed ^ (value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2));
}

size_t attributesHash(std::vector<std::pair<QString, QString>> attrs)
{
    std::sort(attrs.begin(), attrs.end());
    size_t h = 0x51;
    for (const auto &[k, v] : attrs)
        h = combine(combine(h, NameHash{}(k)), NameHash{}(v));
    return h;
}

// Subtree fingerprints: equal fingerprints mean equal names, values,
// attributes and children, all the way down. Children come after their
// parents in both element vectors, so one backward pass suffices.
template<typename Element>
std::vector<size_t> subtreeHashes(const std::vector<Element> &elements)
{
    std::vector<size_t> h(elements.size());
    for (size_t i = elements.size(); i-- > 0;) {
        const Element &e = elements[i];
        std::vector<std::pair<QString, QString>> attrs;
        for (const auto &a : e.attributes)
            attrs.emplace_back(a.segment, a.value);
        size_t v = combine(combine(NameHash{}(e.name), NameHash{}(e.value)), attributesHash(std::move(attrs)));
        for (int c : e.children)
            v = combine(v, h[static_cast<size_t>(c)]);
        h[i] = v;
    }
    return h;
}

// Pairs the same-named children of one parent: equal subtrees are matched
// first (so deleting one of several siblings removes that one), the rest in
// order. a and b hold fingerprints; the result gives, for each b, the index
// into a or -1.
std::vector<int> alignGroup(const std::vector<size_t> &a, const std::vector<size_t> &b)
{
    const size_t m = a.size(), n = b.size();
    std::vector<int> match(n, -1);
    if (m == n) {
        for (size_t i = 0; i < n; ++i)
            match[i] = static_cast<int>(i);
        return match;
    }
    size_t pre = 0;
    while (pre < m && pre < n && a[pre] == b[pre]) {
        match[pre] = static_cast<int>(pre);
        ++pre;
    }
    size_t suf = 0;
    while (suf < m - pre && suf < n - pre && a[m - 1 - suf] == b[n - 1 - suf]) {
        match[n - 1 - suf] = static_cast<int>(m - 1 - suf);
        ++suf;
    }
    const size_t ma = m - pre - suf, nb = n - pre - suf;
    // Anchors inside the middle: a longest common subsequence of equal
    // subtrees when the middle is small enough, none otherwise.
    std::vector<std::pair<size_t, size_t>> anchors;
    if (ma > 0 && nb > 0 && ma * nb <= 4'000'000) {
        std::vector<std::vector<int>> dp(ma + 1, std::vector<int>(nb + 1, 0));
        for (size_t i = ma; i-- > 0;)
            for (size_t j = nb; j-- > 0;)
                dp[i][j] = a[pre + i] == b[pre + j] ? dp[i + 1][j + 1] + 1 : std::max(dp[i + 1][j], dp[i][j + 1]);
        size_t i = 0, j = 0;
        while (i < ma && j < nb) {
            if (a[pre + i] == b[pre + j]) {
                anchors.emplace_back(i, j);
                ++i;
                ++j;
            } else if (dp[i + 1][j] >= dp[i][j + 1]) {
                ++i;
            } else {
                ++j;
            }
        }
    }
    anchors.emplace_back(ma, nb);
    size_t ai = 0, bj = 0;
    for (const auto &[ia, jb] : anchors) {
        // Between anchors, pair in order what both sides have.
        while (ai < ia && bj < jb) {
            match[pre + bj] = static_cast<int>(pre + ai);
            ++ai;
            ++bj;
        }
        if (ia < ma) {
            match[pre + jb] = static_cast<int>(pre + ia);
            ai = ia + 1;
            bj = jb + 1;
        }
    }
    return match;
}

class Patcher
{
public:
    Patcher(const EncodedText &text, const LexDocument &lex, const DomDocument &dom, const Target &target,
            const QString &fileName)
        : m_text(text), m_s(text.utf8()), m_lex(lex), m_dom(dom), m_target(target), m_fileName(fileName),
          m_domHash(subtreeHashes(dom.elements)), m_targetHash(subtreeHashes(target.elements))
    {
        m_nl = lineEndOf(m_s);
        m_unit = detectIndentUnit();
        m_hasDefaultNamespace = std::any_of(dom.namespaces.begin(), dom.namespaces.end(),
                                            [](const DomNamespace &ns) { return ns.prefix.isEmpty(); });
    }

    QByteArray run()
    {
        const LexElement &root = m_lex.elements[0];
        copy(0, root.start);
        emitElement(0, 0, {});
        copy(root.end, m_s.size());
        return assemble();
    }

private:
    struct Piece
    {
        bool original;
        qsizetype from, to;
        QByteArray text;
    };

    void copy(qsizetype from, qsizetype to)
    {
        if (from >= to)
            return;
        if (!m_pieces.empty() && m_pieces.back().original && m_pieces.back().to == from) {
            m_pieces.back().to = to;
            return;
        }
        m_pieces.push_back({true, from, to, {}});
    }
    void add(const QByteArray &text)
    {
        if (text.isEmpty())
            return;
        if (!m_pieces.empty() && !m_pieces.back().original) {
            m_pieces.back().text += text;
            return;
        }
        m_pieces.push_back({false, 0, 0, text});
    }

    QByteArray assemble() const
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
    QByteArray indentOf(qsizetype start, bool *onOwnLine) const
    {
        qsizetype i = start;
        while (i > 0 && (m_s[i - 1] == ' ' || m_s[i - 1] == '\t'))
            --i;
        *onOwnLine = i == 0 || m_s[i - 1] == '\n' || m_s[i - 1] == '\r';
        return *onOwnLine ? m_s.mid(i, start - i) : QByteArray();
    }

    QByteArray detectIndentUnit() const
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

    // A namespace declaration that new text makes ("xmlns:prefix" or, with
    // an empty prefix, "xmlns"). One made on an existing element binds a
    // prefix that was unbound there, so below it any declaration the
    // document has comes first; one made on a new element comes before
    // everything the document declares.
    struct Declaration
    {
        QString prefix;
        QString uri;
        bool onExisting = false;
    };
    using Declared = std::vector<Declaration>; // outermost first

    // What prefix means where new text goes: inside the document element
    // scope (-1: none), below the declarations declared. Null when unbound.
    const QString *lookup(int scope, const Declared &declared, QStringView prefix) const
    {
        for (auto it = declared.rbegin(); it != declared.rend(); ++it) {
            if (!it->onExisting && it->prefix == prefix)
                return &it->uri;
        }
        if (const QString *uri = namespaceInScope(m_dom, scope, prefix)) // "xml" too, with no scope
            return uri;
        for (auto it = declared.rbegin(); it != declared.rend(); ++it) {
            if (it->onExisting && it->prefix == prefix)
                return &it->uri;
        }
        return nullptr;
    }

    // The start tag of a new element that goes where lookup describes,
    // without its closing ">".
    QByteArray startOfNewElement(const TargetElement &t, int scope, Declared &declared) const
    {
        QByteArray out = '<' + t.name.toUtf8();
        declareDefault(t.name, scope, declared, &out);
        declarePrefix(t.name, false, scope, declared, &out, false);
        std::vector<size_t> all(t.attributes.size());
        for (size_t i = 0; i < all.size(); ++i)
            all[i] = i;
        return out + newAttributes(t, all, scope, declared, &out, false);
    }

    // The text of the attributes which of t (with leading blanks), and the
    // declarations their prefixes need appended to *declarations. The schema
    // location comes last: it takes a prefix bound to the schema-instance
    // namespace there, or declares a free one ("xsi", else "xsi2"...), so it
    // must know what the others declare.
    QByteArray newAttributes(const TargetElement &t, const std::vector<size_t> &which, int scope, Declared &declared,
                             QByteArray *declarations, bool onExisting) const
    {
        std::vector<QByteArray> names(t.attributes.size());
        for (size_t i : which) {
            const TargetAttribute &a = t.attributes[i];
            if (!a.xsi) {
                declarePrefix(a.segment, true, scope, declared, declarations, onExisting);
                names[i] = a.segment.mid(1).toUtf8();
            }
        }
        for (size_t i : which) {
            if (t.attributes[i].xsi)
                names[i] = schemaInstancePrefix(scope, declared, declarations, onExisting) + ":noNamespaceSchemaLocation";
        }
        checkAttributeNames(t, scope, declared);
        QByteArray out;
        for (size_t i : which)
            out += ' ' + names[i] + "=\"" + escapeXml(t.attributes[i].value, '"') + '"';
        return out;
    }

    QByteArray schemaInstancePrefix(int scope, Declared &declared, QByteArray *declarations, bool onExisting) const
    {
        // Declarations of the schema-instance namespace, innermost first:
        // the first whose prefix still means it here.
        auto meansSchemaInstance = [&](const QString &prefix) {
            const QString *uri = prefix.isEmpty() ? nullptr : lookup(scope, declared, prefix);
            return uri && *uri == kXsiNamespace;
        };
        for (auto it = declared.rbegin(); it != declared.rend(); ++it) {
            if (it->uri == kXsiNamespace && meansSchemaInstance(it->prefix))
                return it->prefix.toUtf8();
        }
        for (auto it = m_dom.namespaces.rbegin(); it != m_dom.namespaces.rend(); ++it) {
            if (it->uri == kXsiNamespace && meansSchemaInstance(it->prefix))
                return it->prefix.toUtf8();
        }
        QString prefix = QStringLiteral("xsi");
        for (int k = 2; lookup(scope, declared, prefix); ++k)
            prefix = QStringLiteral("xsi%1").arg(k);
        declare(prefix, schemaInstanceNamespace(), declared, declarations, onExisting);
        return prefix.toUtf8();
    }

    // Two attributes of one element whose prefixes are bound to the same
    // namespace are the same attribute, which an element cannot hold twice.
    void checkAttributeNames(const TargetElement &t, int scope, const Declared &declared) const
    {
        struct Expanded
        {
            const QString *uri;
            QStringView local;
            const QString *segment;
        };
        std::vector<Expanded> seen;
        for (const TargetAttribute &a : t.attributes) {
            const QStringView qname = QStringView(a.segment).mid(1);
            const qsizetype colon = qname.indexOf(u':');
            Expanded e{nullptr, qname.mid(colon + 1), &a.segment};
            if (a.xsi) {
                e.uri = &schemaInstanceNamespace();
            } else if (colon > 0) {
                e.uri = lookup(scope, declared, qname.left(colon));
            }
            if (!e.uri)
                continue;
            for (const Expanded &other : seen) {
                if (*other.uri == *e.uri && other.local == e.local) {
                    throw storeError(m_fileName, QStringLiteral("the element %1 would have the attributes %2 and %3, "
                                                                "which name the same attribute (%4 in the namespace "
                                                                "%5); an element can hold only one of them.")
                                                     .arg(quoteForMessage(t.name), quoteForMessage(*other.segment),
                                                          quoteForMessage(a.segment), quoteForMessage(e.local.toString()),
                                                          quoteForMessage(*e.uri)));
                }
            }
            seen.push_back(e);
        }
    }

    // A name ("prefix:local", or "@prefix:local" for an attribute) that is
    // written where its prefix is not bound gets a declaration of the prefix,
    // appended to *out and to declared. The namespace is the one the prefix
    // has where the document already uses that name, else its first
    // declaration in the document: names in a pair list carry no namespace,
    // and this is the one they were read with.
    void declarePrefix(const QString &name, bool attribute, int scope, Declared &declared, QByteArray *out,
                       bool onExisting) const
    {
        const QStringView qname = attribute ? QStringView(name).mid(1) : QStringView(name);
        const qsizetype colon = qname.indexOf(u':');
        if (colon < 0 && !(attribute && qname == u"xmlns"))
            return;
        const QStringView prefix = colon < 0 ? qname : qname.left(colon);
        const QString what = attribute ? QStringLiteral("attribute") : QStringLiteral("element");
        if (attribute && prefix == u"xmlns") {
            throw storeError(m_fileName, QStringLiteral("the %1 %2 would be a namespace declaration, which the data "
                                                        "does not show; change declarations in the XML View instead.")
                                             .arg(what, quoteForMessage(name)));
        }
        if (lookup(scope, declared, prefix))
            return;
        const QString *uri = uriToDeclare(prefix, name, attribute);
        if (!uri) {
            throw storeError(m_fileName, QStringLiteral("the %1 %2 has the prefix %3, which no namespace declaration "
                                                        "in the document binds; declare it in the XML View first.")
                                             .arg(what, quoteForMessage(name), quoteForMessage(prefix.toString())));
        }
        declare(prefix.toString(), *uri, declared, out, onExisting);
    }

    // An unprefixed new element is in the default namespace where it goes.
    // When the document never uses its name in that namespace but does in
    // another (declared with "xmlns" below the root, say, and a sibling of
    // that element is added), it declares the one of the name's first use.
    void declareDefault(const QString &name, int scope, Declared &declared, QByteArray *out) const
    {
        if (!m_hasDefaultNamespace || name.contains(u':'))
            return;
        const QString *current = lookup(scope, declared, QStringView());
        const QStringList &uses = defaultNamespacesOf(name);
        if (uses.isEmpty() || uses.contains(current ? *current : QString()))
            return;
        out->append(" xmlns=\"").append(escapeXml(uses.first(), '"')).append('"');
        declared.push_back({QString(), uses.first(), false});
    }

    // The default namespaces (empty: none) that the document's elements of
    // an unprefixed name are in, each once, in document order.
    const QStringList &defaultNamespacesOf(const QString &name) const
    {
        const auto known = m_defaultUses.find(name);
        if (known != m_defaultUses.end())
            return known->second;
        QStringList uses;
        for (size_t i = 0; i < m_dom.elements.size(); ++i) {
            if (m_dom.elements[i].name != name)
                continue;
            const QString *uri = namespaceInScope(m_dom, static_cast<int>(i), QStringView());
            const QString use = uri ? *uri : QString();
            if (!uses.contains(use))
                uses.append(use);
        }
        return m_defaultUses.emplace(name, std::move(uses)).first->second;
    }

    static void declare(const QString &prefix, const QString &uri, Declared &declared, QByteArray *out, bool onExisting)
    {
        out->append(" xmlns:").append(prefix.toUtf8()).append("=\"").append(escapeXml(uri, '"')).append('"');
        declared.push_back({prefix, uri, onExisting});
    }

    // The namespace for an unbound prefix, as declarePrefix describes it, or
    // null when nothing in the document declares the prefix (but "xsi").
    const QString *uriToDeclare(QStringView prefix, const QString &name, bool attribute) const
    {
        const QString key = prefix.toString() + QLatin1Char(' ') + name;
        const auto known = m_declareCache.find(key);
        if (known != m_declareCache.end())
            return known->second;
        const QString *uri = nullptr;
        for (size_t i = 0; i < m_dom.elements.size() && !uri; ++i) {
            const DomElement &e = m_dom.elements[i];
            const bool uses = attribute ? std::any_of(e.attributes.begin(), e.attributes.end(),
                                                      [&](const DomAttribute &a) { return a.segment == name; })
                                        : e.name == name;
            if (uses)
                uri = namespaceInScope(m_dom, static_cast<int>(i), prefix);
        }
        for (size_t i = 0; i < m_dom.namespaces.size() && !uri; ++i) {
            if (m_dom.namespaces[i].prefix == prefix)
                uri = &m_dom.namespaces[i].uri;
        }
        // "xsi" nobody declares is the schema-instance prefix ("xsi:type",
        // "xsi:nil"), as the schema location declares it.
        if (!uri && prefix == u"xsi")
            uri = &schemaInstanceNamespace();
        m_declareCache.emplace(key, uri);
        return uri;
    }

    // A new element and its subtree, indented below indent, inside the
    // document element scope (-1: none), below the declarations that new
    // text above it makes.
    void emitNew(int t, const QByteArray &indent, int scope, Declared declared)
    {
        const TargetElement &e = m_target.elements[static_cast<size_t>(t)];
        add(startOfNewElement(e, scope, declared));
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
    void emitElement(int d, int t, const Declared &above)
    {
        const LexElement &lx = m_lex.elements[static_cast<size_t>(d)];
        if (m_domHash[static_cast<size_t>(d)] == m_targetHash[static_cast<size_t>(t)]) {
            copy(lx.start, lx.end);
            return;
        }
        const DomElement &de = m_dom.elements[static_cast<size_t>(d)];
        const TargetElement &te = m_target.elements[static_cast<size_t>(t)];

        // Start tag: attributes kept, changed in place, removed or added.
        copy(lx.start, lx.nameEnd);
        qsizetype pos = lx.nameEnd;
        std::vector<bool> used(te.attributes.size(), false);
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
                    if (!used[i] && te.attributes[i].segment == dom->segment)
                        found = static_cast<int>(i);
                }
            }
            if (found < 0) { // removed, with the blank before it
                pos = after;
                continue;
            }
            used[static_cast<size_t>(found)] = true;
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
        // New attributes, after the declarations their prefixes need.
        Declared declared = above;
        std::vector<size_t> added;
        for (size_t i = 0; i < te.attributes.size(); ++i) {
            if (!used[i])
                added.push_back(i);
        }
        if (!added.empty()) {
            QByteArray declarations;
            const QByteArray attributes = newAttributes(te, added, d, declared, &declarations, true);
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

    // Text [from, to) is about to be dropped or rewritten. An entity there
    // whose text holds markup carries elements the pair list does not show,
    // so the store is refused rather than lose them.
    void dropText(qsizetype from, qsizetype to) const
    {
        const QByteArrayView text = QByteArrayView(m_s).sliced(from, to - from);
        for (const QByteArray &ref : m_dom.markupEntityRefs) {
            if (text.contains(ref)) {
                throw storeError(m_fileName, QStringLiteral("the edit would remove the entity %1, whose text holds "
                                                            "markup that the data does not show; change that part "
                                                            "in the XML View instead.")
                                                 .arg(quoteForMessage(QString::fromUtf8(ref))));
            }
        }
    }
    void dropTextItems(const LexElement &lx, size_t from, size_t to) const
    {
        for (size_t i = from; i < to; ++i) {
            if (lx.content[i].kind == LexItem::Text)
                dropText(lx.content[i].start, lx.content[i].end);
        }
    }

    // Emits a run of items [from, to) of an element's content. Text runs
    // that carry the value are rewritten when the value changed.
    void emitItems(const LexElement &lx, size_t from, size_t to, bool container, bool valueChanged,
                   const QString &value, bool *valueWritten)
    {
        size_t i = from;
        while (i < to) {
            const LexItem &item = lx.content[i];
            if (item.kind == LexItem::Element) { // a removed child, whose text stays
                ++i;
                continue;
            }
            if (item.kind != LexItem::Text && item.kind != LexItem::CData) {
                copy(item.start, item.end);
                ++i;
                continue;
            }
            size_t j = i;
            while (j < to && (lx.content[j].kind == LexItem::Text || lx.content[j].kind == LexItem::CData))
                ++j;
            const qsizetype runStart = item.start, runEnd = lx.content[j - 1].end;
            i = j;
            if (!valueChanged) {
                copy(runStart, runEnd);
                continue;
            }
            qsizetype coreStart = runStart, coreEnd = runEnd;
            if (container) {
                while (coreStart < coreEnd && isSpace(m_s[coreStart]))
                    ++coreStart;
                while (coreEnd > coreStart && isSpace(m_s[coreEnd - 1]))
                    --coreEnd;
                if (coreStart == coreEnd) {
                    copy(runStart, runEnd);
                    continue;
                }
            }
            dropText(coreStart, coreEnd);
            copy(runStart, coreStart);
            if (!*valueWritten) {
                add(escapeXml(value));
                *valueWritten = true;
            }
            copy(coreEnd, runEnd);
        }
    }

    // An element d whose content is blank text and comments (or processing
    // instructions), standing for target element t without a value, gains
    // its first children: the content stays as it is (the blank lines
    // around the comments are the document's layout, not a value) and the
    // children follow the last comment. Where that comment stands on a line
    // of its own they go on lines of their own, indented like it; else where
    // d does (at indent, ownLine), one unit deeper than d; else right after
    // the comment. The blanks after the last comment stay before the end
    // tag, which gets a line of its own when they hold no line break and the
    // children went on lines of their own. Returns false, having emitted
    // nothing, for other content.
    bool emitFirstChildrenAfterComments(int d, int t, const QByteArray &indent, bool ownLine, const Declared &declared)
    {
        const LexElement &lx = m_lex.elements[static_cast<size_t>(d)];
        const LexItem *last = nullptr;
        for (const LexItem &item : lx.content) {
            if (item.kind == LexItem::Comment || item.kind == LexItem::PI) {
                last = &item;
                continue;
            }
            if (item.kind != LexItem::Text)
                return false;
            for (qsizetype p = item.start; p < item.end; ++p) {
                if (!isSpace(m_s[p]))
                    return false;
            }
        }
        if (!last)
            return false;
        copy(lx.contentStart, last->end);
        bool lastOwnLine = false;
        const QByteArray lastIndent = indentOf(last->start, &lastOwnLine);
        const bool lines = lastOwnLine || ownLine;
        const QByteArray childIndent = lastOwnLine ? lastIndent : indent + m_unit;
        for (int c : m_target.elements[static_cast<size_t>(t)].children) {
            if (lines)
                add(m_nl + childIndent);
            emitNew(c, childIndent, d, declared);
        }
        const QByteArrayView trail = QByteArrayView(m_s).sliced(last->end, lx.contentEnd - last->end);
        if (lines && !trail.contains('\n') && !trail.contains('\r'))
            add(m_nl + indent);
        else
            copy(last->end, lx.contentEnd);
        return true;
    }

    // The content of an existing element d, whose start tag makes the
    // declarations declared.
    void emitContent(int d, int t, const Declared &declared)
    {
        const LexElement &lx = m_lex.elements[static_cast<size_t>(d)];
        const DomElement &de = m_dom.elements[static_cast<size_t>(d)];
        const TargetElement &te = m_target.elements[static_cast<size_t>(t)];
        bool valueChanged = de.value != te.value;
        bool valueWritten = false;
        bool ownLine = false;
        const QByteArray indent = indentOf(lx.start, &ownLine);

        if (lx.children.empty()) {
            if (te.children.empty()) {
                if (!valueChanged) {
                    copy(lx.contentStart, lx.contentEnd);
                    return;
                }
                emitItems(lx, 0, lx.content.size(), false, true, te.value, &valueWritten);
                if (!valueWritten)
                    add(escapeXml(te.value));
                return;
            }
            if (te.value.isEmpty() && emitFirstChildrenAfterComments(d, t, indent, ownLine, declared))
                return;
            // Gains its first children: the value, comments kept, then the
            // children on lines of their own.
            dropTextItems(lx, 0, lx.content.size());
            add(escapeXml(te.value));
            for (const LexItem &item : lx.content) {
                if (item.kind == LexItem::Comment || item.kind == LexItem::PI)
                    copy(item.start, item.end);
            }
            for (int c : te.children) {
                if (ownLine)
                    add(m_nl + indent + m_unit);
                emitNew(c, indent + m_unit, d, declared);
            }
            if (ownLine)
                add(m_nl + indent);
            return;
        }

        if (te.children.empty()) {
            // Loses its last child: everything between the tags is now its
            // value, so the layout text goes; comments after the children
            // stay (those before a child went with it).
            dropTextItems(lx, 0, lx.content.size());
            add(escapeXml(te.value));
            const auto trail = std::find_if(lx.content.rbegin(), lx.content.rend(),
                                            [](const LexItem &item) { return item.kind == LexItem::Element; });
            for (auto it = trail.base(); it != lx.content.end(); ++it) {
                if (it->kind == LexItem::Comment || it->kind == LexItem::PI)
                    copy(it->start, it->end);
            }
            return;
        }

        // Content around the element children: gap k is what stands before
        // child k (its line and its comments), the trail what follows the
        // last child.
        std::vector<size_t> itemOfChild;
        for (size_t i = 0; i < lx.content.size(); ++i) {
            if (lx.content[i].kind == LexItem::Element)
                itemOfChild.push_back(i);
        }
        const std::vector<int> match = matchChildren(d, t);
        bool siblingOwnLine = false;
        const QByteArray siblingIndent =
            indentOf(m_lex.elements[static_cast<size_t>(lx.children[0])].start, &siblingOwnLine);

        std::vector<bool> childKept(itemOfChild.size(), false);
        for (int k : match) {
            if (k >= 0)
                childKept[static_cast<size_t>(k)] = true;
        }
        auto carriesValue = [&](const LexItem &item) {
            if (item.kind == LexItem::CData)
                return true;
            if (item.kind != LexItem::Text)
                return false;
            for (qsizetype p = item.start; p < item.end; ++p) {
                if (!isSpace(m_s[p]))
                    return true;
            }
            return false;
        };
        // Where the value's text stands: in how many of the gaps and the trail.
        int placesWithText = 0;
        for (size_t i = 0, gap = 0, last = 0; i < lx.content.size(); ++i) {
            if (lx.content[i].kind == LexItem::Element) {
                ++gap;
            } else if (carriesValue(lx.content[i]) && (placesWithText == 0 || last != gap)) {
                ++placesWithText;
                last = gap;
            }
        }
        // A kept child takes its gap along. A removed child's gap is its line
        // and goes with it, but where the text stands in several places among
        // the children, the children stand inside that text: a removed one
        // leaves its gap to the kept child after it (or the trail).
        const bool amidText = placesWithText > 1;
        std::vector<size_t> gapStart(itemOfChild.size());
        size_t keptUpTo = 0;
        for (size_t k = 0; k < itemOfChild.size(); ++k) {
            gapStart[k] = amidText ? keptUpTo : k == 0 ? 0 : itemOfChild[k - 1] + 1;
            if (childKept[k])
                keptUpTo = itemOfChild[k] + 1;
            else if (!amidText)
                dropTextItems(lx, gapStart[k], itemOfChild[k]);
        }
        const size_t trailStart = amidText ? keptUpTo : itemOfChild.back() + 1;

        // The value is the text between the children joined as it stands,
        // blanks at either end left out. Children removed or moved take
        // their gaps along, which may change it (a blank between two words
        // is part of it); then the value is written anew into what stays.
        // Where it still reads the same, every text keeps its place, and a
        // new child that goes between two parts of it gets no line of its
        // own, which would add blanks to the value.
        QByteArray textBefore, textAfter;
        auto appendText = [&](QByteArray &out, size_t from, size_t to) {
            for (size_t i = from; i < to; ++i) {
                const LexItem &item = lx.content[i];
                if (item.kind == LexItem::Text || item.kind == LexItem::CData)
                    out.append(m_s.constData() + item.start, item.end - item.start);
            }
        };
        auto trimmed = [](QByteArrayView text) {
            while (!text.isEmpty() && isSpace(text.front()))
                text = text.sliced(1);
            while (!text.isEmpty() && isSpace(text.back()))
                text.chop(1);
            return text;
        };
        appendText(textBefore, 0, lx.content.size());
        std::vector<bool> slotHasText(te.children.size(), false);
        std::vector<bool> textFollows(te.children.size() + 1, false); // from slot j on, the trail included
        int placesAfter = 0;
        for (size_t j = 0; j < te.children.size(); ++j) {
            const int k = match[j];
            if (k < 0)
                continue;
            const qsizetype at = textAfter.size();
            appendText(textAfter, gapStart[static_cast<size_t>(k)], itemOfChild[static_cast<size_t>(k)]);
            slotHasText[j] = !trimmed(QByteArrayView(textAfter).sliced(at)).isEmpty();
            placesAfter += slotHasText[j] ? 1 : 0;
        }
        const qsizetype trailAt = textAfter.size();
        appendText(textAfter, trailStart, lx.content.size());
        textFollows.back() = !trimmed(QByteArrayView(textAfter).sliced(trailAt)).isEmpty();
        placesAfter += textFollows.back() ? 1 : 0;
        for (size_t j = te.children.size(); j-- > 0;)
            textFollows[j] = textFollows[j + 1] || slotHasText[j];

        // Text that stands in several places among the children reads as one
        // value; a new value cannot be told apart into those places.
        if (valueChanged && placesAfter > 1) {
            throw storeError(m_fileName, QStringLiteral("the element %1 has text between its child elements, so its "
                                                        "changed value cannot be placed among them; change it in "
                                                        "the XML View instead.")
                                             .arg(quoteForMessage(indexedPath(d), 200)));
        }
        if (trimmed(textBefore) != trimmed(textAfter))
            valueChanged = true;

        if (valueChanged && !te.value.isEmpty() && placesAfter == 0) {
            // Written into the first kept text that carries a value, else here.
            add(escapeXml(te.value));
            valueWritten = true;
        }
        bool textPassed = false;
        for (size_t j = 0; j < te.children.size(); ++j) {
            const int k = match[j];
            if (k >= 0) {
                emitItems(lx, gapStart[static_cast<size_t>(k)], itemOfChild[static_cast<size_t>(k)], true, valueChanged,
                          te.value, &valueWritten);
                emitElement(lx.children[static_cast<size_t>(k)], te.children[j], declared);
                textPassed = textPassed || slotHasText[j];
            } else {
                const bool insideValue = !valueChanged && textPassed && textFollows[j + 1];
                if (siblingOwnLine && !insideValue)
                    add(m_nl + siblingIndent);
                emitNew(te.children[j], siblingIndent, d, declared);
            }
        }
        emitItems(lx, trailStart, lx.content.size(), true, valueChanged, te.value, &valueWritten);
    }

    // The path of the document's element d as the pair list writes it.
    QString indexedPath(int d) const
    {
        QStringList segments;
        for (int e = d; e >= 0;) {
            const DomElement &element = m_dom.elements[static_cast<size_t>(e)];
            int index = 0;
            if (element.parent >= 0) {
                for (int sibling : m_dom.elements[static_cast<size_t>(element.parent)].children) {
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

    // For each target child of t, the position among d's element children of
    // the existing child it stands for, or -1 for a new one.
    std::vector<int> matchChildren(int d, int t) const
    {
        const std::vector<int> &existing = m_dom.elements[static_cast<size_t>(d)].children;
        const std::vector<int> &wanted = m_target.elements[static_cast<size_t>(t)].children;
        NameMap<std::pair<std::vector<int>, std::vector<int>>> groups; // name -> (existing pos, wanted pos)
        for (size_t i = 0; i < existing.size(); ++i)
            groups[m_dom.elements[static_cast<size_t>(existing[i])].name].first.push_back(static_cast<int>(i));
        for (size_t j = 0; j < wanted.size(); ++j)
            groups[m_target.elements[static_cast<size_t>(wanted[j])].name].second.push_back(static_cast<int>(j));
        std::vector<int> match(wanted.size(), -1);
        for (const auto &[groupName, group] : groups) {
            const auto &[ex, wa] = group;
            if (wa.empty())
                continue;
            std::vector<size_t> a, b;
            for (int i : ex)
                a.push_back(m_domHash[static_cast<size_t>(existing[static_cast<size_t>(i)])]);
            for (int j : wa)
                b.push_back(m_targetHash[static_cast<size_t>(wanted[static_cast<size_t>(j)])]);
            const std::vector<int> g = alignGroup(a, b);
            for (size_t j = 0; j < wa.size(); ++j) {
                if (g[j] >= 0)
                    match[static_cast<size_t>(wa[j])] = ex[static_cast<size_t>(g[j])];
            }
        }
        return match;
    }

    const EncodedText &m_text;
    const QByteArray &m_s;
    const LexDocument &m_lex;
    const DomDocument &m_dom;
    const Target &m_target;
    const QString &m_fileName;
    std::vector<size_t> m_domHash, m_targetHash;
    QByteArray m_nl, m_unit;
    std::vector<Piece> m_pieces;
    mutable NameMap<const QString *> m_declareCache; // prefix and name -> namespace to declare
    mutable NameMap<QStringList> m_defaultUses;       // unprefixed name -> its default namespaces
    bool m_hasDefaultNamespace = false;                      // whether the document declares one anywhere

    friend QByteArray tarnwell::xml::newDocument(const Target &target, const QString &fileName);
};

} // namespace

Target buildTarget(const QStringList &pairs, const QString &requiredRoot, const QString &fileName)
{
    Target t;
    bool anyEntry = false;
    // Names already found valid, each held once: the elements of one name
    // share its string. They are looked up through a view on the entry
    // (fromRawData copies nothing), so an entry costs no copies of its names.
    NameSet validNames;
    auto valid = [&](QStringView name, QString *held) {
        // Runs of one name (siblings, or the same parent again) need no
        // look-up: *held still has the last one, which was valid.
        if (!held->isNull() && *held == name)
            return true;
        const auto known = validNames.find(name);
        if (known != validNames.end()) {
            *held = *known;
            return true;
        }
        *held = name.toString();
        if (!isValidQName(*held))
            return false;
        validNames.insert(*held);
        return true;
    };
    QString name;
    int lastParent = -1;
    QString lastName;
    std::vector<int> *lastSameName = nullptr;
    for (qsizetype n = 0; n < pairs.size(); ++n) {
        const std::optional<PairEntryView> entry = SplitPairEntry(pairs[n]);
        if (!entry)
            continue;
        anyEntry = true;
        auto fail = [&](const QString &why) {
            return storeError(fileName, QStringLiteral("entry %1 (%2) %3").arg(n + 1).arg(quoteForMessage(pairs[n]), why));
        };
        // The path's segments, split at every "/".
        const QStringView path = entry->path;
        qsizetype end = path.indexOf(u'/');
        const QStringView rootName = end < 0 ? path : path.left(end);
        if (t.elements.empty()) {
            if (!valid(rootName, &name))
                throw fail(QStringLiteral("names the root %1, which is not a valid XML name.").arg(quoteForMessage(name)));
            if (!requiredRoot.isEmpty() && name != requiredRoot) {
                throw fail(QStringLiteral("names the root %1, but the document's root is %2.")
                               .arg(quoteForMessage(name), quoteForMessage(requiredRoot)));
            }
            t.elements.emplace_back();
            t.elements[0].name = name;
        } else if (rootName != t.elements[0].name) {
            throw fail(QStringLiteral("names the root %1, but the list's root is %2.")
                           .arg(quoteForMessage(rootName.toString()), quoteForMessage(t.elements[0].name)));
        }
        int current = 0;
        bool attribute = false;
        while (end >= 0) {
            const qsizetype start = end + 1;
            end = path.indexOf(u'/', start);
            const QStringView segment = end < 0 ? path.mid(start) : path.mid(start, end - start);
            if (segment.startsWith(u'@')) {
                if (end >= 0)
                    throw fail(QStringLiteral("gives the attribute %1 a child.").arg(quoteForMessage(segment.toString())));
                const bool xsi = segment == kNoNamespaceSchemaLocation && entry->ns == kXsiNamespace;
                if (!xsi && !valid(segment.mid(1), &name)) {
                    throw fail(QStringLiteral("names the attribute %1, which is not a valid XML name.")
                                   .arg(quoteForMessage(segment.toString())));
                }
                auto &attrs = t.elements[static_cast<size_t>(current)].attributes;
                const auto it = std::find_if(attrs.begin(), attrs.end(),
                                             [&](const TargetAttribute &a) { return a.segment == segment; });
                if (it != attrs.end())
                    it->value = entry->value.toString();
                else
                    attrs.push_back({segment.toString(), entry->value.toString(), xsi});
                attribute = true;
                continue;
            }
            const qsizetype bracket = segment.indexOf(u'[');
            int index = 0;
            try {
                index = SegmentIndex(segment);
            } catch (const Error &e) {
                throw fail(e.description());
            }
            if (!valid(bracket < 0 ? segment : segment.left(bracket), &name))
                throw fail(QStringLiteral("names the element %1, which is not a valid XML name.").arg(quoteForMessage(name)));
            // "Name[k]" is the parent's k-th child of that name, when it has
            // one; otherwise a new child of that name. The list found last
            // serves a run of entries under one parent (only adding a name to
            // that parent's table could move it, and that happens only here).
            if (current != lastParent || name != lastName) {
                lastSameName = &t.elements[static_cast<size_t>(current)].childrenByName[name];
                lastParent = current;
                lastName = name;
            }
            std::vector<int> &sameName = *lastSameName;
            int child = -1;
            if (static_cast<size_t>(index) < sameName.size()) {
                child = sameName[static_cast<size_t>(index)];
            } else {
                const TargetElement &parent = t.elements[static_cast<size_t>(current)];
                if (parent.depth + 1 > kMaxDepth)
                    throw fail(QStringLiteral("nests elements deeper than %1 levels.").arg(kMaxDepth));
                child = static_cast<int>(t.elements.size());
                sameName.push_back(child);
                TargetElement e;
                e.name = name;
                e.parent = current;
                e.depth = parent.depth + 1;
                t.elements[static_cast<size_t>(current)].children.push_back(child);
                t.elements.push_back(std::move(e));
            }
            current = child;
        }
        if (!attribute)
            t.elements[static_cast<size_t>(current)].value = entry->value.toString();
    }
    if (!anyEntry)
        throw storeError(fileName, QStringLiteral("there is nothing to store (the list holds no \"DAT\" entry)."));
    // An element that holds elements reads back without the blanks around
    // its text (they are its layout), so that is the value it is stored with:
    // a blank leaf that gains a child stores as a plain container.
    for (TargetElement &e : t.elements) {
        if (!e.children.empty())
            e.value = trimmedXml(e.value);
    }
    return t;
}

bool matchesTarget(const DomDocument &doc, const Target &target, QString *where)
{
    if (doc.elements.empty() || target.elements.empty())
        return doc.elements.empty() == target.elements.empty();
    // The path of a target element, only needed to describe a difference.
    auto pathOf = [&](int t) {
        QStringList names;
        for (; t >= 0; t = target.elements[static_cast<size_t>(t)].parent)
            names.prepend(target.elements[static_cast<size_t>(t)].name);
        return names.join(QLatin1Char('/'));
    };
    std::vector<std::pair<int, int>> stack{{0, 0}};
    std::vector<std::pair<QString, QString>> da, ta;
    while (!stack.empty()) {
        const auto [di, ti] = stack.back();
        stack.pop_back();
        const DomElement &d = doc.elements[static_cast<size_t>(di)];
        const TargetElement &t = target.elements[static_cast<size_t>(ti)];
        bool same = d.name == t.name && d.value == t.value && d.children.size() == t.children.size() &&
                    d.attributes.size() == t.attributes.size();
        if (same && !d.attributes.empty()) {
            da.clear();
            ta.clear();
            for (const DomAttribute &a : d.attributes)
                da.emplace_back(a.segment, a.value);
            for (const TargetAttribute &a : t.attributes)
                ta.emplace_back(a.segment, a.value);
            std::sort(da.begin(), da.end());
            std::sort(ta.begin(), ta.end());
            same = da == ta;
        }
        if (!same) {
            *where = pathOf(ti);
            return false;
        }
        for (size_t i = 0; i < t.children.size(); ++i)
            stack.emplace_back(d.children[i], t.children[i]);
    }
    return true;
}

QByteArray patchDocument(const EncodedText &text, const LexDocument &lex, const DomDocument &dom, const Target &target,
                         const QString &fileName)
{
    return Patcher(text, lex, dom, target, fileName).run();
}

CheckedStore storeChecked(const EncodedText &text, const LexDocument *lex, const DomDocument &dom, const Target &target,
                          const QString &fileName)
{
    CheckedStore out;
    out.bytes = lex ? patchDocument(text, *lex, dom, target, fileName) : newDocument(target, fileName);
    // The target's values in document order: the parse shares the strings
    // of the values it finds as sent.
    std::vector<const QString *> expected;
    expected.reserve(target.elements.size());
    for (std::vector<int> pending{0}; !target.elements.empty() && !pending.empty();) {
        const TargetElement &e = target.elements[static_cast<size_t>(pending.back())];
        pending.pop_back();
        expected.push_back(&e.value);
        pending.insert(pending.end(), e.children.rbegin(), e.children.rend());
    }
    try {
        out.dom = parseDocument(out.bytes, fileName, &expected);
    } catch (const ReadLimitError &e) {
        throw storeError(fileName, QStringLiteral("the result could not be read back: %1.").arg(e.limit()));
    } catch (const Error &e) {
        throw storeError(fileName, QStringLiteral("the result would not be well-formed (%1)").arg(e.description()));
    }
    QString where;
    if (!matchesTarget(out.dom, target, &where)) {
        throw storeError(fileName,
                         QStringLiteral("the result would not hold exactly the data sent (at %1).").arg(quoteForMessage(where)));
    }
    return out;
}

QByteArray newDocument(const Target &target, const QString &fileName)
{
    // Everything is new text: the patcher runs over an empty document.
    EncodedText none;
    LexDocument lex;
    DomDocument dom;
    Patcher p(none, lex, dom, target, fileName);
    p.add("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    p.emitNew(0, QByteArray(), -1, {});
    p.add("\n");
    QByteArray out;
    for (const auto &piece : p.m_pieces)
        out += piece.text;
    return out;
}

} // namespace tarnwell::xml
