// Add-in libraries: loaded from the IDE's Experts registry key, started
// through their expert entry point, and taken down at exit: experts
// released (and terminate procedures called) first, libraries unloaded last.
#pragma once

#include "ToolsApi.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace qide {

class TAddinLoader {
public:
    // Registry key whose values name the add-in libraries.
    static const QString ExpertsKey;

    using TLog = std::function<void(const QString &)>;
    TAddinLoader(TIToolServices *toolServices, TLog log);
    ~TAddinLoader();
    TAddinLoader(const TAddinLoader &) = delete;
    TAddinLoader &operator=(const TAddinLoader &) = delete;

    // Every value under ExpertsKey, in the store's order.
    void loadRegistered();
    // dlopen, find the entry point, start it. False (and an error) when the
    // library cannot be loaded, has no entry point, or fails.
    bool loadLibrary(const QString &name, const QString &path);
    // Starts an entry point already at hand (handle may be null).
    bool start(const QString &name, TExpertInitProc init, void *handle = nullptr);

    // What went wrong while loading, one line per library; cleared by take.
    QStringList errors() const { return FErrors; }
    QStringList takeErrors();

    struct TExpertInfo {
        QString name;
        QString id;
        QString library;
    };
    std::vector<TExpertInfo> experts() const;
    int libraryCount() const { return int(FLibraries.size()); }

    // Releases every expert, newest library first, and calls its terminate
    // procedure. Safe to call twice.
    void releaseExperts();
    // Unloads the libraries; run after every object they made is gone.
    void closeLibraries();

private:
    struct TLibrary {
        QString name;
        QString path;
        void *handle = nullptr;
        TExpertTerminateProc terminate = nullptr;
        std::vector<TIExpert *> experts;
        bool released = false;
    };
    static bool RegisterProc(TIExpert *expert);
    void fail(const QString &text);

    TIToolServices *FToolServices;
    TLog FLog;
    std::vector<TLibrary> FLibraries;
    QStringList FErrors;
    static TAddinLoader *FStarting;
    static TLibrary *FStartingLibrary;
};

} // namespace qide
