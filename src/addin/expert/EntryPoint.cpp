// The library's one export. Nothing thrown inside reaches the host.
#include "QuorbelExpert.h"

#include <QDebug>

extern "C" __attribute__((visibility("default"))) bool
INITEXPERT0016(TIToolServices *toolServices, TExpertRegisterProc registerProc,
               TExpertTerminateProc *terminate)
{
    try {
        return InitExpert(toolServices, registerProc, terminate);
    } catch (const std::exception &e) {
        qWarning("Quorbel: the expert could not start: %s", e.what());
    } catch (...) {
        qWarning("Quorbel: the expert could not start");
    }
    return false;
}
