#include "Quen.h"

#include "Error.h"
#include "TarnwellProvider.h"

#include <QHash>

namespace tarnwell {

QuenFile::~QuenFile() = default;
QuenProvider::~QuenProvider() = default;

namespace {

QHash<QString, ProviderFactory> &registry()
{
    static QHash<QString, ProviderFactory> providers{
        {kTarnwellProgId.toString(), [] { return std::make_unique<TarnwellProvider>(); }},
    };
    return providers;
}

EngineFactory &engineFactory()
{
    static EngineFactory factory;
    return factory;
}

} // namespace

QuenController::QuenController(std::unique_ptr<QuenProvider> provider)
    : m_provider(std::move(provider)), m_files(std::make_shared<QuenFileList>())
{
}

std::shared_ptr<QuenFile> QuenController::BindFile(const QString &path, const QString &option)
{
    std::shared_ptr<QuenFile> file = m_provider->BindFile(path, option);
    m_files->Add(file);
    return file;
}

std::shared_ptr<QuenController> QuenWorkspace::CreateController(const QString &, const QString &progId,
                                                                const QString &, const QString &)
{
    const auto it = registry().constFind(progId);
    if (it == registry().cend()) {
        throw Error(QStringLiteral("The provider %1 is not registered with the Quen engine.")
                        .arg(quoteForMessage(progId)),
                    Error::Kind::Provider);
    }
    return std::make_shared<QuenController>((*it)());
}

QuenEngine::QuenEngine() : m_workspaces{std::make_shared<QuenWorkspace>()} {}

void RegisterProvider(const QString &progId, ProviderFactory factory)
{
    registry().insert(progId, std::move(factory));
}

void SetEngineFactory(EngineFactory factory)
{
    engineFactory() = std::move(factory);
}

std::shared_ptr<QuenEngine> CreateQuenEngine()
{
    if (engineFactory())
        return engineFactory()();
    return std::make_shared<QuenEngine>();
}

} // namespace tarnwell
