// The system TrueType family list file (see kestrel/core/systtf.h).
#if defined(KESTREL_USER_MODE)

#include "kestrel/core/systtf.h"

#include <cstring>

#include "kestrel/core/kcore_sys.h"
#include "kplatform/kernel32_file.h"
#include "kplatform/kernel32_sync.h"

namespace {

constexpr char16_t kStagingName[] = u"\\kestreltt.new";
constexpr DWORD kSystemDirChars = 512;

bool WriteAll(HANDLE file, const void* data, DWORD bytes) {
  DWORD written = 0;
  return WriteFile(file, data, bytes, &written, nullptr) && written == bytes;
}

}  // namespace

LPWSTR GetSysTTFListFileName(LPCWSTR name) {
  if (!name) return nullptr;
  WCHAR dir[kSystemDirChars] = {};
  UINT dirChars = GetSystemDirectoryW(dir, kSystemDirChars);
  if (dirChars == 0 || dirChars >= kSystemDirChars) return nullptr;
  static constexpr char16_t kPrefix[] = u"\\\\?\\";
  DWORD prefixChars = 4;
  DWORD nameChars = kp_WideLength(name);
  auto* out = static_cast<LPWSTR>(kcore_Alloc((prefixChars + dirChars + nameChars + 1) * sizeof(WCHAR)));
  if (!out) return nullptr;
  std::memcpy(out, kPrefix, prefixChars * sizeof(WCHAR));
  std::memcpy(out + prefixChars, dir, dirChars * sizeof(WCHAR));
  std::memcpy(out + prefixChars + dirChars, name, nameChars * sizeof(WCHAR));
  return out;
}

BOOL OpenSysTTFListFile(HANDLE* file, LPCWSTR name) {
  if (!file || !name) return FALSE;
  *file = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  return *file != INVALID_HANDLE_VALUE;
}

void CloseSysTTFListFile(HANDLE file) {
  if (file && file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

int CALLBACK EnumFontFamilyProc(const LOGFONTW* font, const TEXTMETRICW*, DWORD fontType, LPARAM param) {
  auto* context = reinterpret_cast<SYSTTF_ENUM*>(param);
  if (!context || !font || !(fontType & TRUETYPE_FONTTYPE)) return 1;
  DWORD chars = 0;
  while (chars < LF_FACESIZE && font->lfFaceName[chars]) ++chars;
  if (context->buffer) {
    // A name that does not fit whole (a family added since the count) is
    // left out.
    if (context->count + chars + 1 > context->capacity) return 1;
    std::memcpy(context->buffer + context->count, font->lfFaceName, chars * sizeof(WCHAR));
    context->buffer[context->count + chars] = 0;
  }
  context->count += chars + 1;
  return 1;
}

BOOL SetSystemTrueTypeFontFamilyList(void*) {
  LPWSTR finalName = GetSysTTFListFileName(SYSTTF_FILE_NAME);
  LPWSTR stagingName = GetSysTTFListFileName(kStagingName);
  HANDLE file = INVALID_HANDLE_VALUE;
  if (!finalName || !stagingName || !OpenSysTTFListFile(&file, stagingName)) {
    kcore_Free(finalName);
    kcore_Free(stagingName);
    return FALSE;
  }

  LOGFONTW filter = {};
  filter.lfCharSet = DEFAULT_CHARSET;
  SYSTTF_ENUM context = {0, nullptr, 0};
  EnumFontFamiliesExW(nullptr, &filter, EnumFontFamilyProc, reinterpret_cast<LPARAM>(&context), 0);
  bool ok = true;
  WCHAR* names = nullptr;
  if (2ull * context.count + 2 >= SYSTTF_MAX_BLOCK + 1ull) {
    ok = false;  // too long: nothing is written
  } else {
    DWORD capacity = context.count;
    names = static_cast<WCHAR*>(kcore_Alloc((capacity + 1) * sizeof(WCHAR)));
    ok = names != nullptr;
    if (ok) {
      context = SYSTTF_ENUM{0, names, capacity};
      EnumFontFamiliesExW(nullptr, &filter, EnumFontFamilyProc, reinterpret_cast<LPARAM>(&context), 0);
      // Names left out do not count, so count stays within capacity.
      DWORD block = 2 * context.count + 2;
      ok = WriteAll(file, &block, sizeof(block)) && WriteAll(file, names, block);
    }
  }
  CloseSysTTFListFile(file);
  if (ok) ok = MoveFileExW(stagingName, finalName, MOVEFILE_REPLACE_EXISTING) != FALSE;
  if (!ok) DeleteFileW(stagingName);
  kcore_Free(names);
  kcore_Free(finalName);
  kcore_Free(stagingName);
  return ok ? TRUE : FALSE;
}

#endif  // KESTREL_USER_MODE
