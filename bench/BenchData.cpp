#include "BenchData.h"

#include "PathSyntax.h"

#include <QFile>

namespace tarnwell::bench {

QStringList flatPairList(int n)
{
    QStringList pairs;
    pairs.reserve(n);
    pairs.append(QStringLiteral("DAT,,Doc,"));
    for (int i = 1; i < n; ++i) {
        pairs.append(QStringLiteral("DAT,,Doc/") + IndexedSegment(QStringLiteral("Item"), i - 1) +
                     QStringLiteral(",value number %1 abc").arg(i, 5, 10, QLatin1Char('0')));
    }
    return pairs;
}

const NameLists &benchLists()
{
    static const NameLists lists = [] {
        QStringList e;
        for (int i = 0; i < 99; ++i)
            e.append(QStringLiteral("Doc/Before%1").arg(i));
        e.append(QStringLiteral("Doc/Item"));
        for (int i = 0; i < 100; ++i)
            e.append(QStringLiteral("Doc/Item/Field%1").arg(i));
        return NameLists(e, {}, {});
    }();
    return lists;
}

namespace {

QByteArray flatBytes(int entries)
{
    QByteArray bytes = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Doc>\n";
    for (int i = 1; i < entries; ++i)
        bytes += "  <Item>value " + QByteArray::number(i) + "</Item>\n";
    bytes += "</Doc>\n";
    return bytes;
}

QByteArray nestedBytes()
{
    // Each group is 1 + 8 * 3 = 25 entries.
    QByteArray bytes = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Doc>\n";
    int item = 0;
    for (int group = 0; group < (kNestedEntries - 1) / 25; ++group) {
        bytes += "  <Group>\n";
        for (int i = 0; i < 8; ++i, ++item) {
            bytes += "    <Item id=\"i" + QByteArray::number(item) + "\" state=\"" + (item % 3 ? "open" : "done") +
                     "\">value " + QByteArray::number(item) + "</Item>\n";
        }
        bytes += "  </Group>\n";
    }
    bytes += "</Doc>\n";
    return bytes;
}

} // namespace

GeneratedDocument::GeneratedDocument(int entries) : GeneratedDocument(flatBytes(entries)) {}

GeneratedDocument::GeneratedDocument(QByteArray content) : bytes(std::move(content))
{
    path = dir.filePath(QStringLiteral("doc.xml"));
    reset();
}

void GeneratedDocument::reset() const
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

const GeneratedDocument &largeDocument()
{
    static const GeneratedDocument doc(32767);
    return doc;
}

const GeneratedDocument &schemaDocument()
{
    static const GeneratedDocument doc(flatBytes(32766).replace(
        "<Doc>", "<Doc xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xsi:noNamespaceSchemaLocation=\"doc.xsd\">"));
    static const bool schemaWritten = [] {
        QFile f(doc.dir.filePath(QStringLiteral("doc.xsd")));
        const QByteArray text = "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">\n"
                                "<xs:element name=\"Doc\"><xs:complexType><xs:sequence>\n"
                                "<xs:element name=\"Item\" minOccurs=\"0\" maxOccurs=\"unbounded\"><xs:simpleType>"
                                "<xs:restriction base=\"xs:string\"><xs:maxLength value=\"40\"/></xs:restriction>"
                                "</xs:simpleType></xs:element>\n"
                                "</xs:sequence></xs:complexType></xs:element>\n</xs:schema>\n";
        if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size())
            qFatal("cannot write the benchmark schema");
        return true;
    }();
    (void)schemaWritten;
    return doc;
}

const GeneratedDocument &nestedDocument()
{
    static const GeneratedDocument doc(nestedBytes());
    return doc;
}

} // namespace tarnwell::bench
