#include "TestServices.h"

TAddinServices TestServices(TIToolServices *host)
{
    TAddinServices services = DefaultServices(host);
    services.Writer = &SharedTestWriter();
    return services;
}
