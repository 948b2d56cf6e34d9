unit Reports;

{ Console output of the shape list. }

interface

uses
  Shapes;

procedure PrintHeader(const Title: string);
procedure PrintShapes(List: TShapeList);
procedure PrintTotal(Total: Double);

implementation

uses
  SysUtils, Geometry;

const
  LineWidth = 40;

procedure PrintRule;
begin
  WriteLn(StringOfChar('-', LineWidth));
end;

procedure PrintHeader(const Title: string);
begin
  PrintRule;
  WriteLn(Title);
  PrintRule;
end;

procedure PrintShapes(List: TShapeList);
var
  I: Integer;
begin
  for I := 0 to List.Count - 1 do
    WriteLn(Format('%2d. %s', [I + 1, List[I].Describe]));
end;

procedure PrintTotal(Total: Double);
begin
  PrintRule;
  WriteLn(Format('Total area: %.2f', [RoundTo2(Total)]));
end;

end.
