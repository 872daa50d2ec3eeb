#pragma once

#include "MainLayout.h"
#include "NameLists.h"
#include "Quen.h"
#include "SchemaCheck.h"
#include "SchemaPanel.h"
#include "StatusPanels.h"
#include "ViewRevisions.h"

#include <QMainWindow>
#include <functional>
#include <memory>

class QCompleter;
class QLabel;
class QStringListModel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTreeView;
class QFrame;
class QStatusBar;
class QToolButton;

namespace tarnwell {

class ColoredTreeModel;
class StatusLabel;
class TabControl;
class Prompts;
class TreeNode;
class SchemaValidator;
struct ValidationResult;

// The main window. It holds the engine objects, the open file, the name
// lists and the tree, and its handlers are the editor's only entry points.
class frmMain : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr QStringView kTitle = u"Tarnwell XML Editor";
    static constexpr QStringView kSaved = u"保存が完了しました。";
    static constexpr QStringView kDeleteQuestion = u"選択されている項目を削除します。よろしいですか？";
    static constexpr QStringView kFileFilter = u"XML File(*.xml);;All Files (*.*)";
    static constexpr QStringView kDiscardQuestion = u"変更が保存されていません。破棄してよろしいですか？";
    // Shown under the discard question, the only one whose Yes throws work
    // away, so that it cannot be taken for the delete question.
    static constexpr QStringView kDiscardQuestionEnglish = u"The changes are not stored. Discard them?";

    // prompts answers the window's questions; the real dialogs when null.
    // configurationPath overrides the file beside the executable (tests).
    explicit frmMain(Prompts *prompts = nullptr, QString configurationPath = QString(), QWidget *parent = nullptr);
    ~frmMain() override;

    // Start-up: the first tab, the engine and the provider, the refresh, the
    // configuration. False when the connection failed (after the warning);
    // the window is then closed.
    bool Form_Load();

    // Menu commands by item index, as the menus send them.
    void mnuFileItem_Click(int index);
    // The file named on the command line: bound as File > Open binds it,
    // then GetData. A file that does not exist is not made; the status bar
    // says so.
    void OpenAtStart(const QString &path);
    void mnuHelpItem_Click(int index);

    // State, for tests and benchmarks.
    ColoredTreeModel *treeModel() const { return m_model; }
    const NameLists &nameLists() const { return m_lists; }
    QuenFile *openFile() const { return m_quenFile.get(); }
    bool isNewFile() const { return m_isNewFile; }
    // The selected node, or null.
    TreeNode *selectedNode() const;
    // The controls' places for the window's present size, in twips.
    MainLayout layoutForCurrentSize() const;
    // What the schema panel says, and whether a check is still running.
    const SchemaPanelState &schemaState() const { return m_schemaState; }

protected:
    void resizeEvent(QResizeEvent *event) override;
    // Closing the window (File > Exit too) asks first when the tree holds
    // changes not stored.
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildWidgets();
    // Whether the tree and the XML box may be dropped: nothing unsaved in
    // either, or the user said Yes.
    bool MayDiscardChanges();
    void BindChosenFile(const QString &chosen, bool isNew);
    void buildMenus();
    void Form_Resize();
    void RefreshControls();

    // The open file's revision (see QuenFile::RunCommand); 0 from a
    // provider that does not number them.
    quint64 FileRevision() const;
    void cmdGetData_Click();
    void cmdPutData_Click();
    void cmdAdd_Click();
    void cmdDelete_Click();
    void cmdRead_Click();
    void cmdWrite_Click();
    void treXml_NodeClick();
    void txtValue_Change();
    void txtXML_Change();

    // Runs an event handler so that no failure leaves it: a failure is shown
    // in a warning box and the window stays usable.
    void guarded(const std::function<void()> &handler);
    void selectNode(const TreeNode *node);
    void expandAsModel(const QModelIndex &parent);
    // Shows what m_panels says in the status bar.
    void showStatusPanels();
    // Checks the stored file against its schema off the GUI thread; the
    // panel says "checking…" until the result arrives. A result that
    // arrives after another check started or another file was bound is
    // dropped.
    void StartSchemaCheck();
    // Checks what PutData would store, or the XML box's text, after a pause
    // in the typing (off the GUI thread; a newer change supersedes).
    void ScheduleUnsavedCheck();
    void ScheduleBoxCheck();
    void schemaCheckStarted(SchemaCheck::Subject subject);
    void schemaCheckFinished(SchemaCheck::Subject subject, const ValidationResult &result);
    // Forgets the check (another file is bound, or none).
    void ClearSchemaCheck();
    void showSchemaPanel();
    // The value box's tooltip and accessible description (what the schema
    // allows at the selected node, and its problems) and the values it
    // offers while the user types.
    void RefreshValueHelp();
    void ForgetProblemPlaces();
    void sbarPanel5_Click();

    Prompts *m_prompts;
    std::unique_ptr<Prompts> m_ownPrompts;
    QString m_configurationPath;

    std::shared_ptr<QuenEngine> m_quenEng;
    std::shared_ptr<QuenWorkspace> m_quenWs;
    std::shared_ptr<QuenController> m_quenCtrl;
    std::shared_ptr<QuenFile> m_quenFile;
    QString m_strFileName;
    bool m_isNewFile = false;
    NameLists m_lists;
    bool m_updating = false;
    StatusPanels m_panels;
    ViewRevisions m_revisions;

    ColoredTreeModel *m_model;
    TabControl *tabMain;
    QFrame *fraList;
    QFrame *fraXML;
    QTreeView *treXml;
    QLineEdit *txtValue;
    QCompleter *cmpValue; // the values an enumeration or xs:boolean allows
    QStringListModel *m_valueChoices;
    QLineEdit *txtTag;
    QPushButton *cmdPutData;
    QPushButton *cmdGetData;
    QPushButton *cmdAdd;
    QPushButton *cmdDelete;
    QLabel *lblList[2];
    QPlainTextEdit *txtXML;
    QPushButton *cmdWrite;
    QPushButton *cmdRead;
    QStatusBar *sbarMain;
    QLabel *sbarPanel1;
    StatusLabel *sbarPanel2; // the open file
    StatusLabel *sbarPanel3; // why the last Open or New bound nothing
    StatusLabel *sbarPanel4; // the configuration
    QToolButton *sbarPanel5; // the schema check; activating it lists the problems

    SchemaCheck *m_check = nullptr;
    SchemaPanelState m_schemaState;
    std::shared_ptr<const ValidationResult> m_schemaResult;
    // The latest result that arrived, kept while a newer check runs: the
    // value box and the tree items say what it found until the next one
    // ends.
    std::shared_ptr<const ValidationResult> m_lastResult;
};

} // namespace tarnwell
