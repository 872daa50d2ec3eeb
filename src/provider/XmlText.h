#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

// A document's text as UTF-8, with the way back to its original bytes.
//
// The store patches the original bytes: unchanged parts are copied as they
// are, whatever the encoding. Patch points always sit at or right after a
// markup character below 0x40 ('<', '>', quotes, '/', '=', white space, ...).
// In every encoding accepted here such a byte always stands for itself, so
// the offsets of those characters are recorded while decoding and map the
// UTF-8 text back to the original bytes.
namespace tarnwell::xml {

class EncodedText
{
public:
    // Decodes bytes written in encoding (the declared name; empty means
    // UTF-8, or UTF-16 when the bytes start with its byte order mark).
    // Throws an Error naming fileName when the encoding cannot be handled.
    static EncodedText decode(const QByteArray &bytes, const QString &encoding, const QString &fileName);

    // An encoder for encoding, holding no text. Throws like decode.
    static EncodedText forEncoding(const QString &encoding, const QString &fileName)
    {
        return decode(QByteArray(), encoding, fileName);
    }
    // Whether this is an encoding other than UTF-8 and UTF-16, which may not
    // hold every character.
    bool isLegacy() const { return m_kind == Kind::Iconv; }
    // Whether this is UTF-16 (either byte order).
    bool isUtf16() const { return m_kind == Kind::Utf16LE || m_kind == Kind::Utf16BE; }

    const QByteArray &utf8() const { return m_utf8; }
    const QByteArray &original() const { return m_original; }
    // The byte order mark the file starts with (empty if none).
    const QByteArray &bom() const { return m_bom; }
    const QString &encoding() const { return m_encoding; }

    // The original byte offset of a UTF-8 offset that sits at, or right
    // after, a markup character (or at either end). -1 for any other offset.
    qsizetype toOriginal(qsizetype utf8Offset) const;

    // text (UTF-8) in this document's encoding. Characters the encoding
    // cannot hold become character references when charRefs is true;
    // otherwise they fail the call with a description naming fileName.
    QByteArray encode(const QByteArray &utf8Text, bool charRefs, const QString &fileName) const;

private:
    enum class Kind { Utf8, Utf16LE, Utf16BE, Iconv };

    Kind m_kind = Kind::Utf8;
    QString m_encoding;
    QByteArray m_original;
    QByteArray m_bom;
    QByteArray m_utf8;
    // For encodings other than UTF-8: UTF-8 offset and original offset of
    // every character below 0x40, in rising order.
    std::vector<qsizetype> m_utf8Marks;
    std::vector<qsizetype> m_originalMarks;
};

// UTF-8 bytes as a string, keeping the U+FEFF at the start (QString::fromUtf8
// drops one as a byte order mark, but inside a document each is a character).
QString fromUtf8Exactly(QByteArrayView utf8);

// The text with CR LF and lone CR turned into LF.
QString normalizeLineEnds(const QString &text);

// "\r\n", "\r" or "\n": the line end the bytes use (the first one found).
QByteArray lineEndOf(const QByteArray &text);

// The encoding named in the XML declaration at the start of text; empty when
// there is none.
QString declaredEncoding(QByteArrayView text);

} // namespace tarnwell::xml
