#include "StoreEdits.h"

#include "NodePath.h"
#include "PairEntry.h"
#include "PairList.h"
#include "TreeNode.h"

#include <QHash>
#include <algorithm>
#include <map>

namespace tarnwell::storeedits {

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

QString withoutOuterBlanks(const QString &s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.mid(b, e - b);
}

// The plain path of an indexed path: every "[n]" dropped.
QString plainOf(const QString &path)
{
    QStringList segments = path.split(QLatin1Char('/'));
    for (QString &s : segments) {
        const qsizetype bracket = s.indexOf(QLatin1Char('['));
        if (bracket >= 0)
            s.truncate(bracket);
    }
    return segments.join(QLatin1Char('/'));
}

void collect(TreeNode *node, std::vector<TreeNode *> &out)
{
    out.push_back(node);
    for (int i = 0; i < node->childCount(); ++i)
        collect(node->child(i), out);
}

QString shown(const QString &value)
{
    QString s = value;
    s.replace(QLatin1Char('\r'), QLatin1String("\\r")).replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return QLatin1Char('"') + s + QLatin1Char('"');
}

} // namespace

const QStringList &typedValues()
{
    static const QStringList values{
        QString(),
        QStringLiteral("plain"),
        QStringLiteral("a,b,,c"),
        QStringLiteral("line\nbreak"),
        QStringLiteral("cr\r\nlf and lone\rcr"),
        QStringLiteral("<&>\"' ]]> &amp;"),
        QStringLiteral("  both ends  "),
        QStringLiteral("\t\n lead"),
        QStringLiteral("trail \n"),
        QStringLiteral(" "),
        QString::fromUtf8("caf\xc3\xa9 \xc3\xbc"),
        QString::fromUtf8("\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e"),
        QString::fromUtf8("\xf0\x9f\x98\x80 \xe2\x82\xac"),
    };
    return values;
}

NameLists configurationFor(const QStringList &pairs)
{
    QStringList e;
    QSet<QString> seen;
    auto add = [&](const QString &path) {
        if (!seen.contains(path)) {
            seen.insert(path);
            e.append(path);
        }
    };
    for (const QString &pair : pairs) {
        const std::optional<PairEntry> entry = ParsePairEntry(pair);
        if (!entry)
            continue;
        const QString plain = plainOf(entry->path);
        add(plain);
        if (!plain.section(QLatin1Char('/'), -1).startsWith(QLatin1Char('@'))) {
            add(plain + QStringLiteral("/Added"));
            add(plain + QStringLiteral("/@added"));
        }
    }
    return NameLists(e, {}, {});
}

QStringList edit(const QStringList &pairs, const NameLists &lists, const Choose &choose, int maxEdits,
                 QStringList *log)
{
    std::unique_ptr<TreeNode> tree = LoadPairList(pairs, lists);
    const int edits = 1 + static_cast<int>(choose(static_cast<unsigned>(maxEdits)));
    for (int n = 0; n < edits; ++n) {
        std::vector<TreeNode *> nodes;
        collect(tree->firstChild(), nodes);
        TreeNode *node = nodes[choose(static_cast<unsigned>(nodes.size()))];
        const QString path = IndexedNodePath(*node);
        switch (choose(3)) {
        case 0: {
            const QString &value = typedValues()[static_cast<qsizetype>(choose(static_cast<unsigned>(typedValues().size())))];
            node->setTag(value);
            log->append(QStringLiteral("set %1 to %2").arg(path, shown(value)));
            break;
        }
        case 1: {
            if (node->text().startsWith(QLatin1Char('@')))
                break;
            const QStringList addable = CollectAddableItems(*node, lists);
            if (addable.isEmpty())
                break;
            const QString &name = addable[static_cast<qsizetype>(choose(static_cast<unsigned>(addable.size())))];
            AddTreeNode(*node, name, lists);
            log->append(QStringLiteral("add %1 under %2").arg(name, path));
            break;
        }
        default:
            if (node->isTopLevel())
                break;
            node->parent()->takeChild(node->row());
            log->append(QStringLiteral("delete %1").arg(path));
        }
    }
    return BuildPairList(*tree);
}

QStringList comparable(const QStringList &pairs)
{
    struct Element
    {
        QString entry;
        std::map<QString, QString> attributes;
    };
    std::vector<Element> elements;
    QHash<QString, size_t> byPath;
    for (const QString &pair : pairs) {
        const std::optional<PairEntry> e = ParsePairEntry(pair);
        if (!e)
            continue;
        const qsizetype slash = e->path.lastIndexOf(QLatin1Char('/'));
        if (slash >= 0 && e->path.at(slash + 1) == QLatin1Char('@')) {
            const auto owner = byPath.constFind(e->path.left(slash));
            if (owner != byPath.cend()) {
                elements[*owner].attributes[e->path] = e->value;
                continue;
            }
        }
        byPath.insert(e->path, elements.size());
        elements.push_back({e->path + QLatin1Char(',') + e->value, {}});
    }
    QStringList out;
    for (const Element &e : elements) {
        out.append(e.entry);
        for (const auto &[path, value] : e.attributes)
            out.append(path + QLatin1Char(',') + value);
    }
    return out;
}

QStringList expectedAfterStore(const QStringList &sent)
{
    // Elements that hold elements: the parents of element paths.
    QSet<QString> containers;
    for (const QString &pair : sent) {
        const std::optional<PairEntry> e = ParsePairEntry(pair);
        const qsizetype slash = e ? e->path.lastIndexOf(QLatin1Char('/')) : -1;
        if (slash >= 0 && e->path.at(slash + 1) != QLatin1Char('@'))
            containers.insert(e->path.left(slash));
    }
    QStringList adjusted;
    for (const QString &pair : sent) {
        std::optional<PairEntry> e = ParsePairEntry(pair);
        if (!e)
            continue;
        if (containers.contains(e->path))
            e->value = withoutOuterBlanks(e->value);
        adjusted.append(FormatPairEntry(e->ns, e->path, e->value));
    }
    return comparable(adjusted);
}

QByteArray randomDocument(const Choose &choose)
{
    const QByteArray nl = choose(2) ? "\r\n" : "\n";
    const QByteArray unit = QList<QByteArray>{"  ", "    ", "\t", ""}[choose(4)];
    const QList<QByteArray> names{"a", "b", "Item", "p:q", "Head", "x.y-z"};
    const QList<QByteArray> texts{"text", "  padded  ", "a &amp; b", "&#233;t&#xE9;", "<![CDATA[<raw>]]>", "caf\xc3\xa9",
                                  "\n", " "};
    QByteArray out;
    if (choose(2))
        out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + nl;
    if (choose(3) == 0)
        out += "<!-- head -->" + nl;
    std::function<void(int, const QByteArray &)> element = [&](int depth, const QByteArray &indent) {
        const QByteArray name = depth == 0 ? QByteArray("Doc") : names[choose(static_cast<unsigned>(names.size()))];
        out += '<' + name;
        if (depth == 0)
            out += " xmlns:p=\"urn:p\"";
        for (unsigned i = 0, n = choose(3); i < n; ++i)
            out += QByteArray(" at") + QByteArray::number(i) + (choose(2) ? "=\"v &lt; 1\"" : "='w'");
        const unsigned kind = depth >= 4 ? choose(4) : choose(7);
        switch (kind) {
        case 0: out += "/>"; return;
        case 1: out += "></" + name + '>'; return;
        case 2: out += '>' + nl + indent + "</" + name + '>'; return; // blank leaf
        case 3: out += '>' + texts[choose(static_cast<unsigned>(texts.size()))] + "</" + name + '>'; return;
        default: break;
        }
        out += '>';
        const bool layout = !unit.isEmpty() && choose(4) != 0;
        for (unsigned i = 0, n = 1 + choose(4); i < n; ++i) {
            if (layout)
                out += nl + indent + unit;
            switch (choose(6)) {
            case 0: out += "<!-- c" + QByteArray::number(i) + " -->"; break;
            case 1: out += texts[choose(static_cast<unsigned>(texts.size()))]; break;
            default: element(depth + 1, indent + unit);
            }
        }
        if (layout)
            out += nl + indent;
        out += "</" + name + '>';
    };
    element(0, QByteArray());
    out += nl;
    return out;
}

} // namespace tarnwell::storeedits
