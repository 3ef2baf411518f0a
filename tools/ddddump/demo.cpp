// kestrel-demo-ddd: reads model A's device description data (the build's
// compiled K350.DDD) through the reader and prints its papers, trays and
// options with their items and defaults.
#include <cstdio>
#include <string>

#include "ddd_host.h"
#include "kestrel/core/ddm_ids.h"
#include "kplatform/byte_order.h"

using kestrel::ddd_host::Narrow;

namespace {

std::string ValueText(WORD type, const void* data) {
  if (data == nullptr) return "-";
  const BYTE* p = static_cast<const BYTE*>(data);
  switch (type) {
    case DDD_TYPE_BOOL: case DDD_TYPE_LONG: case DDD_TYPE_ULONG: case DDD_TYPE_DWORD:
      return std::to_string(static_cast<unsigned long>(kp_LoadU32(p)));
    case DDD_TYPE_SHORT: return std::to_string(kp_LoadI16(p));
    case DDD_TYPE_USHORT: return std::to_string(kp_LoadU16(p));
    case DDD_TYPE_BYTE: return std::to_string(p[0]);
    case DDD_TYPE_STRING: return "\"" + Narrow(static_cast<LPCWSTR>(data)) + "\"";
    default: return "?";
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string file = argc > 1 ? argv[1] : std::string(KESTREL_MODELS_DIR) + "/K350.DDD";
  std::string root = kestrel::ddd_host::MakeTempRoot();
  if (root.empty()) {
    std::fprintf(stderr, "cannot make a platform root\n");
    return 1;
  }
  int rc = 0;
  {
    kestrel::ddd_host::Model m;
    WORD r = m.Open(file);
    if (r != DDD_OK) {
      std::fprintf(stderr, "%s does not open (result %u)\n", file.c_str(), r);
      rc = 1;
    } else {
      void* name = nullptr;
      WORD cat = 0;
      if (ddma_GetDataX(DDD_QUICK, &m.main, &m.referenced, DDM_MODELNAME, nullptr, &cat, &name) == DDD_OK) {
        std::printf("Model: %s\n", Narrow(static_cast<LPCWSTR>(name)).c_str());
        ddd_FreeMem(name);
      }
      std::printf("\nPapers (%u):\n", ddd_GetNumOfData(&m.main, DDD_CAT_PAPER));
      for (WORD i = 1;; ++i) {
        void* rec = nullptr;
        if (ddd_GetDataByIndexX(DDD_QUICK, &m.main, &m.referenced, DDD_CAT_PAPER, i, &rec) != DDD_OK) break;
        auto* p = static_cast<DDD_PAPER*>(rec);
        const DDD_POINT* lo = ddd_GetPaperLower(p);
        const DDD_POINT* hi = ddd_GetPaperUpper(p);
        if (lo->first == hi->first && lo->second == hi->second) {
          std::printf("  %3u  %-32s %6.1f x %6.1f mm\n", p->head.id, Narrow(p->name.str).c_str(), lo->first / 10.0,
                      lo->second / 10.0);
        } else {
          std::printf("  %3u  %-32s %6.1f x %6.1f .. %6.1f x %6.1f mm\n", p->head.id, Narrow(p->name.str).c_str(),
                      lo->first / 10.0, lo->second / 10.0, hi->first / 10.0, hi->second / 10.0);
        }
        ddd_Free(&rec, DDD_KIND_ANY);
      }
      for (WORD cat : {WORD(DDD_CAT_TRAY), WORD(DDD_CAT_TRAY2)}) {
        std::printf("\n%s trays (%u):\n", cat == DDD_CAT_TRAY ? "Input" : "Output", ddd_GetNumOfData(&m.main, cat));
        for (WORD i = 1;; ++i) {
          void* rec = nullptr;
          if (ddd_GetDataByIndexX(DDD_QUICK, &m.main, &m.referenced, cat, i, &rec) != DDD_OK) break;
          auto* t = static_cast<DDD_TRAY*>(rec);
          std::printf("  %3u  %-24s %u papers, %.1f x %.1f .. %.1f x %.1f mm, PCL XL %u\n", t->head.id,
                      Narrow(t->name.str).c_str(), t->papers.count, t->lower.first / 10.0, t->lower.second / 10.0,
                      t->upper.first / 10.0, t->upper.second / 10.0, t->nrvArg);
          ddd_Free(&rec, DDD_KIND_ANY);
        }
      }
      for (WORD cat : {WORD(DDD_CAT_OPTION_DOC), WORD(DDD_CAT_OPTION_INSTALL)}) {
        std::printf("\n%s (%u):\n", cat == DDD_CAT_OPTION_DOC ? "Document features" : "Installable options",
                    ddd_GetNumOfData(&m.main, cat));
        for (WORD i = 1;; ++i) {
          void* rec = nullptr;
          if (ddd_GetDataByIndexX(DDD_QUICK, &m.main, &m.referenced, cat, i, &rec) != DDD_OK) break;
          auto* o = static_cast<DDD_OPTION*>(rec);
          void* def = nullptr;
          WORD type = 0;
          std::string defText = "-";
          if (ddma_GetDefaultPDEV(&m.main, &m.referenced, o->head.id, &def, &type) == DDD_OK) {
            defText = ValueText(type, def);
            ddd_FreeMem(def);
          }
          std::printf("  DDM %-5u %-30s default %s:", o->head.id, Narrow(o->name.str).c_str(), defText.c_str());
          for (WORD k = 1; k <= o->items.count && k <= 8; ++k) {
            LPWSTR name = nullptr;
            if (ddma_GetNameAndDEVMODE(&m.main, &m.referenced, o->head.id, k, &name, &def, &type) == DDD_OK) {
              std::printf("%s %s", k > 1 ? "," : "", Narrow(name).c_str());
              ddd_FreeMem(name);
              ddd_FreeMem(def);
            }
          }
          if (o->items.count > 8) std::printf(", ... (%u items)", o->items.count);
          std::printf("\n");
          ddd_Free(&rec, DDD_KIND_ANY);
        }
      }
    }
  }
  kestrel::ddd_host::RemoveTempRoot(root);
  return rc;
}
