// Loads the add-in into an in-memory host as the IDE does, and unloads it
// (releases the expert, forgets the tool services) when it goes.
#pragma once

#include "InMemoryHost.h"

#include "expert/QuorbelExpert.h"

class AddinSession {
public:
    explicit AddinSession(InMemoryHost &host);
    ~AddinSession();
    AddinSession(const AddinSession &) = delete;
    AddinSession &operator=(const AddinSession &) = delete;

    // Releases the expert now, as the IDE does at unload.
    void unload();

    bool loaded() const { return FExpert != nullptr; }
    TQuorbelExpert *expert() const { return FExpert; }
    TIExpert *registered() const { return FRegistered; }
    bool initResult = false;

private:
    TQuorbelExpert *FExpert = nullptr;
    TIExpert *FRegistered = nullptr;
};
