// tarnwell-pairs: the pair list and the raw text of an XML file, for scripts,
// through the same provider the editor uses.
#include "HeapSlack.h"
#include "ConfigFromDocuments.h"
#include "ConfigFromSchema.h"
#include "SchemaValidator.h"
#include "Error.h"
#include "LocalSources.h"
#include "PairEntry.h"
#include "PathSyntax.h"
#include "Quen.h"
#include "TarnwellProvider.h"
#include "UnifiedDiff.h"
#include "XmlDocument.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QStringDecoder>
#include <QStringList>
#include <algorithm>
#include <initializer_list>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

using namespace tarnwell;

namespace {

const char kHelp[] =
    "Usage:\n"
    "  tarnwell-pairs --help | --version\n"
    "  tarnwell-pairs get [-z] FILE            print FILE's pair list\n"
    "  tarnwell-pairs set [--diff] [--validate] FILE PATH=VALUE...\n"
    "  tarnwell-pairs set -z [--diff] [--validate] FILE\n"
    "                                          change the values at PATHs (as get\n"
    "                                          prints them) and nothing else; with\n"
    "                                          -z, NUL-terminated PATH=VALUE entries\n"
    "                                          are read from standard input\n"
    "  tarnwell-pairs put [-z] [--create] [--diff] [--validate] FILE [LIST]\n"
    "                                          store the pair list read from LIST\n"
    "                                          (or standard input) into FILE; the\n"
    "                                          list is the whole document: entries it\n"
    "                                          lacks are deleted (to change one value,\n"
    "                                          use set)\n"
    "  tarnwell-pairs read FILE                print FILE's raw XML text\n"
    "  tarnwell-pairs write [--create] FILE    replace FILE's text with standard input\n"
    "  tarnwell-pairs config FILE...           print a TarnwellEditor.cfg made from\n"
    "                                          example documents of one family\n"
    "  tarnwell-pairs config --schema FILE.xsd [ROOT] FILE.xml... [--depth N]\n"
    "                                          the same from an XML Schema and example\n"
    "                                          documents: every path they hold, and\n"
    "                                          what the schema allows below each, N\n"
    "                                          elements deep (2 unless given) with\n"
    "                                          their attributes; for large schemas\n"
    "  tarnwell-pairs config --schema FILE.xsd [ROOT] [--depth N]\n"
    "                                          print a TarnwellEditor.cfg made from an\n"
    "                                          XML Schema alone, starting at the global\n"
    "                                          element ROOT (needed when there are\n"
    "                                          several); --depth N lists paths at most\n"
    "                                          N elements deep\n"
    "      --prefix P                          write P: before the names in the\n"
    "                                          schema's target namespace\n"
    "      --prefix P=URI                      write P: before the names in namespace\n"
    "                                          URI (repeatable; the documents' own\n"
    "                                          prefixes come first)\n"
    "  tarnwell-pairs validate FILE [--schema FILE.xsd]\n"
    "                                          check FILE against its schema (the one\n"
    "                                          it names, or the one --schema names);\n"
    "                                          one problem a line:\n"
    "                                          FILE:LINE:COLUMN: PATH: MESSAGE\n"
    "                                          (PATH \"-\" when no element is known;\n"
    "                                          at most 1,000 problems, then a line\n"
    "                                          says that there were more)\n"
    "\n"
    "A pair list has one entry per line: DAT,namespace,path,value. Inside an\n"
    "entry a backslash, line feed and carriage return are written \\\\, \\n and \\r.\n"
    "With -z entries end in NUL bytes instead and nothing is escaped.\n"
    "--create binds FILE as a new document (written at the store).\n"
    "--validate checks what put or set would store against the document's schema\n"
    "first: with problems nothing is stored, they are printed as validate prints\n"
    "them (on standard error with --diff, whose diff goes to standard output) and\n"
    "the exit status is 1; when there is no schema to check against, or it cannot\n"
    "be read, nothing is stored and the exit status is 2.\n"
    "--diff writes nothing and prints what the store would change, in diff's\n"
    "unified form (apply it with patch). set refuses a PATH that FILE lacks (naming the\n"
    "nearest paths it has) and a PATH given twice, and then changes nothing.\n"
    "A schema is read from local files only, or from local copies that the XML\n"
    "catalogs (XML_CATALOG_FILES, else /etc/xml/catalog) map its URLs to; no\n"
    "external DTD is read. Where a recursive content model is cut, the path is\n"
    "named on standard error. A configuration holds at most 32,767 paths; config\n"
    "refuses to print more.\n"
    "\n"
    "Exit status 0 on success; otherwise the failure is described on standard error\n"
    "(a standard output that cannot be written, such as a full disk, is a failure).\n"
    "With --diff: 0 when nothing would change, 1 when something would, 2 on failure.\n"
    "validate exits 0 when FILE is valid, 1 when it has problems, and 2 when it\n"
    "could not be checked (the reason is on standard error).\n";

QByteArray escapeEntry(const QString &entry)
{
    QByteArray out;
    for (char c : entry.toUtf8()) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

// The entry a line holds. Only \\, \n and \r are escapes: any other
// backslash (a Windows path's "C:\temp") is refused, naming the entry, since
// reading it either way could store what the script did not mean.
QString unescapeEntry(const QByteArray &line, qsizetype entry)
{
    QByteArray out;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] != '\\') {
            out += line[i];
            continue;
        }
        const char next = i + 1 < line.size() ? line[i + 1] : '\0';
        if (next != '\\' && next != 'n' && next != 'r') {
            // The backslash and the whole character after it (the line is UTF-8).
            const QString rest = QString::fromUtf8(line.mid(i, 5));
            const QString escape = rest.left(rest.size() > 2 && rest[1].isHighSurrogate() ? 3 : 2);
            throw Error(QStringLiteral("Entry %1 of the pair list holds %2, which is not an escape (only \\\\, \\n "
                                       "and \\r are; write a backslash as \\\\, or use -z); nothing was changed.")
                            .arg(entry)
                            .arg(i + 1 < line.size() ? quoteForMessage(escape) : QStringLiteral("a backslash at its end")));
        }
        out += next == 'n' ? '\n' : next == 'r' ? '\r' : '\\';
        ++i;
    }
    return QString::fromUtf8(out);
}

QByteArray readAll(const QString &path)
{
    QFile file;
    const auto cannotRead = [&] {
        return Error(QStringLiteral("%1 cannot be read: %2.").arg(quoteForMessage(path.isEmpty() ? QStringLiteral("standard input") : path), file.errorString()));
    };
    const bool ok = path.isEmpty() ? file.open(stdin, QIODevice::ReadOnly) : (file.setFileName(path), file.open(QIODevice::ReadOnly));
    if (!ok)
        throw cannotRead();
    // A list cut short by a read error would delete what it lacks: refuse it.
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw cannotRead();
    return bytes;
}

// The exit status of a failure: 2 where 1 has a meaning of its own (the
// problems validate finds, the changes --diff shows), else 1.
int g_failureStatus = 1;

// Arguments that are not valid UTF-8 as given, decoded with replacement
// characters; a value among them would not be stored as typed.
QSet<QString> g_undecodableArguments;

Error outputFailure(int error)
{
    return Error(QStringLiteral("Standard output could not be written: %1.").arg(QString::fromLocal8Bit(std::strerror(error))));
}

// Writes to standard output, failing at once when it cannot be written (a
// reader that closed the pipe ends the program by SIGPIPE, quietly).
void writeOut(const QByteArray &bytes)
{
    if (std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout) != static_cast<size_t>(bytes.size()))
        throw outputFailure(errno);
}

// Flushes and closes standard output, so that what the buffer still holds is
// written before success is reported.
void finishOutput()
{
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        throw outputFailure(errno ? errno : EIO);
    if (std::fclose(stdout) != 0)
        throw outputFailure(errno);
}

// A file name given that is not valid UTF-8 was decoded with replacement
// characters and would name another file: it is refused instead.
void checkFileName(const QString &path)
{
    if (g_undecodableArguments.contains(path)) {
        throw Error(QStringLiteral("The file name %1 is not valid UTF-8 as given, so another file could be read in "
                                   "its place; it is not opened. Rename the file.")
                        .arg(quoteForMessage(path, 200)));
    }
}

// One line of output: a line feed or carriage return in a name or a message
// is written \n or \r (other control characters \xHH), so that no text of
// the document can forge a line.
QString oneLine(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c == u'\n')
            out += QLatin1String("\\n");
        else if (c == u'\r')
            out += QLatin1String("\\r");
        else if (c.unicode() < 0x20 && c != u'\t')
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

std::shared_ptr<QuenFile> bind(const QString &path, bool create)
{
    checkFileName(path);
    auto engine = CreateQuenEngine();
    auto controller = engine->WorkspaceList().at(0)->CreateController(QString(), kTarnwellProgId.toString(), QString(), QString());
    return controller->BindFile(path, create ? QStringLiteral("@Create") : QString());
}

// Reads example documents through the provider, naming the file that
// fails.
template<typename Take>
void readDocuments(const QStringList &files, Take take)
{
    for (const QString &file : files) {
        try {
            take(bind(file, false));
        } catch (const Error &e) {
            if (e.description().contains(quoteForMessage(file, 200)))
                throw;
            throw e.withContext(quoteForMessage(file, 200) + QStringLiteral(": "));
        }
    }
}

// Whether a positional argument of config --schema names a document rather
// than the root element.
bool looksLikeDocument(const QString &arg)
{
    return QFileInfo(arg).isFile() || arg.contains(u'/') || arg.endsWith(QLatin1String(".xml"), Qt::CaseInsensitive);
}

int runConfig(QStringList args)
{
    QString schema;
    SchemaConfigOptions options;
    bool haveDepth = false;
    QStringList positional;
    while (!args.isEmpty()) {
        const QString a = args.takeFirst();
        const bool valued = a == QLatin1String("--schema") || a == QLatin1String("--prefix") || a == QLatin1String("--depth");
        if (!valued) {
            if (a.startsWith(u'-') && a.size() > 1)
                throw Error(QStringLiteral("Unknown option %1; see --help.").arg(a));
            positional.append(a);
            continue;
        }
        if (args.isEmpty() || args.first().isEmpty())
            throw Error(QStringLiteral("%1 needs a value; see --help.").arg(a));
        const QString value = args.takeFirst();
        if (a == QLatin1String("--schema")) {
            if (!schema.isEmpty())
                throw Error(QStringLiteral("--schema is given twice; see --help."));
            schema = value;
        } else if (a == QLatin1String("--prefix")) {
            const qsizetype eq = value.indexOf(u'=');
            if (eq < 0 && std::any_of(options.prefixes.cbegin(), options.prefixes.cend(),
                                      [](const auto &p) { return p.second.isEmpty(); }))
                throw Error(QStringLiteral("--prefix P for the target namespace is given twice; see --help."));
            options.prefixes.append(eq < 0 ? std::pair{value, QString()} : std::pair{value.left(eq), value.mid(eq + 1)});
            if (eq >= 0 && options.prefixes.last().second.isEmpty())
                throw Error(QStringLiteral("--prefix %1 names no namespace after \"=\"; see --help.").arg(quoteForMessage(value)));
        } else {
            bool ok = false;
            options.depth = value.toInt(&ok);
            if (haveDepth)
                throw Error(QStringLiteral("--depth is given twice; see --help."));
            if (!ok || options.depth < 1)
                throw Error(QStringLiteral("--depth takes one whole number of at least 1, not %1; see --help.")
                                .arg(quoteForMessage(value)));
            haveDepth = true;
        }
    }
    if (schema.isEmpty()) {
        if (!options.prefixes.isEmpty())
            throw Error(QStringLiteral("--prefix goes with --schema; see --help."));
        if (haveDepth)
            throw Error(QStringLiteral("--depth goes with --schema; see --help."));
        if (positional.isEmpty())
            throw Error(QStringLiteral("config needs at least one document; see --help."));
        // Everything is read before anything is printed, so that a refused
        // document leaves no partial configuration behind.
        ConfigFromDocuments config;
        readDocuments(positional, [&](const std::shared_ptr<QuenFile> &file) {
            config.addDocument(file->RunCommand(QStringLiteral("GetData")).toStringList());
        });
        writeOut(config.text());
        return 0;
    }
    if (!positional.isEmpty() && !looksLikeDocument(positional.first()))
        options.root = positional.takeFirst();
    for (const QString &p : std::as_const(positional)) {
        if (!looksLikeDocument(p))
            throw Error(QStringLiteral("config --schema takes at most one root element name before the documents, "
                                       "and %1 is not a file; see --help.")
                            .arg(quoteForMessage(p)));
    }
    std::vector<SchemaExample> examples;
    readDocuments(positional, [&](const std::shared_ptr<QuenFile> &file) {
        SchemaExample example;
        example.pairs = file->RunCommand(QStringLiteral("GetData")).toStringList();
        example.text = file->Content().toString();
        examples.push_back(std::move(example));
    });
    const SchemaConfig config = ConfigFromSchema(SchemaFileFromArgument(schema), options, examples);
    for (const QString &note : config.notes)
        std::fprintf(stderr, "tarnwell-pairs: %s\n", note.toUtf8().constData());
    for (const QString &cut : config.cuts)
        std::fprintf(stderr, "tarnwell-pairs: %s: the content model is recursive here; the path is cut.\n",
                     cut.toUtf8().constData());
    if (config.moreCuts > 0)
        std::fprintf(stderr, "tarnwell-pairs: %lld more paths are cut where the content model is recursive.\n",
                     static_cast<long long>(config.moreCuts));
    writeOut(config.text);
    return 0;
}

// The problems as validate prints them: FILE:LINE:COLUMN: PATH: MESSAGE.
QByteArray problemLines(const QString &file, const ValidationResult &result)
{
    QByteArray out;
    for (const ValidationProblem &p : result.problems)
        out += QStringLiteral("%1:%2:%3: %4: %5\n")
                   .arg(oneLine(file))
                   .arg(p.line)
                   .arg(p.column)
                   .arg(p.path.isEmpty() ? QStringLiteral("-") : oneLine(p.path), oneLine(p.message))
                   .toUtf8();
    if (result.moreProblems)
        out += QStringLiteral("%1: more than %2 problems; the rest are not listed.\n").arg(oneLine(file)).arg(SchemaValidator::kMaxProblems).toUtf8();
    return out;
}

// Why a check was not made, as one sentence with the advice it needs.
QString notCheckedReason(const ValidationResult &result)
{
    QString reason = result.reason;
    if (!result.unmappedUrl.isEmpty())
        reason += QStringLiteral("; ") + CatalogAdvice(result.unmappedUrl);
    if (!reason.endsWith(u'.'))
        reason += u'.';
    return reason;
}

// validate FILE [--schema FILE.xsd]: 0 valid, 1 problems, 2 not checked.
int runValidate(QStringList args)
{
    // A wrong command line means nothing was checked: status 2, as for any
    // check that could not be made.
    const auto wrong = [](const QString &why) {
        std::fprintf(stderr, "tarnwell-pairs: %s\n", why.toUtf8().constData());
        return 2;
    };
    QString schema;
    const qsizetype at = args.indexOf(QStringLiteral("--schema"));
    if (at >= 0) {
        if (at + 1 >= args.size() || args[at + 1].isEmpty())
            return wrong(QStringLiteral("--schema needs a value; see --help."));
        schema = args[at + 1];
        args.remove(at, 2);
    }
    for (const QString &a : std::as_const(args)) {
        if (a.startsWith(u'-') && a.size() > 1)
            return wrong(QStringLiteral("Unknown option %1; see --help.").arg(a));
    }
    if (args.size() != 1)
        return wrong(QStringLiteral("Wrong number of arguments for \"validate\"; see --help."));
    const QString file = args[0];
    if (g_undecodableArguments.contains(file) || g_undecodableArguments.contains(schema))
        return wrong(QStringLiteral("A file name given is not valid UTF-8, so another file could be read in its "
                                    "place; nothing was checked. Rename the file."));
    const QFileInfo info(file);
    if (!info.isFile()) {
        // The check reads the document twice (its schema hint, then the
        // whole), which a pipe cannot give.
        std::fprintf(stderr, "tarnwell-pairs: %s: not checked: %s.\n", oneLine(file).toUtf8().constData(),
                     !info.exists() ? "no such file"
                     : info.isDir() ? "it is a folder"
                                    : "it is not a regular file (a pipe, say); save it to a file first");
        return 2;
    }
    SchemaValidator validator;
    const ValidationResult result = validator.validate(file, schema);
    for (const QString &note : CatalogNotes())
        std::fprintf(stderr, "tarnwell-pairs: note: %s.\n", oneLine(note).toUtf8().constData());
    if (result.status == ValidationResult::Status::NotChecked) {
        std::fprintf(stderr, "tarnwell-pairs: %s: not checked: %s\n", oneLine(file).toUtf8().constData(),
                     oneLine(notCheckedReason(result)).toUtf8().constData());
        return 2;
    }
    g_failureStatus = 2; // problems that cannot be written leave FILE unchecked
    writeOut(problemLines(file, result));
    return result.status == ValidationResult::Status::Valid ? 0 : 1;
}

// The entries of a pair list read from input: one a line, escaped, or
// NUL-terminated.
QStringList pairListFrom(const QByteArray &input, bool nul)
{
    QStringList pairs;
    const QList<QByteArray> parts = input.split(nul ? '\0' : '\n');
    for (qsizetype i = 0; i < parts.size(); ++i) {
        QByteArray part = parts[i];
        if (i == parts.size() - 1 && part.isEmpty())
            break;
        if (!nul && part.endsWith('\r'))
            part.chop(1);
        // Bytes that are not UTF-8 would turn into U+FFFD and be stored so.
        QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString checked = decode(part);
        if (decode.hasError())
            throw Error(QStringLiteral("Entry %1 of the pair list is not valid UTF-8; nothing was changed.").arg(i + 1));
        pairs.append(nul ? checked : unescapeEntry(part, i + 1));
    }
    return pairs;
}

// The bytes at path now, which a store would replace; none when there is no
// file.
QByteArray bytesOnDisk(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QByteArray();
    if (info.size() > TarnwellProvider::kMaxFileSize)
        throw Error(QStringLiteral("%1 is larger than %2 MiB; no diff is made.")
                        .arg(quoteForMessage(path, 200))
                        .arg(TarnwellProvider::kMaxFileSize / (1024 * 1024)));
    return readAll(path);
}

// Stores pairs into file, or with diff prints what the store would change
// and writes nothing: 0 for no change, 1 for a change.
int store(const std::shared_ptr<QuenFile> &file, const QStringList &pairs, bool diff, bool validateFirst)
{
    if (validateFirst) {
        // What the store would write is checked against the schema first; a
        // result with problems, or one that cannot be checked, is not stored.
        const QByteArray after = file->RunCommand(QStringLiteral("PutDataPreview"), pairs).toByteArray();
        SchemaValidator validator;
        const ValidationResult result =
            validator.validateText(after, file->Path(), QString(), SchemaValidator::ReadLimits::KnownWithin);
        for (const QString &note : CatalogNotes())
            std::fprintf(stderr, "tarnwell-pairs: note: %s.\n", oneLine(note).toUtf8().constData());
        if (result.status == ValidationResult::Status::NotChecked) {
            throw Error(QStringLiteral("%1 was not stored: the result cannot be checked against a schema: %2")
                            .arg(quoteForMessage(file->Path(), 200), notCheckedReason(result)));
        }
        if (result.status == ValidationResult::Status::Invalid) {
            const QByteArray problems = problemLines(file->Path(), result);
            if (diff) {
                writeOut(unifiedDiff(bytesOnDisk(file->Path()), after, file->Path().toUtf8()));
                std::fprintf(stderr, "%s", problems.constData());
            } else {
                writeOut(problems);
            }
            std::fprintf(stderr, "tarnwell-pairs: %s was not stored: the result breaks its schema.\n",
                         quoteForMessage(file->Path(), 200).toUtf8().constData());
            return 1;
        }
    }
    if (diff) {
        const QByteArray after = file->RunCommand(QStringLiteral("PutDataPreview"), pairs).toByteArray();
        const QByteArray patch = unifiedDiff(bytesOnDisk(file->Path()), after, file->Path().toUtf8());
        writeOut(patch);
        return patch.isEmpty() ? 0 : 1;
    }
    const QVariant result = file->RunCommand(QStringLiteral("PutData"), pairs);
    if (result.metaType().id() == QMetaType::QStringList && !result.toStringList().isEmpty())
        std::fprintf(stderr, "%s\n", result.toStringList().first().toUtf8().constData());
    return 0;
}

// Edit distance between two paths, by characters.
int editDistance(QStringView a, QStringView b)
{
    std::vector<int> row(static_cast<size_t>(b.size()) + 1);
    for (size_t j = 0; j < row.size(); ++j)
        row[j] = static_cast<int>(j);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = static_cast<int>(i);
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const int above = row[static_cast<size_t>(j)];
            row[static_cast<size_t>(j)] = std::min({above + 1, row[static_cast<size_t>(j - 1)] + 1,
                                                    diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row.back();
}

// Up to five of paths nearest to wanted: by edit distance, or, where that
// would take too long (a large document), by the longest common start. Ties
// keep the document's order.
QStringList nearestPaths(const QString &wanted, const QStringList &paths)
{
    qint64 cells = 0;
    for (const QString &p : paths)
        cells += (p.size() + 1) * (wanted.size() + 1);
    const bool byDistance = cells <= 20'000'000;
    std::vector<std::pair<qint64, qsizetype>> scored;
    scored.reserve(static_cast<size_t>(paths.size()));
    for (qsizetype i = 0; i < paths.size(); ++i) {
        const QString &p = paths[i];
        qint64 score = 0;
        if (byDistance) {
            score = editDistance(wanted, p);
        } else {
            qsizetype common = 0;
            while (common < p.size() && common < wanted.size() && p[common] == wanted[common])
                ++common;
            score = -common * 100'000 + std::abs(p.size() - wanted.size());
        }
        scored.emplace_back(score, i);
    }
    const size_t shown = std::min<size_t>(5, scored.size());
    std::partial_sort(scored.begin(), scored.begin() + static_cast<qsizetype>(shown), scored.end());
    QStringList out;
    for (size_t i = 0; i < shown; ++i)
        out.append(quoteForMessage(paths[scored[i].second], 200));
    return out;
}

// The path as get prints it: "[0]" is dropped and an index's leading zeros
// too, so "R/B[0]/N" and "R/B/N" name one node. A segment whose index is no
// number stays as given (no node has that path).
QString canonicalPath(const QString &path)
{
    if (!path.contains(u'['))
        return path;
    QStringList segments = path.split(u'/');
    for (QString &segment : segments) {
        if (!segment.contains(u'[') || !segment.endsWith(u']'))
            continue;
        try {
            segment = IndexedSegment(StripIndex(segment), SegmentIndex(segment));
        } catch (const Error &) {
        }
    }
    return segments.join(u'/');
}

// set [-z] [--diff] FILE PATH=VALUE...: the document's own pair list with
// the values at PATHs replaced, stored as put stores it.
int runSet(const QStringList &args, bool nul, bool diff, bool validateFirst)
{
    if (args.isEmpty())
        throw Error(QStringLiteral("Wrong number of arguments for \"set\"; see --help."));
    const QString path = args[0];
    QStringList assignments = args.mid(1);
    if (nul) {
        if (!assignments.isEmpty())
            throw Error(QStringLiteral("With -z, set reads its PATH=VALUE entries from standard input; give only "
                                       "FILE; see --help."));
        const QByteArray input = readAll(QString());
        QList<QByteArray> parts = input.split('\0');
        if (!parts.isEmpty() && parts.last().isEmpty())
            parts.removeLast();
        for (qsizetype i = 0; i < parts.size(); ++i) {
            QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            const QString entry = decode(parts[i]);
            if (decode.hasError())
                throw Error(QStringLiteral("Entry %1 of standard input is not valid UTF-8; nothing was changed.").arg(i + 1));
            assignments.append(entry);
        }
    } else if (assignments.isEmpty()) {
        throw Error(QStringLiteral("set needs at least one PATH=VALUE; see --help."));
    }
    QHash<QString, QString> values;
    QStringList order;
    for (const QString &a : std::as_const(assignments)) {
        const qsizetype eq = a.indexOf(u'=');
        if (eq <= 0)
            throw Error(QStringLiteral("%1 is not PATH=VALUE; nothing was changed.").arg(quoteForMessage(a, 200)));
        if (g_undecodableArguments.contains(a))
            throw Error(QStringLiteral("%1 is not valid UTF-8; nothing was changed.").arg(quoteForMessage(a, 200)));
        const QString key = canonicalPath(a.left(eq));
        if (values.contains(key))
            throw Error(QStringLiteral("%1 is given twice; give each PATH once. Nothing was changed.")
                            .arg(quoteForMessage(key, 200)));
        values.insert(key, a.mid(eq + 1));
        order.append(key);
    }

    const std::shared_ptr<QuenFile> file = bind(path, false);
    QStringList pairs = file->RunCommand(QStringLiteral("GetData")).toStringList();
    // As in the editor: a longer list could not be stored again.
    checkCount(pairs.size(), QStringLiteral("entries in the pair list"));
    QHash<QString, qsizetype> entryOf;
    QStringList paths;
    QSet<QString> holdingElements; // element paths with element children
    for (qsizetype i = 0; i < pairs.size(); ++i) {
        const std::optional<PairEntry> e = ParsePairEntry(pairs[i]);
        if (!e)
            continue;
        entryOf.insert(e->path, i);
        paths.append(e->path);
        const qsizetype slash = e->path.lastIndexOf(u'/');
        if (slash > 0 && e->path.at(slash + 1) != u'@')
            holdingElements.insert(e->path.left(slash));
    }
    // The first few missing paths are named with the nearest ones; the rest
    // are counted, so that a list of many wrong paths costs no search each.
    constexpr qsizetype kNamedMissing = 5;
    QStringList missing;
    qsizetype moreMissing = 0;
    for (const QString &key : std::as_const(order)) {
        const auto at = entryOf.constFind(key);
        if (at == entryOf.cend()) {
            if (missing.size() < kNamedMissing)
                missing.append(QStringLiteral("no %1 (nearest: %2)")
                                   .arg(quoteForMessage(key, 200), nearestPaths(key, paths).join(QStringLiteral(", "))));
            else
                ++moreMissing;
            continue;
        }
        const QString &value = values[key];
        // Blanks around the value of an element that holds elements are its
        // layout, so a store would not keep them.
        if (holdingElements.contains(key) && xml::trimmedXml(value) != value) {
            throw Error(QStringLiteral("The element %1 holds elements, so its value cannot begin or end with blanks "
                                       "(there they are its layout); nothing was changed.")
                            .arg(quoteForMessage(key, 200)));
        }
        const std::optional<PairEntry> e = ParsePairEntry(pairs[*at]);
        pairs[*at] = FormatPairEntry(e->ns, e->path, value);
    }
    if (moreMissing > 0)
        missing.append(QStringLiteral("%1 more paths it lacks").arg(moreMissing));
    if (!missing.isEmpty())
        throw Error(QStringLiteral("%1 was not changed: it has %2.").arg(quoteForMessage(path, 200), missing.join(QStringLiteral("; "))));
    return store(file, pairs, diff, validateFirst);
}

int run(QStringList args)
{
    if (args.isEmpty() || args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        if (args.isEmpty()) {
            std::fputs(kHelp, stderr);
            return 2;
        }
        writeOut(QByteArray(kHelp));
        return 0;
    }
    if (args == QStringList{QStringLiteral("--version")}) {
        writeOut(QByteArray("tarnwell-pairs " TARNWELL_VERSION "\n"));
        return 0;
    }
    const QString command = args.takeFirst();
    if (command == QLatin1String("validate"))
        g_failureStatus = 2; // 1 means problems found
    // A switch that the command does not take is refused rather than
    // ignored: the user meant something by it.
    const auto takeSwitch = [&args, &command](const char *name, std::initializer_list<const char *> takers,
                                              const char *whom) {
        if (args.removeAll(QLatin1String(name)) == 0)
            return false;
        for (const char *taker : takers) {
            if (command == QLatin1String(taker))
                return true;
        }
        throw Error(QStringLiteral("%1 goes with %2; see --help.").arg(QLatin1String(name), QLatin1String(whom)));
    };
    // With --diff, 1 means "a change", and with --validate "problems", so
    // every refusal from here on is 2.
    if (args.contains(QLatin1String("--diff")) || args.contains(QLatin1String("--validate")))
        g_failureStatus = 2;
    const bool nul = takeSwitch("-z", {"get", "put", "set"}, "get, put and set");
    const bool create = takeSwitch("--create", {"put", "write"}, "put and write");
    const bool diff = takeSwitch("--diff", {"put", "set"}, "put and set");
    const bool validateFirst = takeSwitch("--validate", {"put", "set"}, "put and set");
    if (command == QLatin1String("config"))
        return runConfig(args);
    if (command == QLatin1String("validate"))
        return runValidate(args);
    for (const QString &a : std::as_const(args)) {
        if (a.startsWith(u'-') && a.size() > 1)
            throw Error(QStringLiteral("Unknown option %1; see --help.").arg(a));
    }
    if (command == QLatin1String("set"))
        return runSet(args, nul, diff, validateFirst);
    static const QStringList plainCommands{QStringLiteral("get"), QStringLiteral("put"), QStringLiteral("read"),
                                           QStringLiteral("write")};
    if (!plainCommands.contains(command))
        throw Error(QStringLiteral("Unknown command %1; see --help.").arg(quoteForMessage(command)));
    const qsizetype maxArgs = command == QLatin1String("put") ? 2 : 1;
    if (args.isEmpty() || args.size() > maxArgs)
        throw Error(QStringLiteral("Wrong number of arguments for %1; see --help.").arg(quoteForMessage(command)));
    const QString path = args[0];

    if (command == QLatin1String("get")) {
        const QStringList pairs = bind(path, false)->RunCommand(QStringLiteral("GetData")).toStringList();
        // The editor's GetData reads at most this many entries, and put
        // stores at most as many.
        checkCount(pairs.size(), QStringLiteral("entries in the pair list"));
        for (const QString &entry : pairs) {
            if (nul) {
                writeOut(entry.toUtf8());
                writeOut(QByteArray(1, '\0'));
            } else {
                writeOut(escapeEntry(entry) + '\n');
            }
        }
        return 0;
    }
    if (command == QLatin1String("put")) {
        if (args.size() > 1)
            checkFileName(args[1]);
        const QStringList pairs = pairListFrom(readAll(args.value(1)), nul);
        return store(bind(path, create), pairs, diff, validateFirst);
    }
    if (command == QLatin1String("read")) {
        writeOut(bind(path, false)->Content().toString().toUtf8());
        return 0;
    }
    if (command == QLatin1String("write")) {
        const QByteArray input = readAll(QString());
        QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString text = decode(input);
        if (decode.hasError())
            throw Error(QStringLiteral("Standard input is not valid UTF-8; %1 was not changed.").arg(quoteForMessage(path, 200)));
        bind(path, create)->SetContent(text);
        return 0;
    }
    throw Error(QStringLiteral("Unknown command %1; see --help.").arg(quoteForMessage(command)));
}

} // namespace

int main(int argc, char **argv)
{
    // A reader that stops early (get ... | head -1) ends the program quietly,
    // as it ends any filter, even where the caller ignored SIGPIPE.
    std::signal(SIGPIPE, SIG_DFL);
    tarnwell::KeepHeapSlack();
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    for (int i = 1; i < argc && i < arguments.size(); ++i) {
        if (arguments[i].toUtf8() != QByteArray(argv[i]))
            g_undecodableArguments.insert(arguments[i]);
    }
    int status = 0;
    try {
        status = run(arguments.mid(1));
        finishOutput();
    } catch (const std::exception &e) {
        // The provider's advice names the editor's XML View; here the raw
        // text is read and written with read and write.
        QString message = QString::fromUtf8(e.what());
        message.replace(QLatin1String("in the XML View"), QLatin1String("in the raw text (read, edit, write)"));
        std::fprintf(stderr, "tarnwell-pairs: %s\n", message.toUtf8().constData());
        status = g_failureStatus;
    }
    // A message that could not be written leaves the exit status to say
    // that something went wrong.
    if (std::fflush(stderr) != 0 || std::ferror(stderr))
        status = status == 0 ? g_failureStatus : status;
    return status;
}
