﻿unit Twice;
end.
