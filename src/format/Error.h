#pragma once

#include <QString>
#include <QByteArray>
#include <exception>

namespace tarnwell {

// The one failure type of the program. Every failure carries a description
// that is shown to the user as it stands, so it is written as a sentence.
class Error : public std::exception
{
public:
    enum class Kind {
        General,         // any failure without a more specific kind
        TypeMismatch,    // a text that should be a number is not one
        Overflow,        // a 16-bit counter or index would pass 32,767
        InvalidArgument, // an argument that cannot be used at all
        Provider,        // a failure reported by the engine or its provider
    };

    explicit Error(QString description, Kind kind = Kind::General);

    // The description, for a message box.
    const QString &description() const noexcept { return m_description; }
    Kind kind() const noexcept { return m_kind; }

    // The description in UTF-8.
    const char *what() const noexcept override { return m_utf8.constData(); }

    // A copy of this failure whose description starts with context.
    Error withContext(const QString &context) const;

private:
    QString m_description;
    Kind m_kind;
    QByteArray m_utf8;
};

// Counters and positions are 16-bit signed values; this is their limit.
inline constexpr int kMaxCount = 32767;

// Throws an Overflow failure when count passes kMaxCount; what names the
// thing being counted ("entries", "nodes", ...).
void checkCount(qsizetype count, const QString &what);

// Shortens text for quoting in a description (long values would make a
// message box unreadable).
QString quoteForMessage(const QString &text, int maxChars = 80);

} // namespace tarnwell
