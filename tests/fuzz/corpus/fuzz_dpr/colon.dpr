program Colon;
uses A in ':a.pas', (* B in 'no.pas' *) B in '/abs/B.pas' // x
, C;
begin
end.
