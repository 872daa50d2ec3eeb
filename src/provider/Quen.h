#pragma once

#include <QList>
#include <QString>
#include <QVariant>
#include <functional>
#include <memory>

// The Quen engine object model: an engine holds workspaces, a workspace
// creates controllers bound to a provider (found by ProgID), a controller
// binds files, and a file runs commands and carries its raw text.
//
// Objects are reference-counted (std::shared_ptr): a document lives as long as
// someone holds its file object or the controller's file list holds it.
// Every failure is a tarnwell::Error carrying a description for the user.
namespace tarnwell {

inline constexpr QStringView kTarnwellProgId = u"QuenProv.Tarnwell";

// One bound document, as a provider serves it.
class QuenFile
{
public:
    virtual ~QuenFile();

    // Runs a provider command. param is invalid when omitted. The result is
    // invalid, a string, a string list, a byte array or a number, as the
    // command defines. The Tarnwell provider's commands: "GetData" (the
    // pair list of the file as it is now), "PutData" (stores a pair list),
    // "PutDataPreview" (the bytes PutData would store), "PutDataDraft" (the
    // same, not read back yet) and "Revision" (a
    // number that changes whenever the text the file object holds does: read
    // again after a change on disk, stored by PutData or SetContent).
    virtual QVariant RunCommand(const QString &name, const QVariant &param = QVariant()) = 0;
    // The document's raw text, of the file as it is now.
    virtual QVariant Content() const = 0;
    // Replaces the document with text (a string value).
    virtual void SetContent(const QVariant &text) = 0;
    // The path the file was bound with.
    virtual QString Path() const = 0;
};

// What a controller asks its provider for.
class QuenProvider
{
public:
    virtual ~QuenProvider();
    virtual std::shared_ptr<QuenFile> BindFile(const QString &path, const QString &option) = 0;
};

// The files a controller holds.
class QuenFileList
{
public:
    int Count() const { return static_cast<int>(m_files.size()); }
    std::shared_ptr<QuenFile> Item(int index) const { return m_files.at(index); }
    void Add(std::shared_ptr<QuenFile> file) { m_files.append(std::move(file)); }
    // Lets go of every file.
    void RemoveAll() { m_files.clear(); }

private:
    QList<std::shared_ptr<QuenFile>> m_files;
};

class QuenController
{
public:
    explicit QuenController(std::unique_ptr<QuenProvider> provider);

    std::shared_ptr<QuenFileList> FileList() const { return m_files; }
    // Binds the document at path through the provider and adds it to the
    // file list.
    std::shared_ptr<QuenFile> BindFile(const QString &path, const QString &option);

private:
    std::unique_ptr<QuenProvider> m_provider;
    std::shared_ptr<QuenFileList> m_files;
};

class QuenWorkspace
{
public:
    // A controller bound to the provider registered under progId. name and
    // the last two arguments are accepted and not used.
    std::shared_ptr<QuenController> CreateController(const QString &name, const QString &progId,
                                                     const QString &a, const QString &b);
};

class QuenEngine
{
public:
    QuenEngine();
    QList<std::shared_ptr<QuenWorkspace>> WorkspaceList() const { return m_workspaces; }

private:
    QList<std::shared_ptr<QuenWorkspace>> m_workspaces;
};

// Providers by ProgID. "QuenProv.Tarnwell" is registered from the start.
using ProviderFactory = std::function<std::unique_ptr<QuenProvider>()>;
void RegisterProvider(const QString &progId, ProviderFactory factory);

// Creating the engine goes through a factory that tests may replace; the
// default makes a QuenEngine. Passing an empty function restores the default.
using EngineFactory = std::function<std::shared_ptr<QuenEngine>()>;
void SetEngineFactory(EngineFactory factory);
std::shared_ptr<QuenEngine> CreateQuenEngine();

} // namespace tarnwell
