#include "PairEntry.h"

namespace tarnwell {

std::optional<PairEntry> ParsePairEntry(QStringView entry)
{
    const std::optional<PairEntryView> fields = SplitPairEntry(entry);
    if (!fields)
        return std::nullopt;
    return PairEntry{fields->ns.toString(), fields->path.toString(), fields->value.toString()};
}

std::optional<PairEntryView> SplitPairEntry(QStringView entry)
{
    const qsizetype c1 = entry.indexOf(u',');
    if (c1 < 0 || entry.left(c1) != kRecordMarker)
        return std::nullopt;
    const qsizetype c2 = entry.indexOf(u',', c1 + 1);
    if (c2 < 0)
        return std::nullopt;
    const qsizetype c3 = entry.indexOf(u',', c2 + 1);
    if (c3 < 0)
        return std::nullopt;
    return PairEntryView{entry.mid(c1 + 1, c2 - c1 - 1), entry.mid(c2 + 1, c3 - c2 - 1), entry.mid(c3 + 1)};
}

std::optional<QStringList> PairListIn(const QVariant &value)
{
    if (value.metaType().id() == QMetaType::QStringList)
        return value.toStringList();
    if (value.metaType().id() != QMetaType::QVariantList)
        return std::nullopt;
    QStringList list;
    for (const QVariant &item : value.toList()) {
        if (item.metaType().id() != QMetaType::QString)
            return std::nullopt;
        list.append(item.toString());
    }
    return list;
}

QString FormatPairEntry(QStringView ns, QStringView path, QStringView value)
{
    QString out;
    out.reserve(kRecordMarker.size() + ns.size() + path.size() + value.size() + 3);
    out.append(kRecordMarker).append(u',').append(ns).append(u',').append(path).append(u',').append(value);
    return out;
}

} // namespace tarnwell
