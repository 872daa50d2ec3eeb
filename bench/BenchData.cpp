#include "BenchData.h"

#include "PathSyntax.h"

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

} // namespace tarnwell::bench
