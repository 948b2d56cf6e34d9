#include "AddinSession.h"

#include "expert/Application.h"

namespace {
TIExpert *lastRegistered = nullptr;

bool registerExpert(TIExpert *expert)
{
    lastRegistered = expert;
    return true;
}
} // namespace

AddinSession::AddinSession(InMemoryHost &host)
{
    lastRegistered = nullptr;
    TExpertTerminateProc terminate = reinterpret_cast<TExpertTerminateProc>(&registerExpert);
    initResult = InitExpert(&host, &registerExpert, &terminate);
    FRegistered = lastRegistered;
    FExpert = TheExpert;
}

AddinSession::~AddinSession()
{
    unload();
    ToolServices = nullptr;
    Application = nullptr;
}

void AddinSession::unload()
{
    if (FRegistered) {
        FRegistered->Release();
        FRegistered = nullptr;
    }
    FExpert = nullptr;
}
