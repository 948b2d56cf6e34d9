// Lets the event loop run until done() holds: true then, false after
// timeoutMs. Generous by default: a loaded machine is slow, never wrong.
#pragma once

#include <QTest>

#include <functional>

inline bool WaitUntil(const std::function<bool()> &done, int timeoutMs = 60000)
{
    return QTest::qWaitFor(done, timeoutMs);
}
