#include "PathSyntax.h"

#include "Error.h"

namespace tarnwell {

QString StripIndex(QStringView segment)
{
    const qsizetype bracket = segment.indexOf(u'[');
    return (bracket >= 0 ? segment.left(bracket) : segment).toString();
}

int SegmentIndex(QStringView segment)
{
    const qsizetype bracket = segment.indexOf(u'[');
    if (bracket < 0)
        return 0;
    const qsizetype digitCount = segment.size() - bracket - 2;
    if (digitCount < 0) {
        throw Error(QStringLiteral("The segment %1 ends in \"[\" and has no index.")
                        .arg(quoteForMessage(segment.toString())),
                    Error::Kind::InvalidArgument);
    }
    const QStringView digits = segment.mid(bracket + 1, digitCount);
    bool allDigits = !digits.isEmpty();
    for (QChar c : digits)
        allDigits = allDigits && c >= u'0' && c <= u'9';
    if (!allDigits) {
        throw Error(QStringLiteral("The index %1 in segment %2 is not a number.")
                        .arg(quoteForMessage(digits.toString()), quoteForMessage(segment.toString())),
                    Error::Kind::TypeMismatch);
    }
    int value = 0;
    for (QChar c : digits) {
        value = value * 10 + (c.unicode() - u'0');
        if (value > kMaxCount) {
            throw Error(QStringLiteral("Overflow: the index in segment %1 is above %2.")
                            .arg(quoteForMessage(segment.toString()), QString::number(kMaxCount)),
                        Error::Kind::Overflow);
        }
    }
    return value;
}

QString NamespaceForPath(QStringView path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    const QStringView last = slash >= 0 ? path.mid(slash + 1) : path;
    return last == kNoNamespaceSchemaLocation ? kXsiNamespace.toString() : QString();
}

QString IndexedSegment(const QString &name, int index)
{
    if (index <= 0)
        return name;
    QString segment;
    segment.reserve(IndexedSegmentSize(name, index));
    AppendIndexedSegment(segment, name, index);
    return segment;
}

void AppendIndexedSegment(QString &out, QStringView name, int index)
{
    out.append(name);
    if (index <= 0)
        return;
    char16_t digits[16];
    qsizetype first = 16;
    digits[--first] = u']';
    for (int n = index; n > 0; n /= 10)
        digits[--first] = static_cast<char16_t>(u'0' + n % 10);
    digits[--first] = u'[';
    out.append(QStringView(digits + first, 16 - first));
}

qsizetype IndexedSegmentSize(QStringView name, int index)
{
    qsizetype size = name.size();
    if (index > 0) {
        size += 2;
        for (int n = index; n > 0; n /= 10)
            ++size;
    }
    return size;
}

} // namespace tarnwell
