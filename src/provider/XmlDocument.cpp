#include "XmlDocument.h"

#include "NameHash.h"
#include "XmlText.h"

#include "Error.h"
#include "PairEntry.h"
#include "PathSyntax.h"

#include <QAnyStringView>
#include <QHash>
#include <QLocale>
#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>
#include <QUtf8StringView>
#include <libxml/entities.h>
#include <libxml/hash.h>
#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

namespace tarnwell::xml {

namespace {

QString str(const xmlChar *s)
{
    return s ? fromUtf8Exactly(reinterpret_cast<const char *>(s)) : QString();
}

xmlParserInputPtr refuseExternal(const char *, const char *, xmlParserCtxtPtr)
{
    return nullptr;
}

// Silences libxml2's default printing of errors to stderr; errors are read
// from the parser context instead.
void quietErrors(void *, const char *, ...) {}
void quietStructured(void *, xmlErrorPtr) {}

// The first error of one parse, which names the real fault; later errors
// often only follow from it. A limit of the parser that was reached is kept
// apart, in plain words: it is the cause whatever else was reported.
struct FirstError
{
    bool seen = false;
    bool fatal = false; // the parse stopped, though it may not say so otherwise
    QString message;
    int line = 0;
    int column = 0;
    QString limit;
    int limitLine = 0;
    int limitColumn = 0;
};

// The limit that libxml2's message names, in the program's words; empty for
// other messages. Each limit is known by the fixed start of its message:
// other messages carry the document's own names and text, which may read
// like one.
QString limitReached(const QString &message)
{
    static const struct
    {
        const char *startsWith;
        const char *endsWith;
        const char *means;
    } limits[] = {
        {"Excessive depth in document:", "", nullptr}, // the element nesting, worded below
        {"xmlSAX2Characters: huge text node", "", "a text is longer than 10,000,000 bytes"},
        {"Name too long", "", "a name is longer than 50,000 bytes"},
        {"AttValue length too long", "", "an attribute value is longer than 10,000,000 bytes"},
        {"Comment too big found", "", "a comment is longer than 10,000,000 bytes"},
        {"CData section too big found", "", "a CDATA section is longer than 10,000,000 bytes"},
        {"PI ", "too big found", "a processing instruction is longer than 10,000,000 bytes"},
        {"entity value too long", "", "an entity's text is longer than 10,000,000 bytes"},
        {"Huge input lookup", "", "a single piece of markup is longer than 10,000,000 bytes"},
        {"internal error: Huge input lookup", "", "a single piece of markup is longer than 10,000,000 bytes"},
        {"xmlParseElementChildrenContentDecl : depth", "too deep, use XML_PARSE_HUGE",
         "an element declaration nests its groups deeper than 128 levels"},
    };
    const QString said = message.trimmed();
    for (const auto &l : limits) {
        if (said.startsWith(QLatin1String(l.startsWith)) && said.endsWith(QLatin1String(l.endsWith)))
            return l.means ? QString::fromLatin1(l.means)
                           : QStringLiteral("it nests elements deeper than %1 levels").arg(kMaxDepth);
    }
    return QString();
}

void recordFirst(void *userData, xmlErrorPtr error)
{
    auto *first = static_cast<FirstError *>(userData);
    if (!error || error->level < XML_ERR_ERROR)
        return;
    if (error->level >= XML_ERR_FATAL || error->code == XML_ERR_NO_MEMORY)
        first->fatal = true;
    const QString message = QString::fromUtf8(error->message ? error->message : "the document is not well-formed");
    if (first->limit.isEmpty()) {
        first->limit = limitReached(message);
        first->limitLine = error->line;
        first->limitColumn = error->int2;
    }
    if (first->seen)
        return;
    first->seen = true;
    first->message = message;
    first->line = error->line;
    first->column = error->int2;
}

// n, or the first element after it among its siblings; null if none.
xmlNodePtr firstElement(xmlNodePtr n)
{
    while (n && n->type != XML_ELEMENT_NODE)
        n = n->next;
    return n;
}

bool isTextLike(xmlNodePtr n)
{
    return n->type == XML_TEXT_NODE || n->type == XML_CDATA_SECTION_NODE || n->type == XML_ENTITY_REF_NODE;
}

bool holdsMarkup(xmlDocPtr doc, xmlEntityPtr entity, int depth);

bool isXmlWhiteSpace(char32_t c)
{
    return c == 0x20 || c == 0x9 || c == 0xA || c == 0xD;
}

// The replacement text of an internal entity, as XML 1.0 reads it: character
// references stand for their characters (a carriage return among them stays
// one: line ends are normalized in the input, not in replacement text), the
// predefined entities for theirs, other entities for their own replacement
// text. In an attribute value (attribute true) every white-space character
// of it becomes a space (section 3.3.3). Depth bounds the nesting, which the
// parser has bounded already.
QString expandReferences(xmlDocPtr doc, const QString &text, bool attribute, int depth);

QString replacementText(xmlDocPtr doc, xmlEntityPtr entity, bool attribute, int depth)
{
    if (!entity || !entity->content || depth > 40)
        return QString();
    if (entity->etype == XML_INTERNAL_PREDEFINED_ENTITY)
        return str(entity->content);
    return expandReferences(doc, str(entity->content), attribute, depth);
}

// text with its character and entity references replaced, by the rules
// above (in an attribute value, white space reads as spaces).
QString expandReferences(xmlDocPtr doc, const QString &text, bool attribute, int depth)
{
    QString out;
    auto append = [&](char32_t c) {
        if (attribute && isXmlWhiteSpace(c))
            out += u' ';
        else
            out += QString::fromUcs4(&c, 1);
    };
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype semi = text[i] == u'&' ? text.indexOf(u';', i) : -1;
        if (semi < 0) {
            const char32_t c = text[i].isHighSurrogate() && i + 1 < text.size()
                                   ? QChar::surrogateToUcs4(text[i], text[i + 1])
                                   : char32_t(text[i].unicode());
            append(c);
            i += c > 0xFFFF ? 2 : 1;
            continue;
        }
        const QStringView ref = QStringView(text).mid(i + 1, semi - i - 1);
        i = semi + 1;
        if (ref.startsWith(u'#')) {
            bool ok = false;
            const uint code = ref.startsWith(u"#x") ? ref.mid(2).toUInt(&ok, 16) : ref.mid(1).toUInt(&ok, 10);
            if (ok)
                append(char32_t(code));
            continue;
        }
        const QByteArray name = ref.toUtf8();
        out += replacementText(doc, xmlGetDocEntity(doc, reinterpret_cast<const xmlChar *>(name.constData())), attribute,
                               depth + 1);
    }
    return out;
}

QString textOf(xmlNodePtr n, int depth = 0);

// The text an entity whose text holds markup gives the element that refers
// to it: its own character data, as the parser built it, and that of the
// entities it refers to; the text of its elements is theirs.
QString entityOwnText(xmlEntityPtr entity, int depth)
{
    QString text;
    if (!entity || depth > 40)
        return text;
    for (xmlNodePtr k = entity->children; k; k = k->next) {
        if (k->type == XML_TEXT_NODE || k->type == XML_CDATA_SECTION_NODE || k->type == XML_ENTITY_REF_NODE)
            text += textOf(k, depth + 1);
    }
    return text;
}

QString textOf(xmlNodePtr n, int depth)
{
    if (n->type == XML_ENTITY_REF_NODE) {
        // An entity of text only is read by the rules above.
        const xmlEntityPtr entity = xmlGetDocEntity(n->doc, n->name);
        if (entity && entity->etype == XML_INTERNAL_GENERAL_ENTITY && !holdsMarkup(n->doc, entity, 0))
            return replacementText(n->doc, entity, false, 0);
        return entityOwnText(entity, depth);
    }
    return str(n->content);
}

// Whether the text of entity holds an element, directly or through the
// entities it refers to.
bool entityHoldsElements(xmlDocPtr doc, xmlEntityPtr entity, int depth = 0)
{
    if (!entity || entity->etype != XML_INTERNAL_GENERAL_ENTITY || depth > 40)
        return false;
    for (xmlNodePtr k = entity->children; k; k = k->next) {
        if (k->type == XML_ELEMENT_NODE)
            return true;
        if (k->type == XML_ENTITY_REF_NODE && entityHoldsElements(doc, xmlGetDocEntity(doc, k->name), depth + 1))
            return true;
    }
    return false;
}

// A namespace name as declared, its references to entities and characters
// expanded (the parser leaves them in the declaration's value when it does
// not substitute entities).
QString expandedNamespace(xmlDocPtr doc, const xmlChar *href)
{
    const QString text = str(href);
    return text.contains(u'&') ? expandReferences(doc, text, true, 0) : text;
}

// The value of an attribute: its text as the parser normalized it, and the
// replacement text of each entity it refers to, normalized too.
QString attributeValue(xmlDocPtr doc, xmlAttrPtr a)
{
    QString value;
    for (xmlNodePtr c = a->children; c; c = c->next) {
        if (c->type == XML_ENTITY_REF_NODE) {
            const xmlEntityPtr entity = xmlGetDocEntity(doc, c->name);
            value += entity && entity->etype == XML_INTERNAL_PREDEFINED_ENTITY ? str(entity->content)
                                                                               : replacementText(doc, entity, true, 0);
        } else {
            value += str(c->content);
        }
    }
    return value;
}

// The value of an element: all of its direct text, as it stands. An element
// that holds elements reads without the blanks at either end: there they are
// its layout. Its text pieces between the children are joined as they stand,
// so words on either side of a child never run together.
QString valueOf(xmlNodePtr element, bool hasElementChildren, const QString *expected)
{
    // The common case: one text node and nothing else. When it reads as the
    // expected value, that string serves without a conversion or a copy (a
    // leading U+FEFF is left to the exact conversion).
    if (xmlNodePtr only = element->children; only && !only->next && only->type == XML_TEXT_NODE) {
        const auto *text = reinterpret_cast<const char *>(only->content);
        if (expected && !hasElementChildren && text && std::strncmp(text, "\xef\xbb\xbf", 3) != 0 &&
            QAnyStringView::equal(*expected, QUtf8StringView(text)))
            return *expected;
        return hasElementChildren ? trimmedXml(str(only->content)) : str(only->content);
    }

    QString value;
    for (xmlNodePtr c = element->children; c; c = c->next) {
        if (isTextLike(c))
            value += textOf(c);
    }
    if (hasElementChildren)
        value = trimmedXml(value);
    return expected && value == *expected ? *expected : value;
}

const char *const kXsi = "http://www.w3.org/2001/XMLSchema-instance";

bool isXmlSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

// Whether an internal entity's text holds markup, itself or through the
// entities it refers to.
bool holdsMarkup(xmlDocPtr doc, xmlEntityPtr entity, int depth)
{
    // "&lt;" and the other predefined entities stand for one character.
    if (!entity || !entity->content || entity->etype == XML_INTERNAL_PREDEFINED_ENTITY || depth > 16)
        return depth > 16;
    const char *text = reinterpret_cast<const char *>(entity->content);
    if (std::strchr(text, '<'))
        return true;
    for (const char *amp = std::strchr(text, '&'); amp; amp = std::strchr(amp + 1, '&')) {
        if (amp[1] == '#')
            continue;
        const char *semi = std::strchr(amp, ';');
        if (!semi)
            break;
        const QByteArray name(amp + 1, semi - amp - 1);
        if (holdsMarkup(doc, xmlGetDocEntity(doc, reinterpret_cast<const xmlChar *>(name.constData())), depth + 1))
            return true;
    }
    return false;
}

// The bytes an internal entity's text expands to, the entities it refers to
// included, without expanding it: at most kMaxEntityText + 1. memo holds the
// sizes found, per entity.
qsizetype expandedSize(xmlDocPtr doc, xmlEntityPtr entity, QHash<const void *, qsizetype> &memo, int depth)
{
    constexpr qsizetype over = kMaxEntityText + 1;
    if (!entity || !entity->content)
        return 0;
    if (entity->etype == XML_INTERNAL_PREDEFINED_ENTITY)
        return 1;
    if (const auto known = memo.constFind(entity); known != memo.cend())
        return *known;
    if (depth > 40)
        return over;
    memo.insert(entity, over); // a loop (which libxml2 refuses anyway) counts as too much
    qsizetype size = 0;
    for (const char *p = reinterpret_cast<const char *>(entity->content); *p && size < over;) {
        const char *semi = p[0] == '&' && p[1] != '#' ? std::strchr(p, ';') : nullptr;
        if (!semi) {
            ++size;
            ++p;
            continue;
        }
        const QByteArray name(p + 1, semi - p - 1);
        size += expandedSize(doc, xmlGetDocEntity(doc, reinterpret_cast<const xmlChar *>(name.constData())), memo, depth + 1);
        p = semi + 1;
    }
    size = std::min(size, over);
    memo.insert(entity, size);
    return size;
}

// The most attributes a start tag in s has, as the '=' outside quoted values
// count them; comments, CDATA sections, processing instructions and the
// DOCTYPE are passed over. One pass, whatever the document holds.
qsizetype mostAttributesInATag(const QByteArray &s)
{
    const qsizetype n = s.size();
    const char *d = s.constData();
    auto skipTo = [&](qsizetype from, const char *end) {
        const qsizetype at = s.indexOf(end, from);
        return at < 0 ? n : at + static_cast<qsizetype>(std::strlen(end));
    };
    qsizetype most = 0;
    qsizetype declared = 0; // attributes the internal subset may declare, counted high
    for (qsizetype i = 0; i < n;) {
        if (d[i] != '<') {
            ++i;
            continue;
        }
        if (QByteArrayView(d + i, n - i).startsWith("<!--")) {
            i = skipTo(i + 4, "-->");
        } else if (QByteArrayView(d + i, n - i).startsWith("<![CDATA[")) {
            i = skipTo(i + 9, "]]>");
        } else if (i + 1 < n && d[i + 1] == '?') {
            i = skipTo(i + 2, "?>");
        } else if (i + 1 < n && d[i + 1] == '!') {
            // A declaration: to its '>' outside quotes and its internal subset.
            char quote = 0;
            int brackets = 0;
            bool attlist = false;
            qsizetype j = i + 2;
            for (; j < n; ++j) {
                const char c = d[j];
                if (quote) {
                    if (c == quote)
                        quote = 0;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                    declared += attlist ? 1 : 0; // a default value
                } else if (c == '[') {
                    ++brackets;
                } else if (c == ']') {
                    --brackets;
                } else if (c == '<' && QByteArrayView(d + j, n - j).startsWith("<!--")) {
                    j = skipTo(j + 4, "-->") - 1;
                } else if (c == '<' && QByteArrayView(d + j, n - j).startsWith("<?")) {
                    j = skipTo(j + 2, "?>") - 1;
                } else if (c == '<' && QByteArrayView(d + j, n - j).startsWith("<!ATTLIST")) {
                    attlist = true; // each default, #IMPLIED or #REQUIRED in it declares one
                } else if (attlist && c == '#' && (QByteArrayView(d + j, n - j).startsWith("#IMPLIED") ||
                                                   QByteArrayView(d + j, n - j).startsWith("#REQUIRED"))) {
                    ++declared;
                } else if (c == '>' && brackets > 0) {
                    attlist = false;
                } else if (c == '>' && brackets <= 0) {
                    break;
                }
            }
            i = j + 1;
        } else {
            char quote = 0;
            qsizetype count = 0, j = i + 1;
            for (; j < n; ++j) {
                const char c = d[j];
                if (quote) {
                    if (c == quote)
                        quote = 0;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '=') {
                    ++count;
                } else if (c == '>') {
                    break;
                }
            }
            most = std::max(most, count);
            i = j + 1;
        }
    }
    // Attributes the DTD declares may come with every element as defaults.
    return std::max(most, declared);
}

// A byte order mark names the encoding; a declaration of another one is a
// fatal error (XML 1.0, 4.3.3), which libxml2 lets pass.
void checkBomAgainstDeclaration(const QByteArray &bytes, const QString &fileName)
{
    QString declared, bom;
    if (bytes.startsWith("\xef\xbb\xbf")) {
        bom = QStringLiteral("UTF-8");
        declared = declaredEncoding(QByteArrayView(bytes).sliced(3));
        if (declared.compare(QLatin1String("UTF-8"), Qt::CaseInsensitive) == 0 ||
            declared.compare(QLatin1String("UTF8"), Qt::CaseInsensitive) == 0)
            return;
    } else if (bytes.startsWith("\xff\xfe") || bytes.startsWith("\xfe\xff")) {
        bom = QStringLiteral("UTF-16");
        const bool little = bytes.startsWith("\xff\xfe");
        const QByteArrayView head = QByteArrayView(bytes).sliced(2, std::min<qsizetype>(bytes.size() - 2, 1024));
        QString text = QStringDecoder(little ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE)(head);
        declared = declaredEncoding(text.toLatin1());
        if (declared.startsWith(QLatin1String("UTF-16"), Qt::CaseInsensitive) ||
            declared.compare(QLatin1String("UTF16"), Qt::CaseInsensitive) == 0)
            return;
    }
    if (declared.isEmpty())
        return;
    throw Error(QStringLiteral("%1 is not well-formed XML: it starts with the byte order mark of %2 but declares "
                               "the encoding %3 (line 1).")
                    .arg(quoteForMessage(fileName, 200), bom, quoteForMessage(declared)),
                Error::Kind::Provider);
}

} // namespace

QString trimmedXml(const QString &s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && isXmlSpace(s[b]))
        ++b;
    while (e > b && isXmlSpace(s[e - 1]))
        --e;
    return b == 0 && e == s.size() ? s : s.mid(b, e - b);
}

void installSafeEntityLoader()
{
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        xmlSetExternalEntityLoader(refuseExternal);
        xmlSetGenericErrorFunc(nullptr, quietErrors);
        xmlSetStructuredErrorFunc(nullptr, quietStructured);
    });
}

namespace {

// What the parser's handlers keep while one document is read. The context's
// _private points to it; the contexts libxml2 makes for entity text share it.
struct ReadState
{
    size_t elementCount = 0; // sizes the element table
    // A parameter entity that is not read was referred to in the internal
    // subset: it may have held declarations that override the ones after it.
    bool declarationsStopped = false;
    // The parameter entity whose declaration was just read: libxml2 looks it
    // up again at once (for its raw value), which is no reference to it.
    QByteArray justDeclared;
};

ReadState *readState(void *ctx)
{
    return static_cast<ReadState *>(static_cast<xmlParserCtxtPtr>(ctx)->_private);
}

// Declarations after a reference to an unread parameter entity are not
// processed, unless the document is standalone (XML 1.0, 5.1).
bool skipsDeclaration(void *ctx)
{
    const ReadState *state = readState(ctx);
    return state && state->declarationsStopped && static_cast<xmlParserCtxtPtr>(ctx)->standalone != 1;
}

// The parser's handler for a start tag, counting elements on the way.
void countElement(void *ctx, const xmlChar *localname, const xmlChar *prefix, const xmlChar *uri, int nbNamespaces,
                  const xmlChar **namespaces, int nbAttributes, int nbDefaulted, const xmlChar **attributes)
{
    if (ReadState *state = readState(ctx))
        ++state->elementCount;
    xmlSAX2StartElementNs(ctx, localname, prefix, uri, nbNamespaces, namespaces, nbAttributes, nbDefaulted, attributes);
}

// External parameter entities are never read, and an undeclared one cannot
// be: either stops the declarations that follow.
xmlEntityPtr noteParameterEntity(void *ctx, const xmlChar *name)
{
    const xmlEntityPtr entity = xmlSAX2GetParameterEntity(ctx, name);
    ReadState *state = readState(ctx);
    if (!state)
        return entity;
    if (!state->justDeclared.isNull() && state->justDeclared == reinterpret_cast<const char *>(name)) {
        state->justDeclared = QByteArray();
        return entity;
    }
    state->justDeclared = QByteArray();
    if (!entity || entity->etype != XML_INTERNAL_PARAMETER_ENTITY)
        state->declarationsStopped = true;
    return entity;
}

void declareAttribute(void *ctx, const xmlChar *elem, const xmlChar *fullname, int type, int def,
                      const xmlChar *defaultValue, xmlEnumerationPtr tree)
{
    if (skipsDeclaration(ctx)) {
        xmlFreeEnumeration(tree); // the handler owns it
        // After this handler returns, libxml2 notes the declared type (for
        // normalizing values) and the default, unless the attribute is noted
        // already. A note that it is CDATA keeps values as written, stops
        // the default, and is dropped when the internal subset ends. An
        // earlier declaration stays binding.
        auto *ctxt = static_cast<xmlParserCtxtPtr>(ctx);
        if (!ctxt->attsSpecial)
            ctxt->attsSpecial = xmlHashCreateDict(10, ctxt->dict);
        if (ctxt->attsSpecial && !xmlHashLookup2(ctxt->attsSpecial, elem, fullname))
            xmlHashAddEntry2(ctxt->attsSpecial, elem, fullname, reinterpret_cast<void *>(XML_ATTRIBUTE_CDATA));
        return;
    }
    xmlSAX2AttributeDecl(ctx, elem, fullname, type, def, defaultValue, tree);
}

void declareEntity(void *ctx, const xmlChar *name, int type, const xmlChar *publicId, const xmlChar *systemId,
                   xmlChar *content)
{
    if (skipsDeclaration(ctx))
        return;
    if (ReadState *state = readState(ctx); state && content &&
                                           (type == XML_INTERNAL_PARAMETER_ENTITY || type == XML_EXTERNAL_PARAMETER_ENTITY))
        state->justDeclared = QByteArray(reinterpret_cast<const char *>(name));
    xmlSAX2EntityDecl(ctx, name, type, publicId, systemId, content);
}

void declareUnparsedEntity(void *ctx, const xmlChar *name, const xmlChar *publicId, const xmlChar *systemId,
                           const xmlChar *notationName)
{
    if (!skipsDeclaration(ctx))
        xmlSAX2UnparsedEntityDecl(ctx, name, publicId, systemId, notationName);
}

using XmlDocHandle = std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)>;

// Step 1: the text libxml2 is given. libxml2 2.9 misreads a name of more
// than 100 characters in a document it converts from a legacy multibyte
// encoding (it reports bytes that are not UTF-8). Such documents are decoded
// here, with the same iconv the store writes with, and parsed as the UTF-8
// text they are (options gains XML_PARSE_IGNORE_ENC); a document that cannot
// be decoded this way is left to libxml2.
QByteArray parserInput(const QByteArray &bytes, const QString &declared, const QString &fileName, int &options)
{
    if (declared.isEmpty() || declared.startsWith(QLatin1String("UTF-"), Qt::CaseInsensitive) ||
        declared.compare(QLatin1String("UTF8"), Qt::CaseInsensitive) == 0 || bytes.startsWith("\xff\xfe") ||
        bytes.startsWith("\xfe\xff") || bytes.startsWith("\xef\xbb\xbf"))
        return bytes;
    try {
        QByteArray decoded = EncodedText::decode(bytes, declared, fileName).utf8();
        options |= XML_PARSE_IGNORE_ENC;
        return decoded;
    } catch (const Error &) {
        return bytes;
    }
}

// Step 2: no start tag holds, or is given by its DTD, more attributes than
// the limit. The scan reads markup as ASCII, so UTF-16 is scanned as the
// UTF-8 it stands for. Each attribute of a start tag has its '=': a document
// with few of them and no attribute declarations needs no scan.
void checkAttributeCount(const QByteArray &input, const QString &fileName)
{
    const bool utf16 = input.startsWith("\xff\xfe") || input.startsWith("\xfe\xff") ||
                       (input.size() > 1 && (input[0] == '\0') != (input[1] == '\0'));
    QByteArray scanned;
    if (utf16) {
        QStringDecoder decode(input.startsWith("\xfe\xff") || input[0] == '\0' ? QStringDecoder::Utf16BE
                                                                                 : QStringDecoder::Utf16LE);
        scanned = QString(decode(input)).toUtf8();
    }
    const QByteArray &text = utf16 ? scanned : input;
    const bool mayHaveMany = std::count(text.begin(), text.end(), '=') > kMaxAttributes || text.contains("<!ATTLIST");
    if (!mayHaveMany || mostAttributesInATag(text) <= kMaxAttributes)
        return;
    const QString limit = QStringLiteral("an element has more than %1 attributes (its own, or defaults its DTD declares)")
                              .arg(QLocale(QLocale::English).toString(kMaxAttributes));
    throw ReadLimitError(QStringLiteral("%1 goes beyond what the editor reads: %2.").arg(quoteForMessage(fileName, 200), limit),
                         limit);
}

// Step 3: libxml2's tree of the document, which must be well-formed XML 1.0
// with a root element. elementCount is how many elements it holds.
XmlDocHandle parseWithLibxml2(const QByteArray &input, int options, const QString &fileName, size_t &elementCount)
{
    std::unique_ptr<xmlParserCtxt, void (*)(xmlParserCtxtPtr)> ctxt(xmlNewParserCtxt(), xmlFreeParserCtxt);
    if (!ctxt)
        throw Error(QStringLiteral("Out of memory while reading %1.").arg(quoteForMessage(fileName, 200)));
    FirstError first;
    ReadState state;
    ctxt->_private = &state;
    ctxt->sax->startElementNs = countElement;
    ctxt->sax->getParameterEntity = noteParameterEntity;
    ctxt->sax->attributeDecl = declareAttribute;
    ctxt->sax->entityDecl = declareEntity;
    ctxt->sax->unparsedEntityDecl = declareUnparsedEntity;
    xmlSetStructuredErrorFunc(&first, recordFirst);
    XmlDocHandle doc(xmlCtxtReadMemory(ctxt.get(), input.constData(), static_cast<int>(input.size()), nullptr, nullptr, options),
                     xmlFreeDoc);
    xmlSetStructuredErrorFunc(nullptr, quietStructured);
    // A limit reached while the text is collected stops the parse without
    // marking the document malformed; the text read so far would be cut.
    if (!first.limit.isEmpty()) {
        throw ReadLimitError(QStringLiteral("%1 goes beyond what the editor reads: %2 (line %3, column %4).")
                                 .arg(quoteForMessage(fileName, 200), first.limit)
                                 .arg(first.limitLine)
                                 .arg(first.limitColumn),
                             first.limit);
    }
    if (!doc || !ctxt->wellFormed || !ctxt->nsWellFormed || first.fatal) {
        QString message = first.seen ? trimmedXml(first.message) : QStringLiteral("the document is not well-formed");
        if (message.endsWith(u'.'))
            message.chop(1);
        if (state.declarationsStopped && message.startsWith(QLatin1String("Entity '")) &&
            message.endsWith(QLatin1String("' not defined")))
            message += QStringLiteral(" (declarations after a reference to a parameter entity that is not read are "
                                      "not processed)");
        throw Error(QStringLiteral("%1 is not well-formed XML: %2 (line %3, column %4).")
                        .arg(quoteForMessage(fileName, 200), message)
                        .arg(first.line)
                        .arg(first.column),
                    Error::Kind::Provider);
    }
    // XML 1.1 reads NEL and LINE SEPARATOR as line ends and allows other
    // names; read by 1.0's rules its values would not be the document's.
    if (doc->version && !xmlStrEqual(doc->version, reinterpret_cast<const xmlChar *>("1.0"))) {
        throw Error(QStringLiteral("%1 is an XML %2 document, and the editor reads XML 1.0 only (line 1).")
                        .arg(quoteForMessage(fileName, 200), str(doc->version)),
                    Error::Kind::Provider);
    }
    if (!xmlDocGetRootElement(doc.get()))
        throw Error(QStringLiteral("%1 has no root element.").arg(quoteForMessage(fileName, 200)), Error::Kind::Provider);
    elementCount = state.elementCount;
    // The parser's buffers go before the tree, as xmlReadMemory has it: freeing
    // the large input buffer last would make the allocator sort through all of
    // the tree's small blocks first.
    return doc;
}

// Step 4: the element table, built by one pre-order walk over libxml2's
// tree. It reads each element's name, attributes, namespace declarations and
// value, checks what libxml2 lets pass, and counts what entity references
// expand to against the limit.
class ElementTableBuilder
{
public:
    ElementTableBuilder(xmlDocPtr doc, const QString &fileName, const std::vector<const QString *> *expected)
        : m_doc(doc), m_fileName(fileName), m_expected(expected)
    {
    }

    void build(DomDocument &out, size_t elementCount);

private:
    void readName(xmlNodePtr n, DomElement &e);
    void readAttributes(xmlNodePtr n, DomElement &e);
    void checkSchemaInstancePath(xmlNodePtr n, const DomElement &e) const;
    void checkExpandedNamespaces(xmlNodePtr n, const DomElement &e);
    size_t readChildren(xmlNodePtr n, DomDocument &out, bool *holdsEntityElements);
    void addAllEntityElements(DomDocument &out);
    // The reference in the file that elements from entities come through.
    struct Outermost
    {
        QByteArray ref; // "&name;"
        long line = 0;
    };
    void addEntityElements(xmlNodePtr ref, int parent, const Outermost &outermost, int depth, DomDocument &out,
                           std::vector<int> &top);
    int addEntityElement(xmlNodePtr k, xmlEntityPtr source, int parent, const Outermost &outermost, int depth,
                         DomDocument &out);
    void countText(qsizetype size, xmlNodePtr where);
    Error unreadEntity(const xmlChar *name, long line) const;
    const QSet<QString> &prefixedAttributes(xmlEntityPtr entity);
    void countReference(xmlNodePtr ref, xmlNodePtr where);
    QString namespaceName(const xmlChar *href, xmlNodePtr where);

    xmlDocPtr m_doc;
    const QString &m_fileName;
    const std::vector<const QString *> *m_expected;
    // Names are interned by the parser, so one QString serves each; the last
    // one found answers the common run of same-named siblings at once.
    QHash<const void *, QHash<const xmlChar *, QString>> m_names;
    const void *m_lastNs = nullptr;
    const xmlChar *m_lastName = nullptr;
    QString m_lastQName;
    QHash<const void *, bool> m_entityMarkup;      // per entity: whether its text holds markup
    QHash<const void *, qsizetype> m_entitySizes;  // per entity: the bytes it expands to
    QHash<const xmlChar *, QString> m_namespaceNames; // namespace names written with references, expanded
    qsizetype m_entityText = 0;                    // what the references so far expand to
    // The elements the file writes that refer to entities holding elements,
    // by index, in document order.
    std::vector<std::pair<int, xmlNodePtr>> m_entityParents;
    QHash<const void *, QSet<QString>> m_prefixedAttributes; // by entity
};

void ElementTableBuilder::build(DomDocument &out, size_t elementCount)
{
    // The element table is sized once, from the count the parser kept:
    // growing it would move every element built so far, several times over.
    out.elements.reserve(elementCount);
    // Pre-order walk over the element nodes, following the tree's own links
    // (no stack, no recursion).
    xmlNodePtr root = xmlDocGetRootElement(m_doc);
    xmlNodePtr n = root;
    int parent = -1;
    while (n) {
        const int index = static_cast<int>(out.elements.size());
        out.elements.emplace_back();
        DomElement &e = out.elements.back();
        e.parent = parent;
        readName(n, e);
        readAttributes(n, e);
        checkSchemaInstancePath(n, e);
        // Its namespace declarations; an empty prefix is the default
        // namespace ("" for none).
        for (xmlNsPtr ns = n->nsDef; ns; ns = ns->next)
            out.namespaces.push_back({index, str(ns->prefix), ns->href ? namespaceName(ns->href, n) : QString()});
        checkExpandedNamespaces(n, e);
        bool holdsEntityElements = false;
        const size_t elementChildren = readChildren(n, out, &holdsEntityElements);
        DomElement &element = out.elements.back();
        element.value = valueOf(n, elementChildren > 0 || holdsEntityElements,
                                m_expected && static_cast<size_t>(index) < m_expected->size()
                                    ? (*m_expected)[static_cast<size_t>(index)]
                                    : nullptr);
        element.children.reserve(elementChildren);
        if (parent >= 0)
            out.elements[static_cast<size_t>(parent)].children.push_back(index);
        // Next: the first element child, else the next element after this
        // one or after one of its ancestors below the root.
        if (elementChildren > 0) {
            parent = index;
            n = firstElement(n->children);
            continue;
        }
        while (n != root) {
            if (xmlNodePtr next = firstElement(n->next)) {
                n = next;
                break;
            }
            n = n->parent;
            parent = out.elements[static_cast<size_t>(parent)].parent;
        }
        if (n == root)
            break;
    }
    addAllEntityElements(out);
}

void ElementTableBuilder::readName(xmlNodePtr n, DomElement &e)
{
    const void *prefixed = n->ns && n->ns->prefix ? static_cast<const void *>(n->ns) : nullptr;
    if (n->name != m_lastName || prefixed != m_lastNs || m_lastQName.isNull()) {
        QString &name = m_names[prefixed][n->name];
        if (name.isNull())
            name = prefixed ? str(n->ns->prefix) + QLatin1Char(':') + str(n->name) : str(n->name);
        m_lastNs = prefixed;
        m_lastName = n->name;
        m_lastQName = name;
    }
    e.name = m_lastQName;
}

void ElementTableBuilder::readAttributes(xmlNodePtr n, DomElement &e)
{
    for (xmlAttrPtr a = n->properties; a; a = a->next) {
        DomAttribute attr;
        const QString local = str(a->name);
        const QString qname = a->ns && a->ns->prefix ? str(a->ns->prefix) + QLatin1Char(':') + local : local;
        attr.qname = qname.toUtf8();
        attr.xsi = a->ns && xmlStrEqual(a->ns->href, reinterpret_cast<const xmlChar *>(kXsi)) &&
                   local == QLatin1String("noNamespaceSchemaLocation");
        attr.segment = attr.xsi ? kNoNamespaceSchemaLocation.toString() : QLatin1Char('@') + qname;
        for (xmlNodePtr c = a->children; c; c = c->next) {
            if (c->type == XML_ENTITY_REF_NODE)
                countReference(c, n);
        }
        attr.value = attributeValue(m_doc, a);
        e.attributes.push_back(std::move(attr));
    }
}

// The schema-instance attribute is shown without its prefix, so a plain
// attribute of the same local name would share its path, and a store could
// not tell the two apart. No other two attributes of one element can share
// a path in a well-formed document.
void ElementTableBuilder::checkSchemaInstancePath(xmlNodePtr n, const DomElement &e) const
{
    for (const DomAttribute &a : e.attributes) {
        if (!a.xsi)
            continue;
        for (const DomAttribute &b : e.attributes) {
            if (&b != &a && b.segment == a.segment) {
                throw Error(QStringLiteral("%1 cannot be edited: the attributes %2 and %3 of the element %4 "
                                           "(line %5) would both be named %6 in the data, so a store could not "
                                           "tell them apart.")
                                .arg(quoteForMessage(m_fileName, 200), quoteForMessage(QString::fromUtf8(a.qname)),
                                     quoteForMessage(QString::fromUtf8(b.qname)), quoteForMessage(e.name))
                                .arg(xmlGetLineNo(n))
                                .arg(quoteForMessage(a.segment)),
                            Error::Kind::Provider);
            }
        }
    }
}

// Two attributes whose namespace names are one once their entities are
// expanded are one attribute, which an element holds at most once
// (Namespaces in XML, 6.3). libxml2 compares the names as written.
void ElementTableBuilder::checkExpandedNamespaces(xmlNodePtr n, const DomElement &e)
{
    bool expands = false;
    for (xmlAttrPtr a = n->properties; a && !expands; a = a->next)
        expands = a->ns && a->ns->href && xmlStrchr(a->ns->href, '&');
    if (!expands)
        return;
    QHash<QString, xmlAttrPtr> seen; // namespace name and local name
    for (xmlAttrPtr a = n->properties; a; a = a->next) {
        if (!a->ns || !a->ns->href)
            continue;
        const QString key = namespaceName(a->ns->href, n) + u'\n' + str(a->name);
        const xmlAttrPtr b = seen.value(key);
        if (!b) {
            seen.insert(key, a);
            continue;
        }
        throw Error(QStringLiteral("%1 is not well-formed XML: the attributes %2:%3 and %4:%3 of the element "
                                   "%5 are one attribute, since their prefixes name the namespace %6 (line %7).")
                        .arg(quoteForMessage(m_fileName, 200), str(b->ns->prefix), str(a->name), str(a->ns->prefix),
                             quoteForMessage(e.name), quoteForMessage(key.section(u'\n', 0, 0)))
                        .arg(xmlGetLineNo(n)),
                    Error::Kind::Provider);
    }
}

// Counts n's element children, and reads its references to entities: an
// external or undeclared entity refuses the document, and one whose text
// holds markup is noted for the store.
size_t ElementTableBuilder::readChildren(xmlNodePtr n, DomDocument &out, bool *holdsEntityElements)
{
    size_t elementChildren = 0;
    for (xmlNodePtr c = n->children; c; c = c->next) {
        if (c->type == XML_ELEMENT_NODE)
            ++elementChildren;
        if (c->type != XML_ENTITY_REF_NODE)
            continue;
        const xmlEntityPtr entity = xmlGetDocEntity(m_doc, c->name);
        countReference(c, c);
        if (!entity || entity->etype != XML_INTERNAL_GENERAL_ENTITY)
            throw unreadEntity(c->name, xmlGetLineNo(c));
        const auto known = m_entityMarkup.constFind(entity);
        const bool markup = known != m_entityMarkup.cend() ? *known
                                                           : *m_entityMarkup.insert(entity, holdsMarkup(m_doc, entity, 0));
        if (markup) {
            const QByteArray ref = '&' + QByteArray(reinterpret_cast<const char *>(c->name)) + ';';
            if (std::find(out.markupEntityRefs.begin(), out.markupEntityRefs.end(), ref) == out.markupEntityRefs.end())
                out.markupEntityRefs.push_back(ref);
            if (entityHoldsElements(m_doc, entity)) {
                *holdsEntityElements = true;
                if (m_entityParents.empty() || m_entityParents.back().second != n)
                    m_entityParents.emplace_back(static_cast<int>(out.elements.size()) - 1, n);
            }
        }
    }
    return elementChildren;
}

// The elements the text of the entity that ref refers to holds, added under
// parent; their indexes go to top in document order.
void ElementTableBuilder::addEntityElements(xmlNodePtr ref, int parent, const Outermost &outermost, int depth,
                                            DomDocument &out, std::vector<int> &top)
{
    const xmlEntityPtr entity = xmlGetDocEntity(m_doc, ref->name);
    if (!entity || entity->etype != XML_INTERNAL_GENERAL_ENTITY || depth > 40)
        return;
    for (xmlNodePtr k = entity->children; k; k = k->next) {
        if (k->type == XML_ELEMENT_NODE)
            top.push_back(addEntityElement(k, entity, parent, outermost, depth, out));
        else if (k->type == XML_ENTITY_REF_NODE)
            addEntityElements(k, parent, outermost, depth + 1, out, top);
    }
}

// One element of an entity's text, with what it holds; returns its index.
int ElementTableBuilder::addEntityElement(xmlNodePtr k, xmlEntityPtr source, int parent, const Outermost &outermost,
                                          int depth, DomDocument &out)
{
    int level = 0;
    for (int p = parent; p >= 0; p = out.elements[static_cast<size_t>(p)].parent)
        ++level;
    if (level > kMaxDepth) {
        const QString limit = QStringLiteral("it nests elements deeper than %1 levels").arg(kMaxDepth);
        throw ReadLimitError(QStringLiteral("%1 goes beyond what the editor reads: %2 (the entity %3, line %4).")
                                 .arg(quoteForMessage(m_fileName, 200), limit, quoteForMessage(QString::fromUtf8(outermost.ref)))
                                 .arg(outermost.line),
                             limit);
    }
    if (out.elements.size() - out.fileElements >= kMaxEntityElements) {
        const QString limit = QStringLiteral("its entities give it more than %1 elements")
                                  .arg(QLocale(QLocale::English).toString(static_cast<qulonglong>(kMaxEntityElements)));
        throw ReadLimitError(QStringLiteral("%1 goes beyond what the editor reads: %2.").arg(quoteForMessage(m_fileName, 200), limit),
                             limit);
    }
    // libxml2 reads an entity's text apart from the document: a prefix
    // declared outside the text is left unbound (a declaration without a
    // name stands in for it), and the element's name loses it. Such a
    // prefix is taken from the elements around the reference; an attribute
    // loses its prefix without a trace, so its entity is not read.
    auto notRead = [&](const QString &why) {
        return Error(QStringLiteral("%1 uses the entity %2, %3 (line %4).")
                         .arg(quoteForMessage(m_fileName, 200), quoteForMessage(QString::fromUtf8(outermost.ref)), why)
                         .arg(outermost.line),
                     Error::Kind::Provider);
    };
    QString lostPrefix;
    for (xmlNsPtr ns = k->nsDef; ns; ns = ns->next) {
        if (!ns->href && ns->prefix)
            lostPrefix = str(ns->prefix);
    }
    if (!lostPrefix.isEmpty() && !namespaceInScope(out, parent, lostPrefix))
        throw notRead(QStringLiteral("whose text uses the namespace prefix %1, which is not declared there; such "
                                     "entities are not read")
                          .arg(quoteForMessage(lostPrefix)));
    for (xmlAttrPtr a = k->properties; a; a = a->next) {
        if (!a->ns && prefixedAttributes(source).contains(str(a->name)))
            throw notRead(QStringLiteral("whose text gives an element an attribute with a namespace prefix declared "
                                         "outside it; such entities are not read"));
    }
    const int index = static_cast<int>(out.elements.size());
    out.elements.emplace_back();
    {
        DomElement &e = out.elements.back();
        e.parent = parent;
        e.entity = outermost.ref;
        readName(k, e);
        if (!lostPrefix.isEmpty())
            e.name = lostPrefix + u':' + e.name;
        readAttributes(k, e);
        checkSchemaInstancePath(k, e);
        checkExpandedNamespaces(k, e);
    }
    // The stand-ins for declarations outside the text are no declarations.
    for (xmlNsPtr ns = k->nsDef; ns; ns = ns->next) {
        if (ns->href)
            out.namespaces.push_back({index, str(ns->prefix), namespaceName(ns->href, k)});
    }
    // A prefix bound nowhere, inside the text or around the reference, is
    // not well-formed (Namespaces in XML), as it is in the file itself.
    {
        const DomElement &e = out.elements[static_cast<size_t>(index)];
        auto checkBound = [&](QStringView name) {
            const qsizetype colon = name.indexOf(u':');
            if (colon > 0 && !namespaceInScope(out, index, name.left(colon)))
                throw notRead(QStringLiteral("whose text uses the namespace prefix %1, which is declared nowhere; "
                                             "the document is not well-formed")
                                  .arg(quoteForMessage(name.left(colon).toString())));
        };
        checkBound(e.name);
        for (const DomAttribute &a : e.attributes) {
            if (!a.xsi)
                checkBound(QStringView(a.segment).mid(1));
        }
    }
    std::vector<int> children;
    bool hasElements = false;
    for (xmlNodePtr c = k->children; c; c = c->next) {
        if (c->type == XML_ELEMENT_NODE) {
            hasElements = true;
            children.push_back(addEntityElement(c, source, index, outermost, depth, out));
        } else if (c->type == XML_ENTITY_REF_NODE) {
            // What it expands to was counted with the outermost reference.
            const xmlEntityPtr inner = xmlGetDocEntity(m_doc, c->name);
            if (!inner || inner->etype != XML_INTERNAL_GENERAL_ENTITY)
                throw unreadEntity(c->name, outermost.line);
            if (entityHoldsElements(m_doc, inner)) {
                hasElements = true;
                addEntityElements(c, index, outermost, depth + 1, out, children);
            }
        }
    }
    DomElement &e = out.elements[static_cast<size_t>(index)];
    e.children = std::move(children);
    e.value = valueOf(k, hasElements, nullptr);
    return index;
}

// After the elements the file writes: those of the entities they refer to,
// and each parent's children in document order.
void ElementTableBuilder::addAllEntityElements(DomDocument &out)
{
    out.fileElements = out.elements.size();
    for (const auto &[parent, node] : m_entityParents) {
        std::vector<int> shown;
        size_t written = 0;
        for (xmlNodePtr c = node->children; c; c = c->next) {
            if (c->type == XML_ELEMENT_NODE) {
                shown.push_back(out.elements[static_cast<size_t>(parent)].children.at(written++));
            } else if (c->type == XML_ENTITY_REF_NODE) {
                const Outermost outermost{'&' + QByteArray(reinterpret_cast<const char *>(c->name)) + ';', xmlGetLineNo(c)};
                addEntityElements(c, parent, outermost, 0, out, shown);
            }
        }
        out.elements[static_cast<size_t>(parent)].shownChildren = std::move(shown);
    }
}

// The local names of the prefixed attributes the text of entity writes,
// found in one pass over it and kept: libxml2 reads such an attribute
// without its prefix when the prefix is declared outside the text.
const QSet<QString> &ElementTableBuilder::prefixedAttributes(xmlEntityPtr entity)
{
    auto known = m_prefixedAttributes.find(entity);
    if (known != m_prefixedAttributes.end())
        return *known;
    QSet<QString> names;
    if (entity && entity->content) {
        static const QRegularExpression prefixed(QStringLiteral("\\s[^\\s<>\"'=:/]+:([^\\s<>\"'=:/]+)\\s*="));
        const QString text = str(entity->content);
        for (const QRegularExpressionMatch &m : prefixed.globalMatch(text))
            names.insert(m.captured(1));
    }
    return *m_prefixedAttributes.insert(entity, std::move(names));
}

// External entities are never read, so a value that needs one cannot be
// shown truthfully: the document is refused instead.
Error ElementTableBuilder::unreadEntity(const xmlChar *name, long line) const
{
    return Error(QStringLiteral("%1 uses the entity %2, which is external or declared outside the file; such "
                                "entities are not read (line %3).")
                     .arg(quoteForMessage(m_fileName, 200), quoteForMessage(str(name)))
                     .arg(line),
                 Error::Kind::Provider);
}

void ElementTableBuilder::countText(qsizetype size, xmlNodePtr where)
{
    m_entityText += size;
    if (m_entityText <= kMaxEntityText)
        return;
    const QString limit = QStringLiteral("its references to entities expand to more than %1 bytes of text")
                              .arg(QLocale(QLocale::English).toString(kMaxEntityText));
    throw ReadLimitError(QStringLiteral("%1 goes beyond what the editor reads: %2 (line %3).")
                             .arg(quoteForMessage(m_fileName, 200), limit)
                             .arg(xmlGetLineNo(where)),
                         limit);
}

void ElementTableBuilder::countReference(xmlNodePtr ref, xmlNodePtr where)
{
    countText(expandedSize(m_doc, xmlGetDocEntity(m_doc, ref->name), m_entitySizes, 0), where);
}

// A namespace name written with entity references, expanded once (a DTD
// default gives every element the same one) and counted, each time an
// element uses it, against the entity limit.
QString ElementTableBuilder::namespaceName(const xmlChar *href, xmlNodePtr where)
{
    if (!xmlStrchr(href, '&'))
        return str(href);
    auto known = m_namespaceNames.find(href);
    if (known != m_namespaceNames.end()) {
        countText(known->size(), where);
        return *known;
    }
    // The bound before the expansion: what the references in it expand to.
    qsizetype size = 0;
    for (const xmlChar *p = href; *p; ++p) {
        if (*p != '&' || p[1] == '#')
            continue;
        const xmlChar *semi = xmlStrchr(p, ';');
        if (!semi)
            break;
        const QByteArray name(reinterpret_cast<const char *>(p + 1), semi - p - 1);
        size += expandedSize(m_doc, xmlGetDocEntity(m_doc, reinterpret_cast<const xmlChar *>(name.constData())),
                             m_entitySizes, 0);
    }
    countText(size, where);
    return *m_namespaceNames.insert(href, expandedNamespace(m_doc, href));
}

} // namespace

DomDocument parseDocument(const QByteArray &bytes, const QString &fileName, const std::vector<const QString *> *expected)
{
    installSafeEntityLoader();
    int options = XML_PARSE_NONET | XML_PARSE_BIG_LINES | XML_PARSE_NOWARNING;
    const QString declared = declaredEncoding(bytes);
    const QByteArray input = parserInput(bytes, declared, fileName, options);
    checkBomAgainstDeclaration(bytes, fileName);
    checkAttributeCount(input, fileName);
    size_t elementCount = 0;
    XmlDocHandle doc = parseWithLibxml2(input, options, fileName, elementCount);
    DomDocument out;
    out.encoding = options & XML_PARSE_IGNORE_ENC ? declared : str(doc->encoding);
    ElementTableBuilder(doc.get(), fileName, expected).build(out, elementCount);
    return out;
}

QStringList pairListOf(const DomDocument &doc, QStringList *fromEntities)
{
    QStringList pairs;
    if (doc.elements.empty())
        return pairs;
    size_t entries = doc.elements.size();
    for (const DomElement &e : doc.elements)
        entries += e.attributes.size();
    pairs.reserve(static_cast<qsizetype>(entries));
    // The elements are in document order, which is the order of the list.
    // Each entry is built in one piece. An element's path stands in its own
    // entry right after "DAT,,", so its children and attributes take it
    // from there instead of from a string of its own.
    const qsizetype pathStart = kRecordMarker.size() + 2;
    struct Placed
    {
        int index = 0; // among the earlier siblings of the same name
        int entry = 0; // the element's entry in pairs
        qsizetype pathLength = 0;
    };
    std::vector<Placed> placed(doc.elements.size());
    NameMap<int> seen;
    // Elements from entities come after those the file writes: the list
    // takes them all in document order.
    std::vector<int> order;
    if (doc.fileElements != 0 && doc.fileElements < doc.elements.size()) {
        order.reserve(doc.elements.size());
        for (std::vector<int> pending{0}; !pending.empty();) {
            const int i = pending.back();
            pending.pop_back();
            order.push_back(i);
            const std::vector<int> &children = doc.elements[static_cast<size_t>(i)].shown();
            pending.insert(pending.end(), children.rbegin(), children.rend());
        }
    }
    for (size_t k = 0; k < doc.elements.size(); ++k) {
        const size_t i = order.empty() ? k : static_cast<size_t>(order[k]);
        const DomElement &e = doc.elements[i];
        Placed &self = placed[i];
        QStringView parentPath;
        if (e.parent >= 0) {
            const Placed &up = placed[static_cast<size_t>(e.parent)];
            parentPath = QStringView(pairs.at(up.entry)).mid(pathStart, up.pathLength);
        }
        QString entry;
        entry.reserve(pathStart + parentPath.size() + 1 + IndexedSegmentSize(e.name, self.index) + 1 + e.value.size());
        entry.append(kRecordMarker).append(u',').append(u',');
        if (e.parent >= 0)
            entry.append(parentPath).append(u'/');
        AppendIndexedSegment(entry, e.name, self.index);
        self.pathLength = entry.size() - pathStart;
        entry.append(u',').append(e.value);
        self.entry = static_cast<int>(pairs.size());
        pairs.append(std::move(entry));
        const QStringView path = QStringView(pairs.at(self.entry)).mid(pathStart, self.pathLength);
        if (fromEntities && !e.entity.isEmpty()) {
            const QString entity = QString::fromUtf8(e.entity) + u'\t';
            fromEntities->append(entity + path.toString());
            for (const DomAttribute &a : e.attributes)
                fromEntities->append(entity + path.toString() + u'/' + a.segment);
        }
        for (const DomAttribute &a : e.attributes) {
            const QStringView ns = a.xsi ? kXsiNamespace : QStringView();
            QString attribute;
            attribute.reserve(kRecordMarker.size() + ns.size() + path.size() + a.segment.size() + a.value.size() + 4);
            attribute.append(kRecordMarker).append(u',').append(ns).append(u',').append(path).append(u'/');
            attribute.append(a.segment).append(u',').append(a.value);
            pairs.append(std::move(attribute));
        }
        if (e.shown().empty())
            continue;
        seen.clear();
        // Elements of one name share its string, so a run of them is counted
        // without a look-up each.
        const QChar *lastName = nullptr;
        int *lastCount = nullptr;
        for (int c : e.shown()) {
            const QString &name = doc.elements[static_cast<size_t>(c)].name;
            if (!lastCount || name.constData() != lastName) {
                lastCount = &seen[name];
                lastName = name.constData();
            }
            placed[static_cast<size_t>(c)].index = (*lastCount)++;
        }
    }
    return pairs;
}

const QString *namespaceInScope(const DomDocument &doc, int element, QStringView prefix)
{
    static const QString xmlNamespace = QStringLiteral("http://www.w3.org/XML/1998/namespace");
    if (prefix == u"xml")
        return &xmlNamespace;
    const auto byElement = [](const DomNamespace &ns, int e) { return ns.element < e; };
    for (int e = element; e >= 0; e = doc.elements[static_cast<size_t>(e)].parent) {
        for (auto it = std::lower_bound(doc.namespaces.begin(), doc.namespaces.end(), e, byElement);
             it != doc.namespaces.end() && it->element == e; ++it) {
            if (it->prefix == prefix)
                return &it->uri;
        }
    }
    return nullptr;
}

namespace {

// The name characters of XML 1.0 (fifth edition), which libxml2's parser
// applies; checking with the same rules means every name a document holds can
// be written back.
bool isNameStartChar(char32_t c)
{
    return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z') || c == U'_' || (c >= 0xC0 && c <= 0xD6) ||
           (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) || (c >= 0x370 && c <= 0x37D) ||
           (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D) || (c >= 0x2070 && c <= 0x218F) ||
           (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) || (c >= 0xF900 && c <= 0xFDCF) ||
           (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

bool isNameChar(char32_t c)
{
    return isNameStartChar(c) || c == U'-' || c == U'.' || (c >= U'0' && c <= U'9') || c == 0xB7 ||
           (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

// A name without a colon.
bool isNCName(QStringView name)
{
    if (name.isEmpty())
        return false;
    bool first = true;
    for (char32_t c : name.toUcs4()) {
        if (first ? !isNameStartChar(c) : !isNameChar(c))
            return false;
        first = false;
    }
    return true;
}

} // namespace

bool isValidQName(const QString &name)
{
    const qsizetype colon = name.indexOf(u':');
    if (colon < 0)
        return isNCName(name);
    return isNCName(QStringView(name).left(colon)) && isNCName(QStringView(name).mid(colon + 1));
}

} // namespace tarnwell::xml
