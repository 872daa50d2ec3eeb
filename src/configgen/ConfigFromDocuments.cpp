#include "ConfigFromDocuments.h"

#include "Error.h"
#include "PairEntry.h"
#include "PathSyntax.h"

#include <QLocale>

namespace tarnwell {

// One element path: its node, and the names and order evidence behind it,
// made when the first name stands under it (most paths never get one).
struct ConfigFromDocuments::Shape
{
    struct Names
    {
        NameOrder attributes;
        NameOrder elements;
        std::vector<Shape *> children; // by number in elements
    };
    Node node;
    std::unique_ptr<Names> names;
    bool stale = false; // node's lists are behind the names
};

const ConfigFromDocuments::Node *ConfigFromDocuments::Node::child(QStringView childName) const
{
    const Shape::Names *names = m_shape ? m_shape->names.get() : nullptr;
    const int number = names ? names->elements.find(childName) : -1;
    return number < 0 ? nullptr : &names->children[static_cast<size_t>(number)]->node;
}

namespace {

// Throws what loading a pair list throws for path: it is empty, or a segment
// after the first (which stands for the root and is not read) has a bad index.
// The index of a segment ("Item[40000]" gives 40,000). A document may hold
// more entries, and more siblings of one name, than a list of the
// configuration holds: the limit is on the configuration's lines, not on the
// examples. Throws as SegmentIndex does, except that only an index past what
// an int holds is an Overflow.
int exampleIndex(QStringView segment)
{
    const qsizetype bracket = segment.indexOf(u'[');
    if (bracket < 0)
        return 0;
    const QStringView digits = segment.sliced(bracket + 1).chopped(1);
    if (!segment.endsWith(u']') || digits.size() > 9) // 9 digits always fit
        return SegmentIndex(segment);
    bool ok = false;
    const int index = digits.toInt(&ok);
    if (!ok || digits.startsWith(u'+') || digits.startsWith(u'-'))
        return SegmentIndex(segment);
    return index;
}

void checkPath(QStringView path)
{
    if (path.isEmpty())
        throw Error(QStringLiteral("The path is empty, so no node can take the value."),
                    Error::Kind::InvalidArgument);
    for (qsizetype slash = path.indexOf(u'/'); slash >= 0;) {
        const qsizetype next = path.indexOf(u'/', slash + 1);
        exampleIndex(path.sliced(slash + 1, (next < 0 ? path.size() : next) - slash - 1));
        slash = next;
    }
}

Error tooManyLines()
{
    QLocale numbers = QLocale::c();
    numbers.setNumberOptions({}); // with the group separator: 32,767
    return Error(QStringLiteral("The configuration would have more than %1 paths, more than a list of "
                                "TarnwellEditor.cfg holds. Make it from fewer or smaller example documents, "
                                "or from the documents' schema alone with a narrower ROOT or --depth N "
                                "(config --schema FILE.xsd ROOT --depth N).")
                     .arg(numbers.toString(kMaxCount)),
                 Error::Kind::Overflow);
}

// The children of one name under one element, in document order.
struct Siblings
{
    int count = 0;
    int first = -1;
    std::vector<int> more; // from the second on
};

// Siblings by a 64-bit key, in an open-addressing table: a document costs a
// few allocations here rather than one per node.
class SiblingTable
{
public:
    explicit SiblingTable(size_t expected)
    {
        size_t capacity = 64;
        while (capacity < 2 * expected)
            capacity *= 2;
        rehash(capacity);
    }

    // The siblings of key, empty when new; valid until the next call.
    Siblings &operator[](std::uint64_t key)
    {
        if (2 * (m_entries.size() + 1) > m_slots.size())
            rehash(2 * m_slots.size());
        const size_t mask = m_slots.size() - 1;
        for (size_t slot = spread(key) & mask;; slot = (slot + 1) & mask) {
            if (m_slots[slot] == kFree) {
                m_slots[slot] = m_entries.size();
                m_entries.push_back({key, {}});
                return m_entries.back().siblings;
            }
            if (m_entries[m_slots[slot]].key == key)
                return m_entries[m_slots[slot]].siblings;
        }
    }

private:
    static constexpr size_t kFree = ~size_t(0);

    // MurmurHash3's finalizer: every bit of the key moves the low bits.
    static size_t spread(std::uint64_t key)
    {
        key ^= key >> 33;
        key *= 0xff51afd7ed558ccdULL;
        key ^= key >> 33;
        key *= 0xc4ceb9fe1a85ec53ULL;
        key ^= key >> 33;
        return static_cast<size_t>(key);
    }

    void rehash(size_t capacity)
    {
        m_slots.assign(capacity, kFree);
        m_entries.reserve(capacity / 2);
        for (size_t i = 0; i < m_entries.size(); ++i) {
            size_t slot = spread(m_entries[i].key) & (capacity - 1);
            while (m_slots[slot] != kFree)
                slot = (slot + 1) & (capacity - 1);
            m_slots[slot] = i;
        }
    }

    struct Entry
    {
        std::uint64_t key;
        Siblings siblings;
    };
    std::vector<size_t> m_slots; // an index into m_entries, or kFree
    std::vector<Entry> m_entries;
};

} // namespace

// Takes the paths of one checked pair list into the shapes, finding each
// segment's node as loading the pair list into a tree would: the n-th child
// of that name, or a new one after the others. The document's elements are
// numbered, and the children of one name under one element are found by
// their numbers in a table, so that each new node costs constant time. The
// paths come in document order, so an entry's path mostly shares all but its
// last segment with the entry before: those segments are taken as they were.
class ConfigFromDocuments::DocumentReader
{
public:
    DocumentReader(ConfigFromDocuments &config, size_t entries) : m_config(config), m_siblings(entries)
    {
        m_elements.reserve(entries + 1);
        m_elements.push_back({config.m_shapes.front().get()});
    }

    void add(QStringView path)
    {
        bool same = true;
        size_t depth = 0;
        for (qsizetype start = 0;; ++depth) {
            qsizetype slash = path.indexOf(u'/', start);
            if (slash < 0)
                slash = path.size();
            const QStringView segment = path.sliced(start, slash - start);
            if (depth == 0) {
                // The first segment stands for the root, whatever it says.
                if (m_levels.empty())
                    m_levels.push_back({segment, 0, true});
            } else {
                same = same && depth < m_levels.size() && m_levels[depth].named && m_levels[depth].segment == segment;
                if (!same) {
                    m_levels.resize(depth);
                    bool named = false;
                    const int element = step(m_levels[depth - 1].element, segment, &named);
                    m_levels.push_back({segment, element, named});
                }
                // Nothing under an attribute goes into the configuration.
                if (m_levels[depth].element < 0)
                    return;
            }
            if (slash == path.size())
                return;
            start = slash + 1;
        }
    }

private:
    struct Element
    {
        Shape *shape;
        int lastAttribute = -1; // the name first seen last under it
        int lastElement = -1;
    };
    // One segment of the path before, and its element (-1: an attribute).
    // A segment whose index was past the children of its name made the next
    // one, which the same segment does not name again.
    struct Level
    {
        QStringView segment;
        int element;
        bool named;
    };

    // The child of element parent that segment names, made when there is
    // none; -1 for an attribute. Sets *named unless the child made has
    // another index than segment gives.
    int step(int parent, QStringView segment, bool *named)
    {
        const qsizetype bracket = segment.indexOf(u'[');
        const QStringView name = bracket < 0 ? segment : segment.first(bracket);
        const int index = exampleIndex(segment);
        const bool attribute = name.startsWith(u'@');
        Shape &shape = *m_elements[static_cast<size_t>(parent)].shape;
        if (!shape.names)
            shape.names = std::make_unique<Shape::Names>();
        Shape::Names &names = *shape.names;
        NameOrder &order = attribute ? names.attributes : names.elements;
        bool added = false;
        const int number = order.intern(name, &added);
        if (added && !attribute)
            names.children.push_back(m_config.newShape(order.name(number)));
        if (added)
            m_config.countLine();

        const std::uint64_t key = static_cast<std::uint64_t>(parent) << 32
                                  | static_cast<std::uint32_t>(number) << 1 | (attribute ? 1U : 0U);
        Siblings &siblings = m_siblings[key];
        *named = index <= siblings.count;
        if (index < siblings.count)
            return attribute ? -1 : index == 0 ? siblings.first : siblings.more[static_cast<size_t>(index - 1)];
        if (siblings.count++ == 0) {
            Element &element = m_elements[static_cast<size_t>(parent)];
            int &last = attribute ? element.lastAttribute : element.lastElement;
            if (last >= 0)
                order.addBefore(last, number);
            last = number;
            if (!shape.stale) {
                shape.stale = true;
                m_config.m_stale.push_back(&shape);
            }
        } else if (!attribute) {
            names.children[static_cast<size_t>(number)]->node.repeats = true;
        }
        if (attribute)
            return -1;
        const int made = static_cast<int>(m_elements.size());
        m_elements.push_back({names.children[static_cast<size_t>(number)]});
        (siblings.count == 1 ? siblings.first : siblings.more.emplace_back()) = made;
        return made;
    }

    ConfigFromDocuments &m_config;
    std::vector<Element> m_elements; // the document's, the root first
    // By element << 32 | name number << 1 | 1 for an attribute name.
    SiblingTable m_siblings;
    std::vector<Level> m_levels;
};

ConfigFromDocuments::ConfigFromDocuments() = default;
ConfigFromDocuments::~ConfigFromDocuments() = default;

ConfigFromDocuments::Shape *ConfigFromDocuments::newShape(QString name)
{
    auto shape = std::make_unique<Shape>();
    shape->node.name = std::move(name);
    shape->node.m_shape = shape.get();
    m_shapes.push_back(std::move(shape));
    return m_shapes.back().get();
}

void ConfigFromDocuments::countLine()
{
    if (++m_lines > kMaxCount)
        throw tooManyLines();
}

void ConfigFromDocuments::addDocument(const QStringList &pairs)
{
    if (m_lines > kMaxCount)
        throw tooManyLines();
    // Everything that can be refused is checked before anything is taken in.
    std::vector<QStringView> paths;
    paths.reserve(static_cast<size_t>(pairs.size()));
    for (qsizetype i = 0; i < pairs.size(); ++i) {
        const std::optional<PairEntryView> entry = SplitPairEntry(pairs[i]);
        if (!entry)
            continue;
        try {
            checkPath(entry->path);
        } catch (const Error &e) {
            throw e.withContext(QStringLiteral("Entry %1 (%2) cannot be loaded: ").arg(i + 1).arg(quoteForMessage(pairs[i])));
        }
        paths.push_back(entry->path);
    }
    if (paths.empty())
        return;
    const qsizetype slash = paths.front().indexOf(u'/');
    const QStringView rootName = slash < 0 ? paths.front() : paths.front().first(slash);
    if (m_shapes.empty()) {
        newShape(rootName.toString());
        countLine();
    } else if (m_shapes.front()->node.name != rootName) {
        throw Error(QStringLiteral("The document's root %1 differs from the root %2 of the documents before it.")
                        .arg(quoteForMessage(rootName.toString()), quoteForMessage(m_shapes.front()->node.name)),
                    Error::Kind::InvalidArgument);
    }
    DocumentReader reader(*this, paths.size());
    for (const QStringView path : paths)
        reader.add(path);
}

const ConfigFromDocuments::Node *ConfigFromDocuments::root() const
{
    if (m_lines > kMaxCount)
        throw tooManyLines();
    for (Shape *shape : m_stale) {
        shape->node.attributes = shape->names->attributes.sorted();
        shape->node.children = shape->names->elements.sorted();
        shape->stale = false;
    }
    m_stale.clear();
    return m_shapes.empty() ? nullptr : &m_shapes.front()->node;
}

QByteArray ConfigFromDocuments::text() const
{
    QByteArray out;
    const Node *top = root();
    // Pre-order with a stack of its own, so that a deep document costs no
    // call stack.
    std::vector<std::pair<const Node *, QString>> pending;
    if (top)
        pending.emplace_back(top, top->name);
    while (!pending.empty()) {
        const auto [node, path] = std::move(pending.back());
        pending.pop_back();
        out += (node == top || node->repeats ? "E," : "ES,") + path.toUtf8() + '\n';
        for (const QString &attribute : node->attributes)
            out += "E," + (path + u'/' + attribute).toUtf8() + '\n';
        for (qsizetype i = node->children.size(); i-- > 0;)
            pending.emplace_back(node->child(node->children[i]), path + u'/' + node->children[i]);
    }
    return out;
}

} // namespace tarnwell
