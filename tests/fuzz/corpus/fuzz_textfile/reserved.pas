unit R;
{ a b ﷐ ﷑  }
end.
