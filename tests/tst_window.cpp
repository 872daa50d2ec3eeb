// The main window through its own widgets, offscreen: start-up, the File and
// Help menus, the enabled state of the controls, the layout, selection and
// value editing.
#include <sys/stat.h>
#include "ColoredTreeModel.h"
#include "Error.h"
#include "NodePath.h"
#include "TarnwellProvider.h"
#include "WindowTestSupport.h"
#include "frmMain.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QCompleter>
#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTabWidget>
#include <QProcess>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

using namespace tarnwell;

using namespace Qt::Literals::StringLiterals;

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

} // namespace

class TestWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void startUp();
    void startUpWithFailingEngine();
    void fileNewAndOpen();
    void cancelOrBlankNameChangesNothing();
    void refusedFileIsSilentAndDisablesCommands();
    void refusalPanel_data();
    void refusalPanel();
    void configurationPanel_data();
    void configurationPanel();
    void controlStates();
    void versionBox();
    void exitCloses();
    void nodeColours_data();
    void nodeColours();
    void valueBoxBackground_data();
    void valueBoxBackground();
    void layoutAtInitialSize();
    void layoutFollowsResize_data();
    void layoutFollowsResize();
    void minimumSize_data();
    void minimumSize();
    void selectionByClickAndKeyboard();
    void typingReachesNodeAndRefreshDoesNotWriteBack();
    void valuesSurviveTheValueBox_data();
    void valuesSurviveTheValueBox();
    void accessibleNames();
    void statusPanelsSpeak();
    void openAtStart();
    void commandLine_data();
    void commandLine();
    void keyboardOrder();
    void schemaPanel_data();
    void schemaPanel();
    void schemaResultForAnotherFileIsDropped();
    void valueBoxSaysWhatIsAllowed();
    void entityNodesAreReadOnly();
    void unsavedChangesAreChecked_data();
    void unsavedChangesAreChecked();

private:
    template<typename T>
    T *widget(const char *name)
    {
        return findWidget<T>(m_window, name);
    }
    QAction *action(const char *name) { return m_window->findChild<QAction *>(QLatin1String(name)); }
    QString copyExample(const QString &name) { return ::copyExample(m_dir, name); }
    void openAndLoad(const QString &path);
    void openMixedDocument();
    QModelIndex shownIndex(const QString &plainPath);
    void select(const QString &plainPath);
    void checkValueBackground(QPalette::ColorRole role);
    void resizeTo(int width, int height);
    void checkGeometry();

    QTemporaryDir m_dir;
    ScriptedPrompts *m_prompts = nullptr;
    frmMain *m_window = nullptr;
};

void TestWindow::init()
{
    QVERIFY(m_dir.isValid());
    QFile::remove(m_dir.filePath(QStringLiteral("TarnwellEditor.cfg")));
    QVERIFY(QFile::copy(QStringLiteral(TARNWELL_EXAMPLES "/TarnwellEditor.cfg"), m_dir.filePath(QStringLiteral("TarnwellEditor.cfg"))));
    m_prompts = new ScriptedPrompts;
    m_window = new frmMain(m_prompts, m_dir.filePath(QStringLiteral("TarnwellEditor.cfg")));
    QVERIFY(m_window->Form_Load());
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void TestWindow::cleanup()
{
    delete m_window;
    delete m_prompts;
    SetEngineFactory({});
}

void TestWindow::openAndLoad(const QString &path)
{
    m_prompts->fileNames.enqueue(path);
    action("mnuFileItem2")->trigger();
    QTest::mouseClick(widget<QPushButton>("cmdGetData"), Qt::LeftButton);
    QVERIFY(m_window->treeModel()->rootNode());
}

// A document with a node listed in E (Title) beside one that is not (Legacy
// is only kept, under D).
void TestWindow::openMixedDocument()
{
    const QString path = m_dir.filePath(QStringLiteral("mixed.xml"));
    writeFile(path, "<Catalog><Title>t</Title><Legacy>old</Legacy></Catalog>");
    openAndLoad(path);
}

// The row the tree view shows for a plain path ("Catalog/Title"), found by
// the names in the view's own model; invalid when there is none.
QModelIndex TestWindow::shownIndex(const QString &plainPath)
{
    const QAbstractItemModel *model = widget<QTreeView>("treXml")->model();
    QModelIndex index;
    for (const QString &name : plainPath.split(u'/')) {
        QModelIndex next;
        for (int row = 0; row < model->rowCount(index) && !next.isValid(); ++row) {
            if (model->index(row, 0, index).data().toString() == name)
                next = model->index(row, 0, index);
        }
        if (!next.isValid())
            return {};
        index = next;
    }
    return index;
}

void TestWindow::select(const QString &plainPath)
{
    const QModelIndex index = shownIndex(plainPath);
    QVERIFY2(index.isValid(), qPrintable(plainPath));
    widget<QTreeView>("treXml")->setCurrentIndex(index);
}

void TestWindow::startUp()
{
    // Start-up brings the List View to the front, whichever tab was there.
    delete m_window;
    m_window = new frmMain(m_prompts, m_dir.filePath(QStringLiteral("TarnwellEditor.cfg")));
    widget<QTabWidget>("tabMain")->setCurrentIndex(1);
    QVERIFY(m_window->Form_Load());
    QCOMPARE(widget<QTabWidget>("tabMain")->currentIndex(), 0);
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Tarnwell XML Editor"));
    QCOMPARE(widget<QTabWidget>("tabMain")->tabText(0), QStringLiteral("List View"));
    QCOMPARE(widget<QTabWidget>("tabMain")->tabText(1), QStringLiteral("XML View"));
    for (const char *name : {"cmdGetData", "cmdRead", "cmdPutData", "cmdWrite", "cmdAdd", "cmdDelete"})
        QVERIFY2(!widget<QPushButton>(name)->isEnabled(), name);
    QVERIFY(!widget<QLineEdit>("txtValue")->isEnabled());
    QCOMPARE(m_window->nameLists().listE().size(), 10);
    QVERIFY(m_prompts->warnings.isEmpty());
}

void TestWindow::startUpWithFailingEngine()
{
    SetEngineFactory([]() -> std::shared_ptr<QuenEngine> { throw Error(QStringLiteral("The engine is not installed.")); });
    ScriptedPrompts prompts;
    frmMain window(&prompts, m_dir.filePath(QStringLiteral("TarnwellEditor.cfg")));
    window.show();
    QVERIFY(!window.Form_Load());
    QCOMPARE(prompts.warnings, QStringList{QStringLiteral("The engine is not installed.")});
    QVERIFY(!window.isVisible());
    // The configuration is not read after a failed connection.
    QVERIFY(window.nameLists().listE().isEmpty());
}

void TestWindow::fileNewAndOpen()
{
    const QString fresh = m_dir.filePath(QStringLiteral("new.xml"));
    m_prompts->fileNames.enqueue(fresh);
    action("mnuFileItem1")->trigger();
    QCOMPARE(m_prompts->lastFilter, QStringLiteral("XML File(*.xml);;All Files (*.*)"));
    QVERIFY(m_window->openFile());
    QVERIFY(m_window->isNewFile());
    QVERIFY(widget<QPushButton>("cmdGetData")->isEnabled());
    QVERIFY(!widget<QPushButton>("cmdRead")->isEnabled());
    QVERIFY(!QFile::exists(fresh));

    openAndLoad(copyExample(QStringLiteral("doc.xml")));
    QVERIFY(!m_window->isNewFile());
    QVERIFY(widget<QPushButton>("cmdRead")->isEnabled());
    QVERIFY(widget<QPushButton>("cmdPutData")->isEnabled());

    // Opening again clears the tree and the raw text without a question.
    widget<QPlainTextEdit>("txtXML")->setPlainText(QStringLiteral("<x/>"));
    m_prompts->fileNames.enqueue(copyExample(QStringLiteral("shift_jis.xml")));
    action("mnuFileItem2")->trigger();
    QVERIFY(m_window->treeModel()->isEmpty());
    QVERIFY(widget<QPlainTextEdit>("txtXML")->toPlainText().isEmpty());
    QVERIFY(m_prompts->questions.isEmpty());
}

void TestWindow::cancelOrBlankNameChangesNothing()
{
    openAndLoad(copyExample(QStringLiteral("doc.xml")));
    QuenFile *before = m_window->openFile();
    widget<QPlainTextEdit>("txtXML")->setPlainText(QStringLiteral("<kept/>"));
    m_prompts->fileNames.enqueue(std::nullopt);
    action("mnuFileItem1")->trigger();
    m_prompts->fileNames.enqueue(QStringLiteral("   "));
    action("mnuFileItem2")->trigger();
    QCOMPARE(m_window->openFile(), before);
    QVERIFY(!m_window->isNewFile());
    QVERIFY(!m_window->treeModel()->isEmpty());
    QCOMPARE(widget<QPlainTextEdit>("txtXML")->toPlainText(), QStringLiteral("<kept/>"));
}

void TestWindow::refusedFileIsSilentAndDisablesCommands()
{
    openAndLoad(copyExample(QStringLiteral("doc.xml")));
    const QString bad = m_dir.filePath(QStringLiteral("bad.xml"));
    writeFile(bad, "<Catalog><oops></Catalog>");
    m_prompts->fileNames.enqueue(bad);
    action("mnuFileItem2")->trigger();
    QVERIFY(m_prompts->warnings.isEmpty());
    QVERIFY(!m_window->openFile());
    QVERIFY(m_window->treeModel()->isEmpty());
    for (const char *name : {"cmdGetData", "cmdRead", "cmdWrite", "cmdPutData"})
        QVERIFY2(!widget<QPushButton>(name)->isEnabled(), name);
}

void TestWindow::refusalPanel_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content"); // a folder when null, a pipe when "|"
    QTest::addColumn<QString>("cause");
    QTest::newRow("not well-formed") << QStringLiteral("bad.xml") << QByteArray("<Catalog>\n<oops></Catalog>")
                                     << QStringLiteral("is not well-formed XML: ");
    QTest::newRow("missing") << QStringLiteral("missing.xml") << QByteArray("") << QStringLiteral("does not exist");
    QTest::newRow("folder") << QStringLiteral("folder.xml") << QByteArray() << QStringLiteral("is a folder");
    // Opening a pipe would wait for a writer without end.
    QTest::newRow("pipe") << QStringLiteral("pipe.xml") << QByteArray("|") << QStringLiteral("is not a regular file");
}

// A file the provider refuses: no message box, the provider's reason in its
// own panel until a later Open succeeds; a cancelled dialog keeps it.
void TestWindow::refusalPanel()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, cause);
    const QString path = m_dir.filePath(name);
    QDir(path).removeRecursively();
    QFile::remove(path);
    if (content.isNull())
        QVERIFY(QDir().mkpath(path));
    else if (content == "|")
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (!content.isEmpty())
        writeFile(path, content);
    QString expected;
    try {
        TarnwellProvider().BindFile(path, QString());
    } catch (const Error &e) {
        expected = e.description();
    }
    QVERIFY2(expected.contains(cause), qPrintable(expected));

    openAndLoad(copyExample(QStringLiteral("doc.xml")));
    auto *panel = widget<QLabel>("sbarPanel3");
    QVERIFY(!panel->isVisible());
    m_prompts->fileNames.enqueue(path);
    action("mnuFileItem2")->trigger();
    QVERIFY(m_prompts->warnings.isEmpty());
    QCOMPARE(panel->text(), expected);
    QCOMPARE(panel->toolTip(), expected);
    QVERIFY(panel->isVisible());
    QVERIFY(widget<QLabel>("sbarPanel2")->text().isEmpty());

    m_prompts->fileNames.enqueue(std::nullopt);
    action("mnuFileItem1")->trigger();
    QCOMPARE(panel->text(), expected);

    m_prompts->fileNames.enqueue(m_dir.filePath(QStringLiteral("new.xml")));
    action("mnuFileItem1")->trigger();
    QVERIFY(panel->text().isEmpty());
    QVERIFY(!panel->isVisible());
    QCOMPARE(widget<QLabel>("sbarPanel2")->text(), QStringLiteral("new.xml (new)"));
}

void TestWindow::configurationPanel_data()
{
    QTest::addColumn<QString>("file");     // under the test folder
    QTest::addColumn<QByteArray>("content"); // no file when null
    QTest::addColumn<QString>("shown");
    QTest::newRow("sample") << QStringLiteral("TarnwellEditor.cfg") << QByteArray()
                            << QStringLiteral("TarnwellEditor.cfg: 10 paths");
    QTest::newRow("absent") << QStringLiteral("none/TarnwellEditor.cfg") << QByteArray()
                            << QStringLiteral("No TarnwellEditor.cfg beside the editor: values are read-only");
    QTest::newRow("empty") << QStringLiteral("empty/TarnwellEditor.cfg") << QByteArray("")
                           << QStringLiteral("TarnwellEditor.cfg: 0 paths");
    QTest::newRow("one path, not E") << QStringLiteral("one/TarnwellEditor.cfg")
                                     << QByteArray("E,Catalog\nS,Catalog/Title\n") << QStringLiteral("TarnwellEditor.cfg: 1 path");
}

void TestWindow::configurationPanel()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QString, shown);
    const QString path = m_dir.filePath(file);
    if (!content.isNull()) {
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        writeFile(path, content);
    }
    delete m_window;
    m_window = new frmMain(m_prompts, path);
    QVERIFY(m_window->Form_Load());
    m_window->show();
    auto *panel = widget<QLabel>("sbarPanel4");
    QCOMPARE(panel->text(), shown);
    QVERIFY(panel->isVisible());
    QVERIFY2(panel->toolTip().startsWith(QDir::toNativeSeparators(path)), qPrintable(panel->toolTip()));
}

void TestWindow::controlStates()
{
    auto *txtXML = widget<QPlainTextEdit>("txtXML");
    // No document: Write stays off even with text.
    txtXML->setPlainText(QStringLiteral("<a/>"));
    QVERIFY(!widget<QPushButton>("cmdWrite")->isEnabled());

    openAndLoad(copyExample(QStringLiteral("doc.xml")));
    txtXML->setPlainText(QStringLiteral("<a/>"));
    QVERIFY(widget<QPushButton>("cmdWrite")->isEnabled());
    txtXML->clear();
    QVERIFY(!widget<QPushButton>("cmdWrite")->isEnabled());

    // The root is selected after loading: no Delete; Add only while list E
    // declares a name that may still be added (Book repeats).
    TreeNode *root = m_window->selectedNode();
    QCOMPARE(root, m_window->treeModel()->rootNode());
    QVERIFY(!widget<QPushButton>("cmdDelete")->isEnabled());
    QVERIFY(widget<QPushButton>("cmdAdd")->isEnabled());
    QCOMPARE(widget<QLineEdit>("txtTag")->text(), QStringLiteral("Catalog"));
    QVERIFY(widget<QLineEdit>("txtValue")->isEnabled()); // "Catalog" is in list E

    // A Title under Book: listed in S, deletable, no children declared.
    TreeNode *title = root->childNamed(QStringLiteral("Book"), 0)->childNamed(QStringLiteral("Title"), 0);
    widget<QTreeView>("treXml")->setCurrentIndex(m_window->treeModel()->indexFromNode(title));
    QVERIFY(widget<QPushButton>("cmdDelete")->isEnabled());
    QVERIFY(!widget<QPushButton>("cmdAdd")->isEnabled());
    QVERIFY(widget<QLineEdit>("txtValue")->isEnabled());
    const QColor base = widget<QLineEdit>("txtValue")->palette().color(QPalette::Base);

    // A Book that already has its single Title and Price still offers Author
    // and Note (repeatable) but not Title or Price.
    TreeNode *book = root->childNamed(QStringLiteral("Book"), 0);
    widget<QTreeView>("treXml")->setCurrentIndex(m_window->treeModel()->indexFromNode(book));
    QVERIFY(widget<QPushButton>("cmdAdd")->isEnabled());

    // An unlisted node shows its value, read-only, on the button-face colour.
    TreeModel *model = m_window->treeModel();
    TreeNode *odd = model->addTreeNode(book, QStringLiteral("Unlisted"), m_window->nameLists());
    model->setTag(odd, QStringLiteral("shown"));
    widget<QTreeView>("treXml")->setCurrentIndex(model->indexFromNode(odd));
    QVERIFY(!widget<QLineEdit>("txtValue")->isEnabled());
    QCOMPARE(widget<QLineEdit>("txtValue")->text(), QStringLiteral("shown"));
    QVERIFY(widget<QLineEdit>("txtValue")->palette().color(QPalette::Base) != base);

    // Nothing selected: both boxes empty, Add and Delete off.
    widget<QTreeView>("treXml")->setCurrentIndex(QModelIndex());
    QVERIFY(widget<QLineEdit>("txtTag")->text().isEmpty());
    QVERIFY(widget<QLineEdit>("txtValue")->text().isEmpty());
    QVERIFY(!widget<QPushButton>("cmdAdd")->isEnabled());
    QVERIFY(!widget<QPushButton>("cmdDelete")->isEnabled());
}

void TestWindow::nodeColours_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("root") << QStringLiteral("Catalog") << QColor(0, 0, 255);
    QTest::newRow("listed") << QStringLiteral("Catalog/Title") << QColor(0, 0, 0);
    QTest::newRow("unlisted") << QStringLiteral("Catalog/Legacy") << QColor(0, 0, 255);
}

// The tree shows names listed in E in black, the others and the root in blue.
void TestWindow::nodeColours()
{
    QFETCH(QString, path);
    QFETCH(QColor, colour);
    openMixedDocument();
    const QModelIndex index = shownIndex(path);
    QVERIFY2(index.isValid(), qPrintable(path));
    QCOMPARE(index.data(Qt::ForegroundRole).value<QColor>(), colour);
}

void TestWindow::valueBoxBackground_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QPalette::ColorRole>("background");
    QTest::newRow("unlisted, then listed") << QStringLiteral("Catalog/Legacy") << QStringLiteral("Catalog/Title")
                                           << QPalette::Base;
    QTest::newRow("listed, then unlisted") << QStringLiteral("Catalog/Title") << QStringLiteral("Catalog/Legacy")
                                           << QPalette::Button;
}

// The value box of a listed node has the window background, that of an
// unlisted one the button face, whatever node was shown before.
void TestWindow::valueBoxBackground()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QPalette::ColorRole, background);
    // Two colours that cannot be mistaken for each other.
    const QPalette saved = QApplication::palette();
    const auto restore = qScopeGuard([&saved] { QApplication::setPalette(saved); });
    QPalette distinct = saved;
    distinct.setColor(QPalette::Base, QColor(255, 255, 240));
    distinct.setColor(QPalette::Button, QColor(128, 128, 128));
    QApplication::setPalette(distinct);
    // The widgets take up the new palette when its change event arrives.
    QCoreApplication::processEvents();

    openMixedDocument();
    select(from);
    checkValueBackground(background == QPalette::Base ? QPalette::Button : QPalette::Base);
    if (QTest::currentTestFailed())
        return;
    select(to);
    checkValueBackground(background);
}

void TestWindow::checkValueBackground(QPalette::ColorRole role)
{
    const QPalette shown = widget<QLineEdit>("txtValue")->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        QCOMPARE(shown.color(group, QPalette::Base), QApplication::palette().color(role));
}

void TestWindow::versionBox()
{
    action("mnuHelpItem1")->trigger();
    QCOMPARE(m_prompts->informations, QStringList{QStringLiteral("Tarnwell XML Editor : Version 1.0.0")});
}

void TestWindow::exitCloses()
{
    QVERIFY(m_window->isVisible());
    action("mnuFileItem4")->trigger();
    QVERIFY(!m_window->isVisible());
}

void TestWindow::resizeTo(int width, int height)
{
    m_window->resize(width, height);
    QTRY_COMPARE(m_window->size(), QSize(width, height).expandedTo(m_window->minimumSize()));
}

// Every control stands where the layout rules put it for the present size.
void TestWindow::checkGeometry()
{
    const MainLayout l = m_window->layoutForCurrentSize();
    const double dx = m_window->logicalDpiX(), dy = m_window->logicalDpiY();
    auto px = [&](const TwipsRect &r) {
        return QRect(twipsToPixels(r.left, dx), twipsToPixels(r.top, dy), twipsToPixels(r.width, dx), twipsToPixels(r.height, dy));
    };
    const std::pair<const char *, TwipsRect> expected[] = {
        {"treXml", l.treXml},       {"txtValue", l.txtValue},   {"txtTag", l.txtTag},   {"cmdPutData", l.cmdPutData},
        {"cmdGetData", l.cmdGetData}, {"cmdAdd", l.cmdAdd},     {"cmdDelete", l.cmdDelete}, {"lblList0", l.lblTagName},
        {"lblList1", l.lblValue},   {"txtXML", l.txtXML},       {"cmdWrite", l.cmdWrite}, {"cmdRead", l.cmdRead},
    };
    for (const auto &[name, rect] : expected)
        QCOMPARE(widget<QWidget>(name)->geometry(), px(rect));
    // The frame is as wide and high as its page, and the tab control fills the
    // client area above the status bar.
    QWidget *central = m_window->centralWidget();
    QCOMPARE(widget<QTabWidget>("tabMain")->geometry(), central->rect());
    QCOMPARE(widget<QWidget>("fraList")->size(), widget<QWidget>("fraList")->parentWidget()->size());
    QCOMPARE(widget<QWidget>("sbarMain")->geometry().top(), central->geometry().bottom() + 1);
    // The buttons stay inside the frame, beside the tree.
    QWidget *fra = widget<QWidget>("fraList");
    for (const char *name : {"cmdAdd", "cmdDelete", "cmdGetData", "cmdPutData"}) {
        QVERIFY2(fra->rect().contains(widget<QWidget>(name)->geometry()), name);
        QVERIFY(widget<QWidget>(name)->x() > widget<QWidget>("treXml")->geometry().right());
    }
}

void TestWindow::layoutAtInitialSize()
{
    const double dx = m_window->logicalDpiX(), dy = m_window->logicalDpiY();
    QCOMPARE(m_window->centralWidget()->width(), twipsToPixels(7740, dx));
    QCOMPARE(m_window->centralWidget()->height() + widget<QWidget>("sbarMain")->height(), twipsToPixels(6270, dy));
    checkGeometry();
}

void TestWindow::layoutFollowsResize_data()
{
    QTest::addColumn<int>("dw");
    QTest::addColumn<int>("dh");
    QTest::newRow("wider") << 200 << 0;
    QTest::newRow("taller") << 0 << 150;
    QTest::newRow("both") << 300 << 300;
    QTest::newRow("smaller") << -100 << -80;
}

void TestWindow::layoutFollowsResize()
{
    QFETCH(int, dw);
    QFETCH(int, dh);
    const QRect add = widget<QWidget>("cmdAdd")->geometry();
    const QRect get = widget<QWidget>("cmdGetData")->geometry();
    const QRect tree = widget<QWidget>("treXml")->geometry();
    resizeTo(m_window->width() + dw, m_window->height() + dh);
    checkGeometry();
    // Widening moves the right-hand buttons by the same amount (give or take
    // rounding), growing taller moves GetData down; Add stays at the top.
    QVERIFY(qAbs(widget<QWidget>("cmdAdd")->x() - (add.x() + dw)) <= 1);
    QCOMPARE(widget<QWidget>("cmdAdd")->y(), add.y());
    QVERIFY(qAbs(widget<QWidget>("cmdGetData")->y() - (get.y() + dh)) <= 1);
    QVERIFY(qAbs(widget<QWidget>("treXml")->width() - (tree.width() + dw)) <= 1);
    QCOMPARE(widget<QWidget>("treXml")->pos(), tree.topLeft());
}

void TestWindow::minimumSize_data()
{
    QTest::addColumn<bool>("widgetMinimum");
    QTest::newRow("window's minimum size") << true;
    // A window manager may ignore the minimum size; the resize handler then
    // snaps the window back itself.
    QTest::newRow("resize handler alone") << false;
}

void TestWindow::minimumSize()
{
    QFETCH(bool, widgetMinimum);
    if (!widgetMinimum)
        m_window->setMinimumSize(0, 0);
    m_window->resize(50, 50);
    const double dx = m_window->logicalDpiX(), dy = m_window->logicalDpiY();
    QTRY_COMPARE(m_window->size(), QSize(twipsToPixels(4500 - 120, dx),
                                         m_window->menuWidget()->height() + twipsToPixels(4500 - 810, dy)));
    // The main window's own layout follows the new size a moment later.
    QTRY_COMPARE(m_window->centralWidget()->width(), m_window->width());
    checkGeometry();
}

void TestWindow::selectionByClickAndKeyboard()
{
    openAndLoad(copyExample(QStringLiteral("doc.xml")));
    auto *tree = widget<QTreeView>("treXml");
    TreeModel *model = m_window->treeModel();
    TreeNode *title = model->rootNode()->childNamed(QStringLiteral("Title"), 0);
    const QRect rect = tree->visualRect(model->indexFromNode(title));
    QVERIFY(rect.isValid());
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, rect.center());
    QCOMPARE(m_window->selectedNode(), title);
    QCOMPARE(widget<QLineEdit>("txtTag")->text(), QStringLiteral("Title"));
    QCOMPARE(widget<QLineEdit>("txtValue")->text(), QStringLiteral("Spring list, 2027"));

    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_Down);
    TreeNode *book = model->rootNode()->childNamed(QStringLiteral("Book"), 0);
    QCOMPARE(m_window->selectedNode(), book);
    QCOMPARE(widget<QLineEdit>("txtTag")->text(), QStringLiteral("Book"));
    QVERIFY(widget<QPushButton>("cmdDelete")->isEnabled());
}

void TestWindow::typingReachesNodeAndRefreshDoesNotWriteBack()
{
    openAndLoad(copyExample(QStringLiteral("doc.xml")));
    TreeModel *model = m_window->treeModel();
    auto *tree = widget<QTreeView>("treXml");
    TreeNode *title = model->rootNode()->childNamed(QStringLiteral("Title"), 0);
    TreeNode *footer = model->rootNode()->childNamed(QStringLiteral("Footer"), 0);
    tree->setCurrentIndex(model->indexFromNode(title));
    auto *value = widget<QLineEdit>("txtValue");
    value->setFocus();
    value->end(false);
    QTest::keyClicks(value, QStringLiteral("!"));
    QCOMPARE(title->tag(), QStringLiteral("Spring list, 2027!"));
    value->selectAll();
    QTest::keyClick(value, Qt::Key_Delete);
    QCOMPARE(title->tag(), QString());

    // Moving to another node and back shows each node's own value.
    tree->setCurrentIndex(model->indexFromNode(footer));
    QCOMPARE(footer->tag(), QStringLiteral("Prices in yen, tax included"));
    QCOMPARE(title->tag(), QString());
    QCOMPARE(value->text(), QStringLiteral("Prices in yen, tax included"));
}

void TestWindow::valuesSurviveTheValueBox_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("long") << QString(100000, u'x');
    QTest::newRow("Japanese and emoji") << QStringLiteral("日本語の値 😀👍🏽");
    QTest::newRow("commas and blanks") << QStringLiteral("  a, b,,c  ");
    QTest::newRow("line breaks") << QStringLiteral("one\ntwo\r\nthree\u2028four");
    QTest::newRow("tab and no-break space") << QStringLiteral("a\tb\u00a0c");
}

void TestWindow::valuesSurviveTheValueBox()
{
    QFETCH(QString, value);
    openAndLoad(copyExample(QStringLiteral("doc.xml")));
    TreeModel *model = m_window->treeModel();
    TreeNode *note = model->rootNode()->childNamed(QStringLiteral("Book"), 1)->childNamed(QStringLiteral("Note"), 0);
    model->setTag(note, value);
    widget<QTreeView>("treXml")->setCurrentIndex(model->indexFromNode(note));
    auto *box = widget<QLineEdit>("txtValue");
    QCOMPARE(box->text(), value);
    QCOMPARE(note->tag(), value);
    box->setFocus();
    box->end(false);
    QTest::keyClick(box, Qt::Key_Z);
    QCOMPARE(note->tag(), value + QLatin1Char('z'));
}

void TestWindow::accessibleNames()
{
    const std::pair<const char *, const char *> names[] = {
        {"txtTag", "Tag Name"}, {"txtValue", "Value"},   {"txtXML", "XML"},       {"treXml", "Document"},
        {"cmdAdd", "Add"},      {"cmdDelete", "Delete"}, {"cmdGetData", "GetData"}, {"cmdPutData", "PutData"},
        {"cmdRead", "Read"},    {"cmdWrite", "Write"},
        // Panels that show nothing yet are named by their caption alone.
        {"sbarPanel2", "Open file"}, {"sbarPanel3", "Why the file was not opened"},
    };
    for (const auto &[object, name] : names)
        QCOMPARE(widget<QWidget>(object)->accessibleName(), QLatin1String(name));
}

// What a screen reader hears of each status panel: its caption and its whole
// text as the name, the details as the description.
void TestWindow::statusPanelsSpeak()
{
    const auto spoken = [](QWidget *w, QAccessible::Text t) { return QAccessible::queryAccessibleInterface(w)->text(t); };
    auto *file = widget<QLabel>("sbarPanel2");
    auto *refusal = widget<QLabel>("sbarPanel3");
    auto *configuration = widget<QLabel>("sbarPanel4");
    QCOMPARE(spoken(configuration, QAccessible::Name), QStringLiteral("Configuration: ") + configuration->text());

    openAndLoad(copyExample(QStringLiteral("doc.xml")));
    select(QStringLiteral("Catalog/Footer"));
    widget<QLineEdit>("txtValue")->setText(QStringLiteral("typed"));
    QCOMPARE(file->text(), QStringLiteral("* doc.xml"));
    QCOMPARE(spoken(file, QAccessible::Name), QStringLiteral("Open file: doc.xml, unsaved changes"));
    QVERIFY(spoken(file, QAccessible::Description).contains(QStringLiteral("not stored yet")));

    // A refusal longer than its panel is heard whole.
    const QString path = m_dir.filePath(QStringLiteral("a-rather-long-name-") + QString(120, u'x') + QStringLiteral(".xml"));
    writeFile(path, "<Catalog>\n<oops></Catalog>");
    m_prompts->answers.enqueue(true);
    m_prompts->fileNames.enqueue(path);
    action("mnuFileItem2")->trigger();
    QVERIFY(refusal->isVisible());
    QVERIFY(refusal->fontMetrics().horizontalAdvance(refusal->text()) > refusal->width());
    QCOMPARE(spoken(refusal, QAccessible::Name), QStringLiteral("Why the file was not opened: ") + refusal->text());
    QCOMPARE(spoken(refusal, QAccessible::Description), refusal->text());
    // The keyboard reaches it too.
    QCOMPARE(refusal->focusPolicy(), Qt::TabFocus);
}

// A file named on the command line shows as after File > Open and GetData;
// one that does not exist is named and not made.
void TestWindow::openAtStart()
{
    const QString missing = m_dir.filePath(QStringLiteral("missing.xml"));
    QFile::remove(missing);
    m_window->OpenAtStart(missing);
    QVERIFY(!QFileInfo::exists(missing));
    QVERIFY(!m_window->openFile());
    QVERIFY2(widget<QLabel>("sbarPanel3")->text().contains(QStringLiteral("does not exist; File > New makes a new file")),
             qPrintable(widget<QLabel>("sbarPanel3")->text()));
    m_window->OpenAtStart(copyExample(QStringLiteral("doc.xml")));
    QVERIFY(m_window->openFile());
    QVERIFY(m_window->treeModel()->rootNode());
    QCOMPARE(m_window->selectedNode(), m_window->treeModel()->rootNode());
    QVERIFY(widget<QLabel>("sbarPanel3")->text().isEmpty());
}

void TestWindow::commandLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");
    QTest::newRow("help") << QStringList{QStringLiteral("--help")} << 0 << QByteArray("[FILE]") << QByteArray();
    QTest::newRow("version") << QStringList{QStringLiteral("--version")} << 0
                             << QByteArray("tarnwell-xml-editor " TARNWELL_VERSION "\n") << QByteArray();
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--frob")} << 2 << QByteArray()
                                    << QByteArray("Usage: tarnwell-xml-editor");
    QTest::newRow("two files") << QStringList{QStringLiteral("a.xml"), QStringLiteral("b.xml")} << 2 << QByteArray()
                               << QByteArray("one FILE at most");
}

// --help, --version and a wrong command line end without a window (no
// display is needed for them).
void TestWindow::commandLine()
{
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(TARNWELL_EDITOR), args);
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), code);
    const QByteArray stdoutText = p.readAllStandardOutput();
    QVERIFY2(out.isEmpty() ? stdoutText.isEmpty() : stdoutText.contains(out), stdoutText.constData());
    QVERIFY(p.readAllStandardError().contains(err));
}

void TestWindow::keyboardOrder()
{
    openAndLoad(copyExample(QStringLiteral("doc.xml")));
    TreeModel *model = m_window->treeModel();
    widget<QTreeView>("treXml")->setCurrentIndex(model->indexFromNode(model->rootNode()->childNamed(QStringLiteral("Book"), 0)));
    widget<QTreeView>("treXml")->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), widget<QWidget>("treXml"));
    for (const char *next : {"txtTag", "txtValue", "cmdAdd", "cmdDelete", "cmdGetData", "cmdPutData"}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QLatin1String(next));
    }
    // Arrow keys move through the tree.
    widget<QTreeView>("treXml")->setFocus();
    QTest::keyClick(widget<QTreeView>("treXml"), Qt::Key_Down);
    QCOMPARE(m_window->selectedNode()->text(), QStringLiteral("@id"));

    // Ctrl+Tab from the tree shows the XML View.
    QTest::keyClick(widget<QTreeView>("treXml"), Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(widget<QTabWidget>("tabMain")->currentIndex(), 1);
    widget<QPlainTextEdit>("txtXML")->setPlainText(QStringLiteral("<Catalog/>"));
    widget<QPlainTextEdit>("txtXML")->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), widget<QWidget>("txtXML"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("cmdRead"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("cmdWrite"));
    QCOMPARE(widget<QPlainTextEdit>("txtXML")->toPlainText(), QStringLiteral("<Catalog/>"));
}

void TestWindow::schemaPanel_data()
{
    QTest::addColumn<QByteArray>("from");
    QTest::addColumn<QByteArray>("to");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("problemPath"); // the node chosen from the list
    QTest::newRow("valid") << QByteArray() << QByteArray() << QStringLiteral("Schema: valid (catalog.xsd)") << QString();
    QTest::newRow("one problem") << QByteArray("<Book id=\"b2\">") << QByteArray("<Book id=\"b2\" colour=\"red\">")
                                 << QStringLiteral("Schema: 1 problem (catalog.xsd)") << QStringLiteral("Catalog/Book[1]");
    QTest::newRow("no hint") << QByteArray(" xsi:noNamespaceSchemaLocation=\"catalog.xsd\"") << QByteArray()
                             << QStringLiteral("Schema: not checked (no schema named)") << QString();
}

// After GetData the panel says "checking…", then what the check found, as
// its text and its accessible name; activating it through its accessible
// action lists the problems, and the one chosen is selected in the List View.
void TestWindow::schemaPanel()
{
    QFETCH(QByteArray, from);
    QFETCH(QByteArray, to);
    QFETCH(QString, text);
    QFETCH(QString, problemPath);
    copyExample(QStringLiteral("catalog.xsd"));
    const QString path = copyExample(QStringLiteral("doc.xml"));
    if (!from.isEmpty()) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QByteArray bytes = f.readAll();
        f.close();
        QVERIFY(bytes.contains(from));
        writeFile(path, bytes.replace(from, to));
    }
    auto *panel = widget<QToolButton>("sbarPanel5");
    openAndLoad(path);
    QCOMPARE(panel->text(), QStringLiteral("Schema: checking…"));
    QTRY_COMPARE(panel->text(), text);
    QVERIFY(panel->isVisible());
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(panel);
    QVERIFY(accessible);
    QCOMPARE(accessible->text(QAccessible::Name), text);
    QVERIFY(!accessible->text(QAccessible::Description).isEmpty());
    if (problemPath.isEmpty())
        return;
    widget<QTabWidget>("tabMain")->setCurrentIndex(1);
    m_prompts->problemChoices.enqueue(0);
    QAccessibleActionInterface *actions = accessible->actionInterface();
    QVERIFY(actions && actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
    actions->doAction(QAccessibleActionInterface::pressAction());
    QTRY_COMPARE(m_prompts->listedProblems.size(), 1);
    QVERIFY2(m_prompts->listedProblems.first().first().contains(problemPath), qPrintable(m_prompts->listedProblems.first().first()));
    QTRY_COMPARE(widget<QTabWidget>("tabMain")->currentIndex(), 0);
    QVERIFY(m_window->selectedNode());
    QCOMPARE(IndexedNodePath(*m_window->selectedNode()), problemPath);
}

// A check still running when another file is opened does not report on the
// new one: its result is dropped.
void TestWindow::schemaResultForAnotherFileIsDropped()
{
    copyExample(QStringLiteral("catalog.xsd"));
    openAndLoad(copyExample(QStringLiteral("doc.xml")));
    auto *panel = widget<QToolButton>("sbarPanel5");
    QCOMPARE(panel->text(), QStringLiteral("Schema: checking…"));
    // No event is handled in between, so the check cannot have reported yet.
    const QString other = m_dir.filePath(QStringLiteral("other.xml"));
    writeFile(other, "<Other/>");
    m_prompts->fileNames.enqueue(other);
    action("mnuFileItem2")->trigger();
    QVERIFY(!panel->isVisibleTo(m_window));
    QTest::qWait(300);
    QThreadPool::globalInstance()->waitForDone(10000);
    QCoreApplication::processEvents();
    QVERIFY(!panel->isVisibleTo(m_window));
    QCOMPARE(panel->text(), QString());
}

// What PutData would store, and what the XML box holds, is checked while
// the user edits, after a pause; the panel says which it judged, and the
// file is not touched.
void TestWindow::unsavedChangesAreChecked_data()
{
    QTest::addColumn<QStringList>("values"); // typed into Catalog/Book/@id, one after another
    QTest::addColumn<QString>("box");        // typed into the XML box instead, when not empty
    QTest::addColumn<QString>("text");
    QTest::newRow("a bad value typed") << QStringList{u"1bad"_s} << QString()
                                       << u"Schema: 1 problem in unsaved changes (catalog.xsd)"_s;
    // The second value supersedes the first: its result is the one shown.
    QTest::newRow("fixed again") << QStringList{u"1bad"_s, u"b7"_s} << QString()
                                 << u"Schema: unsaved changes valid (catalog.xsd)"_s;
    QTest::newRow("the XML box, a problem")
        << QStringList() << u"<Book id=\"b1\" colour=\"red\">"_s << u"Schema: 1 problem in the XML box's text (catalog.xsd)"_s;
    QTest::newRow("the XML box, not well-formed")
        << QStringList() << u"<Book id=\"b1\"><Oops>"_s << u"Schema: the XML box's text not checked (the document is not well-formed: line 9"_s;
}

void TestWindow::unsavedChangesAreChecked()
{
    QFETCH(QStringList, values);
    QFETCH(QString, box);
    QFETCH(QString, text);
    copyExample(QStringLiteral("catalog.xsd"));
    const QString path = copyExample(QStringLiteral("doc.xml"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray stored = f.readAll();
    f.close();
    auto *panel = widget<QToolButton>("sbarPanel5");
    openAndLoad(path);
    QTRY_COMPARE(panel->text(), u"Schema: valid (catalog.xsd)"_s);
    if (box.isEmpty()) {
        select(u"Catalog/Book/@id"_s);
        for (const QString &value : values)
            widget<QLineEdit>("txtValue")->setText(value);
    } else {
        widget<QTabWidget>("tabMain")->setCurrentIndex(1);
        QTest::mouseClick(widget<QPushButton>("cmdRead"), Qt::LeftButton);
        auto *xml = widget<QPlainTextEdit>("txtXML");
        QString typed = xml->toPlainText();
        typed.replace(u"<Book id=\"b1\">"_s, box);
        // As typing does it: the box's text changes and it is modified.
        xml->selectAll();
        xml->insertPlainText(typed);
        QVERIFY(xml->document()->isModified());
    }
    // Nothing is checked before the pause.
    QVERIFY(!panel->text().contains(u"unsaved"_s) && !panel->text().contains(u"XML box"_s));
    QTRY_VERIFY2_WITH_TIMEOUT(panel->text().startsWith(text), qPrintable(panel->text()), 10000);
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(panel);
    QCOMPARE(accessible->text(QAccessible::Name), panel->text());
    QVERIFY(!accessible->text(QAccessible::Description).isEmpty());
    // Let any check still running end: no later result may replace the shown one.
    QTest::qWait(400);
    QThreadPool::globalInstance()->waitForDone(10000);
    QCoreApplication::processEvents();
    QVERIFY2(panel->text().startsWith(text), qPrintable(panel->text()));
    f.open(QIODevice::ReadOnly);
    QCOMPARE(f.readAll(), stored);
}

// The value box says what the schema allows at the selected node, as its
// tooltip and its accessible description, with the problem of a value
// typed; an enumeration's values are offered, and a choice sets the value
// as typing would, so the check follows. Tree items tell their problems.
void TestWindow::valueBoxSaysWhatIsAllowed()
{
    const QString schema = copyExample(QStringLiteral("catalog.xsd"));
    QFile f(schema);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QByteArray bytes = f.readAll();
    f.close();
    const QByteArray price = "<xs:element name=\"Price\" type=\"xs:string\" minOccurs=\"0\"/>";
    QVERIFY(bytes.contains(price));
    writeFile(schema, bytes.replace(price, "<xs:element name=\"Price\" minOccurs=\"0\"><xs:simpleType><xs:restriction "
                                          "base=\"xs:string\"><xs:enumeration value=\"1,200\"/><xs:enumeration "
                                          "value=\"980\"/></xs:restriction></xs:simpleType></xs:element>"));
    auto *panel = widget<QToolButton>("sbarPanel5");
    auto *value = widget<QLineEdit>("txtValue");
    openAndLoad(copyExample(QStringLiteral("doc.xml")));
    QTRY_COMPARE(panel->text(), u"Schema: valid (catalog.xsd)"_s);
    select(u"Catalog/Book/@id"_s);
    const QString id = u"Allowed by catalog.xsd: a name no other ID of the document has (xs:ID).\nRequired."_s;
    QCOMPARE(value->toolTip(), id);
    QCOMPARE(QAccessible::queryAccessibleInterface(value)->text(QAccessible::Description), id);
    QVERIFY(!value->completer());
    select(u"Catalog/Book/Price"_s);
    QVERIFY2(value->toolTip().contains(u"One of: \"1,200\", \"980\".\nOptional."_s), qPrintable(value->toolTip()));
    QVERIFY(value->completer());
    // Typed, a value the enumeration does not hold: its problem follows.
    value->setFocus();
    value->selectAll();
    QTest::keyClicks(value, u"9"_s);
    QVERIFY(value->completer()->popup()->isVisible());
    QCOMPARE(value->completer()->popup()->model()->rowCount(), 1); // "980"
    QTest::keyClick(value->completer()->popup(), Qt::Key_Escape);
    QTRY_COMPARE_WITH_TIMEOUT(panel->text(), u"Schema: 1 problem in unsaved changes (catalog.xsd)"_s, 10000);
    QVERIFY2(value->toolTip().contains(u"Problem: value '9' not in enumeration"_s), qPrintable(value->toolTip()));
    QCOMPARE(QAccessible::queryAccessibleInterface(value)->text(QAccessible::Description), value->toolTip());
    const QModelIndex item = widget<QTreeView>("treXml")->currentIndex();
    QVERIFY2(item.data(Qt::ToolTipRole).toString().contains(u"value '9' not in enumeration"_s),
             qPrintable(item.data(Qt::ToolTipRole).toString()));
    // Down lists every value; Down and Enter choose one.
    QTest::keyClick(value, Qt::Key_Backspace);
    QTest::keyClick(value, Qt::Key_Down);
    QAbstractItemView *popup = value->completer()->popup();
    QVERIFY(popup->isVisible());
    QCOMPARE(popup->model()->rowCount(), 2);
    QTest::keyClick(popup, Qt::Key_Down);
    QTest::keyClick(popup, Qt::Key_Down);
    QTest::keyClick(popup, Qt::Key_Enter);
    QCOMPARE(value->text(), u"980"_s);
    QCOMPARE(m_window->selectedNode()->tag(), u"980"_s);
    QTRY_COMPARE_WITH_TIMEOUT(panel->text(), u"Schema: unsaved changes valid (catalog.xsd)"_s, 10000);
    QVERIFY(!value->toolTip().contains(u"Problem"_s));
    QCOMPARE(item.data(Qt::ToolTipRole).toString(), u"980"_s);
}

// The nodes an entity's text gives are shown, and read-only: no value
// edit, Add or Delete, and their tooltips say why; the others stay editable.
void TestWindow::entityNodesAreReadOnly()
{
    const QString path = m_dir.filePath(QStringLiteral("entity.xml"));
    writeFile(path, "<!DOCTYPE Catalog [<!ENTITY guest \"<Author>Guest, G.</Author>\">]>\n<Catalog>\n  <Book id=\"b1\">\n"
                    "    <Author>Hunt, A.</Author>\n    &guest;\n  </Book>\n</Catalog>\n");
    openAndLoad(path);
    TreeNode *book = m_window->treeModel()->rootNode()->child(0);
    QCOMPARE(book->text(), u"Book"_s);
    QCOMPARE(book->childCount(), 3); // @id and both authors
    TreeNode *guest = book->child(2);
    QCOMPARE(guest->tag(), u"Guest, G."_s);
    auto *tree = widget<QTreeView>("treXml");
    tree->setCurrentIndex(m_window->treeModel()->indexFromNode(guest));
    QVERIFY(widget<QLineEdit>("txtValue")->isReadOnly()); // reachable, so its description is heard
    QVERIFY(!widget<QPushButton>("cmdDelete")->isEnabled());
    QVERIFY(!widget<QPushButton>("cmdAdd")->isEnabled());
    const QString why = u"Read-only: the entity &guest; gives it"_s;
    QVERIFY2(widget<QLineEdit>("txtValue")->toolTip().startsWith(why), qPrintable(widget<QLineEdit>("txtValue")->toolTip()));
    QVERIFY(m_window->treeModel()->indexFromNode(guest).data(Qt::ToolTipRole).toString().contains(why));
    tree->setCurrentIndex(m_window->treeModel()->indexFromNode(book->child(1)));
    QVERIFY(widget<QLineEdit>("txtValue")->isEnabled() && !widget<QLineEdit>("txtValue")->isReadOnly());
    QVERIFY(widget<QPushButton>("cmdDelete")->isEnabled());
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
