#include "AddinLoader.h"

#include "Exception.h"
#include "Registry.h"

#include <QFile>

#include <dlfcn.h>

namespace qide {

const QString TAddinLoader::ExpertsKey = QStringLiteral("\\Software\\Borland\\Delphi\\2.0\\Experts");
TAddinLoader *TAddinLoader::FStarting = nullptr;
TAddinLoader::TLibrary *TAddinLoader::FStartingLibrary = nullptr;

TAddinLoader::TAddinLoader(TIToolServices *toolServices, TLog log)
    : FToolServices(toolServices), FLog(std::move(log))
{
    FLibraries.reserve(16);
}

TAddinLoader::~TAddinLoader()
{
    releaseExperts();
    closeLibraries();
}

void TAddinLoader::fail(const QString &text)
{
    FErrors << text;
    if (FLog)
        FLog(QStringLiteral("addin-error ") + text);
}

QStringList TAddinLoader::takeErrors()
{
    return std::exchange(FErrors, {});
}

void TAddinLoader::loadRegistered()
{
    for (const QString &name : Registry::valueNames(HKEY::CurrentUser, ExpertsKey)) {
        const QString path = Registry::readString(HKEY::CurrentUser, ExpertsKey, name);
        if (path.isEmpty()) {
            fail(QStringLiteral("Add-in \"%1\" has no library path.").arg(name));
            continue;
        }
        loadLibrary(name, path);
    }
}

bool TAddinLoader::loadLibrary(const QString &name, const QString &path)
{
    dlerror();
    void *handle = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char *why = dlerror();
        fail(QStringLiteral("Add-in \"%1\" could not be loaded from %2: %3")
                 .arg(name, path, why ? QString::fromLocal8Bit(why) : QStringLiteral("unknown error")));
        return false;
    }
    auto init = reinterpret_cast<TExpertInitProc>(dlsym(handle, ExpertEntryPoint));
    if (!init) {
        fail(QStringLiteral("Add-in \"%1\" (%2) has no %3 entry point.")
                 .arg(name, path, QLatin1String(ExpertEntryPoint)));
        dlclose(handle);
        return false;
    }
    return start(name, init, handle);
}

bool TAddinLoader::start(const QString &name, TExpertInitProc init, void *handle)
{
    FLibraries.push_back(TLibrary{name, QString(), handle, nullptr, {}, false});
    if (handle) {
        Dl_info info{};
        if (dladdr(reinterpret_cast<void *>(init), &info) && info.dli_fname)
            FLibraries.back().path = QFile::decodeName(info.dli_fname);
    }
    const size_t index = FLibraries.size() - 1;

    FStarting = this;
    FStartingLibrary = &FLibraries[index];
    TExpertTerminateProc terminate = nullptr;
    bool started = false;
    QString error;
    try {
        started = init(FToolServices, &TAddinLoader::RegisterProc, &terminate);
    } catch (const EHostAbort &e) {
        error = e.message();
    } catch (const Exception &e) {
        error = e.message();
    } catch (const std::exception &e) {
        error = QString::fromLocal8Bit(e.what());
    } catch (...) {
        error = QStringLiteral("unknown error");
    }
    FStarting = nullptr;
    FStartingLibrary = nullptr;

    TLibrary &lib = FLibraries[index];
    lib.terminate = terminate;
    if (!error.isEmpty())
        fail(QStringLiteral("Add-in \"%1\" failed to start: %2").arg(name, error));
    else if (FLog)
        FLog(QStringLiteral("addin-loaded %1 %2").arg(name, lib.path));
    if (!started && error.isEmpty() && FLog)
        FLog(QStringLiteral("addin-declined ") + name);

    // A library that left nothing behind is unloaded at once.
    if (lib.experts.empty() && !lib.terminate) {
        if (lib.handle)
            dlclose(lib.handle);
        FLibraries.erase(FLibraries.begin() + index);
    }
    return started && error.isEmpty();
}

bool TAddinLoader::RegisterProc(TIExpert *expert)
{
    if (!expert || !FStarting || !FStartingLibrary)
        return false;
    FStartingLibrary->experts.push_back(expert);
    if (FStarting->FLog)
        FStarting->FLog(QStringLiteral("expert-registered ") + expert->GetName());
    return true;
}

std::vector<TAddinLoader::TExpertInfo> TAddinLoader::experts() const
{
    std::vector<TExpertInfo> out;
    for (const TLibrary &lib : FLibraries)
        if (!lib.released)
            for (TIExpert *e : lib.experts)
                out.push_back({e->GetName(), e->GetIDString(), lib.path.isEmpty() ? lib.name : lib.path});
    return out;
}

void TAddinLoader::releaseExperts()
{
    for (auto lib = FLibraries.rbegin(); lib != FLibraries.rend(); ++lib) {
        if (lib->released)
            continue;
        lib->released = true;
        for (auto e = lib->experts.rbegin(); e != lib->experts.rend(); ++e) {
            TIExpert *expert = *e;
            QString name;
            try {
                name = expert->GetName();
                expert->Release();
            } catch (...) {
                // An expert that fails on its way out must not stop the others.
            }
            if (FLog)
                FLog(QStringLiteral("expert-released ") + name);
        }
        lib->experts.clear();
        if (lib->terminate) {
            try {
                lib->terminate();
            } catch (...) {
            }
            if (FLog)
                FLog(QStringLiteral("terminated ") + lib->name);
        }
    }
}

void TAddinLoader::closeLibraries()
{
    releaseExperts();
    for (auto lib = FLibraries.rbegin(); lib != FLibraries.rend(); ++lib)
        if (lib->handle)
            dlclose(lib->handle);
    FLibraries.clear();
}

} // namespace qide
