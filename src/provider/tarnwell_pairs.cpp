// tarnwell-pairs: the pair list and the raw text of an XML file, for scripts,
// through the same provider the editor uses.
#include "ConfigFromDocuments.h"
#include "ConfigFromSchema.h"
#include "Error.h"
#include "Quen.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QStringList>
#include <cstdio>

using namespace tarnwell;

namespace {

const char kHelp[] =
    "Usage:\n"
    "  tarnwell-pairs get [-z] FILE            print FILE's pair list\n"
    "  tarnwell-pairs put [-z] [--create] FILE [LIST]\n"
    "                                          store the pair list read from LIST\n"
    "                                          (or standard input) into FILE\n"
    "  tarnwell-pairs read FILE                print FILE's raw XML text\n"
    "  tarnwell-pairs write FILE               replace FILE's text with standard input\n"
    "  tarnwell-pairs config FILE...           print a TarnwellEditor.cfg made from\n"
    "                                          example documents of one family\n"
    "  tarnwell-pairs config --schema FILE.xsd [ROOT] [--prefix P]\n"
    "                                          print a TarnwellEditor.cfg made from an\n"
    "                                          XML Schema, starting at the global element\n"
    "                                          ROOT (needed when there are several);\n"
    "                                          --prefix writes P: before the names in\n"
    "                                          the schema's target namespace\n"
    "\n"
    "A pair list has one entry per line: DAT,namespace,path,value. Inside an\n"
    "entry a backslash, line feed and carriage return are written \\\\, \\n and \\r.\n"
    "With -z entries end in NUL bytes instead and nothing is escaped.\n"
    "--create binds FILE as a new document (written at the store).\n"
    "A schema is read from local files only; where a recursive content model is\n"
    "cut, the path is named on standard error.\n"
    "\n"
    "Exit status 0 on success; otherwise the failure is described on standard error.\n";

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

QString unescapeEntry(const QByteArray &line)
{
    QByteArray out;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) {
            const char next = line[++i];
            out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
        } else {
            out += line[i];
        }
    }
    return QString::fromUtf8(out);
}

QByteArray readAll(const QString &path)
{
    QFile file;
    const bool ok = path.isEmpty() ? file.open(stdin, QIODevice::ReadOnly) : (file.setFileName(path), file.open(QIODevice::ReadOnly));
    if (!ok)
        throw Error(QStringLiteral("%1 cannot be read: %2.").arg(quoteForMessage(path.isEmpty() ? QStringLiteral("standard input") : path), file.errorString()));
    return file.readAll();
}

void writeOut(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
}

std::shared_ptr<QuenFile> bind(const QString &path, bool create)
{
    auto engine = CreateQuenEngine();
    auto controller = engine->WorkspaceList().at(0)->CreateController(QString(), kTarnwellProgId.toString(), QString(), QString());
    return controller->BindFile(path, create ? QStringLiteral("@Create") : QString());
}

int run(QStringList args)
{
    if (args.isEmpty() || args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        std::fputs(kHelp, args.isEmpty() ? stderr : stdout);
        return args.isEmpty() ? 2 : 0;
    }
    const QString command = args.takeFirst();
    const bool nul = args.removeAll(QStringLiteral("-z")) > 0;
    const bool create = args.removeAll(QStringLiteral("--create")) > 0;
    // The options of config that take a value.
    QHash<QString, QString> valued;
    if (command == QLatin1String("config")) {
        for (const QString &option : {QStringLiteral("--schema"), QStringLiteral("--prefix")}) {
            const qsizetype at = args.indexOf(option);
            if (at < 0)
                continue;
            if (at + 1 >= args.size() || args[at + 1].isEmpty())
                throw Error(QStringLiteral("%1 needs a value; see --help.").arg(option));
            valued.insert(option, args[at + 1]);
            args.remove(at, 2);
            if (args.contains(option))
                throw Error(QStringLiteral("%1 is given twice; see --help.").arg(option));
        }
    }
    for (const QString &a : std::as_const(args)) {
        if (a.startsWith(u'-') && a.size() > 1)
            throw Error(QStringLiteral("Unknown option %1; see --help.").arg(a));
    }
    if (command == QLatin1String("config") && valued.contains(QStringLiteral("--schema"))) {
        if (args.size() > 1)
            throw Error(QStringLiteral("config --schema takes at most one root element name; see --help."));
        const SchemaConfig config = ConfigFromSchema(valued.value(QStringLiteral("--schema")), args.value(0),
                                                     valued.value(QStringLiteral("--prefix")));
        for (const QString &cut : config.cuts)
            std::fprintf(stderr, "tarnwell-pairs: %s: the content model is recursive here; the path is cut.\n",
                         cut.toUtf8().constData());
        writeOut(config.text);
        return 0;
    }
    if (command == QLatin1String("config")) {
        if (valued.contains(QStringLiteral("--prefix")))
            throw Error(QStringLiteral("--prefix goes with --schema; see --help."));
        if (args.isEmpty())
            throw Error(QStringLiteral("config needs at least one document; see --help."));
        // Everything is read before anything is printed, so that a refused
        // document leaves no partial configuration behind.
        ConfigFromDocuments config;
        for (const QString &file : std::as_const(args)) {
            try {
                config.addDocument(bind(file, false)->RunCommand(QStringLiteral("GetData")).toStringList());
            } catch (const Error &e) {
                if (e.description().contains(quoteForMessage(file, 200)))
                    throw;
                throw e.withContext(quoteForMessage(file, 200) + QStringLiteral(": "));
            }
        }
        writeOut(config.text());
        return 0;
    }
    const qsizetype maxArgs = command == QLatin1String("put") ? 2 : 1;
    if (args.isEmpty() || args.size() > maxArgs)
        throw Error(QStringLiteral("Wrong number of arguments for %1; see --help.").arg(quoteForMessage(command)));
    const QString path = args[0];

    if (command == QLatin1String("get")) {
        const QStringList pairs = bind(path, false)->RunCommand(QStringLiteral("GetData")).toStringList();
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
        const QByteArray input = readAll(args.value(1));
        QStringList pairs;
        const QList<QByteArray> parts = input.split(nul ? '\0' : '\n');
        for (qsizetype i = 0; i < parts.size(); ++i) {
            QByteArray part = parts[i];
            if (i == parts.size() - 1 && part.isEmpty())
                break;
            if (!nul && part.endsWith('\r'))
                part.chop(1);
            pairs.append(nul ? QString::fromUtf8(part) : unescapeEntry(part));
        }
        const QVariant result = bind(path, create)->RunCommand(QStringLiteral("PutData"), pairs);
        if (result.metaType().id() == QMetaType::QStringList && !result.toStringList().isEmpty())
            std::fprintf(stderr, "%s\n", result.toStringList().first().toUtf8().constData());
        return 0;
    }
    if (command == QLatin1String("read")) {
        writeOut(bind(path, false)->Content().toString().toUtf8());
        return 0;
    }
    if (command == QLatin1String("write")) {
        const QByteArray input = readAll(QString());
        bind(path, create)->SetContent(QString::fromUtf8(input));
        return 0;
    }
    throw Error(QStringLiteral("Unknown command %1; see --help.").arg(quoteForMessage(command)));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    try {
        return run(app.arguments().mid(1));
    } catch (const Error &e) {
        std::fprintf(stderr, "tarnwell-pairs: %s\n", e.what());
        return 1;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "tarnwell-pairs: %s\n", e.what());
        return 1;
    }
}
