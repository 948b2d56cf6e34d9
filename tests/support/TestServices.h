// Services handed to tools under test: the given host, the dialogs the test
// installed (looked up when used), the registered data directory, and the
// shared test writer that a FailWrites scope makes fail.
#pragma once

#include "TestWriter.h"

#include "core/AddinServices.h"

TAddinServices TestServices(TIToolServices *host = nullptr);
