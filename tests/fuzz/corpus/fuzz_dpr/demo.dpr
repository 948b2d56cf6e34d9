program Demo;

{ A small console program to try the Quorbel tools on:
  browse its entities, insert macros, edit its version resource. }

{$APPTYPE CONSOLE}

uses
  SysUtils,
  Shapes in 'Shapes.pas',
  Geometry in 'Geometry.pas', (* plain functions *)
  Reports in 'Reports.pas';

var
  List: TShapeList;
begin
  List := TShapeList.Create;
  try
    List.Add(TCircle.Create('Wheel', 2.5));
    List.Add(TRectangle.Create('Door', 0.9, 2.1));
    List.Add(TCircle.Create('Coin', 0.012));
    PrintHeader('Shapes');
    PrintShapes(List);
    PrintTotal(List.TotalArea);
  finally
    List.Free;
  end;
end.
