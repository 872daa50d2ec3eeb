#include "ConfigFromSchema.h"

#include "ConfigFromDocuments.h"
#include "Error.h"
#include "SchemaContent.h"
#include "SchemaLoader.h"

#include <QXmlStreamReader>

#include <map>
#include <memory>
#include <unordered_map>

namespace tarnwell {

namespace {

// The deepest path listed without --depth: the provider refuses documents
// that nest elements deeper.
constexpr int kDocumentDepth = 256;

// Counts the lines of the configuration and refuses the one that passes
// what a list of the configuration holds.
class LineBudget
{
public:
    LineBudget(QString file, QString root, bool withDocuments)
        : m_file(std::move(file)), m_root(std::move(root)), m_withDocuments(withDocuments)
    {
    }

    void add()
    {
        if (++m_lines <= kMaxCount)
            return;
        if (m_withDocuments)
            throw Error(QStringLiteral("The documents' paths and what %1 allows below them come to more than "
                                       "%2 paths, more than a configuration holds; nothing was printed. Give fewer "
                                       "or smaller example documents, or fewer levels below them with --depth 1.")
                            .arg(m_file, QStringLiteral("32,767")),
                        Error::Kind::Overflow);
        throw Error(QStringLiteral("%1 with the root %2 gives more than %3 paths, more than a configuration holds; "
                                   "nothing was printed. Choose a narrower ROOT, list only paths up to N elements "
                                   "deep with --depth N, or give example documents of the family "
                                   "(config --schema FILE.xsd [ROOT] FILE.xml...): then the configuration holds "
                                   "what they hold and what the schema allows a few levels below it.")
                        .arg(m_file, quoteForMessage(m_root), QStringLiteral("32,767")),
                    Error::Kind::Overflow);
    }

    // A path cut where the content model recurses. Cuts are counted too: a
    // schema whose elements may all contain one another has far more of them
    // than paths, and the walk must end all the same.
    void cut()
    {
        if (++m_cuts <= kMaxCuts)
            return;
        throw Error(QStringLiteral("%1 with the root %2 recurses so much that more than %3 paths are cut; nothing was "
                                   "printed. Choose a narrower ROOT, list only paths up to N elements deep with "
                                   "--depth N, or give example documents of the family "
                                   "(config --schema FILE.xsd [ROOT] FILE.xml...).")
                        .arg(m_file, quoteForMessage(m_root), QStringLiteral("262,136")),
                    Error::Kind::Overflow);
    }

    static constexpr int kMaxCuts = 8 * kMaxCount; // 262,136

private:
    QString m_file, m_root;
    bool m_withDocuments;
    int m_lines = 0;
    int m_cuts = 0;
};

// A path of the configuration being built from the schema alone, with what
// lies under it.
struct Shape
{
    bool single = true;
    QStringList attributes; // "@name", in order
    NameSet attributeNames; // the same, to look up
    QStringList children;   // element names, in order
    std::map<QString, std::unique_ptr<Shape>> byName;
    std::vector<int> walked; // declarations already walked here
};

class SchemaWalker
{
public:
    SchemaWalker(SchemaContent &content, LineBudget &budget, int maxDepth)
        : m_content(content), m_budget(budget), m_maxDepth(maxDepth)
    {
    }

    void walk(Shape &shape, xc::XSElementDeclaration *decl, const QString &path, int depth)
    {
        const int id = m_content.idOf(decl);
        if (std::find(shape.walked.begin(), shape.walked.end(), id) != shape.walked.end())
            return;
        shape.walked.push_back(id);
        const ElementContent &content = m_content.of(decl);
        for (const QString &name : content.attributes) {
            if (shape.attributeNames.insert(name).second) {
                m_budget.add();
                shape.attributes.append(name);
            }
        }
        if (content.children.empty())
            return;
        if (depth >= m_maxDepth) {
            deeperLeftOut = true;
            return;
        }
        if (m_onPath.size() <= static_cast<size_t>(id))
            m_onPath.resize(static_cast<size_t>(id) + 1, false);
        m_onPath[static_cast<size_t>(id)] = true;
        for (const AllowedChild &a : content.children) {
            const auto childId = static_cast<size_t>(m_content.idOf(a.decl));
            if (childId < m_onPath.size() && m_onPath[childId]) {
                noteCut(shape, a.name, path);
                continue;
            }
            const QString childPath = path + u'/' + a.name;
            std::unique_ptr<Shape> &child = shape.byName[a.name];
            if (!child) {
                m_budget.add();
                child = std::make_unique<Shape>();
                shape.children.append(a.name);
            }
            child->single = child->single && a.single;
            walk(*child, a.decl, childPath, depth + 1);
        }
        m_onPath[static_cast<size_t>(id)] = false;
    }

    // The cuts named one by one; the rest are only counted.
    static constexpr qsizetype kCutsNamed = 1000;
    QStringList cuts;
    qsizetype moreCuts = 0;
    bool deeperLeftOut = false;

private:
    // A cut is known by the shape it leaves and the name it does not enter:
    // deep paths would make a table of whole paths large.
    void noteCut(const Shape &shape, const QString &name, const QString &path)
    {
        if (!m_cutSeen[&shape].insert(name).second)
            return;
        m_budget.cut();
        if (cuts.size() < kCutsNamed)
            cuts.append(path + u'/' + name);
        else
            ++moreCuts;
    }

    SchemaContent &m_content;
    LineBudget &m_budget;
    int m_maxDepth;
    std::vector<bool> m_onPath;
    std::unordered_map<const Shape *, NameSet> m_cutSeen;
};

void write(const Shape &shape, const QString &path, bool root, QByteArray &out)
{
    out += (root || !shape.single ? "E," : "ES,") + path.toUtf8() + '\n';
    for (const QString &a : shape.attributes)
        out += "E," + (path + u'/' + a).toUtf8() + '\n';
    for (const QString &name : shape.children)
        write(*shape.byName.at(name), path + u'/' + name, false, out);
}

// The documents' paths with what the schema allows below each, `levels`
// elements deep: so that an element Add offers has its own attributes and
// children listed, and can be filled in.
class ExampleWalker
{
public:
    ExampleWalker(SchemaContent &content, LineBudget &budget, QByteArray &out, int levels)
        : m_content(content), m_budget(budget), m_out(out), m_levels(levels)
    {
    }

    void walk(const ConfigFromDocuments::Node &node, xc::XSElementDeclaration *decl, const QString &path, bool single)
    {
        line(path, single);
        static const ElementContent none;
        const ElementContent &content = decl ? m_content.of(decl) : none;
        QStringList attributes = content.attributes;
        NameSet known(attributes.cbegin(), attributes.cend());
        for (const QString &a : node.attributes) {
            if (known.insert(a).second)
                attributes.append(a);
        }
        for (const QString &a : std::as_const(attributes))
            line(path + u'/' + a, false, true);
        // The schema's children in its order, then those only the documents
        // hold, in theirs.
        NameSet listed;
        for (const AllowedChild &a : content.children) {
            if (!listed.insert(a.name).second)
                continue;
            const ConfigFromDocuments::Node *child = node.child(a.name);
            const bool childSingle = content.singleNames.count(a.name) > 0 && !(child && child->repeats);
            if (child)
                walk(*child, a.decl, path + u'/' + a.name, childSingle);
            else
                schemaBelow(a.decl, path + u'/' + a.name, childSingle, m_levels);
        }
        for (const QString &name : node.children) {
            if (listed.count(name))
                continue;
            const ConfigFromDocuments::Node *child = node.child(name);
            walk(*child, m_content.globalNamed(name), path + u'/' + name, !child->repeats);
        }
    }

private:
    void line(const QString &path, bool single, bool attribute = false)
    {
        m_budget.add();
        m_out += (single && !attribute ? "ES," : "E,") + path.toUtf8() + '\n';
    }

    // An element no document holds at path, with its attributes, and what
    // the schema allows below it down to levels elements from the first.
    // The budget bounds what a wide or recursive model could list.
    void schemaBelow(xc::XSElementDeclaration *decl, const QString &path, bool single, int levels)
    {
        line(path, single);
        const ElementContent &content = m_content.of(decl);
        for (const QString &a : content.attributes)
            line(path + u'/' + a, false, true);
        // No deeper than the documents the editor reads.
        if (levels <= 1 || path.count(u'/') + 1 >= kDocumentDepth)
            return;
        NameSet listed;
        for (const AllowedChild &a : content.children) {
            if (listed.insert(a.name).second)
                schemaBelow(a.decl, path + u'/' + a.name, content.singleNames.count(a.name) > 0, levels - 1);
        }
    }

    SchemaContent &m_content;
    LineBudget &m_budget;
    QByteArray &m_out;
    int m_levels;
};

// The prefixes the documents declare: for elements the first declaration of
// each namespace (the default namespace counts, as the empty prefix), for
// attributes the first prefixed one.
void collectDocumentPrefixes(const QString &text, PrefixTable &prefixes)
{
    QXmlStreamReader reader(text);
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        for (const QXmlStreamNamespaceDeclaration &d : reader.namespaceDeclarations()) {
            const QString uri = d.namespaceUri().toString();
            const QString prefix = d.prefix().toString();
            if (uri.isEmpty())
                continue;
            prefixes.element.insert({uri, prefix});
            if (!prefix.isEmpty())
                prefixes.attribute.insert({uri, prefix});
        }
    }
}

void checkPrefixes(const SchemaConfigOptions &options, const LoadedSchema &schema, PrefixTable &prefixes,
                   QStringList &notes)
{
    const QStringList used = SchemaNamespaces(schema.model());
    // What each prefix stands for so far: the documents' own first.
    std::map<QString, QString> meaning;
    for (const auto &[uri, prefix] : prefixes.attribute)
        meaning.insert({prefix, uri});
    for (const auto &[prefix, given] : options.prefixes) {
        const QString option = quoteForMessage(given.isEmpty() ? prefix : prefix + u'=' + given, 200);
        if (!IsNcName(prefix))
            throw Error(QStringLiteral("--prefix %1: %2 is not a name that may stand before a colon (an XML name "
                                       "without a colon).")
                            .arg(option, quoteForMessage(prefix)),
                        Error::Kind::InvalidArgument);
        if (prefix.startsWith(QLatin1String("xml"), Qt::CaseInsensitive))
            throw Error(QStringLiteral("--prefix %1: names beginning with \"xml\" are reserved for XML's own "
                                       "prefixes.")
                            .arg(option),
                        Error::Kind::InvalidArgument);
        const QString uri = given.isEmpty() ? schema.targetNamespace() : given;
        if (!uri.isEmpty()) {
            const auto [it, added] = meaning.insert({prefix, uri});
            if (!added && it->second != uri)
                throw Error(QStringLiteral("--prefix %1: %2 already stands for %3.")
                                .arg(option, quoteForMessage(prefix), quoteForMessage(it->second, 200)),
                            Error::Kind::InvalidArgument);
        }
        if (given.isEmpty()) {
            if (schema.targetNamespace().isEmpty()) {
                notes.append(QStringLiteral("--prefix %1 is not used: %2 has no target namespace, so its names "
                                            "stand without a prefix.")
                                 .arg(quoteForMessage(prefix), schema.quotedFile()));
                continue;
            }
            prefixes.element.insert({schema.targetNamespace(), prefix});
            prefixes.attribute.insert({schema.targetNamespace(), prefix});
            continue;
        }
        if (!used.contains(uri))
            throw Error(QStringLiteral("--prefix %1: %2 uses no namespace %3; its namespaces are: %4.")
                            .arg(quoteForMessage(prefix + u'=' + uri, 200), schema.quotedFile(), quoteForMessage(uri, 200),
                                 QuotedNames(used)),
                        Error::Kind::InvalidArgument);
        prefixes.element.insert({uri, prefix});
        prefixes.attribute.insert({uri, prefix});
    }
}

} // namespace

bool IsNcName(const QString &name)
{
    if (name.isEmpty())
        return false;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name[i];
        const bool start = c.isLetter() || c == u'_' || c.isSurrogate();
        const bool more = c.isDigit() || c == u'.' || c == u'-' || c.isMark() || c == QChar(0xB7);
        if (!(start || (i > 0 && more)))
            return false;
    }
    return true;
}

SchemaConfig ConfigFromSchema(const QString &xsdPath, const QString &root, const QString &prefix)
{
    SchemaConfigOptions options;
    options.root = root;
    if (!prefix.isEmpty())
        options.prefixes.append({prefix, QString()});
    return ConfigFromSchema(xsdPath, options);
}

SchemaConfig ConfigFromSchema(const QString &xsdPath, const SchemaConfigOptions &options,
                              const std::vector<SchemaExample> &examples)
{
    if (options.depth < 0)
        throw Error(QStringLiteral("--depth needs a number of at least 1."), Error::Kind::InvalidArgument);
    const LoadedSchema schema(xsdPath);
    SchemaConfig result;

    ConfigFromDocuments documents;
    PrefixTable prefixes;
    // The documents' own declarations come first; --prefix fills the gaps.
    for (const SchemaExample &example : examples) {
        documents.addDocument(example.pairs);
        collectDocumentPrefixes(example.text, prefixes);
    }
    checkPrefixes(options, schema, prefixes, result.notes);

    SchemaContent content(schema.model(), schema.targetNamespace(), prefixes);
    const ConfigFromDocuments::Node *documentRoot = documents.root();
    xc::XSElementDeclaration *start = nullptr;
    QString rootName;
    if (documentRoot) {
        rootName = documentRoot->name;
        if (!options.root.isEmpty() && options.root != rootName && options.root != rootName.section(u':', -1))
            throw Error(QStringLiteral("The documents' root %1 is not the ROOT %2 that was named.")
                            .arg(quoteForMessage(rootName), quoteForMessage(options.root)),
                        Error::Kind::InvalidArgument);
        start = content.globalNamed(rootName);
        if (!start)
            throw Error(QStringLiteral("%1 declares no global element %2, the documents' root; its global elements "
                                       "are: %3.")
                            .arg(schema.quotedFile(), quoteForMessage(rootName), QuotedNames(content.rootCandidateNames())),
                        Error::Kind::InvalidArgument);
    } else {
        start = content.startElement(options.root, schema.quotedFile());
        rootName = content.pathName(start);
    }

    LineBudget budget(schema.quotedFile(), rootName, documentRoot != nullptr);
    if (documentRoot) {
        // Unless --depth was given, fewer levels below the documents' paths
        // are taken where two would pass the limit (large vocabularies let
        // every element hold dozens of others).
        const int given = options.depth > 0 ? std::min(options.depth, kDocumentDepth) : 0;
        for (int levels = given ? given : kLevelsBelowDocuments;; --levels) {
            result.text.clear();
            LineBudget tried(schema.quotedFile(), rootName, true);
            try {
                ExampleWalker walker(content, tried, result.text, levels);
                walker.walk(*documentRoot, start, rootName, false);
            } catch (const Error &e) {
                if (given || levels == 1 || e.kind() != Error::Kind::Overflow)
                    throw;
                continue;
            }
            if (levels < kLevelsBelowDocuments && !given)
                result.notes.append(QStringLiteral("The schema's paths below the documents' go %1 element%2 deep: "
                                                   "%3 would pass 32,767 paths.")
                                        .arg(levels)
                                        .arg(levels == 1 ? QString() : QStringLiteral("s"))
                                        .arg(levels + 1));
            break;
        }
    } else {
        const int maxDepth = options.depth > 0 ? std::min(options.depth, kDocumentDepth) : kDocumentDepth;
        SchemaWalker walker(content, budget, maxDepth);
        Shape top;
        budget.add(); // the root's own line
        walker.walk(top, start, rootName, 1);
        write(top, rootName, true, result.text);
        result.cuts = walker.cuts;
        result.moreCuts = walker.moreCuts;
        if (walker.deeperLeftOut && options.depth == 0)
            result.notes.append(QStringLiteral("Paths deeper than %1 elements are left out: the editor reads no "
                                               "document that nests deeper.")
                                    .arg(kDocumentDepth));
    }
    result.notes.append(content.notes());
    return result;
}

} // namespace tarnwell
