// The wanted tree a pair list describes, and whether a parsed document holds it.
#include "StoreTarget.h"

#include "Error.h"
#include "PairEntry.h"
#include "PathSyntax.h"
#include "StoreCommon.h"

#include <QLocale>

#include <algorithm>
#include <optional>

namespace tarnwell::xml {

namespace {

using store::storeError;

// Builds a Target entry by entry: each entry's path finds or adds its
// elements, then sets the value of its last element or attribute.
class TargetBuilder
{
public:
    TargetBuilder(const QString &requiredRoot, const QString &fileName)
        : m_requiredRoot(requiredRoot), m_fileName(fileName)
    {
    }

    void addEntry(qsizetype n, const QString &pair, const PairEntryView &entry);
    Target finish();

private:
    bool valid(QStringView name, QString *held);
    Error fail(const QString &why) const;
    Error given(int first, QStringView path) const;
    void enterRoot(QStringView rootName);
    void setAttribute(int current, QStringView segment, const PairEntryView &entry);
    int childOf(int current, QStringView segment);

    const QString &m_requiredRoot;
    const QString &m_fileName;
    Target m_target;
    bool m_anyEntry = false;
    // The entry being read, for messages.
    qsizetype m_entry = 0;
    const QString *m_pair = nullptr;
    // Names already found valid, each held once: the elements of one name
    // share its string. They are looked up through a view on the entry
    // (fromRawData copies nothing), so an entry costs no copies of its names.
    NameSet m_validNames;
    QString m_name;
    int m_lastParent = -1;
    QString m_lastName;
    std::vector<int> *m_lastSameName = nullptr;
};

bool TargetBuilder::valid(QStringView name, QString *held)
{
    // Runs of one name (siblings, or the same parent again) need no
    // look-up: *held still has the last one, which was valid.
    if (!held->isNull() && *held == name)
        return true;
    const auto known = m_validNames.find(name);
    if (known != m_validNames.end()) {
        *held = *known;
        return true;
    }
    *held = name.toString();
    if (!isValidQName(*held))
        return false;
    m_validNames.insert(*held);
    return true;
}

Error TargetBuilder::fail(const QString &why) const
{
    return storeError(m_fileName,
                      QStringLiteral("entry %1 (%2) %3").arg(m_entry + 1).arg(quoteForMessage(*m_pair), why));
}

void TargetBuilder::addEntry(qsizetype n, const QString &pair, const PairEntryView &entry)
{
    m_anyEntry = true;
    m_entry = n;
    m_pair = &pair;
    // The path's segments, split at every "/".
    const QStringView path = entry.path;
    qsizetype end = path.indexOf(u'/');
    enterRoot(end < 0 ? path : path.left(end));
    int current = 0;
    bool attribute = false;
    while (end >= 0) {
        const qsizetype start = end + 1;
        end = path.indexOf(u'/', start);
        const QStringView segment = end < 0 ? path.mid(start) : path.mid(start, end - start);
        if (segment.startsWith(u'@')) {
            if (end >= 0)
                throw fail(QStringLiteral("gives the attribute %1 a child.").arg(quoteForMessage(segment.toString())));
            setAttribute(current, segment, entry);
            attribute = true;
            continue;
        }
        current = childOf(current, segment);
    }
    if (!attribute) {
        TargetElement &e = m_target.elements[static_cast<size_t>(current)];
        if (e.entry >= 0)
            throw given(e.entry, path);
        e.entry = static_cast<int>(n);
        e.value = entry.value.toString();
        e.ns = entry.ns.toString();
    }
}

// The path of the entry in hand was given by entry `first` already.
Error TargetBuilder::given(int first, QStringView path) const
{
    return fail(QStringLiteral("gives the path %1 again (entry %2 gave it first); each node is given once.")
                    .arg(quoteForMessage(path.toString()))
                    .arg(first + 1));
}

// The first entry makes the root; every other one must name it.
void TargetBuilder::enterRoot(QStringView rootName)
{
    if (m_target.elements.empty()) {
        if (!valid(rootName, &m_name))
            throw fail(QStringLiteral("names the root %1, which is not a valid XML name.").arg(quoteForMessage(m_name)));
        if (!m_requiredRoot.isEmpty() && m_name != m_requiredRoot) {
            throw fail(QStringLiteral("names the root %1, but the document's root is %2.")
                           .arg(quoteForMessage(m_name), quoteForMessage(m_requiredRoot)));
        }
        m_target.elements.emplace_back();
        m_target.elements[0].name = m_name;
    } else if (rootName != m_target.elements[0].name) {
        throw fail(QStringLiteral("names the root %1, but the list's root is %2.")
                       .arg(quoteForMessage(rootName.toString()), quoteForMessage(m_target.elements[0].name)));
    }
}

void TargetBuilder::setAttribute(int current, QStringView segment, const PairEntryView &entry)
{
    const bool xsi = segment == kNoNamespaceSchemaLocation && entry.ns == kXsiNamespace;
    if (!xsi && !valid(segment.mid(1), &m_name)) {
        throw fail(QStringLiteral("names the attribute %1, which is not a valid XML name.")
                       .arg(quoteForMessage(segment.toString())));
    }
    // An attribute without a prefix is in no namespace (the schema
    // location aside, which the list writes without its prefix).
    if (!xsi && !entry.ns.isEmpty() && !segment.contains(u':')) {
        throw fail(QStringLiteral("gives the attribute %1 the namespace %2, but an attribute without a prefix is in "
                                  "no namespace; write its name with a prefix (@prefix:name).")
                       .arg(quoteForMessage(segment.toString()), quoteForMessage(entry.ns.toString())));
    }
    auto &attrs = m_target.elements[static_cast<size_t>(current)].attributes;
    if (attrs.size() >= static_cast<size_t>(kMaxAttributes))
        throw fail(QStringLiteral("gives one element more than %1 attributes, more than the editor reads.")
                       .arg(QLocale(QLocale::English).toString(kMaxAttributes)));
    const auto it =
        std::find_if(attrs.begin(), attrs.end(), [&](const TargetAttribute &a) { return a.segment == segment; });
    if (it != attrs.end())
        throw given(it->entry, entry.path);
    attrs.push_back({segment.toString(), entry.value.toString(), xsi, entry.ns.toString(), static_cast<int>(m_entry)});
}

// The child of current that segment ("Name" or "Name[k]") names, added
// when current does not have it yet.
int TargetBuilder::childOf(int current, QStringView segment)
{
    const qsizetype bracket = segment.indexOf(u'[');
    int index = 0;
    try {
        index = SegmentIndex(segment);
    } catch (const Error &e) {
        throw fail(e.description());
    }
    if (!valid(bracket < 0 ? segment : segment.left(bracket), &m_name))
        throw fail(QStringLiteral("names the element %1, which is not a valid XML name.").arg(quoteForMessage(m_name)));
    // "Name[k]" is the parent's k-th child of that name, when it has
    // one; otherwise a new child of that name. The list found last
    // serves a run of entries under one parent (only adding a name to
    // that parent's table could move it, and that happens only here).
    if (current != m_lastParent || m_name != m_lastName) {
        m_lastSameName = &m_target.elements[static_cast<size_t>(current)].childrenByName[m_name];
        m_lastParent = current;
        m_lastName = m_name;
    }
    std::vector<int> &sameName = *m_lastSameName;
    if (static_cast<size_t>(index) < sameName.size())
        return sameName[static_cast<size_t>(index)];
    // "Name[k]" is the child of that name after k others, which the list
    // names first: a gap would renumber it.
    if (static_cast<size_t>(index) > sameName.size()) {
        const QString earlier = sameName.empty() ? QStringLiteral("no earlier sibling")
                                : sameName.size() == 1 ? QStringLiteral("only 1 earlier sibling")
                                                       : QStringLiteral("only %1 earlier siblings").arg(sameName.size());
        throw fail(QStringLiteral("names %1, but the list names %2 of that name under its parent before it; an "
                                  "index counts the earlier siblings of one name, which the list names first.")
                       .arg(quoteForMessage(segment.toString()), earlier));
    }
    const TargetElement &parent = m_target.elements[static_cast<size_t>(current)];
    if (parent.depth + 1 > kMaxDepth)
        throw fail(QStringLiteral("nests elements deeper than %1 levels.").arg(kMaxDepth));
    const int child = static_cast<int>(m_target.elements.size());
    sameName.push_back(child);
    TargetElement e;
    e.name = m_name;
    e.parent = current;
    e.depth = parent.depth + 1;
    m_target.elements[static_cast<size_t>(current)].children.push_back(child);
    m_target.elements.push_back(std::move(e));
    return child;
}

Target TargetBuilder::finish()
{
    if (!m_anyEntry)
        throw storeError(m_fileName, QStringLiteral("there is nothing to store (the list holds no \"DAT\" entry)."));
    // An element that holds elements reads back without the blanks around
    // its text (they are its layout), so that is the value it is stored with:
    // a blank leaf that gains a child stores as a plain container.
    for (TargetElement &e : m_target.elements) {
        if (!e.children.empty())
            e.value = trimmedXml(e.value);
    }
    return std::move(m_target);
}

} // namespace

Target buildTarget(const QStringList &pairs, const QString &requiredRoot, const QString &fileName)
{
    TargetBuilder builder(requiredRoot, fileName);
    for (qsizetype n = 0; n < pairs.size(); ++n) {
        const std::optional<PairEntryView> entry = SplitPairEntry(pairs[n]);
        if (entry) {
            builder.addEntry(n, pairs[n], *entry);
        } else if (pairs[n] == kRecordMarker || pairs[n].startsWith(QStringLiteral("DAT,"))) {
            // Marked as an entry, but cut short: taking it for no entry would
            // delete the node it names.
            throw store::storeError(fileName, QStringLiteral("entry %1 (%2) has no value field: an entry is \"DAT\", the "
                                                             "namespace, the path and the value, joined by commas (an "
                                                             "empty value follows a third comma).")
                                                  .arg(n + 1)
                                                  .arg(quoteForMessage(pairs[n])));
        }
    }
    return builder.finish();
}

namespace {

// The namespace of the document's element (qname its name or, for an
// attribute, "@" and its name) at element; empty for none.
QString namespaceOf(const DomDocument &doc, int element, QStringView qname)
{
    const bool attribute = qname.startsWith(u'@');
    const QStringView name = attribute ? qname.mid(1) : qname;
    const qsizetype colon = name.indexOf(u':');
    if (attribute && colon < 0)
        return QString();
    const QString *uri = namespaceInScope(doc, element, colon < 0 ? QStringView() : name.left(colon));
    return uri ? *uri : QString();
}

// Where an attribute read back otherwise than sent because the document's
// DTD declares it with a tokenized type (NMTOKEN, ID and the like drop the
// blanks at either end and join runs of them, XML 1.0 3.3.3), *why says so.
void explainAttribute(const DomElement &d, const TargetElement &t, const QString &path, QString *why)
{
    for (const TargetAttribute &a : t.attributes) {
        const auto it = std::find_if(d.attributes.begin(), d.attributes.end(),
                                     [&](const DomAttribute &b) { return b.segment == a.segment; });
        if (it == d.attributes.end() || it->value == a.value)
            continue;
        if (it->value == a.value.simplified() || it->value == QString(a.value).replace(u'\t', u' ').simplified()) {
            *why = QStringLiteral("the attribute %1 is declared in the document's DTD with a type (such as NMTOKEN or ID) "
                                  "whose values lose the blanks at either end and between words, so %2 would read as %3; "
                                  "give the value without them.")
                       .arg(quoteForMessage(path + u'/' + a.segment), quoteForMessage(a.value), quoteForMessage(it->value));
        }
        return;
    }
}

QString namespaceForMessage(const QString &uri)
{
    return uri.isEmpty() ? QStringLiteral("no namespace") : QStringLiteral("the namespace %1").arg(quoteForMessage(uri));
}

} // namespace

namespace {

// Whether d and t have the same name, value, number of children and
// attributes (in any order); da and ta are scratch space.
bool sameElement(const DomElement &d, const TargetElement &t, std::vector<std::pair<QString, QString>> &da,
                 std::vector<std::pair<QString, QString>> &ta)
{
    if (d.name != t.name || d.value != t.value || d.shown().size() != t.children.size() ||
        d.attributes.size() != t.attributes.size())
        return false;
    if (d.attributes.empty())
        return true;
    da.clear();
    ta.clear();
    for (const DomAttribute &a : d.attributes)
        da.emplace_back(a.segment, a.value);
    for (const TargetAttribute &a : t.attributes)
        ta.emplace_back(a.segment, a.value);
    std::sort(da.begin(), da.end());
    std::sort(ta.begin(), ta.end());
    return da == ta;
}

// Whether the document's element d and target element t hold the same
// names, values, attributes and children, all the way down.
bool sameSubtree(const DomDocument &doc, int d, const Target &target, int t)
{
    std::vector<std::pair<int, int>> stack{{d, t}};
    std::vector<std::pair<QString, QString>> da, ta;
    while (!stack.empty()) {
        const auto [di, ti] = stack.back();
        stack.pop_back();
        const DomElement &de = doc.elements[static_cast<size_t>(di)];
        const TargetElement &te = target.elements[static_cast<size_t>(ti)];
        if (!sameElement(de, te, da, ta))
            return false;
        for (size_t i = 0; i < te.children.size(); ++i)
            stack.emplace_back(de.shown()[i], te.children[i]);
    }
    return true;
}

// Each element's place among the same-named shown children of its parent,
// and how many of them there are: found once, in one pass.
struct SiblingPlaces
{
    std::vector<int> index;
    std::vector<int> count;

    explicit SiblingPlaces(const DomDocument &doc) : index(doc.elements.size(), 0), count(doc.elements.size(), 1)
    {
        NameMap<int> seen;
        for (const DomElement &parent : doc.elements) {
            const std::vector<int> &children = parent.shown();
            if (children.size() < 2)
                continue;
            seen.clear();
            for (int c : children)
                index[static_cast<size_t>(c)] = seen[doc.elements[static_cast<size_t>(c)].name]++;
            for (int c : children)
                count[static_cast<size_t>(c)] = seen[doc.elements[static_cast<size_t>(c)].name];
        }
    }
};

// The target element that stands for the document's element d: at d's
// place among its same-named siblings, counted from the first (fromEnd
// false) or from the last, level by level from the root; -1 when the
// target has none there. An edit before d shifts the first count, one
// after it the second.
int targetAt(const DomDocument &doc, const SiblingPlaces &places, int d, const Target &target, bool fromEnd)
{
    std::vector<int> chain; // d and its ancestors below the root
    for (int e = d; doc.elements[static_cast<size_t>(e)].parent >= 0; e = doc.elements[static_cast<size_t>(e)].parent)
        chain.push_back(e);
    if (target.elements.empty() || target.elements[0].name != doc.elements[0].name)
        return -1;
    int t = 0;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        const auto e = static_cast<size_t>(*it);
        const auto &byName = target.elements[static_cast<size_t>(t)].childrenByName;
        const auto found = byName.find(doc.elements[e].name);
        if (found == byName.end())
            return -1;
        const int have = static_cast<int>(found->second.size());
        const int at = fromEnd ? have - (places.count[e] - places.index[e]) : places.index[e];
        if (at < 0 || at >= have)
            return -1;
        t = found->second[static_cast<size_t>(at)];
    }
    return t;
}

// Finds in te's children each element an entity gives the document's
// element d, in order: at its own place counted from the first child or
// from the last, else the next equal one. Their positions go to taken;
// false when one is not there unchanged (*missing: its reference).
bool findEntityChildren(const DomDocument &doc, int d, const Target &target, const TargetElement &te,
                        std::vector<size_t> &taken, QByteArray *missing)
{
    const std::vector<int> &shown = doc.elements[static_cast<size_t>(d)].shownChildren;
    const size_t n = shown.size(), m = te.children.size();
    taken.clear();
    size_t next = 0;
    for (size_t i = 0; i < n; ++i) {
        const DomElement &child = doc.elements[static_cast<size_t>(shown[i])];
        if (child.entity.isEmpty())
            continue;
        auto fits = [&](size_t at) { return at >= next && at < m && sameSubtree(doc, shown[i], target, te.children[at]); };
        size_t at = m;
        if (fits(i))
            at = i;
        else if (i + m >= n && fits(i + m - n))
            at = i + m - n;
        else {
            for (size_t j = next; j < m && at == m; ++j) {
                if (fits(j))
                    at = j;
            }
        }
        if (at == m) {
            *missing = child.entity;
            return false;
        }
        taken.push_back(at);
        next = at + 1;
    }
    return true;
}

Error entityChanged(const QString &fileName, const QByteArray &ref)
{
    return storeError(fileName, QStringLiteral("the edit would change, move or remove the elements of the entity %1, "
                                               "whose text holds markup; they are read-only in the data. Change them "
                                               "in the XML View instead.")
                                    .arg(quoteForMessage(QString::fromUtf8(ref))));
}

} // namespace

Target withoutEntityElements(const DomDocument &doc, const Target &target, const QString &fileName)
{
    // Each element that refers to such an entity, its place in the target,
    // and where its entity's elements are there, all found before any is
    // taken out.
    struct Found
    {
        int t;
        std::vector<size_t> taken;
    };
    std::vector<Found> found;
    std::vector<size_t> taken;
    const SiblingPlaces places(doc);
    for (size_t d = 0; d < doc.fileElements; ++d) {
        if (doc.elements[d].shownChildren.empty())
            continue;
        QByteArray missing;
        int place = -1;
        for (const bool fromEnd : {false, true}) {
            const int t = targetAt(doc, places, static_cast<int>(d), target, fromEnd);
            if (t >= 0 && findEntityChildren(doc, static_cast<int>(d), target, target.elements[static_cast<size_t>(t)], taken,
                                             &missing)) {
                place = t;
                break;
            }
        }
        if (place < 0) {
            if (missing.isEmpty()) {
                for (int c : doc.elements[d].shownChildren) {
                    if (!doc.elements[static_cast<size_t>(c)].entity.isEmpty()) {
                        missing = doc.elements[static_cast<size_t>(c)].entity;
                        break;
                    }
                }
            }
            throw entityChanged(fileName, missing);
        }
        found.push_back({place, taken});
    }
    Target out = target;
    for (const Found &f : found) {
        TargetElement &te = out.elements[static_cast<size_t>(f.t)];
        std::vector<bool> drop(te.children.size(), false);
        for (size_t at : f.taken)
            drop[at] = true;
        std::vector<int> kept;
        for (size_t i = 0; i < te.children.size(); ++i) {
            if (!drop[i])
                kept.push_back(te.children[i]);
        }
        te.children = std::move(kept);
        te.childrenByName.clear();
        for (int c : te.children)
            te.childrenByName[out.elements[static_cast<size_t>(c)].name].push_back(c);
    }
    return out;
}

bool matchesTarget(const DomDocument &doc, const Target &target, QString *where, QString *why)
{
    why->clear();
    if (doc.elements.empty() || target.elements.empty())
        return doc.elements.empty() == target.elements.empty();
    // The path of a target element, only needed to describe a difference.
    auto pathOf = [&](int t) {
        QStringList names;
        for (; t >= 0; t = target.elements[static_cast<size_t>(t)].parent)
            names.prepend(target.elements[static_cast<size_t>(t)].name);
        return names.join(QLatin1Char('/'));
    };
    // A namespace the list gives that the node does not have.
    auto otherNamespace = [&](int ti, const QString &given, const QString &had, int entry, const QString &segment) {
        *where = pathOf(ti) + (segment.isEmpty() ? QString() : u'/' + segment);
        *why = QStringLiteral("entry %1 gives %2 %3, but it is in %4; the namespace of a node the document has "
                              "cannot be changed; change it in the XML View.")
                   .arg(entry + 1)
                   .arg(quoteForMessage(*where), namespaceForMessage(given), namespaceForMessage(had));
        return false;
    };
    std::vector<std::pair<int, int>> stack{{0, 0}};
    std::vector<std::pair<QString, QString>> da, ta;
    while (!stack.empty()) {
        const auto [di, ti] = stack.back();
        stack.pop_back();
        const DomElement &d = doc.elements[static_cast<size_t>(di)];
        const TargetElement &t = target.elements[static_cast<size_t>(ti)];
        if (!sameElement(d, t, da, ta)) {
            *where = pathOf(ti);
            explainAttribute(d, t, *where, why);
            return false;
        }
        if (!t.ns.isEmpty()) {
            const QString had = namespaceOf(doc, di, d.name);
            if (had != t.ns)
                return otherNamespace(ti, t.ns, had, t.entry, QString());
        }
        for (const TargetAttribute &a : t.attributes) {
            if (a.ns.isEmpty() || a.xsi)
                continue;
            const QString had = namespaceOf(doc, di, a.segment);
            if (had != a.ns)
                return otherNamespace(ti, a.ns, had, a.entry, a.segment);
        }
        for (size_t i = 0; i < t.children.size(); ++i)
            stack.emplace_back(d.shown()[i], t.children[i]);
    }
    return true;
}

} // namespace tarnwell::xml
