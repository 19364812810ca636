// Finding an installed image encoder by MIME type. Looked up anew on every
// output: nothing is cached.
#pragma once

#include <windows.h>

// Walks the installed encoders in the order the graphics library lists them;
// the first whose MIME type equals `mimeType` exactly (case-sensitive) wins.
// Copies its CLSID to *clsid and returns its index, or returns -1 when none
// matches or the list cannot be had.
int FindEncoderClsid(const WCHAR* mimeType, CLSID* clsid);
