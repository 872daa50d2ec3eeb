#include "XmlText.h"

#include "Error.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <algorithm>
#include <cerrno>
#include <iconv.h>

namespace tarnwell::xml {

namespace {

bool isMark(unsigned char c)
{
    return c < 0x40;
}

// Encodings whose multi-byte characters may hold bytes below 0x40 after
// their first byte, and so must be walked character by character.
enum class LowTrails { None, Gb18030, Johab };

LowTrails lowTrailsOf(const QString &encoding);

// How many bytes the character at bytes[i] takes, in such an encoding.
qsizetype widthAt(LowTrails kind, const QByteArray &bytes, qsizetype i)
{
    const auto at = [&](qsizetype k) { return k < bytes.size() ? static_cast<unsigned char>(bytes[k]) : 0u; };
    const unsigned b = at(i);
    switch (kind) {
    case LowTrails::Gb18030:
        // A lead byte, then a digit for four bytes, else a second byte.
        if (b >= 0x81 && b <= 0xFE)
            return at(i + 1) >= 0x30 && at(i + 1) <= 0x39 ? 4 : 2;
        return 1;
    case LowTrails::Johab:
        return (b >= 0x84 && b <= 0xD3) || (b >= 0xD8 && b <= 0xF9) ? 2 : 1;
    case LowTrails::None:
        break;
    }
    return 1;
}

bool sameName(const QString &a, const char *b)
{
    return a.compare(QLatin1String(b), Qt::CaseInsensitive) == 0;
}

// iconv with RAII.
class Converter
{
public:
    Converter(const QString &to, const QString &from)
        : m_cd(iconv_open(to.toLatin1().constData(), from.toLatin1().constData()))
    {
    }
    ~Converter()
    {
        if (ok())
            iconv_close(m_cd);
    }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;
    bool ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // Converts all of in; returns false on a sequence that cannot be
    // converted, with *consumed telling how far it got.
    bool convert(const char *in, size_t size, QByteArray &out, size_t *consumed = nullptr)
    {
        char *inPtr = const_cast<char *>(in);
        size_t inLeft = size;
        char buffer[4096];
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        while (inLeft > 0) {
            char *outPtr = buffer;
            size_t outLeft = sizeof buffer;
            const size_t r = iconv(m_cd, &inPtr, &inLeft, &outPtr, &outLeft);
            out.append(buffer, static_cast<qsizetype>(outPtr - buffer));
            if (r == static_cast<size_t>(-1) && errno != E2BIG) {
                if (consumed)
                    *consumed = size - inLeft;
                return false;
            }
        }
        // Flush any shift state.
        char *outPtr = buffer;
        size_t outLeft = sizeof buffer;
        iconv(m_cd, nullptr, nullptr, &outPtr, &outLeft);
        out.append(buffer, static_cast<qsizetype>(outPtr - buffer));
        if (consumed)
            *consumed = size;
        return true;
    }

private:
    iconv_t m_cd;
};

Error encodingError(const QString &fileName, const QString &what)
{
    return Error(QStringLiteral("The file %1 cannot be handled: %2").arg(quoteForMessage(fileName, 200), what),
                 Error::Kind::Provider);
}

} // namespace

EncodedText EncodedText::decode(const QByteArray &bytes, const QString &encoding, const QString &fileName)
{
    EncodedText t;
    t.m_original = bytes;
    const bool utf16Bom = bytes.startsWith("\xff\xfe") || bytes.startsWith("\xfe\xff");
    if (bytes.startsWith("\xef\xbb\xbf")) {
        t.m_bom = bytes.left(3);
    } else if (utf16Bom) {
        t.m_bom = bytes.left(2);
    }

    if (utf16Bom || sameName(encoding, "UTF-16") || sameName(encoding, "UTF-16LE") || sameName(encoding, "UTF-16BE")) {
        // Without a byte order mark, "UTF-16" is in the order its first
        // character ('<') is written in.
        const bool bigEndian = bytes.startsWith("\xfe\xff") ||
                               (!utf16Bom && (sameName(encoding, "UTF-16BE") ||
                                              (sameName(encoding, "UTF-16") && bytes.startsWith(QByteArray("\0<", 2)))));
        t.m_kind = bigEndian ? Kind::Utf16BE : Kind::Utf16LE;
        t.m_encoding = bigEndian ? QStringLiteral("UTF-16BE") : QStringLiteral("UTF-16LE");
        const qsizetype start = t.m_bom.size();
        const qsizetype units = (bytes.size() - start) / 2;
        QString text(units, Qt::Uninitialized);
        for (qsizetype i = 0; i < units; ++i) {
            const auto b0 = static_cast<unsigned char>(bytes[start + 2 * i]);
            const auto b1 = static_cast<unsigned char>(bytes[start + 2 * i + 1]);
            text[i] = QChar(bigEndian ? char16_t(b0 << 8 | b1) : char16_t(b1 << 8 | b0));
        }
        // Map marks while converting to UTF-8, one code point at a time.
        t.m_utf8.reserve(units);
        for (qsizetype i = 0; i < units; ++i) {
            const char16_t u = text[i].unicode();
            if (u < 0x40) {
                t.m_utf8Marks.push_back(t.m_utf8.size());
                t.m_originalMarks.push_back(start + 2 * i);
                t.m_utf8.append(static_cast<char>(u));
                continue;
            }
            const qsizetype len = QChar::isHighSurrogate(u) && i + 1 < units ? 2 : 1;
            t.m_utf8.append(QStringView(text).mid(i, len).toUtf8());
            i += len - 1;
        }
        return t;
    }

    if (encoding.isEmpty() || sameName(encoding, "UTF-8") || sameName(encoding, "UTF8")) {
        t.m_kind = Kind::Utf8;
        t.m_encoding = QStringLiteral("UTF-8");
        t.m_utf8 = bytes.mid(t.m_bom.size());
        return t;
    }

    // Stateful and non-ASCII-based encodings would break the mark rule.
    if (encoding.contains(QLatin1String("2022")) || encoding.contains(QLatin1String("UTF-7"), Qt::CaseInsensitive) ||
        encoding.contains(QLatin1String("UCS"), Qt::CaseInsensitive) ||
        encoding.contains(QLatin1String("32"), Qt::CaseInsensitive)) {
        throw encodingError(fileName, QStringLiteral("its encoding %1 is not supported.").arg(quoteForMessage(encoding)));
    }
    Converter toUtf8(QStringLiteral("UTF-8"), encoding);
    Converter back(encoding, QStringLiteral("UTF-8"));
    if (!toUtf8.ok() || !back.ok())
        throw encodingError(fileName, QStringLiteral("its encoding %1 is not known.").arg(quoteForMessage(encoding)));
    {
        // Every character below 0x40 must stand for itself.
        QByteArray ascii;
        for (int c = 0x09; c < 0x40; ++c)
            ascii.append(static_cast<char>(c));
        QByteArray converted;
        if (!toUtf8.convert(ascii.constData(), static_cast<size_t>(ascii.size()), converted) || converted != ascii) {
            throw encodingError(fileName,
                                QStringLiteral("its encoding %1 is not supported.").arg(quoteForMessage(encoding)));
        }
    }
    t.m_kind = Kind::Iconv;
    t.m_encoding = encoding;
    t.m_utf8.reserve(bytes.size() + bytes.size() / 2);
    const qsizetype n = bytes.size();
    qsizetype i = t.m_bom.size();
    // A byte below 0x40 is markup where it is a character of its own, not
    // the second or a later byte of a character (as it may be in GB18030
    // and JOHAB).
    const LowTrails lowTrails = lowTrailsOf(encoding);
    const auto markAt = [&](qsizetype k) {
        return isMark(static_cast<unsigned char>(bytes[k])) && widthAt(lowTrails, bytes, k) == 1;
    };
    while (i < n) {
        if (markAt(i)) {
            t.m_utf8Marks.push_back(t.m_utf8.size());
            t.m_originalMarks.push_back(i);
            t.m_utf8.append(bytes[i]);
            ++i;
            continue;
        }
        qsizetype j = i;
        while (j < n && !markAt(j))
            j += widthAt(lowTrails, bytes, j);
        j = std::min(j, n);
        if (!toUtf8.convert(bytes.constData() + i, static_cast<size_t>(j - i), t.m_utf8)) {
            throw encodingError(fileName, QStringLiteral("it holds bytes that are not valid %1.").arg(encoding));
        }
        i = j;
    }
    return t;
}

namespace {

LowTrails lowTrailsOf(const QString &encoding)
{
    QString name = encoding.toUpper();
    name.remove(u'-').remove(u'_');
    if (name == u"GB18030")
        return LowTrails::Gb18030;
    if (name == u"JOHAB" || name == u"CP1361")
        return LowTrails::Johab;
    return LowTrails::None;
}

} // namespace

qsizetype EncodedText::toOriginal(qsizetype utf8Offset) const
{
    if (m_kind == Kind::Utf8)
        return utf8Offset + m_bom.size();
    if (utf8Offset >= m_utf8.size())
        return utf8Offset == m_utf8.size() ? m_original.size() : -1;
    if (utf8Offset == 0)
        return m_bom.size();
    const auto it = std::lower_bound(m_utf8Marks.begin(), m_utf8Marks.end(), utf8Offset);
    const auto index = it - m_utf8Marks.begin();
    if (it != m_utf8Marks.end() && *it == utf8Offset)
        return m_originalMarks[static_cast<size_t>(index)];
    if (index > 0 && m_utf8Marks[static_cast<size_t>(index - 1)] == utf8Offset - 1) {
        const qsizetype width = m_kind == Kind::Iconv ? 1 : 2;
        return m_originalMarks[static_cast<size_t>(index - 1)] + width;
    }
    return -1;
}

QByteArray EncodedText::encode(const QByteArray &utf8Text, bool charRefs, const QString &fileName) const
{
    switch (m_kind) {
    case Kind::Utf8:
        return utf8Text;
    case Kind::Utf16LE:
    case Kind::Utf16BE: {
        const QString text = fromUtf8Exactly(utf8Text);
        QByteArray out;
        out.reserve(text.size() * 2);
        for (QChar c : text) {
            const char16_t u = c.unicode();
            const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xff);
            if (m_kind == Kind::Utf16BE)
                out.append(hi).append(lo);
            else
                out.append(lo).append(hi);
        }
        return out;
    }
    case Kind::Iconv:
        break;
    }
    Converter conv(m_encoding, QStringLiteral("UTF-8"));
    QByteArray out;
    const char *data = utf8Text.constData();
    size_t left = static_cast<size_t>(utf8Text.size());
    while (left > 0) {
        size_t consumed = 0;
        if (conv.convert(data, left, out, &consumed))
            break;
        data += consumed;
        left -= consumed;
        // One code point the encoding cannot hold.
        auto lead = static_cast<unsigned char>(*data);
        size_t len = lead < 0x80 ? 1 : lead < 0xe0 ? 2 : lead < 0xf0 ? 3 : 4;
        len = std::min(len, left);
        const QString ch = fromUtf8Exactly(QByteArrayView(data, static_cast<qsizetype>(len)));
        if (!charRefs) {
            throw Error(QStringLiteral("The character %1 cannot be written in the encoding %2 of %3.")
                            .arg(quoteForMessage(ch), m_encoding, quoteForMessage(fileName, 200)),
                        Error::Kind::Provider);
        }
        const uint cp = ch.size() ? ch.toUcs4().value(0) : 0xfffd;
        out.append("&#x" + QByteArray::number(cp, 16).toUpper() + ';');
        data += len;
        left -= len;
    }
    // Some characters are written as bytes that read back as others
    // (Shift_JIS writes "\" and "~" as 0x5C and 0x7E, which read as "¥" and
    // "‾"). Where the text does not read back as it was, each character that
    // does not is written as a character reference instead.
    Converter back(QStringLiteral("UTF-8"), m_encoding);
    QByteArray readBack;
    if (!back.ok() || (back.convert(out.constData(), static_cast<size_t>(out.size()), readBack) && readBack == utf8Text))
        return out;
    QByteArray exact;
    const QString text = fromUtf8Exactly(utf8Text);
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype len = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const char32_t code = len == 2 ? QChar::surrogateToUcs4(text[i], text[i + 1]) : char32_t(text[i].unicode());
        const QByteArray one = text.mid(i, len).toUtf8();
        i += len;
        QByteArray encoded, decoded;
        if (conv.convert(one.constData(), static_cast<size_t>(one.size()), encoded) &&
            back.convert(encoded.constData(), static_cast<size_t>(encoded.size()), decoded) && decoded == one) {
            exact += encoded;
            continue;
        }
        if (!charRefs) {
            throw Error(QStringLiteral("The character %1 cannot be written in the encoding %2 of %3.")
                            .arg(quoteForMessage(QString::fromUcs4(&code, 1)), m_encoding, quoteForMessage(fileName, 200)),
                        Error::Kind::Provider);
        }
        exact += "&#x" + QByteArray::number(code, 16).toUpper() + ';';
    }
    return exact;
}

QString fromUtf8Exactly(QByteArrayView utf8)
{
    // QString::fromUtf8 drops one leading U+FEFF; every one of them is kept
    // here, however many there are.
    qsizetype marks = 0;
    while (utf8.sliced(3 * marks).startsWith("\xef\xbb\xbf"))
        ++marks;
    if (marks == 0)
        return QString::fromUtf8(utf8);
    return QString(marks, QChar(0xFEFF)) + QString::fromUtf8(utf8.sliced(3 * marks));
}

QString normalizeLineEnds(const QString &text)
{
    if (!text.contains(u'\r'))
        return text;
    QString out = text;
    out.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    out.replace(u'\r', u'\n');
    return out;
}

QByteArray lineEndOf(const QByteArray &text)
{
    const qsizetype cr = text.indexOf('\r');
    const qsizetype lf = text.indexOf('\n');
    if (cr < 0)
        return "\n";
    if (lf == cr + 1)
        return "\r\n";
    if (lf >= 0 && lf < cr)
        return "\n";
    return "\r";
}

QString declaredEncoding(QByteArrayView text)
{
    static const QRegularExpression decl(
        QStringLiteral(R"(^\s*<\?xml\s[^>]*?encoding\s*=\s*["']([A-Za-z][A-Za-z0-9._\-]*)["'])"));
    const QString head = QString::fromLatin1(text.first(std::min<qsizetype>(text.size(), 512)));
    const QRegularExpressionMatch m = decl.match(head);
    return m.hasMatch() ? m.captured(1) : QString();
}

} // namespace tarnwell::xml
