// Messages the user interface shows: a resource string with its arguments.
#pragma once

#include "kplatform/wintypes.h"

// Loads string `id` of the resource module and puts the arguments in:
// "%1" ... "%9" name an argument by its position, and each "%s" or "%d"
// takes the next argument in turn (the strings of the resource module use
// both). A missing argument leaves nothing; any other "%" stays as written.
// FALSE when the string cannot be loaded or the text does not fit `cch`
// characters and its NUL.
BOOL uiFormatText(UINT id, const LPCWSTR* args, int count, LPWSTR out, int cch);
