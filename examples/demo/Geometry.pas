unit Geometry;

{ Plain geometric helpers used by the shapes. }

interface

uses
  SysUtils;

type
  EGeometryError = class(Exception);

const
  Pi2 = 2 * Pi;

function CircleArea(Radius: Double): Double;
function CirclePerimeter(Radius: Double): Double;
function RectangleArea(Width, Height: Double): Double;
function RoundTo2(Value: Double): Double;
procedure CheckPositive(Value: Double; const What: string);

implementation

function CircleArea(Radius: Double): Double;
begin
  CheckPositive(Radius, 'radius');
  Result := Pi * Sqr(Radius);
end;

function CirclePerimeter(Radius: Double): Double;
begin
  CheckPositive(Radius, 'radius');
  Result := Pi2 * Radius;
end;

function RectangleArea(Width, Height: Double): Double;
begin
  CheckPositive(Width, 'width');
  CheckPositive(Height, 'height');
  Result := Width * Height;
end;

function RoundTo2(Value: Double): Double;
begin
  Result := Round(Value * 100) / 100;
end;

procedure CheckPositive(Value: Double; const What: string);
begin
  if Value <= 0 then
    raise EGeometryError.CreateFmt('The %s must be positive', [What]);
end;

end.
