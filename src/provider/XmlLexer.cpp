#include "XmlLexer.h"

#include <cstring>

namespace tarnwell::xml {

namespace {

class Lexer
{
public:
    explicit Lexer(const QByteArray &text) : s(text.constData()), n(text.size()) {}

    bool run(LexDocument &doc, const std::vector<size_t> *childCounts)
    {
        m_childCounts = childCounts;
        if (childCounts)
            doc.elements.reserve(childCounts->size());
        if (!skipProlog())
            return false;
        if (at("<") && !at("</") && !at("<!") && !at("<?"))
            return elements(doc);
        return false;
    }

private:
    bool at(const char *literal) const
    {
        const auto len = static_cast<qsizetype>(std::strlen(literal));
        return pos + len <= n && std::memcmp(s + pos, literal, static_cast<size_t>(len)) == 0;
    }
    static bool space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
    void skipSpace()
    {
        while (pos < n && space(s[pos]))
            ++pos;
    }
    // Moves past a construct that starts here with open and ends with close,
    // searching for close only after open ("<!-->" does not end a comment).
    bool skipBlock(const char *open, const char *close)
    {
        pos += static_cast<qsizetype>(std::strlen(open));
        return skipPast(close);
    }
    // Moves past the next occurrence of literal; false when there is none.
    bool skipPast(const char *literal)
    {
        const auto len = static_cast<qsizetype>(std::strlen(literal));
        for (; pos + len <= n; ++pos) {
            if (std::memcmp(s + pos, literal, static_cast<size_t>(len)) == 0) {
                pos += len;
                return true;
            }
        }
        return false;
    }
    bool skipQuoted()
    {
        const char quote = s[pos++];
        while (pos < n && s[pos] != quote)
            ++pos;
        if (pos >= n)
            return false;
        ++pos;
        return true;
    }

    bool skipDoctype()
    {
        pos += 9; // "<!DOCTYPE"
        while (pos < n) {
            const char c = s[pos];
            if (c == '"' || c == '\'') {
                if (!skipQuoted())
                    return false;
            } else if (c == '[') {
                ++pos;
                while (pos < n && s[pos] != ']') {
                    if (s[pos] == '"' || s[pos] == '\'') {
                        if (!skipQuoted())
                            return false;
                    } else if (at("<!--")) {
                        if (!skipBlock("<!--", "-->"))
                            return false;
                    } else if (at("<?")) {
                        if (!skipBlock("<?", "?>"))
                            return false;
                    } else {
                        ++pos;
                    }
                }
                ++pos;
            } else if (c == '>') {
                ++pos;
                return true;
            } else {
                ++pos;
            }
        }
        return false;
    }

    bool skipProlog()
    {
        while (true) {
            skipSpace();
            if (at("<?")) {
                if (!skipBlock("<?", "?>"))
                    return false;
            } else if (at("<!--")) {
                if (!skipBlock("<!--", "-->"))
                    return false;
            } else if (at("<!DOCTYPE")) {
                if (!skipDoctype())
                    return false;
            } else {
                return pos < n;
            }
        }
    }

    bool startTag(LexElement &e)
    {
        e.start = pos++;
        const qsizetype nameStart = pos;
        while (pos < n && !space(s[pos]) && s[pos] != '/' && s[pos] != '>')
            ++pos;
        e.name = QByteArrayView(s + nameStart, pos - nameStart);
        e.nameEnd = pos;
        while (true) {
            skipSpace();
            if (pos >= n)
                return false;
            if (s[pos] == '>') {
                e.tagClose = pos++;
                e.contentStart = e.contentEnd = pos;
                return true;
            }
            if (at("/>")) {
                e.tagClose = pos;
                pos += 2;
                e.selfClosing = true;
                e.contentStart = e.contentEnd = e.end = pos;
                return true;
            }
            LexAttribute a;
            a.start = pos;
            while (pos < n && !space(s[pos]) && s[pos] != '=')
                ++pos;
            a.name = QByteArrayView(s + a.start, pos - a.start);
            skipSpace();
            if (pos >= n || s[pos] != '=')
                return false;
            ++pos;
            skipSpace();
            if (pos >= n || (s[pos] != '"' && s[pos] != '\''))
                return false;
            const char quote = s[pos++];
            a.valueStart = pos;
            while (pos < n && s[pos] != quote)
                ++pos;
            if (pos >= n)
                return false;
            a.valueEnd = pos++;
            e.attributes.push_back(std::move(a));
        }
    }

    // Sizes the lists of an element that has just been read, when the
    // number of its element children is known: its content is then those
    // children and the text around them, as a rule.
    void presize(LexElement &e, size_t index) const
    {
        if (!m_childCounts || index >= m_childCounts->size() || (*m_childCounts)[index] == 0)
            return;
        const size_t children = (*m_childCounts)[index];
        e.children.reserve(children);
        e.content.reserve(2 * children + 1);
    }

    // Walks the root element and everything in it, without recursion.
    bool elements(LexDocument &doc)
    {
        doc.elements.emplace_back();
        if (!startTag(doc.elements[0]))
            return false;
        presize(doc.elements[0], 0);
        if (doc.elements[0].selfClosing)
            return true;
        int current = 0;
        while (current >= 0) {
            if (pos >= n)
                return false;
            LexItem item;
            item.start = pos;
            if (at("</")) {
                LexElement &e = doc.elements[static_cast<size_t>(current)];
                e.contentEnd = pos;
                if (!skipPast(">"))
                    return false;
                e.end = pos;
                current = e.parent;
                continue;
            }
            if (at("<!--")) {
                item.kind = LexItem::Comment;
                if (!skipBlock("<!--", "-->"))
                    return false;
            } else if (at("<![CDATA[")) {
                item.kind = LexItem::CData;
                if (!skipBlock("<![CDATA[", "]]>"))
                    return false;
            } else if (at("<?")) {
                item.kind = LexItem::PI;
                if (!skipBlock("<?", "?>"))
                    return false;
            } else if (s[pos] == '<') {
                LexElement child;
                child.parent = current;
                if (!startTag(child))
                    return false;
                const int index = static_cast<int>(doc.elements.size());
                const bool open = !child.selfClosing;
                presize(child, static_cast<size_t>(index));
                doc.elements.push_back(std::move(child));
                item.kind = LexItem::Element;
                item.element = index;
                item.end = pos;
                LexElement &parent = doc.elements[static_cast<size_t>(current)];
                parent.content.push_back(item);
                parent.children.push_back(index);
                if (open)
                    current = index;
                continue;
            } else {
                item.kind = LexItem::Text;
                while (pos < n && s[pos] != '<')
                    ++pos;
            }
            item.end = pos;
            doc.elements[static_cast<size_t>(current)].content.push_back(item);
        }
        return true;
    }

    const char *s;
    qsizetype n;
    qsizetype pos = 0;
    const std::vector<size_t> *m_childCounts = nullptr;
};

} // namespace

bool lexDocument(const QByteArray &utf8, LexDocument &out, const std::vector<size_t> *childCounts)
{
    out.elements.clear();
    return Lexer(utf8).run(out, childCounts);
}

} // namespace tarnwell::xml
