#include "TestServices.h"

TAddinServices TestServices(TIToolServices *host)
{
    TAddinServices services;
    services.ToolServices = host;
    services.Writer = &SharedTestWriter();
    services.DataDir = AddinDataDir();
    return services;
}
