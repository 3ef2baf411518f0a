// Messages the user interface shows (kestrel/ui/uitext.h).
#include "kestrel/ui/uitext.h"

#include <string>

#include "kestrel/core/zanlib.h"
#include "kplatform/kernel32_string.h"

BOOL uiFormatText(UINT id, const LPCWSTR* args, int count, LPWSTR out, int cch) {
  if (!out || cch <= 0) return FALSE;
  out[0] = 0;
  WCHAR format[1024] = {};
  if (resource_LoadString(id, format, 1024) <= 0) return FALSE;
  std::u16string text;
  int next = 0;
  auto argument = [&](int i) {
    if (args && i >= 0 && i < count && args[i]) text += args[i];
  };
  for (LPCWSTR p = format; *p; ++p) {
    if (p[0] == u'%' && p[1] >= u'1' && p[1] <= u'9') {
      argument(p[1] - u'1');
      ++p;
    } else if (p[0] == u'%' && (p[1] == u's' || p[1] == u'd')) {
      argument(next++);
      ++p;
    } else {
      text += *p;
    }
  }
  if (static_cast<int>(text.size()) + 1 > cch) return FALSE;
  lstrcpynW(out, text.c_str(), cch);
  return TRUE;
}
