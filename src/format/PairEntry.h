#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QStringView>
#include <optional>

// One entry of the pair list: "DAT", namespace, indexed path and value,
// joined by commas. Nothing is quoted or escaped. An entry is cut at its
// first three commas only: everything after the third comma is the value,
// commas included, so a value with a comma survives a round trip.
namespace tarnwell {

inline constexpr QStringView kRecordMarker = u"DAT";

struct PairEntry
{
    QString ns;
    QString path;
    QString value;
};

// The same fields as views on the entry, for readers that copy only what
// they keep.
struct PairEntryView
{
    QStringView ns;
    QStringView path;
    QStringView value;
};

// The entry's fields, or nothing when it has fewer than four fields or its
// marker is not exactly "DAT" (such entries are skipped, not failures).
std::optional<PairEntry> ParsePairEntry(QStringView entry);
std::optional<PairEntryView> SplitPairEntry(QStringView entry);

// A pair list held in a value: a string list, or a list of values that are
// all strings. Nothing when the value holds anything else.
std::optional<QStringList> PairListIn(const QVariant &value);

// "DAT," ns "," path "," value.
QString FormatPairEntry(QStringView ns, QStringView path, QStringView value);

} // namespace tarnwell
