// The printer id and the per-user key (see kestrel/ui/prnid.h).
#include "kestrel/ui/prnid.h"

#include <md5.h>

#include <cstring>
#include <mutex>
#include <vector>

#include "kestrel/core/ddd.h"
#include "kplatform/kernel32_memory.h"
#include "kplatform/kernel32_string.h"
#include "kplatform/kernel32_sync.h"
#include "kplatform/kernel32_system.h"
#include "kplatform/kernel32_time.h"
#include "kplatform/winspool_printer.h"

namespace {

WCHAR kValueName[] = u"PRNID";
constexpr WCHAR kLockName[] = u"Global\\KestrelPrinterId";

// The lock under which the id is checked and stored: a process-wide lock,
// and the machine's named mutex for other processes when it can be had (a
// failure to create it leaves the process-wide lock alone in charge, rather
// than failing the store).
std::mutex g_idLock;

class IdLock {
 public:
  IdLock() : guard_(g_idLock), mutex_(CreateMutexW(nullptr, FALSE, kLockName)) {
    if (!mutex_) return;
    DWORD waited = WaitForSingleObject(mutex_, INFINITE);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
      CloseHandle(mutex_);
      mutex_ = nullptr;
    }
  }
  ~IdLock() {
    if (mutex_) {
      ReleaseMutex(mutex_);
      CloseHandle(mutex_);
    }
  }

 private:
  std::lock_guard<std::mutex> guard_;
  HANDLE mutex_;
};

}  // namespace

BOOL getPRNID(HANDLE printer, BYTE* id) {
  if (!id) return FALSE;
  BYTE buffer[PRNID_SIZE];
  DWORD type = 0, needed = 0;
  if (GetPrinterDataW(printer, kValueName, &type, buffer, sizeof(buffer), &needed) != ERROR_SUCCESS) return FALSE;
  if (needed != PRNID_SIZE) return FALSE;
  std::memcpy(id, buffer, PRNID_SIZE);
  return TRUE;
}

BOOL CreatePRNID(HANDLE printer, BYTE* id) {
  if (!id) return FALSE;
  DWORD needed = 0;
  GetPrinterW(printer, 1, nullptr, 0, &needed);
  if (needed < sizeof(PRINTER_INFO_1W)) return FALSE;
  auto* block = static_cast<BYTE*>(GlobalAlloc(GPTR, needed));
  if (!block) return FALSE;
  BOOL ok = GetPrinterW(printer, 1, block, needed, &needed);
  if (ok) {
    PRINTER_INFO_1W info;
    std::memcpy(&info, block, sizeof(info));
    ok = info.pName != nullptr;
    if (ok) {
      DWORD now = static_cast<DWORD>(KpTime(nullptr));
      BYTE t[4] = {static_cast<BYTE>(now), static_cast<BYTE>(now >> 8), static_cast<BYTE>(now >> 16),
                   static_cast<BYTE>(now >> 24)};
      MD5_CTX ctx;
      MD5Init(&ctx);
      MD5Update(&ctx, t, 4);
      MD5Update(&ctx, reinterpret_cast<const BYTE*>(info.pName), static_cast<size_t>(lstrlenW(info.pName)) * 2);
      MD5Final(id, &ctx);
    }
  }
  GlobalFree(block);
  return ok;
}

BOOL setPRNID(HANDLE printer, const BYTE* id) {
  if (!id) return FALSE;
  IdLock lock;
  DWORD type = 0, needed = 0;
  BYTE probe[1];
  DWORD rc = GetPrinterDataW(printer, kValueName, &type, probe, 0, &needed);
  // An id of the right size stays; a value of another size is no id.
  if ((rc == ERROR_MORE_DATA || rc == ERROR_SUCCESS) && needed == PRNID_SIZE) return TRUE;
  BYTE copy[PRNID_SIZE];
  std::memcpy(copy, id, PRNID_SIZE);
  return SetPrinterDataW(printer, kValueName, REG_BINARY, copy, PRNID_SIZE) == ERROR_SUCCESS;
}

LPWSTR local_CreatePRNIDKey(LPCWSTR path, const BYTE* id, LPCWSTR subKey, LPWSTR out, DWORD capacity) {
  if (!path || !id || !out) return nullptr;
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  size_t pathLen = static_cast<size_t>(lstrlenW(path));
  size_t subLen = subKey ? static_cast<size_t>(lstrlenW(subKey)) : 0;
  size_t total = pathLen + 2 * PRNID_SIZE + (subKey ? 1 + subLen : 0) + 1;
  if (total > capacity) return nullptr;
  size_t k = 0;
  for (size_t i = 0; i < pathLen; ++i) out[k++] = path[i];
  for (size_t i = 0; i < PRNID_SIZE; ++i) {
    out[k++] = kHex[id[i] >> 4];
    out[k++] = kHex[id[i] & 15];
  }
  if (subKey) {
    out[k++] = u'\\';
    for (size_t i = 0; i < subLen; ++i) out[k++] = subKey[i];
  }
  out[k] = 0;
  return out;
}

BOOL local_GetCurrentUserKeyName(HANDLE printer, HCDDD ddd, LPCWSTR subKey, LPWSTR out, DWORD capacity) {
  if (!ddd || !out) return FALSE;
  BYTE id[PRNID_SIZE];
  if (!getPRNID(printer, id)) {
    if (!CreatePRNID(printer, id) || !setPRNID(printer, id)) return FALSE;
    if (!getPRNID(printer, id)) return FALSE;  // the id that is stored, whoever stored it
  }
  LPWSTR path = nullptr;
  if (ddd_GetRegistry(ddd->main, 1, &path) != DDD_OK || !path) return FALSE;
  LPWSTR built = local_CreatePRNIDKey(path, id, subKey, out, capacity);
  ddd_FreeMem(path);
  return built != nullptr;
}

BOOL OpenCurrentUser(HANDLE printer, HCDDD ddd, LPCWSTR subKey, HKEY* key) {
  if (!key || !ddd) return FALSE;
  *key = nullptr;
  WCHAR name[PRNID_KEY_CHARS];
  if (!local_GetCurrentUserKeyName(printer, ddd, subKey, name, PRNID_KEY_CHARS)) return FALSE;
  if (RegOpenKeyW(HKEY_CURRENT_USER, name, key) == ERROR_SUCCESS) return TRUE;
  return RegCreateKeyW(HKEY_CURRENT_USER, name, key) == ERROR_SUCCESS;
}

BOOL uiGetUserPermission(void) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return FALSE;
  DWORD size = 1024;
  std::vector<BYTE> buffer(size);
  DWORD needed = 0;
  BOOL ok = GetTokenInformation(token, TokenGroups, buffer.data(), size, &needed);
  if (!ok && GetLastError() == ERROR_INSUFFICIENT_BUFFER && needed > size) {
    buffer.resize(needed);
    ok = GetTokenInformation(token, TokenGroups, buffer.data(), needed, &needed);
  }
  CloseHandle(token);
  if (!ok) return FALSE;
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID admins = nullptr;
  if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                &admins))
    return FALSE;
  auto* groups = reinterpret_cast<TOKEN_GROUPS*>(buffer.data());
  BOOL found = FALSE;
  for (DWORD i = 0; i < groups->GroupCount && !found; ++i) found = EqualSid(groups->Groups[i].Sid, admins);
  FreeSid(admins);
  return found;
}
