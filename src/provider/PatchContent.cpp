// The content between an existing element's tags: its value, its children in place, the text around them.
#include "PatchEmitter.h"

#include "Error.h"
#include "StoreCommon.h"

#include <algorithm>

namespace tarnwell::xml::store {

// The first reference in text [from, to) to an entity whose text holds
// markup ("&name;"), or an empty array: one pass over the text, each
// reference looked up.
QByteArray PatchEmitter::markupRefIn(qsizetype from, qsizetype to) const
{
    if (m_dom.markupEntityRefs.empty())
        return QByteArray();
    if (!m_markupRefs) {
        m_markupRefs.emplace();
        for (const QByteArray &ref : m_dom.markupEntityRefs)
            m_markupRefs->insert(ref);
    }
    // In well-formed text each '&' starts a reference that its ';' ends.
    const QByteArrayView text = QByteArrayView(m_s).sliced(from, to - from);
    for (qsizetype at = text.indexOf('&'); at >= 0; at = text.indexOf('&', at + 1)) {
        const qsizetype semi = text.indexOf(';', at);
        if (semi < 0)
            break;
        const QByteArray ref = text.sliced(at, semi - at + 1).toByteArray();
        if (m_markupRefs->contains(ref))
            return ref;
        at = semi;
    }
    return QByteArray();
}

// Text [from, to) is about to be dropped or rewritten. An entity there
// whose text holds markup carries elements the file holds only as the
// reference, so the store is refused rather than lose them.
void PatchEmitter::dropText(qsizetype from, qsizetype to) const
{
    if (const QByteArray ref = markupRefIn(from, to); !ref.isEmpty()) {
        throw storeError(m_fileName, QStringLiteral("the edit would remove the entity %1, whose text holds "
                                                    "markup; its elements are read-only in the data. Change "
                                                    "that part in the XML View instead.")
                                         .arg(quoteForMessage(QString::fromUtf8(ref))));
    }
}

bool PatchEmitter::refersToMarkup(const LexItem &item) const
{
    return item.kind == LexItem::Text && !markupRefIn(item.start, item.end).isEmpty();
}

void PatchEmitter::dropTextItems(const LexElement &lx, size_t from, size_t to) const
{
    for (size_t i = from; i < to; ++i) {
        if (lx.content[i].kind == LexItem::Text)
            dropText(lx.content[i].start, lx.content[i].end);
    }
}

// Emits a run of items [from, to) of an element's content. Text runs
// that carry the value are rewritten when the value changed.
void PatchEmitter::emitItems(const LexElement &lx, size_t from, size_t to, bool container, bool valueChanged,
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
bool PatchEmitter::emitFirstChildrenAfterComments(int d, int t, const QByteArray &indent, bool ownLine,
                                                  const Declared &declared)
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
void PatchEmitter::emitContent(int d, int t, const Declared &declared)
{
    const LexElement &lx = m_lex.elements[static_cast<size_t>(d)];
    const TargetElement &te = m_target.elements[static_cast<size_t>(t)];
    if (lx.children.empty()) {
        if (te.children.empty())
            emitLeafValue(d, t);
        else
            emitFirstChildren(d, t, declared);
        return;
    }
    if (te.children.empty()) {
        emitWithoutChildren(d, t);
        return;
    }
    emitAmongChildren(d, t, declared);
}

// An element without children that stays so: its value, rewritten in its
// text when it changed.
void PatchEmitter::emitLeafValue(int d, int t)
{
    const LexElement &lx = m_lex.elements[static_cast<size_t>(d)];
    const DomElement &de = m_dom.elements[static_cast<size_t>(d)];
    const TargetElement &te = m_target.elements[static_cast<size_t>(t)];
    if (de.value == te.value) {
        copy(lx.contentStart, lx.contentEnd);
        return;
    }
    bool valueWritten = false;
    emitItems(lx, 0, lx.content.size(), false, true, te.value, &valueWritten);
    if (!valueWritten)
        add(escapeXml(te.value));
}

// An element without children that gains its first ones.
void PatchEmitter::emitFirstChildren(int d, int t, const Declared &declared)
{
    const LexElement &lx = m_lex.elements[static_cast<size_t>(d)];
    const TargetElement &te = m_target.elements[static_cast<size_t>(t)];
    bool ownLine = false;
    const QByteArray indent = indentOf(lx.start, &ownLine);
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
}

// Content around the element children. Child k owns its block: the text
// and the comments directly above it (no blank line between), itself, and
// a comment at the end of its last line; a removed child takes its block
// along. Gap k is what is emitted with a kept child k before it: what
// removed children before it left (their other comments, processing
// instructions, section headings), then its own block up to itself. The
// trail is what follows the last child's block.
struct PatchEmitter::ChildGaps
{
    using Range = std::pair<size_t, size_t>;
    std::vector<size_t> itemOfChild; // the content item of each element child
    std::vector<size_t> gapStart;    // the first content item of each child's gap
    std::vector<size_t> blockStart;  // the first content item that goes with each child
    std::vector<size_t> tailEnd;     // one past the last content item that goes with each child
    std::vector<std::vector<Range>> left; // per child (and the trail, last): items removed children left
    size_t trailStart = 0;
};

// Loses its last child: everything between the tags is now its value, so
// the layout text goes. Comments and processing instructions that belong
// to no child stay (a child's own comments went with it).
void PatchEmitter::emitWithoutChildren(int d, int t)
{
    const LexElement &lx = m_lex.elements[static_cast<size_t>(d)];
    const TargetElement &te = m_target.elements[static_cast<size_t>(t)];
    dropTextItems(lx, 0, lx.content.size());
    add(escapeXml(te.value));
    const ChildGaps gaps = gapsAroundChildren(lx, {});
    std::vector<bool> owned(lx.content.size(), false);
    for (size_t k = 0; k < gaps.itemOfChild.size(); ++k)
        std::fill(owned.begin() + static_cast<qsizetype>(gaps.blockStart[k]),
                  owned.begin() + static_cast<qsizetype>(gaps.tailEnd[k]), true);
    for (size_t i = 0; i < lx.content.size(); ++i) {
        const LexItem &item = lx.content[i];
        if (!owned[i] && (item.kind == LexItem::Comment || item.kind == LexItem::PI))
            copy(item.start, item.end);
    }
}

// Where the value's text stands among the children once they are placed.
struct PatchEmitter::TextPlaces
{
    std::vector<bool> slotHasText; // per target child: the gap it takes along carries text
    std::vector<bool> textFollows; // from slot j on, the trail included
    int placesAfter = 0;           // how many gaps and the trail carry text
    bool readsDifferently = false; // the text joined no longer reads as before
};

// An element that has children and keeps some: the kept children in their
// new order with their gaps, the new ones placed among them, and the value.
void PatchEmitter::emitAmongChildren(int d, int t, const Declared &declared)
{
    const LexElement &lx = m_lex.elements[static_cast<size_t>(d)];
    const DomElement &de = m_dom.elements[static_cast<size_t>(d)];
    const TargetElement &te = m_target.elements[static_cast<size_t>(t)];
    bool valueChanged = de.value != te.value;
    bool valueWritten = false;
    const std::vector<int> match = m_alignment.matchChildren(d, t);
    bool siblingOwnLine = false;
    const QByteArray siblingIndent =
        indentOf(m_lex.elements[static_cast<size_t>(lx.children[0])].start, &siblingOwnLine);
    const ChildGaps gaps = gapsAroundChildren(lx, match);
    const TextPlaces text = textAmongChildren(lx, te, match, gaps);

    // Text that stands in several places among the children reads as one
    // value; a new value cannot be told apart into those places.
    if (valueChanged && text.placesAfter > 1) {
        throw storeError(m_fileName, QStringLiteral("the element %1 has text between its child elements, so its "
                                                    "changed value cannot be placed among them; change it in "
                                                    "the XML View instead.")
                                         .arg(quoteForMessage(indexedPath(d), 200)));
    }
    if (text.readsDifferently)
        valueChanged = true;

    if (valueChanged && !te.value.isEmpty() && text.placesAfter == 0) {
        // Written into the first kept text that carries a value, else here.
        add(escapeXml(te.value));
        valueWritten = true;
    }
    bool textPassed = false;
    for (size_t j = 0; j < te.children.size(); ++j) {
        const int k = match[j];
        if (k >= 0) {
            const size_t kk = static_cast<size_t>(k);
            for (const auto &[from, to] : gaps.left[kk])
                emitItems(lx, from, to, true, valueChanged, te.value, &valueWritten);
            emitItems(lx, gaps.gapStart[kk], gaps.itemOfChild[kk], true, valueChanged, te.value, &valueWritten);
            emitElement(lx.children[kk], te.children[j], declared);
            emitItems(lx, gaps.itemOfChild[kk] + 1, gaps.tailEnd[kk], true, valueChanged, te.value, &valueWritten);
            textPassed = textPassed || text.slotHasText[j];
        } else {
            const bool insideValue = !valueChanged && textPassed && text.textFollows[j + 1];
            if (siblingOwnLine && !insideValue)
                add(m_nl + siblingIndent);
            emitNew(te.children[j], siblingIndent, d, declared);
        }
    }
    for (const auto &[from, to] : gaps.left.back())
        emitItems(lx, from, to, true, valueChanged, te.value, &valueWritten);
    emitItems(lx, gaps.trailStart, lx.content.size(), true, valueChanged, te.value, &valueWritten);
}

// Where the value's text stands: in how many of the gaps and the trail.
int PatchEmitter::placesWithText(const LexElement &lx) const
{
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
    int places = 0;
    for (size_t i = 0, gap = 0, last = 0; i < lx.content.size(); ++i) {
        if (lx.content[i].kind == LexItem::Element) {
            ++gap;
        } else if (carriesValue(lx.content[i]) && (places == 0 || last != gap)) {
            ++places;
            last = gap;
        }
    }
    return places;
}

namespace {

// Whether item is text of blanks only.
bool isBlankText(const QByteArray &s, const LexItem &item)
{
    if (item.kind != LexItem::Text)
        return false;
    for (qsizetype p = item.start; p < item.end; ++p) {
        if (!isSpace(s[p]))
            return false;
    }
    return true;
}

// The line breaks in item: CR LF, CR and LF each count once.
int lineBreaks(const QByteArray &s, const LexItem &item)
{
    int n = 0;
    for (qsizetype p = item.start; p < item.end; ++p) {
        if (s[p] == '\n' || (s[p] == '\r' && (p + 1 == item.end || s[p + 1] != '\n')))
            ++n;
    }
    return n;
}

// Whether the line ends where item starts: it is text whose first
// characters other than spaces and tabs are a line break.
bool lineEndsAt(const QByteArray &s, const LexItem &item)
{
    if (item.kind != LexItem::Text)
        return false;
    qsizetype p = item.start;
    while (p < item.end && (s[p] == ' ' || s[p] == '\t'))
        ++p;
    return p < item.end && (s[p] == '\n' || s[p] == '\r');
}

// One past the comments at the end of the line of the child at content item
// `item`: blanks and comments after it, up to a line break (or the end tag).
size_t endOfLineComments(const QByteArray &s, const LexElement &lx, size_t item)
{
    const std::vector<LexItem> &c = lx.content;
    size_t i = item + 1, end = item + 1;
    for (;;) {
        size_t j = i;
        if (j < c.size() && isBlankText(s, c[j]) && lineBreaks(s, c[j]) == 0)
            ++j;
        if (j >= c.size() || c[j].kind != LexItem::Comment)
            break;
        i = j + 1;
        if (i == c.size() || lineEndsAt(s, c[i]))
            end = i;
    }
    return end;
}

// The first content item that goes with the child at content item `item`:
// the comments directly above it, each on a line of its own with no blank
// line below it (one on the parent's start-tag line is the parent's), and
// the text before them (the line break and indentation
// that put them on their lines). Nothing before `from` (what an earlier
// child owns) is taken.
size_t startOfOwnLines(const QByteArray &s, const LexElement &lx, size_t item, size_t from)
{
    const std::vector<LexItem> &c = lx.content;
    size_t pos = item;
    for (;;) {
        size_t p = pos;
        int breaks = 0;
        if (p > from && isBlankText(s, c[p - 1])) {
            breaks = lineBreaks(s, c[p - 1]);
            --p;
        }
        if (p <= from || c[p - 1].kind != LexItem::Comment || breaks > 1)
            break;
        const size_t comment = p - 1;
        // A comment right after the parent's start tag, on its line, is the
        // parent's.
        const bool ownLine = comment > from && isBlankText(s, c[comment - 1]) && lineBreaks(s, c[comment - 1]) > 0;
        if (!ownLine)
            break;
        pos = comment;
    }
    return pos > from && c[pos - 1].kind == LexItem::Text ? pos - 1 : pos;
}

} // namespace

// The gaps of lx's children, given which of them the target keeps (match).
// A kept child takes its gap along; a removed child takes its block and
// leaves the rest of its gap to the kept child after it (or the trail).
// Where the text stands in several places among the children, the children
// stand inside that text: a removed one takes only itself and leaves all
// of its gap.
PatchEmitter::ChildGaps PatchEmitter::gapsAroundChildren(const LexElement &lx, const std::vector<int> &match) const
{
    ChildGaps g;
    for (size_t i = 0; i < lx.content.size(); ++i) {
        if (lx.content[i].kind == LexItem::Element)
            g.itemOfChild.push_back(i);
    }
    const size_t n = g.itemOfChild.size();
    std::vector<bool> childKept(n, false);
    for (int k : match) {
        if (k >= 0)
            childKept[static_cast<size_t>(k)] = true;
    }
    const bool amidText = placesWithText(lx) > 1;
    g.gapStart.resize(n);
    g.blockStart.resize(n);
    g.tailEnd.resize(n);
    g.left.resize(n + 1);
    size_t keptUpTo = 0;
    std::vector<ChildGaps::Range> left;
    for (size_t k = 0; k < n; ++k) {
        const size_t item = g.itemOfChild[k];
        if (amidText) {
            g.gapStart[k] = keptUpTo;
            g.blockStart[k] = item;
            g.tailEnd[k] = item + 1;
            if (childKept[k])
                keptUpTo = item + 1;
            continue;
        }
        g.gapStart[k] = k == 0 ? 0 : g.tailEnd[k - 1];
        g.blockStart[k] = startOfOwnLines(m_s, lx, item, g.gapStart[k]);
        g.tailEnd[k] = endOfLineComments(m_s, lx, item);
        // A reference to an entity that holds markup belongs to no child: a
        // child's block stops short of it on either side.
        for (size_t i = item; i-- > g.blockStart[k];) {
            if (refersToMarkup(lx.content[i])) {
                g.blockStart[k] = i + 1;
                break;
            }
        }
        for (size_t i = item + 1; i < g.tailEnd[k]; ++i) {
            if (refersToMarkup(lx.content[i])) {
                g.tailEnd[k] = i;
                break;
            }
        }
        if (childKept[k]) {
            g.left[k] = std::move(left);
            left.clear();
            continue;
        }
        if (g.gapStart[k] < g.blockStart[k])
            left.emplace_back(g.gapStart[k], g.blockStart[k]);
        dropTextItems(lx, g.blockStart[k], item);
        dropTextItems(lx, item + 1, g.tailEnd[k]);
    }
    g.trailStart = amidText ? keptUpTo : n == 0 ? 0 : g.tailEnd.back();
    g.left[n] = std::move(left);
    return g;
}

namespace {

// Appends the text of the items [from, to) of lx's content.
void appendText(QByteArray &out, const QByteArray &s, const LexElement &lx, size_t from, size_t to)
{
    for (size_t i = from; i < to; ++i) {
        const LexItem &item = lx.content[i];
        if (item.kind == LexItem::Text || item.kind == LexItem::CData)
            out.append(s.constData() + item.start, item.end - item.start);
    }
}

QByteArrayView trimmed(QByteArrayView text)
{
    while (!text.isEmpty() && isSpace(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && isSpace(text.back()))
        text.chop(1);
    return text;
}

} // namespace

// The value is the text between the children joined as it stands, blanks
// at either end left out. Children removed or moved take their gaps along,
// which may change it (a blank between two words is part of it); then the
// value is written anew into what stays. Where it still reads the same,
// every text keeps its place, and a new child that goes between two parts
// of it gets no line of its own, which would add blanks to the value.
PatchEmitter::TextPlaces PatchEmitter::textAmongChildren(const LexElement &lx, const TargetElement &te,
                                                         const std::vector<int> &match, const ChildGaps &gaps) const
{
    TextPlaces p;
    QByteArray textBefore, textAfter;
    appendText(textBefore, m_s, lx, 0, lx.content.size());
    p.slotHasText.assign(te.children.size(), false);
    p.textFollows.assign(te.children.size() + 1, false);
    for (size_t j = 0; j < te.children.size(); ++j) {
        const int k = match[j];
        if (k < 0)
            continue;
        const size_t kk = static_cast<size_t>(k);
        const qsizetype at = textAfter.size();
        for (const auto &[from, to] : gaps.left[kk])
            appendText(textAfter, m_s, lx, from, to);
        appendText(textAfter, m_s, lx, gaps.gapStart[kk], gaps.itemOfChild[kk]);
        appendText(textAfter, m_s, lx, gaps.itemOfChild[kk] + 1, gaps.tailEnd[kk]);
        p.slotHasText[j] = !trimmed(QByteArrayView(textAfter).sliced(at)).isEmpty();
        p.placesAfter += p.slotHasText[j] ? 1 : 0;
    }
    const qsizetype trailAt = textAfter.size();
    for (const auto &[from, to] : gaps.left.back())
        appendText(textAfter, m_s, lx, from, to);
    appendText(textAfter, m_s, lx, gaps.trailStart, lx.content.size());
    p.textFollows.back() = !trimmed(QByteArrayView(textAfter).sliced(trailAt)).isEmpty();
    p.placesAfter += p.textFollows.back() ? 1 : 0;
    for (size_t j = te.children.size(); j-- > 0;)
        p.textFollows[j] = p.textFollows[j + 1] || p.slotHasText[j];
    p.readsDifferently = trimmed(textBefore) != trimmed(textAfter);
    return p;
}

} // namespace tarnwell::xml::store
