// Walks everything a DDD file pair offers through the reader: every
// PrinterInfo item, every record of every category at both depths, and the
// queries built on them. Answers the result of every call, so that two walks
// can be compared; frees everything it was handed.
#pragma once

#include <vector>

#include "kestrel/core/ddd.h"

namespace kestrel::ddd_walk {

inline void Note(std::vector<WORD>& out, WORD r) { out.push_back(r); }

inline void WalkRecord(DDDFILE* main, DDDFILE* ref, WORD category, void* rec, std::vector<WORD>& out) {
  auto* head = static_cast<DDD_HEAD*>(rec);
  WORD w = 0;
  BYTE b = 0;
  LPCWSTR s = nullptr;
  const void* v = nullptr;
  LPWSTR name = nullptr;
  Note(out, ddd_GetNameFromData(rec, &name));
  ddd_FreeMem(name);
  switch (category) {
    case DDD_CAT_OPTION_INSTALL:
    case DDD_CAT_OPTION_DOC: {
      auto* o = static_cast<DDD_OPTION*>(rec);
      for (WORD p = 0; p <= o->items.count && p < 64; ++p) {
        WORD cat = 0;
        DDD_OPTIONITEM* item = nullptr;
        Note(out, ddd_GetItemDataByIndexX(DDD_QUICK, p == 0, main, ref, o, p, &cat, &item));
        if (item) {
          DDD_VALUE value = item->value;
          DDD_OPTIONITEM* match = nullptr;
          Note(out, ddma_GetItemDataByDEVMODE(DDD_QUICK, main, ref, o, &value, &cat, &match));
          void* m = match;
          ddd_Free(&m, DDD_KIND_ANY);
        }
        void* pi = item;
        ddd_Free(&pi, DDD_KIND_ANY);
        DDD_GUIDATA* gui = nullptr;
        Note(out, ddma_GetGUIData(main, ref, head->id, p, &gui));
        void* g = gui;
        ddd_Free(&g, DDD_KIND_ANY);
      }
      void* value = nullptr;
      WORD type = 0;
      Note(out, ddma_GetDefaultPDEV(main, ref, head->id, &value, &type));
      ddd_FreeMem(value);
      Note(out, ddma_IsDefaultOption(main, ref, head->id));
      DDD_ICONBYTES* icon = nullptr;
      Note(out, ddma_GetIconData(main, ref, rec, &icon));
      void* ic = icon;
      ddd_Free(&ic, DDD_KIND_ANY);
      break;
    }
    case DDD_CAT_OPTIONITEM_INSTALL:
    case DDD_CAT_OPTIONITEM_DOC: {
      auto* it = static_cast<DDD_OPTIONITEM*>(rec);
      WORD kind = 0;
      void* target = nullptr;
      Note(out, ddma_GetRefDataX(DDD_QUICK, main, ref, rec, &kind, &target));
      ddd_Free(&target, DDD_KIND_ANY);
      Note(out, DFILE_ExpandGroupedDevmodeValues(it->head.file, &it->value));
      break;
    }
    case DDD_CAT_TRAY:
    case DDD_CAT_TRAY2: {
      auto* t = static_cast<DDD_TRAY*>(rec);
      const WORD* id = nullptr;
      for (WORD p = 1; p <= t->papers.count && p < 64; ++p) Note(out, ddd_GetAcceptablePaperID(rec, p, &id));
      for (WORD p = 1; p <= t->feeds.count && p < 64; ++p) Note(out, ddd_GetAcceptableFeedID(rec, p, &w));
      Note(out, ddd_GetTrayLowerPaper(rec) ? 0 : 1);
      break;
    }
    case DDD_CAT_PAPER: {
      const DDD_POINT *a = nullptr, *c = nullptr;
      Note(out, ddd_GetMarginDefault(rec, &a, &c));
      Note(out, ddd_GetAdditionalFlag(rec, &w));
      break;
    }
    case DDD_CAT_IMCONDITION: {
      WORD x = 0, y = 0;
      BYTE* bits = nullptr;
      Note(out, ddd_GetImageFromImageCondition(main, ref, rec, &x, &y, &bits));
      ddd_FreeMem(bits);
      break;
    }
    case DDD_CAT_FONT:
    case DDD_CAT_ADCQUERY: {
      WORD n = 0;
      Note(out, ddd_GetNumOfDataEx(rec, &n));
      for (WORD p = 1; p <= n && p < 64; ++p) {
        WORD type = 0, size = 0;
        Note(out, ddd_GetDataEx(rec, p, &type, &size, &v));
      }
      Note(out, ddd_GetAdditionalFlag(rec, &w));
      if (category == DDD_CAT_FONT) {
        auto* f = static_cast<DDD_FONT*>(rec);
        for (WORD p = 1; p <= f->substNames.count && p < 64; ++p) Note(out, ddd_GetSubstFontName(rec, p, &s));
      } else {
        auto* a = static_cast<DDD_ADCQUERY*>(rec);
        for (WORD p = 1; p <= a->queries.count && p < 64; ++p) Note(out, ddd_GetQueryString(rec, p, &s));
      }
      break;
    }
    case DDD_CAT_EJCL:
      Note(out, ddd_GetEJCLCommand(rec) ? 0 : 1);
      Note(out, ddd_GetAdditionalFlag(rec, &w));
      break;
    case DDD_CAT_PAPERTYPE:
      Note(out, ddd_GetPaperTypeDuplexAvailability(rec, &b));
      break;
    case DDD_CAT_FAVORITE: {
      WORD n = 0;
      Note(out, ddd_GetFavoriteSettingNum(rec, &n));
      for (WORD p = 1; p <= n && p < 64; ++p) {
        WORD ddm = 0, size = 0, type = 0;
        Note(out, ddd_GetFavoriteSetting(rec, p, &ddm, &size, &type, &v));
      }
      break;
    }
    default:
      break;
  }
}

// Results of every call, and the counts the walk found on its way.
struct WalkResult {
  std::vector<WORD> results;
  std::vector<WORD> counts;
  bool operator==(const WalkResult&) const = default;
};

inline WalkResult Walk(DDDFILE* main, DDDFILE* ref) {
  // Element size of each PrinterInfo item; 0 = strings.
  static const WORD kItemSize[] = {4, 2, 4, 2, 2, 1, 4, 1, 4, 4, 2, 4, 4, 0, 1, 4, 2, 0, 0, 0, 0,
                                   0, 0, 1, 2, 2, 4, 2, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 4, 2, 2};
  WalkResult result;
  std::vector<WORD>& out = result.results;
  std::vector<WORD>& counts = result.counts;
  DDD_FILEINFO* fi = nullptr;
  Note(out, ddd_GetFileInfo(main, &fi));
  void* p = fi;
  ddd_Free(&p, DDD_KIND_ANY);
  for (WORD item = 0; item < 42; ++item) {
    WORD n = ddd_GetPrinterInfo_numOfItem(main, item);
    counts.push_back(n);
    for (WORD i = 0; i < n && i < 64; ++i) {
      if (kItemSize[item] == 0) {
        LPWSTR s = nullptr;
        Note(out, ddd_GetPrinterInfo_orderedString(main, item, i, &s));
        ddd_FreeMem(s);
      } else {
        BYTE buf[4];
        Note(out, ddd_GetPrinterInfo_orderedItem(main, item, kItemSize[item], i, buf));
      }
    }
  }
  for (WORD sel = 0; sel <= 21; ++sel) {
    LPWSTR s = nullptr;
    Note(out, ddd_GetDLLName(main, sel, &s));
    ddd_FreeMem(s);
  }
  for (WORD item : {WORD(1), WORD(40)}) {
    WORD w = 0, h = 0;
    BYTE* bits = ddd_GetPrinterBitmap(main, ref, item, &w, &h);
    Note(out, bits ? 0 : 1);
    ddd_FreeMem(bits);
  }
  for (WORD category = 1; category <= 24; ++category) {
    WORD n = ddd_GetNumOfData(main, category);
    counts.push_back(n);
    for (WORD pos = 1; pos <= n && pos <= 300; ++pos) {
      for (WORD depth : {WORD(DDD_QUICK), WORD(DDD_FULL)}) {
        void* rec = nullptr;
        Note(out, ddd_GetDataByIndexX(depth, main, ref, category, pos, &rec));
        if (rec && depth == DDD_FULL) WalkRecord(main, ref, category, rec, out);
        ddd_Free(&rec, DDD_KIND_ANY);
      }
    }
    if (ref->open) {
      WORD loc = 0;
      WORD m = ddd_GetNumOfData(ref, category);
      counts.push_back(m);
      for (WORD pos = 1; pos <= m && pos <= 300; ++pos)
        Note(out, DFILE_GotoData(1, main, ref, DDD_LOC_REFERENCED, category, pos, &loc));
    }
  }
  for (WORD ddm : {WORD(1), WORD(259), WORD(32769), WORD(32770), WORD(32771), WORD(32779)}) {
    LPWSTR name = nullptr;
    Note(out, ddma_GetNameFromDDD(main, ref, ddm, nullptr, &name));
    ddd_FreeMem(name);
    void* value = nullptr;
    WORD type = 0;
    Note(out, ddma_GetNameAndDEVMODE(main, ref, ddm, 1, &name, &value, &type));
    ddd_FreeMem(name);
    ddd_FreeMem(value);
  }
  return result;
}

}  // namespace kestrel::ddd_walk
