program U;
uses Über in 'über.pas', Café;
begin end.
