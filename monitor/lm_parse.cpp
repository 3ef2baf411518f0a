// The PJL reply parser: splits the back channel into replies (a reply ends at
// a form feed), serves each by its header line from a keyword table, and
// writes what it finds into the port's status records. Also the IEEE 1284
// device id scan.
//
// The parser keeps the text of an unfinished reply (at most kHeldCap bytes)
// and serves a reply when its form feed has arrived, so a reply split at any
// byte gives the same records as the whole reply. Held text past the cap is
// dropped with the reply it belongs to.
#include <cstring>

#include "kplatform/byte_order.h"
#include "lm.h"

namespace lm {

namespace {

struct RecordTemplate {
  const char* name;
  DWORD size;
};

// The status record table every port copies at open.
constexpr RecordTemplate kRecords[] = {
    {"PrinterDisplay", sizeof(DisplayRecord)},
    {"PrintingJobInfo2", sizeof(JobRecord)},
    {"PageCount", 4},
    {"PrinterBinConfig", sizeof(BinConfig)},
    {"PrinterOptionConfig", sizeof(OptionConfig)},
    {"SendingJobInfo", 32},
    {"ErrCode", 4},
    {"PrinterManufacturer", 64},
    {"PrinterModel", 64},
    {"EmulationInfo", 64},
    {"DeviceStatus", 64},
    {"OppCopies", 4},
    {"OppOrientation", 4},
    {"OppRet", 4},
    {"OppEconoMode", 4},
    {"OppIntray", 4},
    {"OppIntrayFixed", 4},
    {"OppIntrayMTSize", 32},
    {"OppIntrayMTDir", 4},
    {"OppPowerSave", 4},
    {"OppPowerSave2", 4},
    {"OppPaperType", 4},
    {"OppPaperType1", 4},
    {"OppPaperType2", 4},
    {"OppPaperType3", 4},
    {"OppPaperType4", 4},
    {"OppPaperType5", 4},
    {"OppPaperSort", 4},
    {"OppPaperFeed", 4},
    {"OppTimeout", 4},
    {"OppDuplex", 4},
    {"OppBindPosition", 4},
    {"OppPowerSaveTime", 4},
    {"OppPowerSaveTime2", 4},
    {"OppOuttray", 4},
};

class Guard {
 public:
  explicit Guard(Status* st) : cs_(st->cs) {
    if (cs_) EnterCriticalSection(cs_);
  }
  ~Guard() {
    if (cs_) LeaveCriticalSection(cs_);
  }
  Guard(const Guard&) = delete;
  Guard& operator=(const Guard&) = delete;

 private:
  CRITICAL_SECTION* cs_;
};

void Changed(Status* st, Record* r) {
  r->changed = 1;
  if (st->changedEvent) SetEvent(st->changedEvent);
}

// Writes a record (under the port's critical section); marks it changed only
// when the bytes differ, unless `always`.
void Put(Status* st, const char* name, const void* data, DWORD size, bool always = true) {
  Guard g(st);
  Record* r = FindRecord(st, name);
  if (r == nullptr) return;
  if (size > r->size) size = r->size;
  if (!always && std::memcmp(r->data, data, size) == 0) return;
  std::memcpy(r->data, data, size);
  Changed(st, r);
}

void PutDword(Status* st, const char* name, DWORD value) { Put(st, name, &value, 4); }

// A line of a reply: [p, end) without its line feed and carriage return.
struct Line {
  const char* p;
  size_t n;
};

Line Trim(Line l) {
  while (l.n > 0 && (*l.p == ' ' || *l.p == '\t')) {
    ++l.p;
    --l.n;
  }
  while (l.n > 0 && (l.p[l.n - 1] == '\r' || l.p[l.n - 1] == ' ' || l.p[l.n - 1] == '\t')) --l.n;
  return l;
}

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A keyword at the start of the line that ends there (the next character is
// no letter): "POWERSAVE" does not swallow "POWERSAVETIME".
bool Word(Line l, const char* word) {
  size_t n = CStrLen(word);
  return Prefix(l.p, l.n, word, n) && (l.n == n || !IsLetter(l.p[n]));
}

// A decimal number without sign; saturates at 0xFFFFFFFF. False when no digit
// stands there or a sign or other character is glued to it.
bool Number(const char* p, size_t n, DWORD* out, size_t* used = nullptr) {
  size_t i = 0;
  while (i < n && (p[i] == ' ' || p[i] == '=')) ++i;
  size_t start = i;
  unsigned long long v = 0;
  while (i < n && IsDigit(p[i])) {
    v = v * 10 + static_cast<unsigned>(p[i] - '0');
    if (v > 0xFFFFFFFFull) v = 0xFFFFFFFFull;
    ++i;
  }
  if (i == start || (i < n && IsLetter(p[i]))) return false;
  *out = static_cast<DWORD>(v);
  if (used) *used = i;
  return true;
}

// The value behind "=" on a line (or the whole line in the INQUIRE form).
Line ValueOf(Line l, size_t keyLen) {
  Line v{l.p + keyLen, l.n - keyLen};
  while (v.n > 0 && (*v.p == ' ' || *v.p == '=')) {
    ++v.p;
    --v.n;
  }
  // "COPIES=1 [2 RANGE]": the value ends at the first blank
  size_t k = 0;
  while (k < v.n && v.p[k] != ' ' && v.p[k] != '\t') ++k;
  v.n = k;
  return v;
}

struct ValueWord {
  const char* word;
  DWORD value;
};

bool MatchWord(Line v, const ValueWord* words, size_t count, DWORD* out) {
  for (size_t i = 0; i < count; ++i) {
    size_t n = CStrLen(words[i].word);
    if (Prefix(v.p, v.n, words[i].word, n) && v.n == n) {
      *out = words[i].value;
      return true;
    }
  }
  return false;
}

// ---- Status keyword table (INFO STATUS, USTATUS DEVICE) --------------------

void StatusCode(Status* st, DWORD code) {
  // 40xxx operator intervention, 41xxx paper, 42xxx and 44xxx jams stop
  // output; every other code clears the stop.
  DWORD group = code / 1000;
  bool stop = group == 40 || group == 41 || group == 42 || group == 44;
  {
    Guard g(st);
    st->statusCode = code;
    st->stoppingError = stop;
  }
  Put(st, "ErrCode", &code, 4, false);
}

void Display(Status* st, Line l) {
  // DISPLAY="text": the text up to the closing quote (or the line's end).
  const char* q = static_cast<const char*>(std::memchr(l.p, '"', l.n));
  const char* p;
  size_t n;
  if (q != nullptr) {
    p = q + 1;
    n = l.n - static_cast<size_t>(p - l.p);
    const char* close = static_cast<const char*>(std::memchr(p, '"', n));
    if (close) n = static_cast<size_t>(close - p);
  } else {
    Line v = l;
    v.p += 7;
    v.n -= 7;
    while (v.n > 0 && *v.p == '=') {
      ++v.p;
      --v.n;
    }
    p = v.p;
    n = v.n;
  }
  if (n > 32) n = 32;
  DisplayRecord rec{};
  rec.tag = 16;
  if (n > 0) {
    int w = MultiByteToWideChar(CP_ACP, 0, p, static_cast<int>(n), rec.text, 32);
    if (w <= 0) w = 0;
    rec.text[w] = 0;
  }
  Put(st, "PrinterDisplay", &rec, sizeof rec, false);
}

void ServeStatus(Status* st, Line l) {
  if (Word(l, "CODE")) {
    DWORD code;
    if (Number(l.p + 4, l.n - 4, &code)) StatusCode(st, code);
  } else if (Word(l, "ONLINE")) {
    // skipped
  } else if (Word(l, "DISPLAY")) {
    Display(st, l);
  }
}

// ---- Job keyword tables (USTATUS JOB, USTATUS EOJ) --------------------------

void JobName(Status* st, Line l) {
  Line v{l.p + 4, l.n - 4};
  while (v.n > 0 && (*v.p == '=' || *v.p == ' ')) {
    ++v.p;
    --v.n;
  }
  if (v.n == 0 || *v.p != '"') return;
  ++v.p;
  --v.n;
  const char* close = static_cast<const char*>(std::memchr(v.p, '"', v.n));
  size_t n = close ? static_cast<size_t>(close - v.p) : v.n;
  DWORD jobId = 0;
  bool found = false;
  Guard g(st);
  if (Prefix(v.p, n, "MSJOB ", 6)) {
    found = Number(v.p + 6, n - 6, &jobId);
  } else if (n <= 24) {
    for (DWORD i = 0; i < kSentCap && !found; ++i) {
      const SentJob& s = st->sent[i];
      if (s.jobId != 0 && CStrLen(s.name) == n && std::memcmp(s.name, v.p, n) == 0) {
        jobId = s.jobId;
        found = true;
      }
    }
  }
  JobRecord rec = st->work;
  rec.size = sizeof(JobRecord);
  rec.jobId = found ? jobId : 0;
  CStrCopy(rec.name, sizeof rec.name, v.p, n < 31 ? n : 31);
  Record* r = FindRecord(st, "PrintingJobInfo2");
  if (r == nullptr) return;
  std::memcpy(r->data, &rec, sizeof rec);
  Changed(st, r);
  bool ended = (rec.flags & kJobEnded) != 0;
  if (ended) {
    // the job left the printer: drop its pending entry
    JobEntry* prev = nullptr;
    for (JobEntry* e = st->pendingFirst; e; prev = e, e = e->next) {
      if (std::strcmp(e->rec.name, rec.name) == 0) {
        (prev ? prev->next : st->pendingFirst) = e->next;
        if (st->pendingLast == e) st->pendingLast = prev;
        st->pendingCount--;
        Free(e);
        break;
      }
    }
    if (rec.jobId != 0 && rec.jobId == st->currentJob) st->jobEnded = true;
  } else if ((rec.flags & kJobStarted) && st->pendingCount < kPendingCap) {
    auto* e = static_cast<JobEntry*>(Alloc(sizeof(JobEntry)));
    if (e) {
      e->rec = rec;
      (st->pendingLast ? st->pendingLast->next : st->pendingFirst) = e;
      st->pendingLast = e;
      st->pendingCount++;
    }
  }
  if ((rec.flags & kJobCancelled) && rec.jobId != 0 && rec.jobId == st->currentJob) st->jobCancelled = true;
}

void ServeJob(Status* st, Line l, bool eoj) {
  if (!eoj && Word(l, "START")) {
    Guard g(st);
    std::memset(&st->work, 0, sizeof st->work);
    st->work.flags = kJobSeen | kJobStarted;
  } else if (!eoj && Word(l, "END")) {
    Guard g(st);
    Record* r = FindRecord(st, "PrintingJobInfo2");
    JobRecord stored{};
    if (r) std::memcpy(&stored, r->data, sizeof stored);
    st->work = stored;
    st->work.flags = stored.flags | kJobEnded;
    if (st->pendingCount > 0) st->work.flags |= kJobSeen;
  } else if (Word(l, "NAME")) {
    JobName(st, l);
  } else if (!eoj && Word(l, "COLORPAGE")) {
    DWORD n;
    Guard g(st);
    if (Number(l.p + 9, l.n - 9, &n)) st->work.colorPages = n;
  } else if (!eoj && Word(l, "BWPAGE")) {
    DWORD n;
    Guard g(st);
    if (Number(l.p + 6, l.n - 6, &n)) st->work.bwPages = n;
  } else if (!eoj && Word(l, "CANCELED")) {
    Guard g(st);
    st->work.flags |= kJobCancelled;
  } else if (!eoj && Word(l, "RESULT")) {
    Line v = ValueOf(l, 6);
    Guard g(st);
    st->work.result = (v.n == 2 && Prefix(v.p, v.n, "OK", 2)) ? 0 : 1;
  }
  // "PAGE", "COVERAGE" and, in EOJ, "END" and "PAGE" are skipped
}

// ---- USTATUS PAGE and INFO PAGECOUNT ----------------------------------------

void ServePage(Status* st, Line l) {
  DWORD page;
  if (!Number(l.p, l.n, &page)) return;
  Guard g(st);
  Record* r = FindRecord(st, "PrintingJobInfo2");
  if (r == nullptr) return;
  JobRecord rec;
  std::memcpy(&rec, r->data, sizeof rec);
  if (rec.printedPages == 0) rec.lastPage = 0;
  // pages only count forward: a smaller number starts a new count from there
  if (page > rec.lastPage) {
    DWORD add = page - rec.lastPage;
    rec.printedPages = rec.printedPages > 0xFFFFFFFFu - add ? 0xFFFFFFFFu : rec.printedPages + add;
  }
  rec.lastPage = page;
  std::memcpy(r->data, &rec, sizeof rec);
  Changed(st, r);
}

void ServePageCount(Status* st, Line l) {
  if (Prefix(l.p, l.n, "PAGECOUNT", 9)) {
    l.p += 9;
    l.n -= 9;
  }
  DWORD n;
  if (Number(l.p, l.n, &n)) PutDword(st, "PageCount", n);
}

// ---- Variables table (INFO VARIABLES, INQUIRE) ------------------------------

constexpr ValueWord kOnOff[] = {{"ON", 1}, {"OFF", 0}};

void SetBit(Status* st, const char* name, DWORD bit, bool on) {
  Guard g(st);
  Record* r = FindRecord(st, name);
  if (r == nullptr) return;
  DWORD v = kp_LoadU32(r->data);
  v = on ? (v | (1u << bit)) : (v & ~(1u << bit));
  kp_StoreU32(r->data, v);
  Changed(st, r);
}

// `key` is the keyword with what follows it up to "=" (e.g. "PAPER3");
// `v` the value (behind "=", or the next line in the INQUIRE form).
void ServeVariable(Status* st, Line key, Line v) {
  DWORD x;
  if (Word(key, "COPIES")) {
    if (Number(v.p, v.n, &x) && x >= 1 && x <= 999) PutDword(st, "OppCopies", x);
  } else if (Word(key, "ORIENTATION")) {
    constexpr ValueWord w[] = {{"PORTRAIT", 0}, {"PORTLAIT", 0}, {"LANDSCAPE", 1}};
    if (MatchWord(v, w, 3, &x)) PutDword(st, "OppOrientation", x);
  } else if (Word(key, "RET")) {
    constexpr ValueWord w[] = {{"MEDIUM", 1}, {"OFF", 0}};
    if (MatchWord(v, w, 2, &x)) PutDword(st, "OppRet", x);
  } else if (Word(key, "ECONOMODE")) {
    if (MatchWord(v, kOnOff, 2, &x)) PutDword(st, "OppEconoMode", x);
  } else if (Prefix(key.p, key.n, "INTRAY", 6)) {
    // INTRAY=n, INTRAYnFIXED=LETTER|AUTO|..., INTRAYMTSIZE=name, INTRAYMTDIR=SHORT|LONG
    Line rest{key.p + 6, key.n - 6};
    DWORD tray = 0;
    bool hasTray = rest.n > 0 && IsDigit(*rest.p);
    while (rest.n > 0 && IsDigit(*rest.p)) {
      tray = tray > 1000 ? tray : tray * 10 + static_cast<DWORD>(*rest.p - '0');
      ++rest.p;
      --rest.n;
    }
    if (rest.n == 0) {
      if (!hasTray && Number(v.p, v.n, &x) && x >= 1 && x <= 32) PutDword(st, "OppIntray", x);
    } else if (Word(rest, "FIXED")) {
      if (hasTray && tray >= 1 && tray <= 32) {
        bool fixed = (v.n == 6 && Prefix(v.p, v.n, "LETTER", 6)) || (v.n == 4 && Prefix(v.p, v.n, "AUTO", 4));
        SetBit(st, "OppIntrayFixed", tray - 1, fixed);
      }
    } else if (Word(rest, "MTSIZE")) {
      char text[32] = {};
      CStrCopy(text, sizeof text, v.p, v.n < 31 ? v.n : 31);
      Put(st, "OppIntrayMTSize", text, sizeof text);
    } else if (Word(rest, "MTDIR")) {
      constexpr ValueWord w[] = {{"SHORT", 0}, {"LONG", 1}};
      if (MatchWord(v, w, 2, &x)) PutDword(st, "OppIntrayMTDir", x);
    }
  } else if (Word(key, "POWERSAVETIME")) {
    bool two = key.n > 13 && key.p[13] == '2';
    if (Number(v.p, v.n, &x)) PutDword(st, two ? "OppPowerSaveTime2" : "OppPowerSaveTime", x);
  } else if (Word(key, "POWERSAVE")) {
    bool two = key.n > 9 && key.p[9] == '2';
    if (MatchWord(v, kOnOff, 2, &x)) PutDword(st, two ? "OppPowerSave2" : "OppPowerSave", x);
  } else if (Prefix(key.p, key.n, "PAPER", 5)) {
    Line rest{key.p + 5, key.n - 5};
    if (Word(rest, "SORT")) {
      if (MatchWord(v, kOnOff, 2, &x)) PutDword(st, "OppPaperSort", x);
    } else if (Prefix(rest.p, rest.n, "FEED", 4)) {
      Line t{rest.p + 4, rest.n - 4};
      DWORD bit = 32;
      if (t.n == 2 && Prefix(t.p, t.n, "MP", 2)) {
        bit = 31;
      } else if (Number(t.p, t.n, &x) && x >= 1 && x <= 32) {
        bit = x - 1;
      }
      if (bit < 32 && MatchWord(v, kOnOff, 2, &x)) SetBit(st, "OppPaperFeed", bit, x == 1);
    } else if (rest.n == 0 || IsDigit(*rest.p)) {
      constexpr ValueWord w[] = {{"NORMAL", 16}, {"HEAVY", 18},  {"OHP", 2},       {"CARD", 3},     {"RECYCLE", 16},
                                 {"COATED", 17}, {"LABEL", 6},   {"ENVELOPE", 7},  {"MLIGHT", 11},  {"COATED2", 17},
                                 {"SHEAVY", 18}, {"NOSEL", 14},  {"USER", 19}};
      DWORD tray = 0;
      if (rest.n > 0 && !Number(rest.p, rest.n, &tray)) return;
      if (!MatchWord(v, w, sizeof w / sizeof w[0], &x)) return;
      static const char* const kTyped[] = {"OppPaperType1", "OppPaperType2", "OppPaperType3", "OppPaperType4",
                                           "OppPaperType5"};
      PutDword(st, tray >= 1 && tray <= 5 ? kTyped[tray - 1] : "OppPaperType", x);
    }
  } else if (Word(key, "TIMEOUT")) {
    if (Number(v.p, v.n, &x)) PutDword(st, "OppTimeout", x);
  } else if (Word(key, "DUPLEX")) {
    constexpr ValueWord w[] = {{"OFF", 0}, {"ON", 1}};
    if (MatchWord(v, w, 2, &x)) PutDword(st, "OppDuplex", x);
  } else if (Word(key, "BINDPOSITION")) {
    constexpr ValueWord w[] = {{"LONGEDGE1", 0}, {"SHORTEDGE1", 1}, {"LONGEDGE2", 2}, {"SHORTEDGE2", 3}};
    if (MatchWord(v, w, 4, &x)) PutDword(st, "OppBindPosition", x);
  } else if (Word(key, "OUTBIN")) {
    constexpr ValueWord w[] = {{"OUTTRAY1", 1}, {"OUTTRAY2", 2}};
    if (MatchWord(v, w, 2, &x)) PutDword(st, "OppOuttray", x);
  }
}

// ---- Configuration table (INFO CONFIG) --------------------------------------

void SetOption(Status* st, DWORD id, DWORD installed) {
  Guard g(st);
  Record* r = FindRecord(st, "PrinterOptionConfig");
  if (r == nullptr) return;
  OptionConfig oc;
  std::memcpy(&oc, r->data, sizeof oc);
  DWORD i = 0;
  while (i < oc.count && oc.options[i].optionId != id) ++i;
  if (i == oc.count) {
    if (oc.count >= 8) return;
    oc.count++;
    oc.options[i].optionId = id;
  }
  if (oc.options[i].installed == installed && i < oc.count) {
    std::memcpy(r->data, &oc, sizeof oc);
    return;
  }
  oc.options[i].installed = installed;
  std::memcpy(r->data, &oc, sizeof oc);
  Changed(st, r);
}

void SetBinClass(Status* st, DWORD tray, DWORD cls) {
  Guard g(st);
  Record* r = FindRecord(st, "PrinterBinConfig");
  if (r == nullptr) return;
  BinConfig bc;
  std::memcpy(&bc, r->data, sizeof bc);
  DWORD i = 0;
  while (i < bc.count && bc.bins[i].trayId != tray) ++i;
  if (i == bc.count) {
    if (bc.count >= 32) return;
    bc.count++;
    bc.bins[i].trayId = tray;
  } else if (bc.bins[i].sizeClass == cls) {
    return;
  }
  bc.bins[i].sizeClass = cls;
  std::memcpy(r->data, &bc, sizeof bc);
  Changed(st, r);
}

// The configuration the LM values answer, read from the same INFO CONFIG
// reply: tray entries from the INTRAYn lines, MEMORY=bytes, RAMDISK=bytes,
// the DUPLEX line.
void ConfigExtra(Status* st, Line l, Config* c) {
  if (Prefix(l.p, l.n, "INTRAY", 6) && l.n > 6 && IsDigit(l.p[6])) {
    DWORD tray;
    size_t used;
    if (!Number(l.p + 6, l.n - 6, &tray, &used) || tray < 1 || tray > 32 || c->trayCount >= 32) return;
    TrayEntry& t = c->trays[c->trayCount++];
    t.trayId = tray;
    const char* type = nullptr;
    for (size_t i = 0; i + 5 <= l.n; ++i)
      if (Prefix(l.p + i, l.n - i, "TYPE=", 5)) type = l.p + i + 5;
    if (type) {
      size_t left = l.n - static_cast<size_t>(type - l.p);
      t.sizeClass = Prefix(type, left, "LARGE", 5) ? 3 : Prefix(type, left, "NORMAL", 6) ? 2 : 0;
    }
    for (size_t i = 0; i + 6 <= l.n; ++i) {
      if (Prefix(l.p + i, l.n - i, "NAME=\"", 6)) {
        const char* p = l.p + i + 6;
        size_t left = l.n - i - 6;
        const char* close = static_cast<const char*>(std::memchr(p, '"', left));
        size_t n = close ? static_cast<size_t>(close - p) : left;
        CStrCopy(t.name, sizeof t.name, p, n < 23 ? n : 23);
        break;
      }
    }
  } else if (Prefix(l.p, l.n, "MEMORY", 6)) {
    DWORD bytes;
    if (Number(l.p + 6, l.n - 6, &bytes)) {
      c->memoryKB = bytes / 1024;
      c->memoryMB = bytes / (1024 * 1024);
    }
  } else if (Prefix(l.p, l.n, "RAMDISK", 7)) {
    DWORD bytes;
    if (Number(l.p + 7, l.n - 7, &bytes)) c->ramDisk = bytes != 0 ? 1 : 0;
  } else if (Word(l, "DUPLEX")) {
    c->duplexModule = 1;
  }
  (void)st;
}

// ---- Reply dispatch ---------------------------------------------------------

enum Kind { kNone, kInfoStatus, kEoj, kDevice, kJob, kPage, kPageCount, kVariables, kInquire, kConfig, kInfoId };

struct Header {
  const char* text;
  Kind kind;
};
constexpr Header kHeaders[] = {
    {"@PJL INFO STATUS", kInfoStatus}, {"@PJL USTATUS EOJ", kEoj},         {"@PJL USTATUS DEVICE", kDevice},
    {"@PJL USTATUS JOB", kJob},        {"@PJL USTATUS PAGE", kPage},       {"@PJL INFO PAGECOUNT", kPageCount},
    {"@PJL INFO VARIABLES", kVariables}, {"@PJL INQUIRE", kInquire},       {"@PJL INFO CONFIG", kConfig},
    {"@PJL INFO ID", kInfoId},
};

bool NextLine(const char*& p, const char* end, Line* out) {
  if (p >= end) return false;
  const char* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
  const char* stop = lf ? lf : end;
  *out = Line{p, static_cast<size_t>(stop - p)};
  p = lf ? lf + 1 : end;
  return true;
}

// Serves one complete reply (without its form feed). False: no reply.
bool Serve(Status* st, const char* text, size_t len) {
  const char* p = text;
  const char* end = text + len;
  // leading line breaks and UEL bytes between replies are no part of it
  while (p < end && (*p == '\r' || *p == '\n' || *p == ' ' || *p == '\t')) ++p;
  Line head;
  if (!NextLine(p, end, &head)) return false;
  head = Trim(head);
  Kind kind = kNone;
  size_t headLen = 0;
  for (const Header& h : kHeaders) {
    size_t n = CStrLen(h.text);
    if (Prefix(head.p, head.n, h.text, n)) {
      kind = h.kind;
      headLen = n;
      break;
    }
  }
  if (kind == kNone) return false;
  Line l;
  switch (kind) {
    case kInfoStatus:
    case kDevice:
      while (NextLine(p, end, &l)) ServeStatus(st, Trim(l));
      break;
    case kJob:
    case kEoj:
      while (NextLine(p, end, &l)) ServeJob(st, Trim(l), kind == kEoj);
      break;
    case kPage:
      while (NextLine(p, end, &l)) {
        l = Trim(l);
        if (l.n) {
          ServePage(st, l);
          break;
        }
      }
      break;
    case kPageCount:
      while (NextLine(p, end, &l)) {
        l = Trim(l);
        if (l.n) {
          ServePageCount(st, l);
          break;
        }
      }
      break;
    case kVariables:
      while (NextLine(p, end, &l)) {
        if (l.n > 0 && (*l.p == ' ' || *l.p == '\t')) continue;  // an enumeration of allowed values
        l = Trim(l);
        const char* eq = static_cast<const char*>(std::memchr(l.p, '=', l.n));
        if (eq == nullptr) continue;
        Line key{l.p, static_cast<size_t>(eq - l.p)};
        ServeVariable(st, key, ValueOf(l, key.n));
      }
      {
        Guard g(st);
        st->flags |= 0x80000000u;
      }
      break;
    case kInquire: {
      // the variable stands behind the header and one separator, its value on
      // the next line
      Line key{head.p + headLen, head.n - headLen};
      if (key.n > 0) {
        ++key.p;
        --key.n;
      }
      key = Trim(key);
      while (NextLine(p, end, &l)) {
        l = Trim(l);
        if (l.n) {
          ServeVariable(st, key, ValueOf(l, 0));
          break;
        }
      }
      break;
    }
    case kConfig: {
      Config c{};
      SetOption(st, 1001, 0);
      SetOption(st, 1, 0);
      bool outTrays = false;
      while (NextLine(p, end, &l)) {
        bool indented = l.n > 0 && (*l.p == ' ' || *l.p == '\t');
        l = Trim(l);
        ConfigExtra(st, l, &c);
        if (!indented) outTrays = false;
        if (outTrays) {
          if (Prefix(l.p, l.n, "OUTTRAY2", 8)) SetOption(st, 6001, 1);
        } else if (Prefix(l.p, l.n, "INTRAY", 6)) {
          DWORD tray;
          if (l.n > 6 && IsDigit(l.p[6]) && Number(l.p + 6, l.n - 6, &tray) && tray >= 1 && tray <= 32) {
            for (size_t i = 0; i + 5 <= l.n; ++i) {
              if (Prefix(l.p + i, l.n - i, "TYPE=", 5)) {
                const char* t = l.p + i + 5;
                size_t left = l.n - i - 5;
                if (Prefix(t, left, "LARGE", 5)) SetBinClass(st, tray, 3);
                else if (Prefix(t, left, "NORMAL", 6)) SetBinClass(st, tray, 2);
                break;
              }
            }
          }
        } else if (Word(l, "DUPLEX")) {
          SetOption(st, 1, 1);
        } else if (Prefix(l.p, l.n, "OUT TRAYS", 9)) {
          outTrays = true;
        }
        // PAPER, LANGUAGES, USTATUS and MEMORY lines are skipped here
      }
      Guard g(st);
      char name[32];
      std::memcpy(name, st->config.sysName, sizeof name);
      st->config = c;
      std::memcpy(st->config.sysName, name, sizeof name);
      st->config.filled = true;
      st->config.filledTick = GetTickCount();
      break;
    }
    case kInfoId:
      while (NextLine(p, end, &l)) {
        l = Trim(l);
        if (l.n == 0) continue;
        if (*l.p == '"') {
          ++l.p;
          --l.n;
          const char* close = static_cast<const char*>(std::memchr(l.p, '"', l.n));
          if (close) l.n = static_cast<size_t>(close - l.p);
        }
        Guard g(st);
        std::memset(st->config.sysName, 0, sizeof st->config.sysName);
        CStrCopy(st->config.sysName, sizeof st->config.sysName, l.p, l.n < 31 ? l.n : 31);
        break;
      }
      break;
    case kNone:
      break;
  }
  return true;
}

}  // namespace

size_t CStrLen(const char* s) {
  size_t n = 0;
  while (s && s[n]) ++n;
  return n;
}

void CStrCopy(char* dst, size_t cap, const char* src, size_t srcLen) {
  if (cap == 0) return;
  size_t n = srcLen < cap - 1 ? srcLen : cap - 1;
  if (n) std::memcpy(dst, src, n);
  dst[n] = 0;
}

bool StatusInit(Status* st, CRITICAL_SECTION* cs) {
  std::memset(st, 0, sizeof *st);
  st->cs = cs;
  constexpr DWORD count = sizeof kRecords / sizeof kRecords[0];
  st->records = static_cast<Record*>(Alloc(sizeof(Record) * count));
  st->held = static_cast<char*>(Alloc(kHeldCap));
  if (st->records == nullptr || st->held == nullptr) {
    StatusFree(st);
    return false;
  }
  st->recordCount = count;
  for (DWORD i = 0; i < count; ++i) {
    st->records[i].name = kRecords[i].name;
    st->records[i].size = kRecords[i].size;
  }
  DisplayRecord d{};
  d.tag = 16;
  std::memcpy(FindRecord(st, "PrinterDisplay")->data, &d, sizeof d);
  JobRecord j{};
  j.size = sizeof j;
  std::memcpy(FindRecord(st, "PrintingJobInfo2")->data, &j, sizeof j);
  st->summary.size = sizeof st->summary;
  st->state = 5;
  return true;
}

void StatusFree(Status* st) {
  Free(st->records);
  Free(st->held);
  for (JobEntry* e = st->pendingFirst; e;) {
    JobEntry* next = e->next;
    Free(e);
    e = next;
  }
  st->records = nullptr;
  st->held = nullptr;
  st->pendingFirst = st->pendingLast = nullptr;
  st->pendingCount = 0;
}

Record* FindRecord(Status* st, const char* name) {
  for (DWORD i = 0; i < st->recordCount; ++i)
    if (std::strcmp(st->records[i].name, name) == 0) return &st->records[i];
  return nullptr;
}

void Summarize(Status* st) {
  Guard g(st);
  StatusSummary now{};
  now.size = sizeof now;
  now.statusCode = st->statusCode;
  if (Record* r = FindRecord(st, "DeviceStatus")) std::memcpy(&now.deviceStatus, r->data, 4);
  JobRecord job{};
  if (Record* r = FindRecord(st, "PrintingJobInfo2")) std::memcpy(&job, r->data, sizeof job);
  now.jobId = job.jobId;
  now.jobFlags = job.flags;
  now.printedPages = job.printedPages;
  if (Record* r = FindRecord(st, "PageCount")) std::memcpy(&now.pageCount, r->data, 4);
  now.pendingJobs = st->pendingCount;
  if (Record* r = FindRecord(st, "PrinterBinConfig")) std::memcpy(&now.trayCount, r->data, 4);
  bool onPrinter = st->pendingCount > 0 || ((job.flags & kJobStarted) && !(job.flags & kJobEnded));
  now.state = st->stoppingError ? kSummaryStopped : onPrinter ? kSummaryPrinting : kSummaryIdle;
  now.changes = st->summary.changes;
  if (std::memcmp(&now, &st->summary, sizeof now) == 0) return;
  now.changes = st->summary.changes + 1;
  st->summary = now;
  st->summaryChanged = 1;
  if (st->changedEvent) SetEvent(st->changedEvent);
}

void NoteSentJob(Status* st, const char* name, DWORD jobId) {
  Guard g(st);
  SentJob& s = st->sent[st->sentNext % kSentCap];
  std::memset(&s, 0, sizeof s);
  CStrCopy(s.name, sizeof s.name, name, CStrLen(name));
  s.jobId = jobId;
  st->sentNext = (st->sentNext + 1) % kSentCap;
}

int Feed(Status* st, const char* text, DWORD len) {
  // The whole call runs under the port's critical section (re-entrant, so
  // the keyword handlers take it again per record).
  Guard g(st);
  constexpr DWORD kDiscarding = 0x2;  // the held reply overflowed: drop to its form feed
  int result = -1;
  DWORD i = 0;
  while (i < len) {
    const char* ff = static_cast<const char*>(std::memchr(text + i, '\f', len - i));
    DWORD take = ff ? static_cast<DWORD>(ff - (text + i)) : len - i;
    if (!(st->flags & kDiscarding)) {
      if (st->heldLen + take > kHeldCap) {
        // a reply longer than the cap (one that never ends): drop it
        st->skipped++;
        st->heldLen = 0;
        st->flags |= kDiscarding;
      } else {
        std::memcpy(st->held + st->heldLen, text + i, take);
        st->heldLen += take;
      }
    }
    i += take;
    if (ff == nullptr) break;
    ++i;  // the form feed
    if (st->flags & kDiscarding) {
      st->flags &= ~kDiscarding;
      continue;
    }
    bool served = Serve(st, st->held, st->heldLen);
    st->heldLen = 0;
    if (served) {
      st->completed++;
      result = 0;
    } else {
      st->skipped++;
      if (result != 0) result = 2;
    }
  }
  bool open = st->heldLen > 0 || (st->flags & kDiscarding);
  st->state = open ? 6 : 5;
  Summarize(st);
  if (result == 0) return 0;
  if (open) return 1;
  return result < 0 ? 0 : result;
}

void ScanDeviceId(Status* st, const char* text, DWORD len) {
  // fields separated by ";": KEY:value
  DWORD i = 0;
  while (i < len) {
    DWORD start = i;
    while (i < len && text[i] != ';') ++i;
    Line f{text + start, i - start};
    ++i;
    f = Trim(f);
    struct {
      const char* key;
      const char* record;
    } const keys[] = {{"MANUFACTURER:", "PrinterManufacturer"},
                      {"MFG:", "PrinterManufacturer"},
                      {"MDL:", "PrinterModel"},
                      {"CMD:", "EmulationInfo"},
                      {"STS:", nullptr}};
    for (const auto& k : keys) {
      size_t n = CStrLen(k.key);
      if (!Prefix(f.p, f.n, k.key, n)) continue;
      Line v{f.p + n, f.n - n};
      if (k.record) {
        char value[64] = {};
        CStrCopy(value, sizeof value, v.p, v.n < 63 ? v.n : 63);
        Put(st, k.record, value, sizeof value, false);
      } else {
        // STS: a hexadecimal status word; its high byte groups the code
        DWORD word = 0, digits = 0;
        for (size_t d = 0; d < v.n && digits < 8; ++d, ++digits) {
          char c = v.p[d];
          int x = IsDigit(c) ? c - '0' : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
          if (x < 0) break;
          word = word * 16 + static_cast<DWORD>(x);
        }
        if (digits > 0) {
          DWORD code = word > 4351 ? 0 : word;
          Put(st, "DeviceStatus", &code, 4, false);
        }
      }
      break;
    }
  }
  Summarize(st);
}

}  // namespace lm
