#include "HeapSlack.h"
#include "frmMain.h"

#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>

namespace {

// What the command line asks for; read before any window exists, so that
// --help, --version and a wrong option need no display.
struct Request
{
    int exitCode = -1; // set when the program ends without a window
    QString file;
};

// The command line without the options QApplication takes for itself
// (-platform, -style, -session, ...), which it reads when it starts.
QStringList withoutQtOptions(QStringList args)
{
    static const QStringList valued = {
        QStringLiteral("platform"), QStringLiteral("platformpluginpath"), QStringLiteral("platformtheme"),
        QStringLiteral("plugin"),   QStringLiteral("qwindowgeometry"),    QStringLiteral("qwindowicon"),
        QStringLiteral("qwindowtitle"), QStringLiteral("session"),        QStringLiteral("style"),
        QStringLiteral("stylesheet"), QStringLiteral("display"),          QStringLiteral("geometry"),
        QStringLiteral("name"),      QStringLiteral("title"),             QStringLiteral("qmljsdebugger"),
    };
    static const QStringList flags = {QStringLiteral("reverse"), QStringLiteral("widgetcount"), QStringLiteral("sync"),
                                      QStringLiteral("nograb"), QStringLiteral("dograb"), QStringLiteral("visual")};
    QStringList kept{args.takeFirst()};
    while (!args.isEmpty()) {
        const QString a = args.takeFirst();
        if (a == QLatin1String("--")) {
            kept << a << args;
            break;
        }
        QString word = a.startsWith(QLatin1String("--")) ? a.mid(2) : a.startsWith(u'-') ? a.mid(1) : QString();
        const qsizetype eq = word.indexOf(u'=');
        const bool inline_ = eq >= 0;
        if (inline_)
            word.truncate(eq);
        if (valued.contains(word)) {
            if (!inline_ && !args.isEmpty())
                args.removeFirst();
            continue;
        }
        if (flags.contains(word) && !inline_)
            continue;
        kept.append(a);
    }
    return kept;
}

Request readCommandLine(int argc, char **argv)
{
    QCoreApplication core(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarnwell-xml-editor"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TARNWELL_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Tarnwell XML Editor: shows an XML document as a tree of element and @attribute names, lets you "
                       "change values, add the children that TarnwellEditor.cfg (beside the executable) allows and "
                       "delete nodes, and stores the result without touching a byte you did not change."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QStringLiteral("The XML file to open and show at start (it is not created when it "
                                                "does not exist; File > New makes new files)."),
                                 QStringLiteral("[FILE]"));
    Request request;
    const auto usage = [] {
        std::fputs("Usage: tarnwell-xml-editor [--help] [--version] [FILE]\n", stderr);
    };
    if (!parser.parse(withoutQtOptions(QCoreApplication::arguments()))) {
        std::fprintf(stderr, "tarnwell-xml-editor: %s\n", qPrintable(parser.errorText()));
        usage();
        request.exitCode = 2;
        return request;
    }
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        request.exitCode = 0;
        return request;
    }
    if (parser.isSet(version)) {
        std::printf("tarnwell-xml-editor %s\n", TARNWELL_VERSION);
        request.exitCode = 0;
        return request;
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) {
        std::fputs("tarnwell-xml-editor: one FILE at most.\n", stderr);
        usage();
        request.exitCode = 2;
        return request;
    }
    request.file = files.value(0);
    return request;
}

} // namespace

int main(int argc, char **argv)
{
    const Request request = readCommandLine(argc, argv);
    if (request.exitCode >= 0)
        return request.exitCode;

    tarnwell::KeepHeapSlack();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tarnwell-xml-editor"));
    QApplication::setApplicationDisplayName(tarnwell::frmMain::kTitle.toString());
    QApplication::setApplicationVersion(QStringLiteral(TARNWELL_VERSION));

    tarnwell::frmMain window;
    if (!window.Form_Load())
        return 1;
    window.show();
    if (!request.file.isEmpty())
        window.OpenAtStart(request.file);
    return QApplication::exec();
}
