unit Shapes;

{ Shapes with a name and an area, and a list that owns them. }

interface

uses
  Classes;

type
  TShape = class
  private
    FName: string;
  public
    constructor Create(const AName: string);
    destructor Destroy; override;
    function Area: Double; virtual; abstract;
    function Describe: string; virtual;
    property Name: string read FName;
  end;

  TCircle = class(TShape)
  private
    FRadius: Double;
  public
    constructor Create(const AName: string; ARadius: Double);
    function Area: Double; override;
    function Describe: string; override;
  end;

  TRectangle = class(TShape)
  private
    FWidth, FHeight: Double;
  public
    constructor Create(const AName: string; AWidth, AHeight: Double);
    function Area: Double; override;
  end;

  TShapeList = class
  private
    FItems: TList;
    function GetCount: Integer;
    function GetItem(Index: Integer): TShape;
  public
    constructor Create;
    destructor Destroy; override;
    procedure Add(Shape: TShape);
    function TotalArea: Double;
    property Count: Integer read GetCount;
    property Items[Index: Integer]: TShape read GetItem; default;
  end;

implementation

uses
  SysUtils, Geometry;

{ TShape }

constructor TShape.Create(const AName: string);
begin
  inherited Create;
  FName := AName;
end;

destructor TShape.Destroy;
begin
  FName := '';
  inherited Destroy;
end;

function TShape.Describe: string;
begin
  Result := Format('%s: %.2f', [FName, Area]);
end;

{ TCircle }

constructor TCircle.Create(const AName: string; ARadius: Double);
begin
  inherited Create(AName);
  FRadius := ARadius;
end;

function TCircle.Area: Double;
begin
  Result := CircleArea(FRadius);
end;

function TCircle.Describe: string;
begin
  Result := inherited Describe + Format(' (perimeter %.2f)', [CirclePerimeter(FRadius)]);
end;

{ TRectangle }

constructor TRectangle.Create(const AName: string; AWidth, AHeight: Double);
begin
  inherited Create(AName);
  FWidth := AWidth;
  FHeight := AHeight;
end;

function TRectangle.Area: Double;
begin
  Result := RectangleArea(FWidth, FHeight);
end;

{ TShapeList }

constructor TShapeList.Create;
begin
  inherited Create;
  FItems := TList.Create;
end;

destructor TShapeList.Destroy;
var
  I: Integer;
begin
  for I := 0 to FItems.Count - 1 do
    TShape(FItems[I]).Free;
  FItems.Free;
  inherited Destroy;
end;

procedure TShapeList.Add(Shape: TShape);
begin
  FItems.Add(Shape);
end;

function TShapeList.GetCount: Integer;
begin
  Result := FItems.Count;
end;

function TShapeList.GetItem(Index: Integer): TShape;
begin
  Result := TShape(FItems[Index]);
end;

function TShapeList.TotalArea: Double;
var
  I: Integer;
begin
  Result := 0;
  for I := 0 to Count - 1 do
    Result := Result + Items[I].Area;
end;

end.
