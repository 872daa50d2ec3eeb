#include "Error.h"

#include <QLocale>

namespace tarnwell {

Error::Error(QString description, Kind kind)
    : m_description(std::move(description)), m_kind(kind), m_utf8(m_description.toUtf8())
{
}

Error Error::withContext(const QString &context) const
{
    return Error(context + m_description, m_kind);
}

void checkCount(qsizetype count, const QString &what)
{
    if (count > kMaxCount) {
        throw Error(QStringLiteral("Overflow: more than %1 %2 cannot be handled.")
                        .arg(QLocale::c().toString(kMaxCount), what),
                    Error::Kind::Overflow);
    }
}

QString quoteForMessage(const QString &text, int maxChars)
{
    QString shown = text.size() > maxChars ? text.left(maxChars) + QStringLiteral("…") : text;
    return QLatin1Char('"') + shown + QLatin1Char('"');
}

} // namespace tarnwell
