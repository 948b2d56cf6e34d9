unit Ansi;
{ España € “quoted” }
const S = 'Café';
end.
