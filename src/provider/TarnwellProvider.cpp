#include "TarnwellProvider.h"

#include "Error.h"
#include "PairEntry.h"
#include "SafeWrite.h"
#include "XmlDocument.h"
#include "XmlLexer.h"
#include "XmlStore.h"
#include "XmlText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <algorithm>
#include <cstring>
#include <optional>
#include <sys/stat.h>

namespace tarnwell {

namespace {

using namespace tarnwell::xml;

QString quoted(const QString &path)
{
    return quoteForMessage(path, 200);
}

QStringList stringListFrom(const QVariant &value, const QString &path)
{
    if (std::optional<QStringList> list = PairListIn(value))
        return *std::move(list);
    throw Error(QStringLiteral("%1 was not stored: the data to store is not a list of text entries.").arg(quoted(path)),
                Error::Kind::Provider);
}

// A draft parsed back and checked against its target, as a store checks
// what it writes; throws the store's refusal.
DomDocument readBackDraft(const StoreDraft &draft)
{
    return readBack(draft.bytes, *draft.target, draft.path, draft.written.get(), draft.written ? &draft.entityRefs : nullptr);
}

class TarnwellFile : public QuenFile
{
public:
    TarnwellFile(QString path, bool isNew) : m_path(std::move(path)), m_new(isNew)
    {
        if (!m_new)
            load();
    }

    QVariant RunCommand(const QString &name, const QVariant &param) override
    {
        if (name == QLatin1String("Revision"))
            return QVariant::fromValue<qulonglong>(m_revision);
        if (name == QLatin1String("GetData")) {
            if (m_new)
                return QStringList();
            refreshFromDisk();
            return pairListOf(m_dom);
        }
        if (name == QLatin1String("EntityNodes")) {
            // What GetData lists that the text of an entity gives.
            QStringList nodes;
            if (!m_new && m_dom.fileElements < m_dom.elements.size())
                pairListOf(m_dom, &nodes);
            return nodes;
        }
        if (name == QLatin1String("PutData")) {
            putData(stringListFrom(param, m_path), true);
            return QVariant();
        }
        if (name == QLatin1String("PutDataPreview"))
            return putData(stringListFrom(param, m_path), false);
        if (name == QLatin1String("PutDataDraft"))
            return QVariant::fromValue(draft(stringListFrom(param, m_path)));
        throw Error(QStringLiteral("The provider has no command %1.").arg(quoteForMessage(name)), Error::Kind::Provider);
    }

    QVariant Content() const override
    {
        if (m_new)
            return QString();
        // Reading the text may read the file again; the object itself is
        // never const, only this view of it.
        const_cast<TarnwellFile *>(this)->refreshFromDisk();
        return normalizeLineEnds(fromUtf8Exactly(text().utf8()));
    }

    void SetContent(const QVariant &value) override
    {
        if (value.metaType().id() != QMetaType::QString)
            throw Error(QStringLiteral("%1 was not stored: the text is not a string.").arg(quoted(m_path)), Error::Kind::Provider);
        const QString lines = normalizeLineEnds(value.toString());
        const QByteArray utf8 = lines.toUtf8();

        // The encoding the text declares; without a declaration, UTF-16
        // files stay UTF-16 and everything else is UTF-8. "UTF-16" names no
        // byte order: the file's own is kept.
        QString encoding = declaredEncoding(utf8);
        if ((encoding.isEmpty() || encoding.compare(QLatin1String("UTF-16"), Qt::CaseInsensitive) == 0) && !m_new &&
            text().isUtf16())
            encoding = text().encoding();
        const EncodedText encoder = EncodedText::forEncoding(encoding, m_path);

        QByteArray lineEnd = m_new ? QByteArray("\n") : lineEndOf(text().utf8());
        QByteArray withLineEnds = utf8;
        if (lineEnd != "\n")
            withLineEnds.replace('\n', lineEnd);

        QByteArray bom;
        const QByteArray oldBom = m_new ? QByteArray() : text().bom();
        if (encoder.isUtf16())
            bom = encoder.encoding() == QLatin1String("UTF-16BE") ? QByteArray("\xfe\xff") : QByteArray("\xff\xfe");
        else if (encoder.encoding() == QLatin1String("UTF-8") && oldBom == "\xef\xbb\xbf")
            bom = oldBom;
        // A UTF-16 file keeps its byte order mark, or its lack of one.
        if (encoder.isUtf16() && !m_new && text().isUtf16() && encoder.encoding() == text().encoding())
            bom = oldBom;

        const QByteArray bytes = bom + encoder.encode(withLineEnds, false, m_path);
        DomDocument dom;
        try {
            dom = parseDocument(bytes, m_path);
        } catch (const Error &e) {
            // The fault is in the text given, not in the file, which stays
            // as it was.
            QString why = e.description();
            const QString aboutFile = quoted(m_path) + u' ';
            if (why.startsWith(aboutFile))
                why = QStringLiteral("The text to write ") + why.mid(aboutFile.size());
            throw Error(QStringLiteral("%1 %2 was not changed.").arg(why, quoted(m_path)), e.kind());
        }
        if (!m_new && bytes == m_bytes) {
            removeStoreLeftovers(m_path);
            return;
        }
        write(bytes);
        replaceDocument(bytes, std::move(dom));
    }

    QString Path() const override { return m_path; }

private:
    void load()
    {
        FileStamp stamp;
        QByteArray bytes = readFromDisk(&stamp);
        DomDocument dom = parseDocument(bytes, m_path);
        replaceDocument(std::move(bytes), std::move(dom));
        m_stamp = stamp;
    }

    // The file's bytes as they are now, and its stamp when they were read.
    QByteArray readFromDisk(FileStamp *stamp) const
    {
        QFile file(m_path);
        const QFileInfo info(m_path);
        if (!info.exists())
            throw Error(QStringLiteral("The file %1 does not exist.").arg(quoted(m_path)), Error::Kind::Provider);
        if (info.isDir())
            throw Error(QStringLiteral("%1 is a folder, not a file.").arg(quoted(m_path)), Error::Kind::Provider);
        // A pipe or a device would block the open or the read without end.
        if (!info.isFile())
            throw Error(QStringLiteral("%1 is not a regular file (a pipe, device or socket) and is not opened.")
                            .arg(quoted(m_path)),
                        Error::Kind::Provider);
        if (!file.open(QIODevice::ReadOnly))
            throw Error(QStringLiteral("The file %1 cannot be read: %2.").arg(quoted(m_path), file.errorString()),
                        Error::Kind::Provider);
        *stamp = FileStamp::ofDescriptor(file.handle());
        if (file.size() > TarnwellProvider::kMaxFileSize) {
            throw Error(QStringLiteral("The file %1 is larger than %2 MiB and is not opened.")
                            .arg(quoted(m_path))
                            .arg(TarnwellProvider::kMaxFileSize / (1024 * 1024)),
                        Error::Kind::Provider);
        }
        // The size the file has now, and one byte more to notice one that
        // grows meanwhile, whose rest is then read up to the limit (asking
        // for the limit at once would allocate all of it every time).
        const qint64 size = std::min<qint64>(file.size(), TarnwellProvider::kMaxFileSize);
        QByteArray bytes = file.read(size + 1);
        if (bytes.size() > size && file.error() == QFileDevice::NoError)
            bytes += file.read(TarnwellProvider::kMaxFileSize + 1 - bytes.size());
        if (file.error() != QFileDevice::NoError)
            throw Error(QStringLiteral("The file %1 cannot be read: %2.").arg(quoted(m_path), file.errorString()),
                        Error::Kind::Provider);
        if (bytes.size() > TarnwellProvider::kMaxFileSize)
            throw Error(QStringLiteral("The file %1 is too large and is not opened.").arg(quoted(m_path)), Error::Kind::Provider);
        return bytes;
    }

    // GetData and Content serve the file as it is now: one whose stamp
    // changed since it was read or stored is read and parsed again. One
    // that is gone or now refused throws, and everything stays as it was.
    void refreshFromDisk()
    {
        if (m_new || FileStamp::ofPath(m_path) == m_stamp)
            return;
        FileStamp stamp;
        QByteArray bytes;
        try {
            bytes = readFromDisk(&stamp);
        } catch (const Error &e) {
            throw Error(QStringLiteral("%1 changed on disk and cannot be read again: %2").arg(quoted(m_path), e.description()),
                        e.kind());
        }
        if (bytes == m_bytes) { // touched, not changed
            m_stamp = stamp;
            return;
        }
        DomDocument dom;
        try {
            dom = parseDocument(bytes, m_path);
        } catch (const Error &e) {
            throw Error(QStringLiteral("%1 changed on disk and is refused now: %2").arg(quoted(m_path), e.description()),
                        e.kind());
        }
        replaceDocument(std::move(bytes), std::move(dom));
        m_stamp = stamp;
    }

    void replaceDocument(QByteArray bytes, DomDocument dom)
    {
        m_bytes = std::move(bytes);
        m_dom = std::move(dom);
        m_text.reset();
        m_lex.reset();
        m_new = false;
        ++m_revision;
    }

    const EncodedText &text() const
    {
        if (!m_text)
            m_text = EncodedText::decode(m_bytes, m_dom.encoding, m_path);
        return *m_text;
    }

    const LexDocument &lex() const
    {
        if (!m_lex) {
            LexDocument lex;
            std::vector<size_t> childCounts;
            // Only the elements the file writes have markup of their own.
            childCounts.reserve(m_dom.fileElements);
            for (size_t i = 0; i < m_dom.fileElements; ++i)
                childCounts.push_back(m_dom.elements[i].children.size());
            bool ok = lexDocument(text().utf8(), lex, &childCounts) && lex.elements.size() == m_dom.fileElements;
            // Each name as UTF-8, converted once: the elements of one name
            // share its string.
            QHash<const QChar *, QByteArray> utf8Names;
            for (size_t i = 0; ok && i < lex.elements.size(); ++i) {
                const QString &name = m_dom.elements[i].name;
                auto known = utf8Names.find(name.constData());
                if (known == utf8Names.end())
                    known = utf8Names.insert(name.constData(), name.toUtf8());
                ok = lex.elements[i].name == *known;
            }
            if (!ok) {
                throw Error(QStringLiteral("%1 was not stored: its markup could not be located safely "
                                           "(entities that hold elements are not supported).")
                                .arg(quoted(m_path)),
                            Error::Kind::Provider);
            }
            m_lex = std::move(lex);
        }
        return *m_lex;
    }

    // Stores pairs, or (store false) only makes and checks the text a store
    // would write and returns it: the file's bytes when nothing changes.
    QByteArray putData(const QStringList &pairs, bool store)
    {
        StoreDraft made = draft(pairs);
        DomDocument dom = readBackDraft(made);
        if (!store)
            return std::move(made.bytes);
        if (m_new || made.bytes != m_bytes) {
            write(made.bytes);
            replaceDocument(std::move(made.bytes), std::move(dom));
        } else {
            removeStoreLeftovers(m_path);
        }
        return QByteArray();
    }

    // The bytes putData would check and write, with what they must read
    // back as.
    StoreDraft draft(const QStringList &pairs)
    {
        checkCount(pairs.size(), QStringLiteral("entries in the pair list"));
        auto target = std::make_shared<Target>(buildTarget(pairs, m_new ? QString() : m_dom.elements[0].name, m_path));
        std::optional<Target> written;
        StoreDraft out;
        out.bytes = m_new ? storeDraft(EncodedText(), nullptr, DomDocument(), *target, m_path)
                          : storeDraft(text(), &lex(), m_dom, *target, m_path, &written);
        out.path = m_path;
        out.target = std::move(target);
        if (written) {
            out.written = std::make_shared<Target>(*std::move(written));
            out.entityRefs = m_dom.markupEntityRefs;
        }
        return out;
    }

    void write(const QByteArray &bytes)
    {
        const QString folder = QFileInfo(m_path).absolutePath();
        if (!QFileInfo(folder).isDir()) {
            throw Error(QStringLiteral("%1 was not stored: the folder %2 no longer exists.")
                            .arg(quoted(m_path), quoted(QDir::toNativeSeparators(folder))),
                        Error::Kind::Provider);
        }
        const WriteResult result = m_new ? createFileSafely(m_path, bytes) : replaceFileSafely(m_path, bytes, m_bytes, &m_stamp);
        switch (result.status) {
        case WriteResult::Status::Written:
            m_stamp = result.stamp;
            return;
        case WriteResult::Status::ChangedOnDisk:
            if (m_new) {
                throw Error(QStringLiteral("%1 was not stored: %2").arg(quoted(m_path), result.why),
                            Error::Kind::Provider);
            }
            throw Error(QStringLiteral("%1 was not stored: it was changed or removed on disk since it was read (%2), "
                                       "and storing would undo that change. Read it again first (GetData for "
                                       "the tree, Read for the text) to see the other change.")
                            .arg(quoted(m_path), result.why.chopped(1)),
                        Error::Kind::Provider);
        case WriteResult::Status::Failed:
            break;
        }
        throw Error(QStringLiteral("%1 was not stored: %2").arg(quoted(m_path), result.why), Error::Kind::Provider);
    }

    QString m_path;
    bool m_new;
    quint64 m_revision = 0; // counts the texts the file held for us: read, reread, stored
    FileStamp m_stamp;      // of the file when it was last read or stored
    QByteArray m_bytes;
    DomDocument m_dom;
    mutable std::optional<EncodedText> m_text;
    mutable std::optional<LexDocument> m_lex;
};

} // namespace

QString TarnwellProvider::DraftRefusal(const StoreDraft &draft)
{
    if (!draft.target)
        return QStringLiteral("%1 was not stored: there is no draft to read back.").arg(quoted(draft.path));
    try {
        readBackDraft(draft);
    } catch (const Error &e) {
        return e.description();
    }
    return QString();
}

std::shared_ptr<QuenFile> TarnwellProvider::BindFile(const QString &path, const QString &option)
{
    if (path.trimmed().isEmpty())
        throw Error(QStringLiteral("No file name was given."), Error::Kind::Provider);
    // A name read from the file system whose bytes are not UTF-8 arrives
    // with U+FFFD in their place, and would name another file (one that
    // holds that character as UTF-8): such names are not opened.
    if (path.contains(QChar::ReplacementCharacter)) {
        throw Error(QStringLiteral("%1 holds a character that stands for bytes that are not UTF-8 (U+FFFD), so "
                                   "another file could be opened in its place; it is not opened. Rename the file.")
                        .arg(quoted(path)),
                    Error::Kind::Provider);
    }
    if (option.isEmpty())
        return std::make_shared<TarnwellFile>(path, false);
    if (option == QLatin1String("@Create")) {
        // A new document never replaces a file, nor what a link names.
        struct stat st;
        if (::lstat(QFile::encodeName(path).constData(), &st) == 0) {
            throw Error(QStringLiteral("%1 exists already, and a new document is never stored over a file; open it "
                                       "instead, or choose another name.")
                            .arg(quoted(path)),
                        Error::Kind::Provider);
        }
        return std::make_shared<TarnwellFile>(path, true);
    }
    throw Error(QStringLiteral("The option %1 is not known to the provider.").arg(quoteForMessage(option)),
                Error::Kind::Provider);
}

} // namespace tarnwell
