// What a screen reader sees of a running program, through the accessibility
// bus (AT-SPI over D-Bus): finds the accessible objects whose name starts
// with a prefix and prints their name and description, or performs the
// first object's first action (a press, for a button), or prints the first
// object's text (what a screen reader reads of a text box).
//
// Usage: atspi-probe find PREFIX | atspi-probe press PREFIX | atspi-probe text PREFIX
// Exit status 0 when an object was found (and pressed), 1 when none was, 2
// when the accessibility bus cannot be reached.
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMetaType>
#include <QDBusReply>
#include <QDBusVariant>
#include <cstdio>

namespace {

struct Ref
{
    QString service;
    QDBusObjectPath path;
};

QDBusArgument &operator<<(QDBusArgument &a, const Ref &r)
{
    a.beginStructure();
    a << r.service << r.path;
    a.endStructure();
    return a;
}

const QDBusArgument &operator>>(const QDBusArgument &a, Ref &r)
{
    a.beginStructure();
    a >> r.service >> r.path;
    a.endStructure();
    return a;
}

} // namespace

Q_DECLARE_METATYPE(Ref)

namespace {

const QString kAccessible = QStringLiteral("org.a11y.atspi.Accessible");

QString property(QDBusConnection &bus, const Ref &r, const char *name)
{
    QDBusInterface props(r.service, r.path.path(), QStringLiteral("org.freedesktop.DBus.Properties"), bus);
    const QDBusReply<QDBusVariant> reply = props.call(QStringLiteral("Get"), kAccessible, QString::fromLatin1(name));
    return reply.isValid() ? reply.value().variant().toString() : QString();
}

QList<Ref> children(QDBusConnection &bus, const Ref &r)
{
    QDBusInterface object(r.service, r.path.path(), kAccessible, bus);
    const QDBusReply<QList<Ref>> reply = object.call(QStringLiteral("GetChildren"));
    return reply.isValid() ? reply.value() : QList<Ref>();
}

// Walks the tree below r, depth first, at most `budget` objects.
void find(QDBusConnection &bus, const Ref &r, const QString &prefix, QList<Ref> &found, int &budget)
{
    if (--budget < 0)
        return;
    const QString name = property(bus, r, "Name");
    if (name.startsWith(prefix))
        found.append(r);
    for (const Ref &c : children(bus, r))
        find(bus, c, prefix, found, budget);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qDBusRegisterMetaType<Ref>();
    qDBusRegisterMetaType<QList<Ref>>();
    const QStringList args = app.arguments().mid(1);
    if (args.size() != 2 ||
        (args[0] != QLatin1String("find") && args[0] != QLatin1String("press") && args[0] != QLatin1String("text"))) {
        std::fputs("usage: atspi-probe find|press|text PREFIX\n", stderr);
        return 2;
    }
    QDBusInterface launcher(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"), QStringLiteral("org.a11y.Bus"),
                            QDBusConnection::sessionBus());
    const QDBusReply<QString> address = launcher.call(QStringLiteral("GetAddress"));
    if (!address.isValid()) {
        std::fprintf(stderr, "atspi-probe: no accessibility bus: %s\n", qPrintable(address.error().message()));
        return 2;
    }
    QDBusConnection bus = QDBusConnection::connectToBus(address.value(), QStringLiteral("a11y"));
    if (!bus.isConnected()) {
        std::fprintf(stderr, "atspi-probe: the accessibility bus does not answer\n");
        return 2;
    }
    const Ref root{QStringLiteral("org.a11y.atspi.Registry"), QDBusObjectPath(QStringLiteral("/org/a11y/atspi/accessible/root"))};
    QList<Ref> found;
    int budget = 5000;
    find(bus, root, args[1], found, budget);
    if (found.isEmpty())
        return 1;
    if (args[0] == QLatin1String("press")) {
        QDBusInterface action(found.first().service, found.first().path.path(), QStringLiteral("org.a11y.atspi.Action"), bus);
        const QDBusReply<bool> done = action.call(QStringLiteral("DoAction"), 0);
        return done.isValid() && done.value() ? 0 : 1;
    }
    if (args[0] == QLatin1String("text")) {
        QDBusInterface text(found.first().service, found.first().path.path(), QStringLiteral("org.a11y.atspi.Text"), bus);
        const QDBusReply<QString> content = text.call(QStringLiteral("GetText"), 0, -1);
        if (!content.isValid())
            return 1;
        std::printf("%s\n", qPrintable(content.value()));
        return 0;
    }
    for (const Ref &r : found)
        std::printf("%s\t%s\n", qPrintable(property(bus, r, "Name")), qPrintable(property(bus, r, "Description")));
    return 0;
}
