// Stand-ins of the outside libraries of marked copies, built as:
//   kgsbtest    - the security-marking library (installed as kgsb.dll)
//   kgsbnoadd   - the same without ZANGSB_AddGS (a missing export)
//   kqdmtest    - the document monitor (installed as kqdm.dll)
// Each records its calls (one line per call) and takes faults from the
// test through its MarkTest_* exports. The marking stand-in's AddGS writes
// the job with a PJL comment naming the copy after the job's first line.
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "kestrel/core/gsb_ctrl.h"
#include "kplatform/kwindows.h"

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::mutex gLock;
std::string gLog;
std::string gFail;  // the step that fails ("" none)
int gFailCopy = -1; // with "addgs": the copy it fails at
int gSerials = 1;
BYTE gJobInfo[GSB_JOBATTR_SIZE];
[[maybe_unused]] uint32_t gNextId = 100;

void Log(const std::string& line) {
  std::lock_guard<std::mutex> g(gLock);
  gLog += line + "\n";
}
bool Fails(const char* step) {
  std::lock_guard<std::mutex> g(gLock);
  return gFail == step;
}

[[maybe_unused]] std::u16string Wide(const char* ansi) {
  WCHAR buffer[2 * MAX_PATH] = {};
  MultiByteToWideChar(CP_ACP, 0, ansi, -1, buffer, 2 * MAX_PATH);
  return buffer;
}

}  // namespace

EXPORT void MarkTest_Reset(int serials) {
  std::lock_guard<std::mutex> g(gLock);
  gLog.clear();
  gFail.clear();
  gFailCopy = -1;
  gSerials = serials;
  std::memset(gJobInfo, 0, sizeof(gJobInfo));
}
EXPORT void MarkTest_Fail(const char* step, int copy) {
  std::lock_guard<std::mutex> g(gLock);
  gFail = step;
  gFailCopy = copy;
}
EXPORT int MarkTest_Log(char* out, int size) {
  std::lock_guard<std::mutex> g(gLock);
  std::snprintf(out, static_cast<size_t>(size), "%s", gLog.c_str());
  return static_cast<int>(gLog.size());
}
EXPORT void MarkTest_JobInfo(BYTE* out) {
  std::lock_guard<std::mutex> g(gLock);
  std::memcpy(out, gJobInfo, sizeof(gJobInfo));
}

#if defined(MARK_MONITOR)

EXPORT int BDDM_Initialize(void) {
  Log("init");
  return Fails("init") ? 0 : 1;
}
EXPORT void BDDM_Release(void) { Log("release"); }
EXPORT uint32_t BDDM_RegisterJob(const BDDM_JOBDESC* d) {
  // "register" with a copy fails that copy only (-1: every copy).
  if (Fails("register") && (gFailCopy < 0 || gFailCopy == static_cast<int>(d->copy))) return 0;
  uint32_t id;
  {
    std::lock_guard<std::mutex> g(gLock);
    id = gNextId++;
  }
  Log("register copy " + std::to_string(d->copy) + " id " + std::to_string(id) + " doc " + d->document);
  return id;
}
EXPORT int BDDM_RunJob(uint32_t id) {
  Log("run " + std::to_string(id));
  return 1;
}
EXPORT int BDDM_WithdrawJob(uint32_t id) {
  Log("withdraw " + std::to_string(id));
  return 1;
}

#else

namespace {
int gHandle = 0x5A;
}

EXPORT int ZANGSB_IsSupportedModel(const char* model) {
  Log(std::string("supported ") + model);
  return Fails("supported") ? 0 : 1;
}
EXPORT void* ZANGSB_CreateHandle(const char* model, const char*, int, WORD) {
  Log(std::string("create ") + model);
  return Fails("create") ? nullptr : &gHandle;
}
EXPORT int ZANGSB_ReleaseHandle(void*) {
  Log("release");
  return 1;
}
EXPORT int ZANGSB_GetNumOfSerial(void*, const char*, int* count) {
  Log("serials");
  std::lock_guard<std::mutex> g(gLock);
  *count = gSerials;
  return 1;
}
EXPORT int ZANGSB_ValidateSetting(void*, const GSB_ATTR* attrs, int count, const char*) {
  Log("validate " + std::to_string(count) + " " + std::to_string(count > 0 ? attrs[0].size : 0));
  return Fails("validate") ? -1 : Fails("conflict") ? 1 : 0;
}
EXPORT int ZANGSB_SetDriverSettings(void*, const GSB_ATTR*, int count) {
  Log("driver " + std::to_string(count));
  return Fails("driver") ? 0 : 1;
}
EXPORT int ZANGSB_SetJobInfo(void*, int level, const void* record) {
  Log("job " + std::to_string(level));
  std::lock_guard<std::mutex> g(gLock);
  std::memcpy(gJobInfo, record, sizeof(gJobInfo));
  return 1;
}

#if !defined(MARK_NO_ADDGS)
EXPORT int ZANGSB_AddGS(void*, const char* source, const char* output, void* record, int copy) {
  uint32_t id = 0;
  if (record != nullptr) std::memcpy(&id, record, sizeof(id));
  Log("addgs " + std::to_string(copy) + " record " + std::to_string(id));
  {
    std::lock_guard<std::mutex> g(gLock);
    if (gFail == "addgs" && gFailCopy == copy) return 0;
  }
  HANDLE in = CreateFileW(Wide(source).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (in == INVALID_HANDLE_VALUE) return 0;
  std::string job;
  char piece[4096];
  DWORD got = 0;
  while (ReadFile(in, piece, sizeof(piece), &got, nullptr) && got > 0) job.append(piece, got);
  CloseHandle(in);
  const std::string marker = "@PJL COMMENT GLYPHSEAL COPY=" + std::to_string(copy) + "\n";
  const size_t line = job.find('\n');
  job.insert(line == std::string::npos ? 0 : line + 1, marker);
  HANDLE out = CreateFileW(Wide(output).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (out == INVALID_HANDLE_VALUE) return 0;
  DWORD put = 0;
  const BOOL ok = WriteFile(out, job.data(), static_cast<DWORD>(job.size()), &put, nullptr);
  CloseHandle(out);
  return ok && put == job.size() ? 1 : 0;
}
#endif

#endif
