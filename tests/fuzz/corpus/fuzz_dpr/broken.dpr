program Broken; { unterminated
uses A in 'a.pas
, B in ;
