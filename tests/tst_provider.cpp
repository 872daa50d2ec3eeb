// The engine object model and the Tarnwell XML provider on real files.
#include "Error.h"
#include "Quen.h"
#include "StoreEdits.h"
#include "TarnwellProvider.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QStringEncoder>
#include <QTest>
#include <QThread>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <random>

using namespace tarnwell;

using namespace Qt::Literals::StringLiterals;

namespace {

const QString kData = QStringLiteral(TARNWELL_TEST_DATA "/xml/");

QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

QStringList pairsOf(const QString &path)
{
    QStringList lines = QString::fromUtf8(bytesOf(path)).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

std::shared_ptr<QuenController> controller()
{
    return CreateQuenEngine()->WorkspaceList().at(0)->CreateController(QString(), QStringLiteral("QuenProv.Tarnwell"),
                                                                       QString(), QString());
}

// Runs call, expecting a failure whose description holds every one of words.
template<typename Call>
QString failureOf(Call call)
{
    try {
        call();
    } catch (const Error &e) {
        return e.description();
    }
    return QString();
}

} // namespace

class TestProvider : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void getData_data() { corpusRows(); }
    void getData();
    void store_data() { corpusRows(); }
    void store();
    void storeWithoutChangeWritesNothing();
    void draftIsWhatAStoreWrites();
    void storesExactBytes_data();
    void storesExactBytes();
    void everyEditStores_data();
    void everyEditStores();
    void contentRoundTripIsByteIdentical_data() { corpusRows(); }
    void contentRoundTripIsByteIdentical();
    void contentReadUsesLineFeeds();
    void contentWriteRefusesMalformedText();
    void contentWriteRefusesUnencodableCharacter();
    void contentWriteKeepsUtf16ByteOrder();
    void laterGetDataSeesWrittenText();
    void readsByXmlRules_data();
    void readsByXmlRules();
    void badFiles_data();
    void badFiles();
    void externalEntityIsNeverRead();
    void tooLargeFileIsRefused();
    void badPairLists_data();
    void badPairLists();
    void changedOnDiskIsNotOverwritten();
    void replacedFileIsNotWrittenThrough();
    void writeFailureNamesTheCause_data();
    void writeFailureNamesTheCause();
    void permissionsAreKept();
    void createLeavesDiskAloneUntilStore();
    void engineObjects();

private:
    static void corpusRows();
    QTemporaryDir m_dir;
    QString copyOf(const QString &name);
};

void TestProvider::init()
{
    QVERIFY(m_dir.isValid());
}

QString TestProvider::copyOf(const QString &name)
{
    const QString target = m_dir.filePath(name);
    QFile::remove(target);
    writeBytes(target, bytesOf(kData + name));
    return target;
}

void TestProvider::corpusRows()
{
    QTest::addColumn<QString>("name");
    const QStringList files = QDir(kData).entryList({QStringLiteral("*.put")}, QDir::Files, QDir::Name);
    QVERIFY(files.size() >= 10);
    for (const QString &file : files) {
        const QString name = file.chopped(4);
        QTest::newRow(qPrintable(name)) << name;
    }
}

void TestProvider::getData()
{
    QFETCH(QString, name);
    auto file = controller()->BindFile(copyOf(name + QStringLiteral(".xml")), QString());
    QCOMPARE(file->RunCommand(QStringLiteral("GetData")).toStringList(), pairsOf(kData + name + QStringLiteral(".pairs")));
}

// Each edit changes exactly the expected bytes, and the result reads back as
// the list that was stored.
void TestProvider::store()
{
    QFETCH(QString, name);
    const QString path = copyOf(name + QStringLiteral(".xml"));
    auto file = controller()->BindFile(path, QString());
    const QStringList put = pairsOf(kData + name + QStringLiteral(".put"));
    QCOMPARE(file->RunCommand(QStringLiteral("PutData"), put), QVariant());
    QCOMPARE(bytesOf(path), bytesOf(kData + name + QStringLiteral(".expected")));
    QCOMPARE(file->RunCommand(QStringLiteral("GetData")).toStringList(), put);
    QCOMPARE(controller()->BindFile(path, QString())->RunCommand(QStringLiteral("GetData")).toStringList(), put);
}

// Children added, removed or moved, byte for byte: a child added under an
// element that holds only blanks, or nothing, goes inside it, indented like a
// sibling; text that carries a value stays the value; layout goes with the
// children. GetData afterwards reads back what was sent (an element that
// holds elements without the blanks around its text).
void TestProvider::storesExactBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QString>("refusal"); // a refused store leaves the file as it was
    auto list = [](std::initializer_list<const char *> entries) {
        QStringList out;
        for (const char *e : entries)
            out.append(QString::fromUtf8(e));
        return out;
    };
    const QStringList title = list({"DAT,,Doc,", "DAT,,Doc/Head,\n  ", "DAT,,Doc/Head/Title,new"});
    QTest::newRow("blank, LF, spaces") << QByteArray("<Doc>\n  <Head>\n  </Head>\n</Doc>\n") << title
                                       << QByteArray("<Doc>\n  <Head>\n    <Title>new</Title>\n  </Head>\n</Doc>\n") << QString();
    QTest::newRow("blank, CR LF, tabs")
        << QByteArray("<Doc>\r\n\t<Head>\r\n\t</Head>\r\n\t<X/>\r\n</Doc>\r\n")
        << list({"DAT,,Doc,", "DAT,,Doc/Head,\n\t", "DAT,,Doc/Head/Title,new", "DAT,,Doc/X,"})
        << QByteArray("<Doc>\r\n\t<Head>\r\n\t\t<Title>new</Title>\r\n\t</Head>\r\n\t<X/>\r\n</Doc>\r\n") << QString();
    QTest::newRow("blank on one line") << QByteArray("<Doc><Head>  </Head></Doc>")
                                       << list({"DAT,,Doc,", "DAT,,Doc/Head,  ", "DAT,,Doc/Head/Title,new"})
                                       << QByteArray("<Doc><Head><Title>new</Title></Head></Doc>") << QString();
    const QStringList emptyHead = list({"DAT,,Doc,", "DAT,,Doc/Head,", "DAT,,Doc/Head/Title,new"});
    QTest::newRow("self-closing") << QByteArray("<Doc>\n  <Head/>\n</Doc>\n") << emptyHead
                                  << QByteArray("<Doc>\n  <Head>\n    <Title>new</Title>\n  </Head>\n</Doc>\n") << QString();
    QTest::newRow("empty pair") << QByteArray("<Doc>\n  <Head></Head>\n</Doc>\n") << emptyHead
                                << QByteArray("<Doc>\n  <Head>\n    <Title>new</Title>\n  </Head>\n</Doc>\n") << QString();
    QTest::newRow("leaf with text") << QByteArray("<Doc>\n  <Head>old</Head>\n</Doc>\n")
                                    << list({"DAT,,Doc,", "DAT,,Doc/Head,old", "DAT,,Doc/Head/Title,new"})
                                    << QByteArray("<Doc>\n  <Head>old\n    <Title>new</Title>\n  </Head>\n</Doc>\n") << QString();
    QTest::newRow("container keeps its text") << QByteArray("<Doc>\n  Intro\n  <b>x</b>\n</Doc>\n")
                                              << list({"DAT,,Doc,Intro", "DAT,,Doc/b,x", "DAT,,Doc/Added,"})
                                              << QByteArray("<Doc>\n  Intro\n  <b>x</b>\n  <Added/>\n</Doc>\n") << QString();
    // Blank lines around comments in an element that holds nothing else are
    // layout: a first child goes after the last comment, and only it is new.
    const QByteArray toolchains = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                  "<toolchains xmlns=\"http://maven.apache.org/TOOLCHAINS/1.1.0\">\n\n"
                                  "  <!-- JDK toolchains -->\n\n  <!-- <toolchain/> -->\n";
    QTest::newRow("blank lines around comments, first child")
        << QByteArray(toolchains + "</toolchains>\n")
        << list({"DAT,,toolchains,", "DAT,,toolchains/toolchain,", "DAT,,toolchains/toolchain/type,jdk"})
        << QByteArray(toolchains + "  <toolchain>\n    <type>jdk</type>\n  </toolchain>\n</toolchains>\n") << QString();
    QTest::newRow("comment before the end tag, first child")
        << QByteArray("<A>\n  <!-- c --></A>") << list({"DAT,,A,", "DAT,,A/B,"})
        << QByteArray("<A>\n  <!-- c -->\n  <B/>\n</A>") << QString();
    QTest::newRow("last child removed") << QByteArray("<A>\n  <B/>\n  <!-- kept -->\n</A>\n") << list({"DAT,,A,"})
                                        << QByteArray("<A><!-- kept --></A>\n") << QString();
    // A deleted child takes its lines, the comment at the end of its last
    // line and the comments directly above it; the comment at the end of
    // the line before it, processing instructions and comments a blank line
    // away stay.
    QTest::newRow("delete keeps the note on the line before")
        << QByteArray("<r>\n  <c/> <!-- note c -->\n  <d/>\n</r>\n") << list({"DAT,,r,", "DAT,,r/c,"})
        << QByteArray("<r>\n  <c/> <!-- note c -->\n</r>\n") << QString();
    QTest::newRow("delete takes its own note")
        << QByteArray("<r>\n  <a>A</a> <!-- about a -->\n  <b>B</b> <!-- about b -->\n</r>\n")
        << list({"DAT,,r,", "DAT,,r/a,A"}) << QByteArray("<r>\n  <a>A</a> <!-- about a -->\n</r>\n") << QString();
    QTest::newRow("delete of the first keeps the next one's note")
        << QByteArray("<r>\n  <a>A</a> <!-- about a -->\n  <b>B</b> <!-- about b -->\n</r>\n")
        << list({"DAT,,r,", "DAT,,r/b,B"}) << QByteArray("<r>\n  <b>B</b> <!-- about b -->\n</r>\n") << QString();
    const QByteArray sections("<r>\n  <a/>\n\n  <!-- Section two -->\n\n  <b/>\n</r>\n");
    QTest::newRow("delete keeps a heading a blank line above")
        << sections << list({"DAT,,r,", "DAT,,r/a,"}) << QByteArray("<r>\n  <a/>\n\n  <!-- Section two -->\n</r>\n") << QString();
    QTest::newRow("delete keeps a heading a blank line below")
        << sections << list({"DAT,,r,", "DAT,,r/b,"}) << QByteArray("<r>\n\n  <!-- Section two -->\n\n  <b/>\n</r>\n") << QString();
    QTest::newRow("delete keeps a processing instruction")
        << QByteArray("<r>\n  <a/>\n  <?pi x?>\n  <b/>\n</r>\n") << list({"DAT,,r,", "DAT,,r/a,"})
        << QByteArray("<r>\n  <a/>\n  <?pi x?>\n</r>\n") << QString();
    QTest::newRow("delete takes the comments directly above")
        << QByteArray("<r>\r\n  <a/>\r\n\r\n  <!-- S -->\r\n  <!-- about b -->\r\n  <b/>\r\n  <c/>\r\n</r>\r\n")
        << list({"DAT,,r,", "DAT,,r/a,", "DAT,,r/c,"}) << QByteArray("<r>\r\n  <a/>\r\n  <c/>\r\n</r>\r\n") << QString();
    QTest::newRow("delete keeps the parent's comment on its start-tag line")
        << QByteArray("<r><!-- settings for r -->\r\n  <a>1</a>\r\n  <b>2</b>\r\n</r>\r\n") << list({"DAT,,r,", "DAT,,r/b,2"})
        << QByteArray("<r><!-- settings for r -->\r\n  <b>2</b>\r\n</r>\r\n") << QString();
    QTest::newRow("last child deleted, heading kept")
        << QByteArray("<r>\n  <a/>\n\n  <!-- S -->\n\n  <b/> <!-- b -->\n</r>\n") << list({"DAT,,r,"})
        << QByteArray("<r><!-- S --></r>\n") << QString();
    // A namespace that an entry gives a new name is declared for it.
    QTest::newRow("new names in the namespaces given")
        << QByteArray("<r xmlns:p=\"urn:p\"><t/></r>")
        << list({"DAT,,r,", "DAT,,r/t,", "DAT,urn:zz,r/t/z,1", "DAT,urn:p,r/t/p:y,", "DAT,urn:q,r/t/@q:a,2"})
        << QByteArray("<r xmlns:p=\"urn:p\"><t xmlns:q=\"urn:q\" q:a=\"2\"><z xmlns=\"urn:zz\">1</z><p:y/></t></r>") << QString();
    const QByteArray prefixed("<r xmlns:p=\"urn:p\" p:a=\"1\"/>");
    QTest::newRow("namespace of an existing attribute")
        << prefixed << list({"DAT,,r,", "DAT,urn:q,r/@p:a,1"}) << prefixed
        << QStringLiteral("entry 2 gives \"r/@p:a\" the namespace \"urn:q\", but it is in the namespace \"urn:p\"");
    QTest::newRow("child after the value removed") << QByteArray("<A>\n  Intro\n  <B/>\n  <C/>\n</A>\n")
                                                   << list({"DAT,,A,Intro", "DAT,,A/C,"})
                                                   << QByteArray("<A>Intro\n  <C/>\n</A>\n") << QString();
    // Edits that leave an entity holding markup alone store; one that is
    // only a character reference ("&lt;") never holds markup.
    QTest::newRow("beside an entity holding markup")
        << QByteArray("<!DOCTYPE d [<!ENTITY e \"<b>x</b>\">]>\n<d>\n  <a>&e;</a>\n  <c>1</c>\n</d>\n")
        << list({"DAT,,d,", "DAT,,d/a,", "DAT,,d/a/b,x", "DAT,,d/c,2", "DAT,,d/c/@n,1"})
        << QByteArray("<!DOCTYPE d [<!ENTITY e \"<b>x</b>\">]>\n<d>\n  <a>&e;</a>\n  <c n=\"1\">2</c>\n</d>\n") << QString();
    // Elements from an entity are shown and read-only: edits elsewhere keep
    // the reference as written, one inside them is refused, naming it.
    const QByteArray fooEntity("<!DOCTYPE doc [<!ENTITY e \"<foo>x</foo>\">]>\n<doc>\n  &e;\n  <foo>y</foo>\n  <k>t</k>\n</doc>\n");
    QTest::newRow("beside the elements of an entity")
        << fooEntity << list({"DAT,,doc,", "DAT,,doc/foo,x", "DAT,,doc/foo[1],z", "DAT,,doc/k,t"})
        << QByteArray(fooEntity).replace("<foo>y", "<foo>z") << QString();
    QTest::newRow("a sibling of the elements of an entity deleted")
        << fooEntity << list({"DAT,,doc,", "DAT,,doc/foo,x", "DAT,,doc/k,t"})
        << QByteArray("<!DOCTYPE doc [<!ENTITY e \"<foo>x</foo>\">]>\n<doc>\n  &e;\n  \n  <k>t</k>\n</doc>\n") << QString();
    QTest::newRow("an earlier sibling of the reference's element deleted")
        << QByteArray("<!DOCTYPE doc [<!ENTITY e \"<foo/>\">]><doc><w>1</w><w>&e;</w></doc>")
        << list({"DAT,,doc,", "DAT,,doc/w,", "DAT,,doc/w/foo,"})
        << QByteArray("<!DOCTYPE doc [<!ENTITY e \"<foo/>\">]><doc><w>&e;</w></doc>") << QString();
    QTest::newRow("an element added beside an entity's, in the default namespace")
        << QByteArray("<!DOCTYPE doc [<!ENTITY e \"<foo>x</foo>\">]><doc xmlns=\"urn:a\">&e;<bar/></doc>")
        << list({"DAT,,doc,", "DAT,,doc/foo,x", "DAT,,doc/bar,", "DAT,,doc/foo[1],z"})
        << QByteArray("<!DOCTYPE doc [<!ENTITY e \"<foo>x</foo>\">]><doc xmlns=\"urn:a\">&e;<bar/><foo>z</foo></doc>")
        << QString();
    QTest::newRow("inside the elements of an entity")
        << fooEntity << list({"DAT,,doc,", "DAT,,doc/foo,w", "DAT,,doc/foo[1],y", "DAT,,doc/k,t"}) << fooEntity
        << QStringLiteral("the elements of the entity \"&e;\", whose text holds markup; they are read-only");
    QTest::newRow("the elements of an entity deleted")
        << fooEntity << list({"DAT,,doc,", "DAT,,doc/foo,y", "DAT,,doc/k,t"}) << fooEntity
        << QStringLiteral("would change, move or remove the elements of the entity \"&e;\", whose text holds markup; "
                          "they are read-only");
    QTest::newRow("over an entity holding text")
        << QByteArray("<!DOCTYPE d [<!ENTITY co \"a &#38;lt; b\">]>\n<d><a>&co;</a></d>") << list({"DAT,,d,", "DAT,,d/a,c"})
        << QByteArray("<!DOCTYPE d [<!ENTITY co \"a &#38;lt; b\">]>\n<d><a>c</a></d>") << QString();
    QTest::newRow("children with value text reordered")
        << QByteArray("<A><B/>x<C/>y<B/></A>") << list({"DAT,,A,xy", "DAT,,A/B,", "DAT,,A/B[1],", "DAT,,A/C,"})
        << QByteArray("<A><B/>xy<B/><C/></A>") << QString();
    // Text between child elements reads as it stands, blanks at either end
    // left out; it is kept as long as the value is. A changed value whose
    // text stands in one place goes there; one whose text stands in several
    // cannot be placed, and is refused.
    QTest::newRow("text around children, a child changed")
        << QByteArray("<doc>Hello <b>world</b> and <i>you</i> bye</doc>")
        << list({"DAT,,doc,Hello  and  bye", "DAT,,doc/b,earth", "DAT,,doc/i,you"})
        << QByteArray("<doc>Hello <b>earth</b> and <i>you</i> bye</doc>") << QString();
    // There a removed child leaves its text, and an added one takes no line
    // of its own, which would put blanks into the value.
    QTest::newRow("text around children, a child removed")
        << QByteArray("<doc>Hello <b>world</b> and <i>you</i>\nbye</doc>") << list({"DAT,,doc,Hello  and \nbye", "DAT,,doc/i,you"})
        << QByteArray("<doc>Hello  and <i>you</i>\nbye</doc>") << QString();
    // A lone carriage return before the removed child would join the line
    // feed after it into one line end: it is written as the line feed it
    // reads as.
    QTest::newRow("text around children, a child removed between CR and LF")
        << QByteArray("<doc>one\r<b/>\ntwo<i/></doc>") << list({"DAT,,doc,one\n\ntwo", "DAT,,doc/i,"})
        << QByteArray("<doc>one\n\ntwo<i/></doc>") << QString();
    QTest::newRow("text around children, a child added")
        << QByteArray("<doc>\n  Hello\n  <b/>\n  bye\n</doc>\n")
        << list({"DAT,,doc,Hello\n  \n  bye", "DAT,,doc/b,", "DAT,,doc/c,"})
        << QByteArray("<doc>\n  Hello\n  <b/><c/>\n  bye\n</doc>\n") << QString();
    const QByteArray mixed("<doc>\n  <p>a</p>\n  <p>Hello <b>world</b> and <i>you</i> bye</p>\n</doc>\n");
    QTest::newRow("text around children, value changed")
        << mixed << list({"DAT,,doc,", "DAT,,doc/p,a", "DAT,,doc/p[1],Hello and you", "DAT,,doc/p[1]/b,world", "DAT,,doc/p[1]/i,you"})
        << mixed << QStringLiteral("the element \"doc/p[1]\" has text between its child elements, so its changed value "
                                   "cannot be placed among them; change it in the XML View instead.");
    QTest::newRow("text before the children changed")
        << QByteArray("<Doc>\n  Intro\n  <b>x</b>\n  <c/>\n</Doc>\n") << list({"DAT,,Doc,Outro", "DAT,,Doc/b,x", "DAT,,Doc/c,"})
        << QByteArray("<Doc>\n  Outro\n  <b>x</b>\n  <c/>\n</Doc>\n") << QString();
    // U+FEFF inside a document is a character, however many stand together,
    // and one that the encoding cannot hold is written as a reference.
    QTest::newRow("two U+FEFF starting a value")
        << QByteArray("<Doc><a>\xef\xbb\xbf<b/>\xef\xbb\xbfx</a></Doc>") << list({"DAT,,Doc,", "DAT,,Doc/a,\xef\xbb\xbf\xef\xbb\xbfx"})
        << QByteArray("<Doc><a>\xef\xbb\xbf\xef\xbb\xbfx</a></Doc>") << QString();
    QTest::newRow("U+FEFF in Latin-1")
        << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<d><a>x</a></d>\n")
        << list({"DAT,,d,", "DAT,,d/a,\xef\xbb\xbf\xc3\xa9\xe2\x82\xac"})
        << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<d><a>&#xFEFF;\xe9&#x20AC;</a></d>\n") << QString();
    // A name whose prefix is not bound where it is written declares it, with
    // the namespace the prefix has where the document uses that name.
    QTest::newRow("prefixed sibling, declared on the first")
        << QByteArray("<Doc>\n  <r:a xmlns:r=\"urn:r\"/>\n</Doc>\n")
        << list({"DAT,,Doc,", "DAT,,Doc/r:a,", "DAT,,Doc/r:a[1],", "DAT,,Doc/r:a[1]/r:c,"})
        << QByteArray("<Doc>\n  <r:a xmlns:r=\"urn:r\"/>\n  <r:a xmlns:r=\"urn:r\">\n    <r:c/>\n  </r:a>\n</Doc>\n") << QString();
    QTest::newRow("prefix bound two ways")
        << QByteArray("<Doc><p:a xmlns:p=\"urn:1\"/><q xmlns:p=\"urn:2\"><p:b/></q></Doc>")
        << list({"DAT,,Doc,", "DAT,,Doc/p:a,", "DAT,,Doc/q,", "DAT,,Doc/q/p:b,", "DAT,,Doc/p:b,"})
        << QByteArray("<Doc><p:a xmlns:p=\"urn:1\"/><q xmlns:p=\"urn:2\"><p:b/></q><p:b xmlns:p=\"urn:2\"/></Doc>") << QString();
    QTest::newRow("prefixed attribute and child, declared once")
        << QByteArray("<Doc><i:x xmlns:i=\"urn:i\" i:v=\"1\"/><b/></Doc>")
        << list({"DAT,,Doc,", "DAT,,Doc/i:x,", "DAT,,Doc/i:x/@i:v,1", "DAT,,Doc/b,", "DAT,,Doc/b/@i:v,2", "DAT,,Doc/b/i:x,",
                 "DAT,,Doc/b/i:x/@i:v,3"})
        << QByteArray("<Doc><i:x xmlns:i=\"urn:i\" i:v=\"1\"/><b xmlns:i=\"urn:i\" i:v=\"2\"><i:x i:v=\"3\"/></b></Doc>")
        << QString();
    // So does a default namespace: a new sibling of an element that declares
    // one is in it, and one that leaves it is not.
    QTest::newRow("default namespace below the root")
        << QByteArray("<configuration>\n  <runtime>\n    <assemblyBinding xmlns=\"urn:asm\">\n      <dependentAssembly/>\n"
                      "    </assemblyBinding>\n  </runtime>\n</configuration>\n")
        << list({"DAT,,configuration,", "DAT,,configuration/runtime,", "DAT,,configuration/runtime/assemblyBinding,",
                 "DAT,,configuration/runtime/assemblyBinding/dependentAssembly,",
                 "DAT,,configuration/runtime/assemblyBinding[1],",
                 "DAT,,configuration/runtime/assemblyBinding[1]/dependentAssembly,"})
        << QByteArray("<configuration>\n  <runtime>\n    <assemblyBinding xmlns=\"urn:asm\">\n      <dependentAssembly/>\n"
                      "    </assemblyBinding>\n    <assemblyBinding xmlns=\"urn:asm\">\n      <dependentAssembly/>\n"
                      "    </assemblyBinding>\n  </runtime>\n</configuration>\n")
        << QString();
    QTest::newRow("default namespace left below the root")
        << QByteArray("<Doc xmlns=\"urn:d\"><x xmlns=\"\"/><y/></Doc>")
        << list({"DAT,,Doc,", "DAT,,Doc/x,", "DAT,,Doc/y,", "DAT,,Doc/x[1],", "DAT,,Doc/y[1],"})
        << QByteArray("<Doc xmlns=\"urn:d\"><x xmlns=\"\"/><y/><x xmlns=\"\"/><y/></Doc>") << QString();
    QTest::newRow("default namespace changing twice below new elements")
        << QByteArray("<root><a xmlns=\"urn:1\"><E/><G/></a><C/></root>")
        << list({"DAT,,root,", "DAT,,root/a,", "DAT,,root/a/E,", "DAT,,root/a/G,", "DAT,,root/C,", "DAT,,root/E,",
                 "DAT,,root/E/C,", "DAT,,root/E/C/G,"})
        << QByteArray("<root><a xmlns=\"urn:1\"><E/><G/></a><C/><E xmlns=\"urn:1\">\n  <C xmlns=\"\">\n"
                      "    <G xmlns=\"urn:1\"/>\n  </C>\n</E></root>")
        << QString();
    // "xsi" that nothing declares is the schema-instance prefix; a
    // declaration made on an existing element serves its children too.
    QTest::newRow("xsi declared by the store, used below")
        << QByteArray("<Doc><a/></Doc>")
        << list({"DAT,,Doc,", "DAT,,Doc/@xsi:type,t", "DAT,http://www.w3.org/2001/XMLSchema-instance,Doc/@noNamespaceSchemaLocation,s.xsd",
                 "DAT,,Doc/a,", "DAT,,Doc/a/@xsi:nil,true"})
        << QByteArray("<Doc xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xsi:type=\"t\" "
                      "xsi:noNamespaceSchemaLocation=\"s.xsd\"><a xsi:nil=\"true\"/></Doc>")
        << QString();
    // The other attributes' prefixes are settled before the schema location
    // picks one.
    QTest::newRow("schema location beside xsi of another namespace")
        << QByteArray("<Doc><a xmlns:xsi=\"urn:o\" xsi:foo=\"1\"/><b/></Doc>")
        << list({"DAT,,Doc,", "DAT,,Doc/a,", "DAT,,Doc/a/@xsi:foo,1", "DAT,,Doc/b,",
                 "DAT,http://www.w3.org/2001/XMLSchema-instance,Doc/b/@noNamespaceSchemaLocation,s.xsd", "DAT,,Doc/b/@xsi:foo,2"})
        << QByteArray("<Doc><a xmlns:xsi=\"urn:o\" xsi:foo=\"1\"/><b xmlns:xsi=\"urn:o\" xmlns:xsi2=\"http://www.w3.org/2001/"
                      "XMLSchema-instance\" xsi2:noNamespaceSchemaLocation=\"s.xsd\" xsi:foo=\"2\"/></Doc>")
        << QString();
    // "xsi" means another namespace on a: the schema location needs another prefix.
    QTest::newRow("schema location where xsi is taken")
        << QByteArray("<Doc xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"><a xmlns:xsi=\"urn:o\"/></Doc>")
        << list({"DAT,,Doc,", "DAT,,Doc/a,", "DAT,http://www.w3.org/2001/XMLSchema-instance,Doc/a/@noNamespaceSchemaLocation,s.xsd"})
        << QByteArray("<Doc xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"><a xmlns:xsi=\"urn:o\" "
                      "xmlns:xsi2=\"http://www.w3.org/2001/XMLSchema-instance\" xsi2:noNamespaceSchemaLocation=\"s.xsd\"/></Doc>")
        << QString();
    const QByteArray twoPrefixes("<Doc><a xmlns:p=\"u\" xmlns:q=\"u\" p:v=\"1\"/></Doc>");
    QTest::newRow("two prefixes, one namespace") << twoPrefixes << list({"DAT,,Doc,", "DAT,,Doc/a,", "DAT,,Doc/a/@p:v,1", "DAT,,Doc/a/@q:v,2"})
                                                 << twoPrefixes << QStringLiteral("which name the same attribute (\"v\" in the namespace \"u\")");
    const QByteArray entity("<!DOCTYPE d [<!ENTITY e \"<b>x</b>\">]>\n<d>\n  <a>&e;</a>\n  <c>1</c>\n</d>\n");
    QTest::newRow("edit over an entity holding markup") << entity << list({"DAT,,d,", "DAT,,d/a,y", "DAT,,d/c,1"}) << entity
                                                        << QStringLiteral("would change, move or remove the elements of "
                                                                          "the entity \"&e;\"");
    // Every encoding stores as it reads, again and again: a byte below 0x40
    // inside a GB18030 or JOHAB character is not markup; characters that
    // Shift_JIS would write as bytes reading back as others are references;
    // UTF-16 keeps its byte order, with or without a byte order mark.
    QTest::newRow("GB18030, a four-byte character kept")
        << QByteArray("<?xml version=\"1.0\" encoding=\"GB18030\"?>\n<r><u>x\x94\x39\xfc\x36</u><v>a</v></r>\n")
        << list({"DAT,,r,", "DAT,,r/u,x\xf0\x9f\x98\x80", "DAT,,r/v,b"})
        << QByteArray("<?xml version=\"1.0\" encoding=\"GB18030\"?>\n<r><u>x\x94\x39\xfc\x36</u><v>b</v></r>\n") << QString();
    QTest::newRow("JOHAB, a trail byte below 0x40")
        << QByteArray("<?xml version=\"1.0\" encoding=\"JOHAB\"?>\n<r><u>\xf9\x3f</u><v>a</v></r>\n")
        << list({"DAT,,r,", "DAT,,r/u,\xe4\xb8\xb8", "DAT,,r/v,b"})
        << QByteArray("<?xml version=\"1.0\" encoding=\"JOHAB\"?>\n<r><u>\xf9\x3f</u><v>b</v></r>\n") << QString();
    QTest::newRow("Shift_JIS, backslash and tilde")
        << QByteArray("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<r><t>a</t></r>\n") << list({"DAT,,r,", "DAT,,r/t,C:\\dir~x"})
        << QByteArray("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<r><t>C:&#x5C;dir&#x7E;x</t></r>\n") << QString();
    const QByteArray beHead = QStringEncoder(QStringEncoder::Utf16BE)(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><r>"_s);
    const QByteArray beTail = QStringEncoder(QStringEncoder::Utf16BE)(u"</r>"_s);
    QTest::newRow("UTF-16 big-endian without a byte order mark")
        << beHead + QByteArray("\0a", 2) + beTail << list({"DAT,,r,b"}) << beHead + QByteArray("\0b", 2) + beTail << QString();
    QTest::newRow("UTF-16 big-endian with a byte order mark")
        << "\xfe\xff" + beHead + QByteArray("\0a", 2) + beTail << list({"DAT,,r,b"})
        << "\xfe\xff" + beHead + QByteArray("\0b", 2) + beTail << QString();
    // Refusals that name their cause.
    const QByteArray latin1("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<r><t>a</t></r>\n");
    QTest::newRow("a new name the encoding cannot hold")
        << latin1 << list({"DAT,,r,", "DAT,,r/t,a", "DAT,,r/\xe6\x97\xa5,x"}) << latin1
        << QStringLiteral("the new name \"\u65E5\" cannot be written in the file's encoding ISO-8859-1");
    const QByteArray nmtokens("<!DOCTYPE r [<!ATTLIST r a NMTOKENS #IMPLIED>]>\n<r a=\"x\"/>\n");
    QTest::newRow("blanks an NMTOKENS attribute drops")
        << nmtokens << list({"DAT,,r,", "DAT,,r/@a, x  y "}) << nmtokens
        << QStringLiteral("the attribute \"r/@a\" is declared in the document's DTD with a type (such as NMTOKEN or ID) "
                          "whose values lose the blanks");
    const QByteArray jis("<?xml version=\"1.0\" encoding=\"ISO-2022-JP\"?>\n<d><a>x</a></d>\n");
    QTest::newRow("stateful encoding") << jis << list({"DAT,,d,", "DAT,,d/a,y"}) << jis
                                       << QStringLiteral("encoding \"ISO-2022-JP\" is not supported");
}

void TestProvider::storesExactBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, sent);
    QFETCH(QByteArray, expected);
    QFETCH(QString, refusal);
    const QString path = m_dir.filePath(QStringLiteral("exact.xml"));
    QFile::remove(path);
    writeBytes(path, bytes);
    auto file = controller()->BindFile(path, QString());
    const QString error = failureOf([&] { file->RunCommand(QStringLiteral("PutData"), sent); });
    QCOMPARE(bytesOf(path), expected);
    if (!refusal.isEmpty()) {
        QVERIFY2(error.contains(refusal), qPrintable(error));
        return;
    }
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(storeedits::comparable(file->RunCommand(QStringLiteral("GetData")).toStringList()),
             storeedits::expectedAfterStore(sent));
}

// Edits made from a document's own pair list the way the editor makes them
// (values, added children at their declared place, deletions, several at
// once) always store, and read back as the list that was sent.
void TestProvider::everyEditStores_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("scripts");
    QTest::addColumn<QString>("refusal"); // a documented refusal, or empty
    const QStringList files = QDir(kData).entryList({QStringLiteral("*.xml")}, QDir::Files, QDir::Name);
    for (const QString &file : files)
        QTest::newRow(qPrintable(file)) << bytesOf(kData + file) << 60 << QString();
    // Names that libxml2 reads under the current XML name rules (here a
    // half-width katakana) are written back under the same rules.
    QTest::newRow("newer name characters") << QByteArray("<Doc la\xef\xbe\x94ng=\"ja\"><N\xef\xbe\x94>x</N\xef\xbe\x94></Doc>")
                                           << 20 << QString();
    // Names of more than 100 characters in a legacy multibyte encoding.
    const QByteArray longName = "\x97\x76" + QByteArray("\x96\xbc").repeated(110);
    QTest::newRow("long names in Shift_JIS")
        << QByteArray("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<r>\n  <" + longName + " " + longName + "=\"1\">x</" +
                      longName + ">\n  <a>" + longName + "</a>\n</r>\n")
        << 20 << QString();
    // A comment written "<!-->...-->", and U+FEFF starting a text and as a
    // name.
    QTest::newRow("odd but well-formed text")
        << QByteArray("<Doc \xef\xbb\xbf=\"1\"><!--> c -->\n  <a>\xef\xbb\xbfx</a><\xef\xbb\xbf/>\t\n\xef\xbb\xbf</Doc>")
                                              << 40 << QString();
    // Prefixes declared below the root, one of them bound two ways, a
    // default namespace below the root, and a schema location where "xsi"
    // means something else: added names need declarations where they go.
    QTest::newRow("namespaces declared below the root")
        << QByteArray("<Doc>\n  <r:Doc xmlns:r=\"urn:r\" r:v=\"1\">\n    <r:Item>x</r:Item>\n  </r:Doc>\n"
                      "  <p:q xmlns:p=\"urn:p\" xmlns:xsi=\"urn:x\"><p:z p:w=\"1\" xmlns:r=\"urn:s\"><r:Item/></p:z>"
                      "<u xmlns:i=\"http://www.w3.org/2001/XMLSchema-instance\" i:noNamespaceSchemaLocation=\"u.xsd\" xsi:a=\"1\"/></p:q>\n"
                      "  <s xmlns=\"urn:s\"><t/></s>\n</Doc>\n")
        << 60 << QString();
    // An entity whose text holds elements that the data does not show: an
    // edit that would remove it is refused.
    QTest::newRow("entity holding markup")
        << QByteArray("<!DOCTYPE d [<!ENTITY e \"<b>x</b>\">]>\n<d>\n  <a>&e;</a>\n  &e;<c>1</c>\n</d>\n") << 60
        << QStringLiteral("entity \"&e;\", whose text holds markup");
    // A stateful encoding cannot be patched byte for byte: a store is refused.
    QTest::newRow("ISO-2022-JP") << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-2022-JP\"?>\n<d><a>\x1b$BF|K\\\x1b(B</a></d>\n")
                                 << 5 << QStringLiteral("encoding \"ISO-2022-JP\" is not supported");
    std::mt19937 rng(20261208);
    const storeedits::Choose choose = [&](unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(rng); };
    for (int i = 0; i < 60; ++i)
        QTest::newRow(qPrintable(QStringLiteral("generated %1").arg(i))) << storeedits::randomDocument(choose) << 15 << QString();
}

void TestProvider::everyEditStores()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, scripts);
    QFETCH(QString, refusal);
    const QString path = m_dir.filePath(QStringLiteral("edited.xml"));
    std::mt19937 rng(static_cast<unsigned>(qHash(bytes)));
    const storeedits::Choose choose = [&](unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(rng); };
    for (int script = 0; script < scripts; ++script) {
        QFile::remove(path);
        writeBytes(path, bytes);
        auto file = controller()->BindFile(path, QString());
        const QStringList pairs = file->RunCommand(QStringLiteral("GetData")).toStringList();
        QStringList log;
        const QStringList sent = storeedits::edit(pairs, storeedits::configurationFor(pairs), choose, 4, &log);
        const QString what = log.join(QStringLiteral("; ")) + QStringLiteral(" in:\n") + QString::fromUtf8(bytes);
        const QString error = failureOf([&] { file->RunCommand(QStringLiteral("PutData"), sent); });
        if (!refusal.isEmpty() && error.contains(refusal))
            continue;
        QVERIFY2(error.isEmpty(), qPrintable(error + QStringLiteral("\nafter: ") + what));
        const QStringList expected = storeedits::expectedAfterStore(sent);
        QCOMPARE(storeedits::comparable(file->RunCommand(QStringLiteral("GetData")).toStringList()), expected);
        const QStringList reread = controller()->BindFile(path, QString())->RunCommand(QStringLiteral("GetData")).toStringList();
        if (storeedits::comparable(reread) != expected)
            QFAIL(qPrintable(QStringLiteral("read back differently after: ") + what + QStringLiteral("\nstored:\n") +
                             QString::fromUtf8(bytesOf(path))));
    }
}

void TestProvider::storeWithoutChangeWritesNothing()
{
    const QString path = copyOf(QStringLiteral("prolog_entities.xml"));
    const QDateTime before = QFileInfo(path).lastModified();
    QThread::msleep(20);
    auto file = controller()->BindFile(path, QString());
    file->RunCommand(QStringLiteral("PutData"), file->RunCommand(QStringLiteral("GetData")));
    QCOMPARE(bytesOf(path), bytesOf(kData + QStringLiteral("prolog_entities.xml")));
    QCOMPARE(QFileInfo(path).lastModified(), before);
}

void TestProvider::contentRoundTripIsByteIdentical()
{
    QFETCH(QString, name);
    const QString path = copyOf(name + QStringLiteral(".xml"));
    auto file = controller()->BindFile(path, QString());
    file->SetContent(file->Content());
    QCOMPARE(bytesOf(path), bytesOf(kData + name + QStringLiteral(".xml")));
}

void TestProvider::contentReadUsesLineFeeds()
{
    auto file = controller()->BindFile(copyOf(QStringLiteral("sjis_crlf_quotes.xml")), QString());
    const QString text = file->Content().toString();
    QVERIFY(!text.contains(u'\r'));
    QVERIFY(text.contains(QStringLiteral("<Name lang='ja'>日本語の値</Name>\n")));
}

void TestProvider::contentWriteRefusesMalformedText()
{
    const QString path = copyOf(QStringLiteral("move.xml"));
    auto file = controller()->BindFile(path, QString());
    const QString error = failureOf([&] { file->SetContent(QStringLiteral("<Doc>\n  <a>\n</Doc>\n")); });
    QVERIFY2(error.contains(QStringLiteral("line 3")), qPrintable(error));
    QVERIFY2(error.contains(QStringLiteral("move.xml")), qPrintable(error));
    QCOMPARE(bytesOf(path), bytesOf(kData + QStringLiteral("move.xml")));
}

// A big-endian UTF-16 file whose declaration names only "UTF-16" is written
// back big-endian, behind its own byte order mark (or none).
void TestProvider::contentWriteKeepsUtf16ByteOrder()
{
    const QByteArray body = QStringEncoder(QStringEncoder::Utf16BE)(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<r>a</r>\n"_s);
    for (const QByteArray &bom : {QByteArray("\xfe\xff"), QByteArray()}) {
        const QString path = m_dir.filePath(QStringLiteral("be.xml"));
        writeBytes(path, bom + body);
        auto file = controller()->BindFile(path, QString());
        const QString text = file->Content().toString();
        QVERIFY(text.contains(u"<r>a</r>"_s));
        file->SetContent(text);
        QCOMPARE(bytesOf(path), bom + body);
        file->SetContent(QString(text).replace(u"<r>a</r>"_s, u"<r>b</r>"_s));
        QCOMPARE(bytesOf(path), bom + QByteArray(body).replace(QByteArray("\0a", 2), QByteArray("\0b", 2)));
    }
}

void TestProvider::contentWriteRefusesUnencodableCharacter()
{
    const QString path = copyOf(QStringLiteral("latin1.xml"));
    auto file = controller()->BindFile(path, QString());
    const QString error = failureOf([&] { file->SetContent(file->Content().toString().replace(u'é', u'日')); });
    QVERIFY2(error.contains(QStringLiteral("日")), qPrintable(error));
    QCOMPARE(bytesOf(path), bytesOf(kData + QStringLiteral("latin1.xml")));
}

// The draft the checks read is the text PutData would write; read back
// apart from the file object, it gives the refusal PutData would give.
void TestProvider::draftIsWhatAStoreWrites()
{
    const QString path = m_dir.filePath(QStringLiteral("draft.xml"));
    const QByteArray bytes("<!DOCTYPE r [<!ATTLIST r a NMTOKEN #IMPLIED>]><r a=\"x\"><t>1</t></r>");
    writeBytes(path, bytes);
    auto file = controller()->BindFile(path, QString());
    const QStringList changed{u"DAT,,r,"_s, u"DAT,,r/@a,x"_s, u"DAT,,r/t,2"_s};
    const StoreDraft draft = file->RunCommand(QStringLiteral("PutDataDraft"), changed).value<StoreDraft>();
    QCOMPARE(draft.bytes, file->RunCommand(QStringLiteral("PutDataPreview"), changed).toByteArray());
    QCOMPARE(TarnwellProvider::DraftRefusal(draft), QString());
    // Blanks an NMTOKEN drops: the draft is written, and reads back otherwise.
    const QStringList blanks{u"DAT,,r,"_s, u"DAT,,r/@a, y "_s, u"DAT,,r/t,1"_s};
    const QString why =
        TarnwellProvider::DraftRefusal(file->RunCommand(QStringLiteral("PutDataDraft"), blanks).value<StoreDraft>());
    QVERIFY2(why.contains(u"NMTOKEN"_s), qPrintable(why));
    QCOMPARE(why, failureOf([&] { file->RunCommand(QStringLiteral("PutData"), blanks); }));
    QCOMPARE(bytesOf(path), bytes);
    // An element beside an entity's that would not come out where the list
    // puts it: the draft's refusal names the entity, as PutData's does.
    const QString entityPath = m_dir.filePath(QStringLiteral("draft-entity.xml"));
    writeBytes(entityPath, "<!DOCTYPE r [<!ENTITY e \"<a>1</a>\">]><r><x/>&e;</r>");
    auto entityFile = controller()->BindFile(entityPath, QString());
    const QStringList beside{u"DAT,,r,"_s, u"DAT,,r/x,"_s, u"DAT,,r/a,1"_s, u"DAT,,r/y,"_s};
    const QString besideWhy =
        TarnwellProvider::DraftRefusal(entityFile->RunCommand(QStringLiteral("PutDataDraft"), beside).value<StoreDraft>());
    QVERIFY2(besideWhy.contains(u"the entity \"&e;\""_s), qPrintable(besideWhy));
    QCOMPARE(besideWhy, failureOf([&] { entityFile->RunCommand(QStringLiteral("PutData"), beside); }));
}

void TestProvider::laterGetDataSeesWrittenText()
{
    const QString path = copyOf(QStringLiteral("add_element.xml"));
    auto file = controller()->BindFile(path, QString());
    file->SetContent(QStringLiteral("<Doc>\n\t<Item>changed</Item>\n</Doc>\n"));
    QCOMPARE(bytesOf(path), QByteArray("<Doc>\n\t<Item>changed</Item>\n</Doc>\n"));
    QCOMPARE(file->RunCommand(QStringLiteral("GetData")).toStringList(),
             (QStringList{QStringLiteral("DAT,,Doc,"), QStringLiteral("DAT,,Doc/Item,changed")}));
}

// Values read as XML 1.0 (Fifth Edition) says, not as the parser happens
// to hand them over.
void TestProvider::readsByXmlRules_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("pairs");
    // 3.3.3: every white-space character of an entity's replacement text in
    // an attribute value becomes a space; a character reference written in
    // the value itself keeps its character.
    QTest::newRow("attribute normalization of entity text")
        << QByteArray("<!DOCTYPE r [<!ENTITY t \"a&#9;b\"><!ENTITY l \"c\nd\">]><r x=\"&t;\" y=\"&l;\" z=\"e&#9;f\"/>")
        << QStringList{u"DAT,,r,"_s, u"DAT,,r/@x,a b"_s, u"DAT,,r/@y,c d"_s, u"DAT,,r/@z,e\tf"_s};
    QTest::newRow("the standard's own example")
        << QByteArray("<!DOCTYPE r [<!ENTITY d \"&#xD;\"><!ENTITY a \"&#xA;\"><!ENTITY da \"&#xD;&#xA;\">]>"
                      "<r x=\"&d;&d;A&a;&#x20;&a;B&da;\"/>")
        << QStringList{u"DAT,,r,"_s, u"DAT,,r/@x,  A   B  "_s};
    // 2.11: line ends are normalized in the input; a carriage return an
    // entity's text holds by a character reference stays one.
    QTest::newRow("carriage return from an entity")
        << QByteArray("<!DOCTYPE r [<!ENTITY cr \"&#13;\">]><r>a&cr;b</r>") << QStringList{u"DAT,,r,a\rb"_s};
    // A namespace name written with an entity is the name it expands to: a
    // new element of that prefix needs no declaration of its own.
    QTest::newRow("namespace name through an entity")
        << QByteArray("<!DOCTYPE r [<!ENTITY u \"urn:x\">]><r xmlns:a=\"&u;\"><a:k a:v=\"1\"/></r>")
        << QStringList{u"DAT,,r,"_s, u"DAT,,r/a:k,"_s, u"DAT,,r/a:k/@a:v,1"_s};
    // 5.1: declarations after a reference to a parameter entity that is not
    // read are not processed (it may have held overriding ones), unless the
    // document is standalone. The first declaration of an attribute binds.
    QTest::newRow("attribute type after an unread parameter entity")
        << QByteArray("<!DOCTYPE r [<!ATTLIST r b NMTOKEN #IMPLIED><!ENTITY % x SYSTEM \"n.ent\"> %x;"
                      "<!ATTLIST r a NMTOKEN #IMPLIED><!ATTLIST r b CDATA #IMPLIED>]><r a=\" x \" b=\" y \"/>")
        << QStringList{u"DAT,,r,"_s, u"DAT,,r/@a, x "_s, u"DAT,,r/@b,y"_s};
    // libxml2 looks a parameter entity up again right after its
    // declaration; that is no reference.
    QTest::newRow("a parameter entity declared twice")
        << QByteArray("<!DOCTYPE r [<!ENTITY % x SYSTEM \"n.ent\"><!ENTITY % x \"again\"><!ENTITY late \"L\">"
                      "<!ATTLIST r a NMTOKEN #IMPLIED>]><r a=\" x \">&late;</r>")
        << QStringList{u"DAT,,r,L"_s, u"DAT,,r/@a,x"_s};
    QTest::newRow("standalone document processes them")
        << QByteArray("<?xml version=\"1.0\" standalone=\"yes\"?><!DOCTYPE r [<!ENTITY % x SYSTEM \"n.ent\"> %x;"
                      "<!ATTLIST r a NMTOKEN #IMPLIED>]><r a=\" x \"/>")
        << QStringList{u"DAT,,r,"_s, u"DAT,,r/@a,x"_s};
    // Elements from internal entities are in the list where the reference
    // stands, as XML and XPath count them; their text is theirs, not their
    // parent's, whose own text around them stays its value.
    QTest::newRow("elements from an entity")
        << QByteArray("<!DOCTYPE doc [<!ENTITY e \"<foo>x</foo>\">]><doc>&e;<foo>y</foo></doc>")
        << QStringList{u"DAT,,doc,"_s, u"DAT,,doc/foo,x"_s, u"DAT,,doc/foo[1],y"_s};
    QTest::newRow("an entity of text and an element")
        << QByteArray("<!DOCTYPE p [<!ENTITY m \"t<i>x</i>u\">]><p>a&m;b</p>")
        << QStringList{u"DAT,,p,atub"_s, u"DAT,,p/i,x"_s};
    QTest::newRow("an entity's prefix declared around the reference")
        << QByteArray("<!DOCTYPE doc [<!ENTITY e \"<p:foo q='1'><p:bar/></p:foo>\">]><doc xmlns:p='urn:p'>&e;</doc>")
        << QStringList{u"DAT,,doc,"_s, u"DAT,,doc/p:foo,"_s, u"DAT,,doc/p:foo/@q,1"_s, u"DAT,,doc/p:foo/p:bar,"_s};
    // A sibling equal to the entity's element before the reference is the
    // file's own.
    QTest::newRow("an equal sibling before the reference")
        << QByteArray("<!DOCTYPE doc [<!ENTITY e \"<foo>x</foo>\">]><doc><foo>x</foo><bar/>&e;</doc>")
        << QStringList{u"DAT,,doc,"_s, u"DAT,,doc/foo,x"_s, u"DAT,,doc/bar,"_s, u"DAT,,doc/foo[1],x"_s};
    QTest::newRow("entities within entities")
        << QByteArray("<!DOCTYPE r [<!ENTITY in \"<k v='1'>&amp;</k>\"><!ENTITY out \"<g>&in;</g>\">]><r>&out;<z/></r>")
        << QStringList{u"DAT,,r,"_s, u"DAT,,r/g,"_s, u"DAT,,r/g/k,&"_s, u"DAT,,r/g/k/@v,1"_s, u"DAT,,r/z,"_s};
    // Attribute defaults of the internal subset are not in the file: they
    // stay out of the list.
    QTest::newRow("attribute default left out")
        << QByteArray("<!DOCTYPE r [<!ATTLIST r d CDATA \"dflt\">]><r a=\"1\"/>")
        << QStringList{u"DAT,,r,"_s, u"DAT,,r/@a,1"_s};
}

void TestProvider::readsByXmlRules()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, pairs);
    const QString path = m_dir.filePath(QStringLiteral("rules.xml"));
    writeBytes(path, bytes);
    auto file = controller()->BindFile(path, QString());
    QCOMPARE(file->RunCommand(QStringLiteral("GetData")).toStringList(), pairs);
    // A store of the list read changes no byte.
    file->RunCommand(QStringLiteral("PutData"), pairs);
    QCOMPARE(bytesOf(path), bytes);
}

void TestProvider::badFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");
    QTest::newRow("malformed") << QByteArray("<Doc>\n<a></b>\n</Doc>") << "line 2";
    QTest::newRow("empty") << QByteArray() << "not well-formed";
    QTest::newRow("entity loop")
        << QByteArray("<!DOCTYPE d [<!ENTITY a \"&b;\"><!ENTITY b \"&a;\">]><d>&a;</d>") << "not well-formed";
    QByteArray laughs = "<!DOCTYPE d [<!ENTITY a0 \"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\">";
    for (int i = 1; i < 12; ++i)
        laughs += "<!ENTITY a" + QByteArray::number(i) + " \"" + QByteArray("&a" + QByteArray::number(i - 1) + ";").repeated(10) + "\">";
    laughs += "]><d>&a11;</d>";
    QTest::newRow("entity expansion") << laughs << "not well-formed";
    // The parser's limits, in plain words.
    QTest::newRow("deep nesting") << (QByteArray("<a>").repeated(5000) + QByteArray("</a>").repeated(5000))
                                  << "goes beyond what the editor reads: it nests elements deeper than 256 levels (line 1, column 772)";
    QTest::newRow("long name") << "<" + QByteArray(50001, 'n') + "/>" << "a name is longer than 50,000 bytes";
    // A text read in pieces stops at the limit; it must not be taken cut.
    QTest::newRow("long text") << "<d>" + (QByteArray(99, 'x') + "&amp;").repeated(100001) + "</d>"
                               << "a text is longer than 10,000,000 bytes";
    // Plain faults whose messages carry words of a limit's message.
    QTest::newRow("entity declared after an unread parameter entity")
        << QByteArray("<!DOCTYPE r [<!ENTITY % x SYSTEM \"n.ent\"> %x; <!ENTITY late \"L\">]>\n<r>&late;</r>")
        << "Entity 'late' not defined (declarations after a reference to a parameter entity that is not read are "
           "not processed) (line 2";
    QTest::newRow("an entity's prefix declared nowhere")
        << QByteArray("<!DOCTYPE doc [<!ENTITY e \"<p:foo>x</p:foo>\">]><doc>&e;</doc>")
        << "whose text uses the namespace prefix \"p\", which is declared nowhere";
    // libxml2 drops the prefix of such an attribute without a trace.
    QTest::newRow("an entity's attribute prefixed from outside")
        << QByteArray("<!DOCTYPE doc [<!ENTITY e \"<foo p:a='1'/>\">]><doc xmlns:p='urn:p'>&e;</doc>")
        << "an attribute with a namespace prefix declared outside it";
    QTest::newRow("namespace default after an unread parameter entity")
        << QByteArray("<!DOCTYPE r [<!ENTITY % x SYSTEM \"n.ent\"> %x;<!ATTLIST r xmlns:p CDATA \"urn:p\">]><r><p:k/></r>")
        << "Namespace prefix p on k is not defined";
    QTest::newRow("DTD syntax error") << QByteArray("<!DOCTYPE d [<!ELEMENT d (a,b]>\n<d/>") << "not well-formed";
    QTest::newRow("name like a limit") << QByteArray("<huge_text_node_ContentDecl></x>") << "not well-formed";
    QTest::newRow("text like a limit") << QByteArray("<d><![CDATA[a use XML_PARSE_HUGE option]]") << "not well-formed";
    QTest::newRow("long entity value")
        << "<!DOCTYPE d [<!ENTITY e \"" + QByteArray(10000001, 'x') + "\">]><d/>"
        << "a single piece of markup is longer than 10,000,000 bytes";
    QTest::newRow("deep content declaration")
        << "<!DOCTYPE d [<!ELEMENT d " + QByteArray(200, '(') + "a" + QByteArray(200, ')') + ">]><d/>"
        << "an element declaration nests its groups deeper than 128 levels";
    // Work bounded for every input: an entity referenced again and again, in
    // content or in attribute values, and an element with very many
    // attributes (whose duplicate check libxml2 does pair by pair).
    const QByteArray megabyte = "<!DOCTYPE d [<!ENTITY e \"" + QByteArray(1000000, 'x') + "\">]>";
    QTest::newRow("entity text beyond the limit")
        << megabyte + "<d>" + QByteArray("&e;").repeated(11) + "</d>"
        << "goes beyond what the editor reads: its references to entities expand to more than 10,000,000 bytes of text (line 1)";
    QTest::newRow("entity text in attributes beyond the limit")
        << megabyte + "<d a=\"" + QByteArray("&e;").repeated(6) + "\" b=\"" + QByteArray("&e;").repeated(5) + "\"/>"
        << "its references to entities expand to more than 10,000,000 bytes of text";
    QByteArray attributes = "<d";
    for (int i = 0; i <= 10000; ++i)
        attributes += " a" + QByteArray::number(i) + "='1'";
    QTest::newRow("too many attributes") << attributes + "/>" << "goes beyond what the editor reads: an element has more than 10,000 attributes";
    // Counted past a processing instruction with a quote in the DTD, and
    // counted for the defaults a DTD declares, which every element gets.
    QTest::newRow("too many attributes after a PI in the DTD")
        << "<!DOCTYPE d [<?pi \" ?>]>" + attributes + "/>" << "an element has more than 10,000 attributes";
    QByteArray defaults = "<!DOCTYPE d [<!ATTLIST d";
    for (int i = 0; i <= 10000; ++i)
        defaults += " a" + QByteArray::number(i) + " CDATA '1'";
    QTest::newRow("too many attribute defaults") << defaults + ">]><d/>" << "an element has more than 10,000 attributes";
    // Namespace names written with entities count against the entity limit,
    // each time an element declares one (a DTD default declares it on each).
    QTest::newRow("entity text in namespace names beyond the limit")
        << "<!DOCTYPE d [<!ENTITY e \"" + QByteArray(1000000, 'x') + "\"><!ATTLIST c xmlns:p CDATA \"urn:&e;\">]><d>" +
               QByteArray("<c/>").repeated(11) + "</d>"
        << "its references to entities expand to more than 10,000,000 bytes of text";
    QTest::newRow("one attribute twice, through an entity in a namespace name")
        << QByteArray("<!DOCTYPE r [<!ENTITY tilde \"~\">]><r xmlns:a=\"http://e.org/~w\" xmlns:b=\"http://e.org/&tilde;w\" "
                      "a:attr=\"1\" b:attr=\"2\"/>")
        << "the attributes a:attr and b:attr of the element \"r\" are one attribute, since their prefixes name the "
           "namespace \"http://e.org/~w\"";
    QTest::newRow("XML 1.1") << QByteArray("<?xml version=\"1.1\"?><r/>") << "is an XML 1.1 document, and the editor reads XML 1.0 only";
    QTest::newRow("UTF-8 byte order mark, another encoding declared")
        << QByteArray("\xef\xbb\xbf<?xml version=\"1.0\" encoding=\"iso-8859-1\"?><r/>")
        << "starts with the byte order mark of UTF-8 but declares the encoding \"iso-8859-1\"";
    QTest::newRow("UTF-16 byte order mark, UTF-8 declared")
        << QByteArray("\xff\xfe") + QByteArray(QStringEncoder(QStringEncoder::Utf16LE)(u"<?xml version=\"1.0\" encoding=\"utf-8\"?><r/>"_s))
        << "starts with the byte order mark of UTF-16 but declares the encoding \"utf-8\"";
    QTest::newRow("invalid UTF-8") << QByteArray("<Doc>\xff\xfe</Doc>") << "not well-formed";
    QTest::newRow("NUL byte") << QByteArray("<Doc>a\0b</Doc>", 14) << "not well-formed";
    QTest::newRow("unbound prefix") << QByteArray("<p:Doc/>") << "not well-formed";
    // Both would be "Doc/@noNamespaceSchemaLocation": a store could not put
    // them back apart.
    QTest::newRow("two attributes, one path")
        << QByteArray("<Doc xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n"
                      "     xsi:noNamespaceSchemaLocation=\"a.xsd\" noNamespaceSchemaLocation=\"b\"/>")
        << "\"xsi:noNamespaceSchemaLocation\" and \"noNamespaceSchemaLocation\"";
}

void TestProvider::badFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    const QString path = m_dir.filePath(QStringLiteral("bad.xml"));
    writeBytes(path, bytes);
    const QString error = failureOf([&] { controller()->BindFile(path, QString()); });
    QVERIFY2(error.contains(expected, Qt::CaseInsensitive), qPrintable(error));
    QVERIFY2(error.contains(QStringLiteral("bad.xml")), qPrintable(error));
    // libxml2's advice to lift its limits is not passed on (unless it is the
    // document's own text, quoted).
    QVERIFY2(!error.contains(QStringLiteral("XML_PARSE")) || bytes.contains("XML_PARSE"), qPrintable(error));
    QCOMPARE(bytesOf(path), bytes);
}

// An entity that points at a local file is not read: its text never shows
// up in the document's data, and the network is never asked.
void TestProvider::externalEntityIsNeverRead()
{
    const QString secret = m_dir.filePath(QStringLiteral("secret.txt"));
    writeBytes(secret, "TOP-SECRET");
    const QString path = m_dir.filePath(QStringLiteral("xxe.xml"));
    const QByteArray doc = "<!DOCTYPE d [<!ENTITY s SYSTEM \"file://" + secret.toUtf8() +
                           "\"><!ENTITY n SYSTEM \"http://127.0.0.1:9/x\">]>\n<d><v>&s;</v><w>&n;</w></d>";
    writeBytes(path, doc);
    const QString error = failureOf([&] { controller()->BindFile(path, QString()); });
    QVERIFY2(error.contains(QStringLiteral("not read")), qPrintable(error));
    QVERIFY(!error.contains(QStringLiteral("TOP-SECRET")));
    QCOMPARE(bytesOf(path), doc);

    // An external DTD is not fetched either; a document that does not need
    // it opens as usual.
    writeBytes(path, "<!DOCTYPE d SYSTEM \"http://127.0.0.1:9/d.dtd\">\n<d><v>1</v></d>");
    QCOMPARE(controller()->BindFile(path, QString())->RunCommand(QStringLiteral("GetData")).toStringList(),
             (QStringList{QStringLiteral("DAT,,d,"), QStringLiteral("DAT,,d/v,1")}));
    writeBytes(path, "<!DOCTYPE d SYSTEM \"http://127.0.0.1:9/d.dtd\">\n<d><v>&ent;</v></d>");
    QVERIFY(failureOf([&] { controller()->BindFile(path, QString()); }).contains(QStringLiteral("ent")));
}

void TestProvider::tooLargeFileIsRefused()
{
    const QString path = m_dir.filePath(QStringLiteral("huge.xml"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(TarnwellProvider::kMaxFileSize + 1));
    }
    const QString error = failureOf([&] { controller()->BindFile(path, QString()); });
    QVERIFY2(error.contains(QStringLiteral("larger than 64 MiB")), qPrintable(error));
}

void TestProvider::badPairLists_data()
{
    QTest::addColumn<QStringList>("pairs");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no DAT entry") << QStringList{QString(), QStringLiteral("XYZ,,Doc,1")} << "nothing to store";
    QTest::newRow("empty list") << QStringList() << "nothing to store";
    QTest::newRow("other root") << QStringList{QStringLiteral("DAT,,Other,")} << "root";
    QTest::newRow("invalid element name") << QStringList{QStringLiteral("DAT,,Doc,"), QStringLiteral("DAT,,Doc/1bad,x")}
                                          << "1bad";
    QTest::newRow("invalid attribute name") << QStringList{QStringLiteral("DAT,,Doc,"), QStringLiteral("DAT,,Doc/@a b,x")}
                                            << "@a b";
    QTest::newRow("markup in a name") << QStringList{QStringLiteral("DAT,,Doc,"), QStringLiteral("DAT,,Doc/a><b,x")}
                                      << "a><b";
    QTest::newRow("attribute with a child") << QStringList{QStringLiteral("DAT,,Doc,"), QStringLiteral("DAT,,Doc/@a/b,x")}
                                            << "@a";
    QTest::newRow("bad index") << QStringList{QStringLiteral("DAT,,Doc,"), QStringLiteral("DAT,,Doc/Item[x],1")} << "Item[x]";
    QTest::newRow("value beyond the reader's limit")
        << QStringList{QStringLiteral("DAT,,Doc,"), QStringLiteral("DAT,,Doc/Head,") + (QString(999, u'x') + u'&').repeated(10'001)}
        << "was not stored: the result could not be read back: a text is longer than 10,000,000 bytes.";
    QTest::newRow("entry without a value field") << QStringList{QStringLiteral("DAT,,Doc,"), QStringLiteral("DAT,,Doc/Head")}
                                                 << "entry 2 (\"DAT,,Doc/Head\") has no value field";
    QTest::newRow("undeclared prefix") << QStringList{QStringLiteral("DAT,,Doc,"), QStringLiteral("DAT,,Doc/q:x,1")}
                                       << "has the prefix \"q\", which no namespace declaration in the document binds";
    // A list read strictly: what it cannot mean exactly is refused, naming
    // the entry, instead of overwritten, renumbered or dropped.
    const QString doc = QStringLiteral("DAT,,Doc,"), tail = QStringLiteral("DAT,,Doc/Tail,t"),
                  a = QStringLiteral("DAT,,Doc/Tail/@a,1"), head = QStringLiteral("DAT,,Doc/Head,h");
    QTest::newRow("element given twice") << QStringList{doc, tail, a, head, QStringLiteral("DAT,,Doc/Head,x")}
                                         << "entry 5 (\"DAT,,Doc/Head,x\") gives the path \"Doc/Head\" again (entry 4";
    QTest::newRow("attribute given twice") << QStringList{doc, tail, a, QStringLiteral("DAT,,Doc/Tail/@a,2"), head}
                                           << "entry 4 (\"DAT,,Doc/Tail/@a,2\") gives the path \"Doc/Tail/@a\" again";
    QTest::newRow("root given twice") << QStringList{doc, tail, a, head, doc} << "gives the path \"Doc\" again (entry 1";
    QTest::newRow("index with a gap") << QStringList{doc, tail, a, QStringLiteral("DAT,,Doc/Head[1],h")}
                                      << "entry 4 (\"DAT,,Doc/Head[1],h\") names \"Head[1]\", but the list names no "
                                         "earlier sibling of that name";
    QTest::newRow("index two past the last") << QStringList{doc, tail, a, head, QStringLiteral("DAT,,Doc/Head[2],h")}
                                             << "names \"Head[2]\", but the list names only 1 earlier sibling";
    QTest::newRow("namespace of an existing element")
        << QStringList{doc, QStringLiteral("DAT,urn:zz,Doc/Tail,t"), a, head}
        << "entry 2 gives \"Doc/Tail\" the namespace \"urn:zz\", but it is in no namespace";
    QTest::newRow("namespace of an unprefixed attribute")
        << QStringList{doc, tail, a, head, QStringLiteral("DAT,urn:other,Doc/Head/@noNamespaceSchemaLocation,x")}
        << "but an attribute without a prefix is in no namespace";
    QTest::newRow("namespace against the prefix's")
        << QStringList{doc, tail, a, head, QStringLiteral("DAT,urn:q,Doc/Head/xml:x,1")}
        << "the new element \"xml:x\" is to be in the namespace \"urn:q\", but its prefix \"xml\" means";
}

void TestProvider::badPairLists()
{
    QFETCH(QStringList, pairs);
    QFETCH(QString, expected);
    const QString path = copyOf(QStringLiteral("move.xml"));
    auto file = controller()->BindFile(path, QString());
    const QString error = failureOf([&] { file->RunCommand(QStringLiteral("PutData"), pairs); });
    QVERIFY2(error.contains(expected), qPrintable(error));
    QCOMPARE(bytesOf(path), bytesOf(kData + QStringLiteral("move.xml")));
}

// A name that leads to another file after the read (a link planted, or a
// rename) is not stored through, even when that file holds the same text.
void TestProvider::replacedFileIsNotWrittenThrough()
{
    const QString path = copyOf(QStringLiteral("move.xml"));
    const QString other = m_dir.filePath(QStringLiteral("other.xml"));
    writeBytes(other, bytesOf(path));
    auto file = controller()->BindFile(path, QString());
    QVERIFY(QFile::remove(path));
    QVERIFY(QFile::link(other, path));
    const QString error = failureOf([&] {
        file->RunCommand(QStringLiteral("PutData"), QStringList{u"DAT,,Doc,"_s, u"DAT,,Doc/Head,x"_s});
    });
    QVERIFY2(error.contains(QStringLiteral("its name now leads to another file than the one that was read")), qPrintable(error));
    QCOMPARE(bytesOf(other), bytesOf(kData + QStringLiteral("move.xml")));
}

void TestProvider::changedOnDiskIsNotOverwritten()
{
    const QString path = copyOf(QStringLiteral("move.xml"));
    auto file = controller()->BindFile(path, QString());
    writeBytes(path, "<Doc><Other/></Doc>");
    const QString error = failureOf([&] {
        file->RunCommand(QStringLiteral("PutData"), QStringList{QStringLiteral("DAT,,Doc,"), QStringLiteral("DAT,,Doc/Head,x")});
    });
    QVERIFY2(error.contains(QStringLiteral("changed")), qPrintable(error));
    QCOMPARE(bytesOf(path), QByteArray("<Doc><Other/></Doc>"));
}

void TestProvider::writeFailureNamesTheCause_data()
{
    QTest::addColumn<QString>("cause");
    QTest::addColumn<QString>("expected");
    QTest::newRow("file size limit") << "fsize" << "the file size limit was reached.";
    QTest::newRow("folder not writable") << "readonly" << "there is no permission to write in the folder";
    QTest::newRow("folder gone") << "gone" << "no longer exists.";
    QTest::newRow("file read-only") << "readonly file" << "the file is read-only.";
}

// A store that cannot be written names why, and leaves the file as it was.
void TestProvider::writeFailureNamesTheCause()
{
    QFETCH(QString, cause);
    QFETCH(QString, expected);
    if (cause.startsWith(QLatin1String("readonly")) && ::geteuid() == 0)
        QSKIP("root may write in any folder");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("doc.xml"));
    const QByteArray original = "<Doc><v>1</v></Doc>";
    writeBytes(path, original);
    auto file = controller()->BindFile(path, QString());
    const QStringList pairs{QStringLiteral("DAT,,Doc,"), QStringLiteral("DAT,,Doc/v,") + QString(4096, u'x')};

    QString error;
    if (cause == QLatin1String("fsize")) {
        // A small file size limit; writing past it fails with EFBIG once the
        // signal that would end the process is ignored.
        rlimit old{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
        rlimit small = old;
        small.rlim_cur = 1024;
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        error = failureOf([&] { file->RunCommand(QStringLiteral("PutData"), pairs); });
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
    } else if (cause == QLatin1String("readonly file")) {
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner));
        error = failureOf([&] { file->RunCommand(QStringLiteral("PutData"), pairs); });
    } else if (cause == QLatin1String("readonly")) {
        QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        error = failureOf([&] { file->RunCommand(QStringLiteral("PutData"), pairs); });
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    } else {
        QVERIFY(dir.remove());
        error = failureOf([&] { file->RunCommand(QStringLiteral("PutData"), pairs); });
        QVERIFY2(error.contains(expected), qPrintable(error));
        return;
    }
    QVERIFY2(error.contains(QStringLiteral("was not stored: ") + expected), qPrintable(error));
    QCOMPARE(bytesOf(path), original);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("doc.xml")});
}

void TestProvider::permissionsAreKept()
{
    const QString path = copyOf(QStringLiteral("move.xml"));
    const auto perms = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                       QFileDevice::WriteUser | QFileDevice::ReadGroup;
    QVERIFY(QFile::setPermissions(path, perms));
    // Opened through a chain of two links: the file at the end gets the
    // text, and both links stay links.
    const QString near = m_dir.filePath(QStringLiteral("near.xml")), far = m_dir.filePath(QStringLiteral("far.xml"));
    QFile::remove(near);
    QFile::remove(far);
    QVERIFY(QFile::link(path, far));
    QVERIFY(QFile::link(far, near));
    auto file = controller()->BindFile(near, QString());
    file->RunCommand(QStringLiteral("PutData"), pairsOf(kData + QStringLiteral("move.put")));
    QCOMPARE(bytesOf(path), bytesOf(kData + QStringLiteral("move.expected")));
    QCOMPARE(int(QFile::permissions(path) & 0x0777), 0x0640);
    QVERIFY(QFileInfo(near).isSymLink() && QFileInfo(far).isSymLink());

    // A new document gets what the umask gives a new file.
    const mode_t mask = ::umask(022);
    ::umask(mask);
    const QString fresh = m_dir.filePath(QStringLiteral("fresh.xml"));
    controller()->BindFile(fresh, QStringLiteral("@Create"))->RunCommand(QStringLiteral("PutData"), QStringList{QStringLiteral("DAT,,R,")});
    // QFileDevice spells the bits of "other", group and user as hex digits.
    const int maskBits = int((mask & 07) | ((mask >> 3) & 07) << 4 | ((mask >> 6) & 07) << 8);
    QCOMPARE(int(QFileInfo(fresh).permissions() & 0x0777), 0x0666 & ~maskBits);
}

// A new document is bound to a name no file has; nothing is on disk until
// the first store, and an existing file (a link too) is never replaced by one.
void TestProvider::createLeavesDiskAloneUntilStore()
{
    const QString existing = copyOf(QStringLiteral("move.xml"));
    const QString link = m_dir.filePath(QStringLiteral("link.xml"));
    QVERIFY(QFile::link(existing, link));
    for (const QString &taken : {existing, link}) {
        const QString error = failureOf([&] { controller()->BindFile(taken, QStringLiteral("@Create")); });
        QVERIFY2(error.contains(QStringLiteral("exists already, and a new document is never stored over a file")), qPrintable(error));
    }
    QCOMPARE(bytesOf(existing), bytesOf(kData + QStringLiteral("move.xml")));

    const QString path = m_dir.filePath(QStringLiteral("created.xml"));
    QFile::remove(path);
    auto file = controller()->BindFile(path, QStringLiteral("@Create"));
    QCOMPARE(file->RunCommand(QStringLiteral("GetData")).toStringList(), QStringList());
    QCOMPARE(file->Content().toString(), QString());
    QVERIFY(!QFile::exists(path));
    file->RunCommand(QStringLiteral("PutData"),
                     QStringList{QStringLiteral("DAT,,New,"), QStringLiteral("DAT,,New/@a,1"), QStringLiteral("DAT,,New/@xml:lang,en"),
                                 QStringLiteral("DAT,,New/A/B,x, y")});
    QCOMPARE(bytesOf(path), QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<New a=\"1\" xml:lang=\"en\">\n  <A>\n"
                                       "    <B>x, y</B>\n  </A>\n</New>\n"));
}

void TestProvider::engineObjects()
{
    auto ctrl = controller();
    const QString path = copyOf(QStringLiteral("move.xml"));
    auto file = ctrl->BindFile(path, QString());
    QCOMPARE(ctrl->FileList()->Count(), 1);
    QCOMPARE(file->Path(), path);
    ctrl->FileList()->RemoveAll();
    QCOMPARE(ctrl->FileList()->Count(), 0);
    QCOMPARE(file.use_count(), 1);

    QVERIFY(failureOf([&] { ctrl->BindFile(path, QStringLiteral("@Other")); }).contains(QStringLiteral("@Other")));
    QVERIFY(failureOf([&] { ctrl->BindFile(m_dir.filePath(QStringLiteral("missing.xml")), QString()); })
                .contains(QStringLiteral("does not exist")));
    QVERIFY(failureOf([&] { file->RunCommand(QStringLiteral("Frobnicate")); }).contains(QStringLiteral("Frobnicate")));
    QVERIFY(failureOf([&] { file->RunCommand(QStringLiteral("PutData"), QStringLiteral("DAT,,Doc,")); })
                .contains(QStringLiteral("not a list")));
    QVERIFY(failureOf([] {
                CreateQuenEngine()->WorkspaceList().at(0)->CreateController({}, QStringLiteral("No.Such"), {}, {});
            }).contains(QStringLiteral("No.Such")));

    // The engine factory can be replaced, and restored.
    SetEngineFactory([]() -> std::shared_ptr<QuenEngine> { throw Error(QStringLiteral("engine offline")); });
    QCOMPARE(failureOf([] { CreateQuenEngine(); }), QStringLiteral("engine offline"));
    SetEngineFactory({});
    QVERIFY(CreateQuenEngine());
}

QTEST_GUILESS_MAIN(TestProvider)
#include "tst_provider.moc"
