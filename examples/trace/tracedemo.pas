program tracedemo;
{$mode objfpc}
uses dbugintf;
begin
  SendDebug('hello from pascal');
  SendMethodEnter('Main');
  SendDebugFmt('%d items', [3]);
  SendMethodExit('Main');
end.
