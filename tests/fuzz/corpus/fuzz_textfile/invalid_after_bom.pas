unit Bad; { ÿþ Ã }
end.