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

GeneratedDocument::GeneratedDocument(int entries)
{
    bytes = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Doc>\n";
    for (int i = 1; i < entries; ++i)
        bytes += "  <Item>value " + QByteArray::number(i) + "</Item>\n";
    bytes += "</Doc>\n";
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

} // namespace tarnwell::bench
