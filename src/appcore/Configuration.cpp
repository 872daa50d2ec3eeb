#include "Configuration.h"

#include "Error.h"

#include <QCoreApplication>
#include <QFile>

namespace tarnwell {

QString ConfigurationFilePath()
{
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + kConfigurationFileName.toString();
}

namespace {

// The text cut into lines at CR LF, LF or a lone CR. A line end at the very
// end of the text does not start another line.
QList<QStringView> splitLines(QStringView text)
{
    QList<QStringView> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\n' && c != u'\r')
            continue;
        lines.append(text.mid(start, i - start));
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.append(text.mid(start));
    return lines;
}

bool isBlank(QStringView path)
{
    for (QChar c : path) {
        if (c != u' ')
            return false;
    }
    return true;
}

} // namespace

NameLists ParseConfiguration(const QByteArray &bytes)
{
    QString text = QString::fromUtf8(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);

    QStringList lists[3]; // E, S, D
    static constexpr char16_t kFlags[3] = {u'E', u'S', u'D'};
    for (QStringView line : splitLines(text)) {
        const qsizetype comma = line.indexOf(u',');
        if (comma < 0)
            break;
        const QStringView flags = line.left(comma);
        const qsizetype next = line.indexOf(u',', comma + 1);
        const QStringView path = line.mid(comma + 1, next < 0 ? -1 : next - comma - 1);
        if (isBlank(path))
            continue;
        bool full = false;
        for (int i = 0; i < 3 && !full; ++i) {
            if (!flags.contains(QChar(kFlags[i])))
                continue;
            full = lists[i].size() >= kMaxCount;
            if (!full)
                lists[i].append(path.toString());
        }
        if (full)
            break;
    }
    return NameLists(std::move(lists[0]), std::move(lists[1]), std::move(lists[2]));
}

NameLists ReadConfiguration(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return {};
    return ParseConfiguration(bytes);
}

} // namespace tarnwell
