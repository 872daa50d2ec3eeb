// Whole editing cycles through the window's widgets with the real provider
// on temporary files, and the add-item dialog.
#include "ColoredTreeModel.h"
#include "Error.h"
#include "NodePath.h"
#include "WindowTestSupport.h"
#include "TarnwellProvider.h"
#include "dlgSelectAddItem.h"
#include "frmMain.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <csignal>
#include <sys/resource.h>

using namespace tarnwell;

using namespace Qt::Literals::StringLiterals;

namespace {

QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A provider whose one file answers from the test's script.
struct Script
{
    QList<QVariant> getData;
    QVariant putResult;
};

class ScriptedFile : public QuenFile
{
public:
    explicit ScriptedFile(Script *script) : m_script(script) {}
    QVariant RunCommand(const QString &name, const QVariant &) override
    {
        if (name == QLatin1String("GetData")) {
            if (m_script->getData.isEmpty())
                throw Error(QStringLiteral("No more data."));
            return m_script->getData.takeFirst();
        }
        return m_script->putResult;
    }
    QVariant Content() const override { return QString(); }
    void SetContent(const QVariant &) override {}
    QString Path() const override { return QString(); }

private:
    Script *m_script;
};

Script *g_script = nullptr;

class ScriptedProvider : public QuenProvider
{
public:
    std::shared_ptr<QuenFile> BindFile(const QString &, const QString &) override
    {
        return std::make_shared<ScriptedFile>(g_script);
    }
};

} // namespace

class TestEditing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void editValueAndStore();
    void addAndDeleteAndStore();
    void deleteAnsweredNoKeepsTree();
    void addCancelledKeepsTree();
    void commaValueSurvives();
    void failingLoadKeepsShownTree();
    void providerMessageAfterStore();
    void storeThatCannotBeWrittenWarns();
    void textAroundChildrenIsKept();
    void readThenWriteIsByteIdentical();
    void writeOfMalformedTextIsRefused();
    void viewsNeverUndoEachOther_data();
    void viewsNeverUndoEachOther();
    void unsavedChangesAreAskedAbout_data();
    void unsavedChangesAreAskedAbout();
    void newDocumentCycle();
    void filePanel_data();
    void filePanel();
    void dialogResults();
    void dialogLayout();

private:
    template<typename T>
    T *widget(const char *name)
    {
        return findWidget<T>(m_window, name);
    }
    void click(const char *button) { QTest::mouseClick(widget<QPushButton>(button), Qt::LeftButton); }
    QString copyExample(const QString &name) { return ::copyExample(m_dir, name); }
    void open(const QString &path);
    void select(TreeNode *node);
    void type(const QString &text);

    QTemporaryDir m_dir;
    ScriptedPrompts *m_prompts = nullptr;
    frmMain *m_window = nullptr;
    Script m_script;
};

void TestEditing::init()
{
    m_prompts = new ScriptedPrompts;
    m_window = new frmMain(m_prompts, QStringLiteral(TARNWELL_EXAMPLES "/TarnwellEditor.cfg"));
    QVERIFY(m_window->Form_Load());
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void TestEditing::cleanup()
{
    delete m_window;
    delete m_prompts;
    RegisterProvider(kTarnwellProgId.toString(), [] { return std::make_unique<TarnwellProvider>(); });
    m_script = Script();
}

void TestEditing::open(const QString &path)
{
    m_prompts->fileNames.enqueue(path);
    m_window->findChild<QAction *>(QStringLiteral("mnuFileItem2"))->trigger();
    click("cmdGetData");
}

void TestEditing::select(TreeNode *node)
{
    QVERIFY(node);
    widget<QTreeView>("treXml")->setCurrentIndex(m_window->treeModel()->indexFromNode(node));
}

void TestEditing::type(const QString &text)
{
    auto *box = widget<QLineEdit>("txtValue");
    box->setFocus();
    box->selectAll();
    // One key press per character, as a keyboard or an input method sends them.
    for (char32_t c : text.toUcs4())
        QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QString::fromUcs4(&c, 1), Qt::NoModifier);
}

void TestEditing::editValueAndStore()
{
    const QString path = copyExample(QStringLiteral("shift_jis.xml"));
    const QByteArray before = bytesOf(path);
    open(path);
    QCOMPARE(m_window->selectedNode(), m_window->treeModel()->rootNode());
    TreeNode *author = m_window->treeModel()->rootNode()->childNamed(QStringLiteral("Book"), 0)->childNamed(QStringLiteral("Author"), 0);
    select(author);
    type(QStringLiteral("森鷗外, 1862"));
    click("cmdPutData");
    QVERIFY(m_prompts->warnings.isEmpty());
    QCOMPARE(widget<QLabel>("sbarPanel1")->text(), QStringLiteral("保存が完了しました。"));
    // Only the value's bytes change; the character Shift_JIS cannot hold
    // becomes a character reference.
    QByteArray expected = before;
    expected.replace(QByteArray("\x89\xc4\x96\xda\x9f\xf9\x90\xce"), QByteArray("\x90\x58&#x9DD7;\x8a\x4f, 1862"));
    QCOMPARE(bytesOf(path), expected);

    // Opened again, the node shows the value as typed.
    open(path);
    select(m_window->treeModel()->rootNode()->childNamed(QStringLiteral("Book"), 0)->childNamed(QStringLiteral("Author"), 0));
    QCOMPARE(widget<QLineEdit>("txtValue")->text(), QStringLiteral("森鷗外, 1862"));
}

void TestEditing::addAndDeleteAndStore()
{
    const QString path = copyExample(QStringLiteral("doc.xml"));
    QByteArray expected = bytesOf(path);
    open(path);
    TreeModel *model = m_window->treeModel();
    TreeNode *root = model->rootNode();

    // Add an Author to the second book: offered names exclude its single
    // Title, and the new node lands after the existing Authors.
    select(root->childNamed(QStringLiteral("Book"), 1));
    m_prompts->addItems.enqueue(QStringLiteral("Author"));
    click("cmdAdd");
    QCOMPARE(m_prompts->offeredNames.last(),
             (QStringList{QStringLiteral("Author"), QStringLiteral("Price"), QStringLiteral("Note")}));
    TreeNode *added = m_window->selectedNode();
    QCOMPARE(IndexedNodePath(*added), QStringLiteral("Catalog/Book[1]/Author[2]"));
    QCOMPARE(widget<QLineEdit>("txtTag")->text(), QStringLiteral("Author"));
    QVERIFY(widget<QLineEdit>("txtValue")->text().isEmpty());
    type(QStringLiteral("Nobody, N."));

    // Delete the first book with its subtree.
    select(root->childNamed(QStringLiteral("Book"), 0));
    m_prompts->answers.enqueue(true);
    click("cmdDelete");
    QCOMPARE(m_prompts->questions, QStringList{QStringLiteral("選択されている項目を削除します。よろしいですか？")});
    QCOMPARE(root->countNamed(QStringLiteral("Book")), 1);

    click("cmdPutData");
    QVERIFY2(m_prompts->warnings.isEmpty(), qPrintable(m_prompts->warnings.join(u'\n')));
    const qsizetype from = expected.indexOf("  <Book id=\"b1\">");
    const qsizetype to = expected.indexOf("  <Book id=\"b2\">");
    expected.remove(from, to - from);
    expected.replace("    <Author>Thomas, D.</Author>\n",
                     "    <Author>Thomas, D.</Author>\n    <Author>Nobody, N.</Author>\n");
    QCOMPARE(QString::fromUtf8(bytesOf(path)), QString::fromUtf8(expected));
}

// A write that fails shows why in the warning box; the file and the tree
// stay as they were, and completion is not reported.
void TestEditing::storeThatCannotBeWrittenWarns()
{
    const QString path = copyExample(QStringLiteral("doc.xml"));
    const QByteArray before = bytesOf(path);
    open(path);
    select(m_window->treeModel()->rootNode()->childNamed(QStringLiteral("Footer"), 0));
    type(QStringLiteral("changed"));

    // A file size limit below the document's size; with SIGXFSZ ignored the
    // write fails with EFBIG instead of ending the process.
    rlimit old{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = static_cast<rlim_t>(before.size() / 2);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
    click("cmdPutData");
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    QCOMPARE(m_prompts->warnings.size(), 1);
    QVERIFY2(m_prompts->warnings[0].endsWith(QStringLiteral("was not stored: the file size limit was reached.")),
             qPrintable(m_prompts->warnings[0]));
    QVERIFY(widget<QLabel>("sbarPanel1")->text().isEmpty());
    QCOMPARE(bytesOf(path), before);
    QCOMPARE(m_window->treeModel()->rootNode()->childNamed(QStringLiteral("Footer"), 0)->tag(), QStringLiteral("changed"));
}

// A value whose text stands between child elements shows as it stands; a
// changed one is refused through the warning box, naming the element, and
// the file keeps its text. Stores that leave it alone go through.
void TestEditing::textAroundChildrenIsKept()
{
    const QString path = m_dir.filePath(QStringLiteral("mixed.xml"));
    const QByteArray before = "<Catalog>\n  <Title>Spring</Title>\n  <Footer>See <b>this</b> and <i>that</i> too</Footer>\n</Catalog>\n";
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(before);
    f.close();
    open(path);
    select(m_window->treeModel()->rootNode()->childNamed(QStringLiteral("Footer"), 0));
    QCOMPARE(widget<QLineEdit>("txtValue")->text(), QStringLiteral("See  and  too"));
    type(QStringLiteral("See all"));
    click("cmdPutData");
    QCOMPARE(m_prompts->warnings.size(), 1);
    QVERIFY2(m_prompts->warnings[0].contains(QStringLiteral("the element \"Catalog/Footer\" has text between its child elements")),
             qPrintable(m_prompts->warnings[0]));
    QVERIFY2(m_prompts->warnings[0].contains(QStringLiteral("XML View")), qPrintable(m_prompts->warnings[0]));
    QCOMPARE(bytesOf(path), before);
    QVERIFY(widget<QLabel>("sbarPanel1")->text().isEmpty());

    type(QStringLiteral("See  and  too"));
    select(m_window->treeModel()->rootNode()->childNamed(QStringLiteral("Title"), 0));
    type(QStringLiteral("Summer"));
    click("cmdPutData");
    QCOMPARE(m_prompts->warnings.size(), 1);
    QByteArray expected = before;
    expected.replace("Spring", "Summer");
    QCOMPARE(bytesOf(path), expected);
}

void TestEditing::deleteAnsweredNoKeepsTree()
{
    open(copyExample(QStringLiteral("doc.xml")));
    const QStringList before = m_window->treeModel()->buildPairList();
    select(m_window->treeModel()->rootNode()->childNamed(QStringLiteral("Footer"), 0));
    m_prompts->answers.enqueue(false);
    click("cmdDelete");
    QCOMPARE(m_window->treeModel()->buildPairList(), before);
    QCOMPARE(widget<QLineEdit>("txtTag")->text(), QStringLiteral("Footer"));
}

void TestEditing::addCancelledKeepsTree()
{
    open(copyExample(QStringLiteral("doc.xml")));
    const QStringList before = m_window->treeModel()->buildPairList();
    m_prompts->addItems.enqueue(std::nullopt);
    click("cmdAdd");
    QCOMPARE(m_prompts->offeredNames.size(), 1);
    QCOMPARE(m_window->treeModel()->buildPairList(), before);
}

void TestEditing::commaValueSurvives()
{
    const QString path = copyExample(QStringLiteral("doc.xml"));
    open(path);
    select(m_window->treeModel()->rootNode()->childNamed(QStringLiteral("Footer"), 0));
    type(QStringLiteral("one, two,, three"));
    click("cmdPutData");
    open(path);
    TreeNode *footer = m_window->treeModel()->rootNode()->childNamed(QStringLiteral("Footer"), 0);
    QCOMPARE(footer->tag(), QStringLiteral("one, two,, three"));
    QVERIFY(bytesOf(path).contains("<Footer>one, two,, three</Footer>"));
}

void TestEditing::failingLoadKeepsShownTree()
{
    g_script = &m_script;
    RegisterProvider(kTarnwellProgId.toString(), [] { return std::make_unique<ScriptedProvider>(); });
    delete m_window;
    m_window = new frmMain(m_prompts, QStringLiteral(TARNWELL_EXAMPLES "/TarnwellEditor.cfg"));
    QVERIFY(m_window->Form_Load());
    m_window->show();
    m_script.getData = {QStringList{QStringLiteral("DAT,,Catalog,"), QStringLiteral("DAT,,Catalog/Title,t")},
                        QStringList{QStringLiteral("DAT,,Catalog,"), QStringLiteral("DAT,,Catalog/Book,"),
                                    QStringLiteral("DAT,,Catalog/Book[x],broken")}};
    open(QStringLiteral("scripted.xml"));
    const QStringList shown = m_window->treeModel()->buildPairList();
    select(m_window->treeModel()->rootNode()->childNamed(QStringLiteral("Title"), 0));
    click("cmdGetData");
    QCOMPARE(m_prompts->warnings.size(), 1);
    QVERIFY2(m_prompts->warnings[0].contains(QStringLiteral("Book[x]")), qPrintable(m_prompts->warnings[0]));
    QCOMPARE(m_window->treeModel()->buildPairList(), shown);
    // The controls still match what is shown.
    QCOMPARE(widget<QLineEdit>("txtTag")->text(), QStringLiteral("Title"));
    QVERIFY(widget<QPushButton>("cmdPutData")->isEnabled());
}

void TestEditing::providerMessageAfterStore()
{
    g_script = &m_script;
    RegisterProvider(kTarnwellProgId.toString(), [] { return std::make_unique<ScriptedProvider>(); });
    delete m_window;
    m_window = new frmMain(m_prompts, QStringLiteral(TARNWELL_EXAMPLES "/TarnwellEditor.cfg"));
    QVERIFY(m_window->Form_Load());
    m_script.getData = {QStringList{QStringLiteral("DAT,,Catalog,")}};
    m_script.putResult = QStringList{QStringLiteral("Stored with a note."), QStringLiteral("not shown")};
    open(QStringLiteral("scripted.xml"));
    click("cmdPutData");
    QCOMPARE(m_prompts->warnings, QStringList{QStringLiteral("Stored with a note.")});
    QCOMPARE(widget<QLabel>("sbarPanel1")->text(), QStringLiteral("保存が完了しました。"));

    // A plain string is no message; an empty array is a failure.
    m_script.putResult = QStringLiteral("ignored");
    click("cmdPutData");
    QCOMPARE(m_prompts->warnings.size(), 1);
    m_script.putResult = QStringList();
    click("cmdPutData");
    QCOMPARE(m_prompts->warnings.size(), 2);
}

void TestEditing::readThenWriteIsByteIdentical()
{
    const QString path = copyExample(QStringLiteral("shift_jis.xml"));
    const QByteArray before = bytesOf(path);
    m_prompts->fileNames.enqueue(path);
    m_window->findChild<QAction *>(QStringLiteral("mnuFileItem2"))->trigger();
    click("cmdRead");
    auto *box = widget<QPlainTextEdit>("txtXML");
    const QString text = box->toPlainText();
    QVERIFY(text.contains(QStringLiteral("<Title>こころ</Title>")));
    click("cmdWrite");
    QVERIFY(m_prompts->warnings.isEmpty());
    QCOMPARE(bytesOf(path), before);
    QCOMPARE(widget<QLabel>("sbarPanel1")->text(), QStringLiteral("保存が完了しました。"));

    // An edited text is stored in Shift_JIS with the file's CR LF line ends:
    // only the edited value's bytes change.
    QString edited = text;
    edited.replace(QStringLiteral("こころ"), QStringLiteral("心"));
    box->setPlainText(edited);
    click("cmdWrite");
    QVERIFY(m_prompts->warnings.isEmpty());
    QByteArray expected = before;
    expected.replace(QByteArray("\x82\xb1\x82\xb1\x82\xeb"), QByteArray("\x90\x53"));
    QCOMPARE(bytesOf(path), expected);

    // Shift_JIS has no no-break space: the write is refused, nothing changes.
    edited = text;
    edited.replace(QStringLiteral("こころ"), QStringLiteral("こ\u00a0こ"));
    box->setPlainText(edited);
    click("cmdWrite");
    QCOMPARE(m_prompts->warnings.size(), 1);
    QCOMPARE(bytesOf(path), expected);

    // In UTF-8, a no-break space and a line separator are written as they are.
    const QString utf8 = copyExample(QStringLiteral("doc.xml"));
    m_prompts->fileNames.enqueue(utf8);
    m_window->findChild<QAction *>(QStringLiteral("mnuFileItem2"))->trigger();
    click("cmdRead");
    edited = box->toPlainText();
    edited.replace(QStringLiteral("猫"), QStringLiteral("猫\u00a0\u2028"));
    box->setPlainText(edited);
    click("cmdWrite");
    QCOMPARE(m_prompts->warnings.size(), 1);
    QCOMPARE(m_window->openFile()->Content().toString(), edited);
}

void TestEditing::writeOfMalformedTextIsRefused()
{
    const QString path = copyExample(QStringLiteral("doc.xml"));
    const QByteArray before = bytesOf(path);
    m_prompts->fileNames.enqueue(path);
    m_window->findChild<QAction *>(QStringLiteral("mnuFileItem2"))->trigger();
    widget<QPlainTextEdit>("txtXML")->setPlainText(QStringLiteral("<Catalog>\n<Title>x</Catalog>\n"));
    click("cmdWrite");
    QCOMPARE(m_prompts->warnings.size(), 1);
    QVERIFY2(m_prompts->warnings[0].contains(QStringLiteral("line 2")), qPrintable(m_prompts->warnings[0]));
    // It is the box's text that is at fault; the file is named as unchanged.
    QVERIFY2(m_prompts->warnings[0].startsWith(QStringLiteral("The text in the XML box is not well-formed XML: ")) &&
                 m_prompts->warnings[0].endsWith(QStringLiteral("\"%1\" was not changed.").arg(path)),
             qPrintable(m_prompts->warnings[0]));
    QCOMPARE(bytesOf(path), before);
    QVERIFY(widget<QLabel>("sbarPanel1")->text().isEmpty());
}

void TestEditing::unsavedChangesAreAskedAbout_data()
{
    QTest::addColumn<QString>("edit"); // "tree", "box", "box read", "box written" or "" for none
    QTest::addColumn<QString>("command"); // a File menu item, or "close" for the window's close
    QTest::addColumn<bool>("answer");
    for (const char *command : {"mnuFileItem1", "mnuFileItem2", "mnuFileItem4", "close"}) {
        for (const char *edit : {"tree", "box"}) {
            QTest::addRow("%s, %s edited, Yes", command, edit) << QString::fromLatin1(edit) << QString::fromLatin1(command) << true;
            QTest::addRow("%s, %s edited, No", command, edit) << QString::fromLatin1(edit) << QString::fromLatin1(command) << false;
        }
        QTest::addRow("%s, box read", command) << QStringLiteral("box read") << QString::fromLatin1(command) << false;
        QTest::addRow("%s, box written", command) << QStringLiteral("box written") << QString::fromLatin1(command) << false;
        QTest::addRow("%s, nothing unsaved", command) << QString() << QString::fromLatin1(command) << false;
    }
}

// New, Open, Exit and closing the window ask before dropping changes not
// stored, in the tree or typed into the XML box; No leaves everything as it
// was, Yes goes on; with nothing unsaved nothing is asked.
void TestEditing::unsavedChangesAreAskedAbout()
{
    QFETCH(QString, edit);
    QFETCH(QString, command);
    QFETCH(bool, answer);
    const QString doc = copyExample(QStringLiteral("doc.xml"));
    m_prompts->fileNames.enqueue(doc);
    m_window->findChild<QAction *>(QStringLiteral("mnuFileItem2"))->trigger();
    click("cmdGetData");
    TreeNode *footer = m_window->treeModel()->rootNode()->childNamed(QStringLiteral("Footer"), 0);
    const QString loadedFooter = footer->tag();
    auto *box = widget<QPlainTextEdit>("txtXML");
    if (edit == u"tree") {
        select(footer);
        type(QStringLiteral("typed, not stored"));
    } else if (edit.startsWith(u"box")) {
        click("cmdRead");
        if (edit != u"box read") {
            box->moveCursor(QTextCursor::End);
            QTest::keyClicks(box, QStringLiteral("<!-- typed -->"));
        }
        if (edit == u"box written")
            click("cmdWrite");
    }
    const QString boxText = box->toPlainText();
    const bool edited = edit == u"tree" || edit == u"box";
    m_prompts->answers.enqueue(answer);
    m_prompts->fileNames.enqueue(m_dir.filePath(QStringLiteral("other.xml")));
    if (command == u"close")
        m_window->close();
    else
        m_window->findChild<QAction *>(command)->trigger();
    // The Japanese question with an English line under it.
    const QString question = u"変更が保存されていません。破棄してよろしいですか？\nThe changes are not stored. Discard them?"_s;
    QCOMPARE(m_prompts->questions, edited ? QStringList{question} : QStringList());
    const bool goesOn = !edited || answer;
    const bool closes = command == u"close" || command == u"mnuFileItem4";
    QCOMPARE(m_window->isVisible(), !(closes && goesOn));
    if (!goesOn) {
        QCOMPARE(m_window->treeModel()->rootNode()->childNamed(QStringLiteral("Footer"), 0)->tag(),
                 edit == u"tree" ? QStringLiteral("typed, not stored") : loadedFooter);
        QCOMPARE(box->toPlainText(), boxText);
        QCOMPARE(m_prompts->fileNames.size(), 1); // no file was asked for
    }
}

void TestEditing::viewsNeverUndoEachOther_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("inFile");  // texts the file holds at the end
    QTest::addColumn<QStringList>("notInFile");
    QTest::addColumn<QString>("warning");     // what the one warning says; empty: none
    QTest::addColumn<QString>("title");       // the tree's Title at the end
    auto row = [](const char *name, const char *steps, QStringList in, QStringList out, const char *warning,
                  const char *title = "Spring list, 2027") {
        QTest::newRow(name) << QString::fromLatin1(steps).split(u' ') << in << out << QString::fromUtf8(warning)
                            << QString::fromUtf8(title);
    };
    const QString written = QStringLiteral("Written list"), outside = QStringLiteral("Outside list"),
                  footer = QStringLiteral("<Footer>changed</Footer>"), again = QStringLiteral("<Footer>again</Footer>");
    row("Write, then PutData of the older tree", "read edit-text write edit put", {written}, {footer},
        "PutData was refused: \"views.xml\" was changed after the tree was read");
    row("PutData, then Write of the older text", "read edit put edit-text write", {footer}, {written},
        "Write was refused: \"views.xml\" was changed after Read fetched this text");
    row("PutData after PutData", "edit put edit-again put", {again}, {}, "");
    row("Write, GetData, then PutData", "read edit-text write get edit put", {written, footer}, {}, "", "Written list, 2027");
    // A store that succeeded first shows the completion, which a refused
    // one must clear.
    row("outside change, then PutData", "edit put outside edit-again put", {outside, footer}, {again},
        "was not stored: it was changed or removed on disk since it was read");
    row("outside change, then GetData", "outside get", {outside}, {}, "", "Outside list, 2027");
    row("outside change, then Read and Write", "outside read edit-text write", {written}, {}, "");
    row("outside change, Read, then PutData", "edit put outside read edit-again put", {outside, footer}, {again},
        "PutData was refused: \"views.xml\" was changed after the tree was read");
    row("broken outside, then GetData", "break get", {QStringLiteral("<Catalog><Title>")}, {},
        "changed on disk and is refused now: ");
    row("removed, then Read", "read remove read", {}, {}, "changed on disk and cannot be read again: ");
    row("another file bound after a store", "edit put open-other", {footer}, {}, "", "");
}

// The tree and the XML box each store only over the text they were read
// from; GetData and Read read the file as it is now. A refused store leaves
// the file and the tree as they were and clears the completion message.
void TestEditing::viewsNeverUndoEachOther()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, inFile);
    QFETCH(QStringList, notInFile);
    QFETCH(QString, warning);
    QFETCH(QString, title);
    const QString path = m_dir.filePath(QStringLiteral("views.xml"));
    QFile::remove(path);
    QVERIFY(QFile::copy(copyExample(QStringLiteral("doc.xml")), path));
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
    open(path);
    auto *box = widget<QPlainTextEdit>("txtXML");
    auto *saved = widget<QLabel>("sbarPanel1");
    auto footer = [&] { return m_window->treeModel()->rootNode()->childNamed(QStringLiteral("Footer"), 0); };
    auto rewrite = [&](const QByteArray &bytes) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    };
    for (const QString &step : steps) {
        if (step == u"read") {
            click("cmdRead");
        } else if (step == u"edit-text") {
            QString text = box->toPlainText();
            text.replace(QRegularExpression(QStringLiteral("<Title>[^<]* list")), QStringLiteral("<Title>Written list"));
            box->setPlainText(text);
        } else if (step == u"write") {
            click("cmdWrite");
        } else if (step == u"edit" || step == u"edit-again") {
            select(footer());
            type(step == u"edit" ? QStringLiteral("changed") : QStringLiteral("again"));
        } else if (step == u"put") {
            click("cmdPutData");
        } else if (step == u"get") {
            click("cmdGetData");
        } else if (step == u"outside") {
            QByteArray bytes = bytesOf(path);
            bytes.replace("Spring list", "Outside list");
            rewrite(bytes);
        } else if (step == u"break") {
            rewrite("<Catalog><Title>");
        } else if (step == u"remove") {
            QVERIFY(QFile::remove(path));
        } else if (step == u"open-other") {
            m_prompts->fileNames.enqueue(copyExample(QStringLiteral("shift_jis.xml")));
            m_window->findChild<QAction *>(QStringLiteral("mnuFileItem2"))->trigger();
        } else {
            QFAIL(qPrintable(step));
        }
    }
    if (warning.isEmpty()) {
        QVERIFY2(m_prompts->warnings.isEmpty(), qPrintable(m_prompts->warnings.join(u'\n')));
        // The completion shows after the last store, and not for another file.
        QCOMPARE(saved->text(), steps.last() == u"put" || steps.last() == u"write" ? frmMain::kSaved.toString() : QString());
    } else {
        QCOMPARE(m_prompts->warnings.size(), 1);
        QVERIFY2(m_prompts->warnings[0].contains(warning), qPrintable(m_prompts->warnings[0]));
        QCOMPARE(saved->text(), QString());
    }
    const QString text = QString::fromUtf8(bytesOf(path));
    for (const QString &t : inFile)
        QVERIFY2(text.contains(t), qPrintable(text));
    for (const QString &t : notInFile)
        QVERIFY2(!text.contains(t), qPrintable(text));
    // A tree of another file bound is empty until GetData.
    if (title.isEmpty())
        QVERIFY(m_window->treeModel()->isEmpty());
    else
        QCOMPARE(m_window->treeModel()->rootNode()->childNamed(QStringLiteral("Title"), 0)->tag(), title);
    // A Read that failed leaves the box as the Read before it filled it.
    if (steps.last() == u"read" && !warning.isEmpty())
        QVERIFY2(box->toPlainText().contains(QStringLiteral("<Title>Spring list, 2027</Title>")), qPrintable(box->toPlainText()));
}

void TestEditing::newDocumentCycle()
{
    const QString path = m_dir.filePath(QStringLiteral("fresh.xml"));
    QFile::remove(path);
    m_prompts->fileNames.enqueue(path);
    m_window->findChild<QAction *>(QStringLiteral("mnuFileItem1"))->trigger();
    click("cmdGetData");
    QVERIFY(m_window->treeModel()->isEmpty());
    QVERIFY(!widget<QPushButton>("cmdPutData")->isEnabled());
    QVERIFY(!widget<QPushButton>("cmdRead")->isEnabled());
    // A document starts from raw text, then the tree takes over.
    widget<QPlainTextEdit>("txtXML")->setPlainText(QStringLiteral("<Catalog><Title>New</Title></Catalog>"));
    click("cmdWrite");
    QVERIFY(m_prompts->warnings.isEmpty());
    click("cmdGetData");
    QCOMPARE(m_window->treeModel()->buildPairList(),
             (QStringList{QStringLiteral("DAT,,Catalog,"), QStringLiteral("DAT,,Catalog/Title,New")}));
    click("cmdPutData");
    QVERIFY(!m_window->isNewFile());
    QVERIFY(widget<QPushButton>("cmdRead")->isEnabled());
}

void TestEditing::filePanel_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("shown");
    const QString doc = QStringLiteral("doc.xml"), changed = QStringLiteral("* doc.xml");
    auto row = [](const char *name, const char *steps, const QString &shown) {
        QTest::newRow(name) << QString::fromLatin1(steps).split(u' ') << shown;
    };
    row("opened", "open", doc);
    row("value edited", "open get edit", changed);
    row("GetData", "open get edit get", doc);
    row("Add", "open get add", changed);
    row("Add cancelled", "open get add-cancelled", doc);
    row("Delete", "open get delete", changed);
    row("Delete answered No", "open get delete-no", doc);
    row("PutData", "open get edit put", doc);
    row("PutData refused", "open get edit put-refused", changed);
    row("Write keeps the mark", "open get edit write", changed);
    row("Write sets no mark", "open get write", doc);
    row("another file opened", "open get edit yes open-other", QStringLiteral("shift_jis.xml"));
    row("another file, changes kept", "open get edit no open-other", changed);
    row("New", "open get edit yes new", QStringLiteral("fresh.xml (new)"));
    row("New, edited", "new write-new get edit", QStringLiteral("* fresh.xml (new)"));
    row("New, stored", "new write-new get edit put", QStringLiteral("fresh.xml"));
}

// The open-file panel through the real handlers: the name, "(new)" until the
// first store, and the mark while the tree holds unstored changes.
void TestEditing::filePanel()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, shown);
    const QString doc = copyExample(QStringLiteral("doc.xml"));
    const QString fresh = m_dir.filePath(QStringLiteral("fresh.xml"));
    QFile::remove(fresh);
    QString current;
    bool declined = false; // the next File command is answered No: the file stays
    auto menu = [&](const char *item, const QString &path) {
        if (!declined)
            current = path;
        declined = false;
        m_prompts->fileNames.enqueue(path);
        m_window->findChild<QAction *>(QLatin1String(item))->trigger();
    };
    auto footer = [&] { return m_window->treeModel()->rootNode()->childNamed(QStringLiteral("Footer"), 0); };
    for (const QString &step : steps) {
        if (step == u"open") {
            menu("mnuFileItem2", doc);
        } else if (step == u"open-other") {
            menu("mnuFileItem2", copyExample(QStringLiteral("shift_jis.xml")));
        } else if (step == u"new") {
            menu("mnuFileItem1", fresh);
        } else if (step == u"yes" || step == u"no") {
            m_prompts->answers.enqueue(step == u"yes"); // to the question about unsaved changes
            declined = step == u"no";
        } else if (step == u"get") {
            click("cmdGetData");
        } else if (step == u"edit") {
            select(footer());
            type(QStringLiteral("changed"));
        } else if (step == u"add" || step == u"add-cancelled") {
            select(m_window->treeModel()->rootNode());
            m_prompts->addItems.enqueue(step == u"add" ? std::optional(QStringLiteral("Book")) : std::nullopt);
            click("cmdAdd");
        } else if (step == u"delete" || step == u"delete-no") {
            select(footer());
            m_prompts->answers.enqueue(step == u"delete");
            click("cmdDelete");
        } else if (step == u"put") {
            click("cmdPutData");
        } else if (step == u"put-refused") {
            // The file went away since it was read: the store is refused.
            QVERIFY(QFile::remove(current));
            click("cmdPutData");
            QCOMPARE(m_prompts->warnings.size(), 1);
        } else if (step == u"write") {
            click("cmdRead");
            click("cmdWrite");
        } else if (step == u"write-new") {
            widget<QPlainTextEdit>("txtXML")->setPlainText(QStringLiteral("<Catalog><Footer>f</Footer></Catalog>"));
            click("cmdWrite");
        } else {
            QFAIL(qPrintable(step));
        }
    }
    if (!steps.contains(QStringLiteral("put-refused")))
        QVERIFY2(m_prompts->warnings.isEmpty(), qPrintable(m_prompts->warnings.join(u'\n')));
    auto *panel = widget<QLabel>("sbarPanel2");
    QCOMPARE(panel->text(), shown);
    QVERIFY(panel->isVisible());
    // The details give the whole path and say whether changes are unstored.
    const QString details = panel->accessibleDescription();
    QVERIFY2(details.startsWith(QFileInfo(current).absoluteFilePath()), qPrintable(details));
    QCOMPARE(details.contains(QStringLiteral("changes that are not stored yet")), shown.startsWith(u'*'));
    QCOMPARE(panel->toolTip(), details);
}

void TestEditing::dialogResults()
{
    const QStringList names{QStringLiteral("Title"), QStringLiteral("title"), QStringLiteral("Author")};
    {
        dlgSelectAddItem dialog;
        QCOMPARE(dialog.DialogResult(), 2);
        dialog.SetAddableItems(names);
        auto *list = dialog.findChild<QListWidget *>(QStringLiteral("lstItem"));
        QCOMPARE(list->count(), 3);
        QCOMPARE(list->item(1)->text(), QStringLiteral("title"));
        QCOMPARE(list->currentRow(), 0);
        QTimer::singleShot(0, &dialog, [&] { QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("OKButton")), Qt::LeftButton); });
        dialog.exec();
        QCOMPARE(dialog.DialogResult(), 1);
        QCOMPARE(dialog.SelectedItem(), QStringLiteral("Title"));
    }
    {
        dlgSelectAddItem dialog;
        dialog.SetAddableItems(names);
        dialog.findChild<QListWidget *>(QStringLiteral("lstItem"))->setCurrentRow(2);
        QTimer::singleShot(0, &dialog, [&] { QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("OKButton")), Qt::LeftButton); });
        dialog.exec();
        QCOMPARE(dialog.SelectedItem(), QStringLiteral("Author"));
    }
    {
        dlgSelectAddItem dialog;
        dialog.SetAddableItems(names);
        dialog.findChild<QListWidget *>(QStringLiteral("lstItem"))->setCurrentRow(1);
        QTimer::singleShot(0, &dialog, [&] { QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("CancelButton")), Qt::LeftButton); });
        dialog.exec();
        QCOMPARE(dialog.DialogResult(), 2);
        QVERIFY(dialog.SelectedItem().isEmpty());
    }
    // A double-click on a name, or Enter on it, chooses it as OK does;
    // Escape cancels.
    for (const char *how : {"double-click", "Enter", "Return", "Escape"}) {
        dlgSelectAddItem dialog;
        dialog.SetAddableItems(names);
        auto *list = dialog.findChild<QListWidget *>(QStringLiteral("lstItem"));
        list->setCurrentRow(2);
        QTimer::singleShot(0, &dialog, [&] {
            list->setFocus();
            if (qstrcmp(how, "double-click") == 0) {
                // As a mouse does it: a press and release, then the second
                // press that makes it a double-click.
                const QPoint at = list->visualItemRect(list->item(2)).center();
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
                QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
            } else {
                QTest::keyClick(list, qstrcmp(how, "Enter") == 0    ? Qt::Key_Enter
                                      : qstrcmp(how, "Return") == 0 ? Qt::Key_Return
                                                                    : Qt::Key_Escape);
            }
            // A dialog the key did not close fails the test instead of hanging.
            QTimer::singleShot(2000, &dialog, [&] { dialog.done(3); });
        });
        dialog.exec();
        const bool chosen = qstrcmp(how, "Escape") != 0;
        QVERIFY2(dialog.result() != 3, how);
        QCOMPARE(dialog.DialogResult(), chosen ? 1 : 2);
        QCOMPARE(dialog.SelectedItem(), chosen ? QStringLiteral("Author") : QString());
        QVERIFY2(dialog.result() != 3, how);
    }
    {
        // Closed from the title bar.
        dlgSelectAddItem dialog;
        dialog.SetAddableItems(names);
        QTimer::singleShot(0, &dialog, [&] { dialog.close(); });
        dialog.exec();
        QCOMPARE(dialog.DialogResult(), 2);
        QVERIFY(dialog.SelectedItem().isEmpty());
    }
}

void TestEditing::dialogLayout()
{
    dlgSelectAddItem dialog(m_window);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Tarnwell XML Editor"));
    QCOMPARE(dialog.parentWidget(), m_window);
    const double dx = dialog.logicalDpiX(), dy = dialog.logicalDpiY();
    auto px = [&](int l, int t, int w, int h) {
        return QRect(twipsToPixels(l, dx), twipsToPixels(t, dy), twipsToPixels(w, dx), twipsToPixels(h, dy));
    };
    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("Label1"))->geometry(), px(120, 120, 3135, 255));
    auto *label = dialog.findChild<QLabel *>(QStringLiteral("Label1"));
    QCOMPARE(label->text(), QStringLiteral("Please select the item you want to add"));
    QVERIFY(label->fontMetrics().horizontalAdvance(label->text()) <= label->width());
    QCOMPARE(dialog.findChild<QWidget *>(QStringLiteral("lstItem"))->geometry(), px(120, 480, 3135, 2400));
    auto *ok = dialog.findChild<QPushButton *>(QStringLiteral("OKButton"));
    auto *cancel = dialog.findChild<QPushButton *>(QStringLiteral("CancelButton"));
    QCOMPARE(ok->geometry(), px(3360, 120, 1215, 375));
    QCOMPARE(cancel->geometry(), px(3360, 600, 1215, 375));
    QCOMPARE(ok->text(), QStringLiteral("OK"));
    QCOMPARE(cancel->text(), QStringLiteral("ｷｬﾝｾﾙ"));
    QCOMPARE(dialog.size(), QSize(twipsToPixels(4770, dx), twipsToPixels(3195, dy)));
    QVERIFY(!ok->isDefault() && !ok->autoDefault() && !cancel->isDefault() && !cancel->autoDefault());
    QCOMPARE(ok->nextInFocusChain(), cancel);
}

QTEST_MAIN(TestEditing)
#include "tst_editing.moc"
