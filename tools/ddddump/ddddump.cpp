// ddddump [--counts] [--extract FOLDER] FILE.DDD
// Prints a model's device description data as the reader sees it. Without
// options every PrinterInfo item and record; --counts a summary of the
// records per category; --extract writes the pictures (.bmp) and icons
// (.ico) into FOLDER as well. The file's partner (the referenced file its
// header names) is taken from the same folder.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ddd_host.h"
#include "kplatform/byte_order.h"

using kestrel::ddd_host::Narrow;

namespace {

struct CatName {
  WORD cat;
  const char* name;
};
const CatName kCats[] = {{3, "installable options"}, {4, "document features"}, {5, "input trays"},
                         {6, "output trays"},        {7, "constraints (first pass)"},
                         {8, "constraints (second pass)"}, {9, "picture conditions"}, {10, "papers"},
                         {11, "device fonts"},       {12, "pictures"},       {13, "installable option items"},
                         {14, "document feature items"}, {15, "EJCL commands"}, {16, "model data blocks"},
                         {17, "sizes"},              {18, "icons"},          {19, "paper types"},
                         {20, "grouped values"},     {21, "favourites"},     {22, "device queries"},
                         {23, "tray indexes"}};

std::string S(const DDD_STRING& s) { return Narrow(s.str); }

std::string Value(const DDD_VALUE& v) {
  if (v.data == nullptr || v.size == 0) return "(none)";
  const BYTE* p = static_cast<const BYTE*>(v.data);
  auto u16 = [&](size_t at) { return static_cast<unsigned>(kp_LoadU16(p + at)); };
  auto u32 = [&](size_t at) { return static_cast<unsigned long>(kp_LoadU32(p + at)); };
  char buf[64];
  switch (v.type) {
    case DDD_TYPE_BOOL: return u32(0) != 0 ? "true" : "false";
    case DDD_TYPE_SHORT: std::snprintf(buf, sizeof buf, "%d", static_cast<int16_t>(u16(0))); return buf;
    case DDD_TYPE_USHORT: std::snprintf(buf, sizeof buf, "%u", u16(0)); return buf;
    case DDD_TYPE_LONG: case DDD_TYPE_DWORD:
      if (v.size < 4) break;
      std::snprintf(buf, sizeof buf, "%ld", static_cast<long>(static_cast<int32_t>(u32(0)))); return buf;
    case DDD_TYPE_ULONG:
      if (v.size < 4) break;
      std::snprintf(buf, sizeof buf, "%lu", u32(0)); return buf;
    case DDD_TYPE_BYTE: std::snprintf(buf, sizeof buf, "%u", p[0]); return buf;
    case DDD_TYPE_STRING: return "\"" + Narrow(static_cast<LPCWSTR>(v.data)) + "\"";
    default: break;
  }
  std::snprintf(buf, sizeof buf, "type %u, %u bytes", v.type, v.size);
  return buf;
}

std::string Item(const DDD_ITEM& it) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "DDM %u op %u", it.ddmId, it.op);
  std::string s = buf;
  if (it.value.type == DDD_TYPE_GROUPED) {
    s += " grouped values";
  } else {
    s += " " + Value(it.value);
  }
  if (it.head.kind == DDD_KIND_ITEM_CONNECTIVE) s += " link " + std::to_string(it.connective);
  return s;
}

std::string Ids(const DDD_IDLIST& l) {
  std::string s;
  for (WORD i = 0; i < l.count; ++i) s += (i ? " " : "") + std::to_string(l.ids[i]);
  return s.empty() ? "-" : s;
}

std::string Pt(const DDD_POINT& p) { return std::to_string(p.first) + "x" + std::to_string(p.second); }

std::string Tsv(const DDD_TSV& t) {
  if (t.type == DDD_TYPE_STRING) return "\"" + Narrow(t.string) + "\"";
  DDD_VALUE v = {};
  v.type = t.type;
  v.size = t.size;
  v.data = const_cast<BYTE*>(t.value);
  return Value(v);
}

void PrintInfo(DDDFILE* f) {
  DDD_FILEINFO* info = nullptr;
  if (ddd_GetFileInfo(f, &info) == DDD_OK) {
    std::printf("model      %s\nversion    %u.%u.%u\nformat     %ld\nheader     %s\nreferenced %s\n",
                Narrow(info->modelName).c_str(), info->versionA, info->versionB, info->versionC,
                static_cast<long>(info->formatVersion), Narrow(info->headerText).c_str(),
                Narrow(info->refFileName).c_str());
    void* p = info;
    ddd_Free(&p, DDD_KIND_ANY);
  }
  // PrinterInfo: the fixed-size items by element, the string items by text.
  static const int kSizes[42] = {4, 2, 4, 2, 2, 1, 4, 1, 4, 4, 2, 4, 4, 0, 1, 4, 2, 0, 0, 0, 0,
                                 0, 0, 1, 2, 2, 4, 2, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 4, 2, 2};
  for (WORD n = 0; n <= 41; ++n) {
    WORD count = ddd_GetPrinterInfo_numOfItem(f, n);
    std::string line;
    for (WORD i = 0; i < count; ++i) {
      if (kSizes[n] == 0) {
        LPWSTR s = nullptr;
        if (ddd_GetPrinterInfo_orderedString(f, n, i, &s) == DDD_OK) {
          line += " \"" + Narrow(s) + "\"";
          ddd_FreeMem(s);
        } else {
          line += " \"\"";
        }
      } else {
        char buf[24];
        std::snprintf(buf, sizeof buf, " %lu",
                      static_cast<unsigned long>(ddd_GetPrinterInfo_orderedItem_Indirect(f, n, static_cast<WORD>(kSizes[n]), i)));
        line += buf;
      }
    }
    std::printf("info %2u:%s\n", n, line.c_str());
  }
}

void PrintRecord(DDDFILE* main, DDDFILE* ref, WORD cat, const void* rec) {
  const DDD_HEAD* h = static_cast<const DDD_HEAD*>(rec);
  std::printf("  [%u]%s ", h->id, h->location == DDD_LOC_REFERENCED ? " (referenced file)" : "");
  switch (cat) {
    case 3: case 4: {
      auto* o = static_cast<const DDD_OPTION*>(rec);
      std::printf("\"%s\" method %u default %u items %s rules %s / %s icon %u\n", S(o->name).c_str(), o->selectMethod,
                  o->defaultItem, Ids(o->items).c_str(), Ids(o->list2).c_str(), Ids(o->list3).c_str(), o->iconId);
      for (WORD i = 1; i <= o->items.count; ++i) {
        WORD c = 0;
        DDD_OPTIONITEM* it = nullptr;
        if (ddd_GetItemDataByIndexX(DDD_FULL, FALSE, main, ref, o, i, &c, &it) != DDD_OK) {
          std::printf("      item %u: unreadable\n", i);
          continue;
        }
        std::printf("      %u \"%s\" = %s ref %u:%u rules %s / %s icon %u\n", i, S(it->name).c_str(),
                    Value(it->value).c_str(), it->refCategory, it->refId, Ids(it->list1).c_str(),
                    Ids(it->list2).c_str(), it->iconId);
        void* p = it;
        ddd_Free(&p, DDD_KIND_ANY);
      }
      break;
    }
    case 5: case 6: {
      auto* t = static_cast<const DDD_TRAY*>(rec);
      std::printf("\"%s\" sizes %s..%s nrv %u papers %s feeds %s duplex %u\n", S(t->name).c_str(), Pt(t->lower).c_str(),
                  Pt(t->upper).c_str(), t->nrvArg, Ids(t->papers).c_str(), Ids(t->feeds).c_str(), t->duplex);
      break;
    }
    case 7: case 8: {
      auto* c = static_cast<const DDD_CONSTRAINTS*>(rec);
      std::printf("target %s flags 0x%04x \"%s\"\n", Item(c->target).c_str(), c->field, S(c->message).c_str());
      for (WORD i = 0; i < c->conditions.count; ++i) std::printf("      if %s\n", Item(c->conditions.items[i]).c_str());
      for (WORD i = 0; i < c->solutions.count; ++i) std::printf("      set %s\n", Item(c->solutions.items[i]).c_str());
      break;
    }
    case 9: {
      auto* c = static_cast<const DDD_IMCONDITION*>(rec);
      std::printf("picture %u at %u,%u, %u conditions\n", c->image.imageId, c->image.x, c->image.y, c->conditions.count);
      break;
    }
    case 10: {
      auto* p = static_cast<const DDD_PAPER*>(rec);
      std::printf("\"%s\" class %u size %s..%s imageable %s..%s margins %s %s arg %d duplex %u flag %u\n",
                  S(p->name).c_str(), p->paperClass, Pt(p->paperLower).c_str(), Pt(p->paperUpper).c_str(),
                  Pt(p->imageableLower).c_str(), Pt(p->imageableUpper).c_str(), Pt(p->marginFirst).c_str(),
                  Pt(p->marginSecond).c_str(), static_cast<int16_t>(p->portraitArg), p->duplex, p->additionalFlag);
      break;
    }
    case 11: {
      auto* f = static_cast<const DDD_FONT*>(rec);
      std::string subst;
      for (WORD i = 0; i < f->substNames.count; ++i) subst += " \"" + S(f->substNames.strings[i]) + "\"";
      std::string extra;
      for (WORD i = 0; i < f->extra.count; ++i) extra += " " + Tsv(f->extra.values[i]);
      std::printf("\"%s\" substitutes%s, metrics %lu bytes, flag %u, extra%s\n", S(f->name).c_str(), subst.c_str(),
                  static_cast<unsigned long>(f->xfmSize), f->additionalFlag, extra.c_str());
      break;
    }
    case 12: {
      auto* im = static_cast<const DDD_IMAGE*>(rec);
      std::printf("kind %u %ux%u, bitmap %lu bytes\n", im->imageKind, im->width, im->height,
                  static_cast<unsigned long>(im->bitmapSize));
      break;
    }
    case 15: {
      auto* e = static_cast<const DDD_EJCL*>(rec);
      std::printf("\"%s%s\" hint %u flag %u, %u conditions\n", S(e->command).c_str(), S(e->argument).c_str(), e->hintId,
                  e->additionalFlag, e->conditions.count);
      break;
    }
    case 16: {
      auto* n = static_cast<const DDD_NRV*>(rec);
      std::printf("%u %u, %u bytes, %u conditions\n", n->byte1, n->byte2, n->dataSize, n->conditions.count);
      break;
    }
    case 17: {
      auto* s = static_cast<const DDD_SIZE*>(rec);
      std::printf("%s..%s\n", Pt(s->lower).c_str(), Pt(s->upper).c_str());
      break;
    }
    case 18: {
      auto* i = static_cast<const DDD_ICON*>(rec);
      std::printf("%u bytes\n", i->bytes != nullptr ? i->bytes->size : 0);
      break;
    }
    case 19: {
      auto* p = static_cast<const DDD_PAPERTYPE*>(rec);
      std::printf("\"%s\" duplex %u\n", S(p->name).c_str(), p->duplex);
      break;
    }
    case 20: {
      auto* g = static_cast<const DDD_GROUPED*>(rec);
      std::printf("%u values of type %u, %u bytes each\n", g->elemCount, g->elemType, g->elemSize);
      break;
    }
    case 21: {
      auto* f = static_cast<const DDD_FAVORITE*>(rec);
      std::printf("\"%s\"", S(f->name).c_str());
      for (WORD i = 0; i < f->count; ++i) std::printf(" %u=%s", f->entries[i].ddmId, Tsv(f->entries[i].value).c_str());
      std::printf("\n");
      break;
    }
    case 22: {
      auto* a = static_cast<const DDD_ADCQUERY*>(rec);
      std::printf("%u %u type %u size %u, %u queries, %u values\n", a->field1, a->field2, a->valueType, a->valueSize,
                  a->queries.count, a->extra.count);
      break;
    }
    case 23: {
      auto* t = static_cast<const DDD_TRAYINDEX*>(rec);
      std::printf("%u entries, %u conditions\n", t->count, t->conditions.count);
      break;
    }
    default:
      std::printf("\n");
  }
}

bool WriteFile(const std::string& path, const std::vector<BYTE>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

void Put16(std::vector<BYTE>& v, unsigned x) {
  v.push_back(static_cast<BYTE>(x));
  v.push_back(static_cast<BYTE>(x >> 8));
}
void Put32(std::vector<BYTE>& v, unsigned long x) {
  Put16(v, static_cast<unsigned>(x & 0xFFFF));
  Put16(v, static_cast<unsigned>(x >> 16));
}

// A packed bitmap (info header, colours, bits) as a .bmp file.
std::vector<BYTE> BmpFile(const BYTE* dib, size_t size) {
  std::vector<BYTE> f = {'B', 'M'};
  Put32(f, 14 + size);
  Put32(f, 0);
  unsigned long bits = size >= 40 ? kp_LoadU16(dib + 14) : 0;
  unsigned long used = size >= 40 ? kp_LoadU16(dib + 32) : 0;
  unsigned long colours = used != 0 ? used : bits <= 8 ? (1ul << bits) : 0;
  Put32(f, 14 + 40 + 4 * colours);
  f.insert(f.end(), dib, dib + size);
  return f;
}

// Icon bytes (an icon image) as a one-image .ico file.
std::vector<BYTE> IcoFile(const BYTE* img, size_t size) {
  std::vector<BYTE> f;
  Put16(f, 0);
  Put16(f, 1);
  Put16(f, 1);
  BYTE w = size >= 8 ? img[4] : 0;
  BYTE h = size >= 12 ? static_cast<BYTE>(kp_LoadU16(img + 8) / 2) : 0;
  f.push_back(w);
  f.push_back(h);
  f.push_back(0);
  f.push_back(0);
  Put16(f, 1);
  Put16(f, size >= 16 ? img[14] : 0);
  Put32(f, size);
  Put32(f, 22);
  f.insert(f.end(), img, img + size);
  return f;
}

int Extract(DDDFILE* main, DDDFILE* ref, const std::string& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  int written = 0;
  for (WORD i = 1;; ++i) {
    void* rec = nullptr;
    WORD r = ddd_GetDataByIndexX(DDD_FULL, main, ref, DDD_CAT_IMAGE, i, &rec);
    if (r == DDD_ERR_NOTFOUND) break;
    if (r != DDD_OK) {
      std::fprintf(stderr, "picture %u: result %u\n", i, r);
      continue;
    }
    auto* im = static_cast<DDD_IMAGE*>(rec);
    std::string path = folder + "/image" + std::to_string(im->head.id) + ".bmp";
    if (im->bitmap != nullptr && WriteFile(path, BmpFile(im->bitmap, im->bitmapSize))) ++written;
    ddd_Free(&rec, DDD_KIND_ANY);
  }
  for (WORD i = 1;; ++i) {
    void* rec = nullptr;
    WORD r = ddd_GetDataByIndexX(DDD_FULL, main, ref, DDD_CAT_ICON, i, &rec);
    if (r == DDD_ERR_NOTFOUND) break;
    if (r != DDD_OK) {
      std::fprintf(stderr, "icon %u: result %u\n", i, r);
      continue;
    }
    auto* ic = static_cast<DDD_ICON*>(rec);
    std::string path = folder + "/icon" + std::to_string(ic->head.id) + ".ico";
    if (ic->bytes != nullptr && WriteFile(path, IcoFile(ic->bytes->data, ic->bytes->size))) ++written;
    ddd_Free(&rec, DDD_KIND_ANY);
  }
  std::printf("%d files written to %s\n", written, folder.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  bool counts = false;
  std::string extract, file;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--counts") == 0) {
      counts = true;
    } else if (std::strcmp(argv[i], "--extract") == 0 && i + 1 < argc) {
      extract = argv[++i];
    } else if (argv[i][0] == '-' || !file.empty()) {
      std::fprintf(stderr, "usage: ddddump [--counts] [--extract FOLDER] FILE.DDD\n");
      return 2;
    } else {
      file = argv[i];
    }
  }
  if (file.empty()) {
    std::fprintf(stderr, "usage: ddddump [--counts] [--extract FOLDER] FILE.DDD\n");
    return 2;
  }
  if (!extract.empty()) extract = std::filesystem::absolute(extract).string();
  std::string root = kestrel::ddd_host::MakeTempRoot();
  if (root.empty()) {
    std::fprintf(stderr, "ddddump: cannot make a platform root\n");
    return 1;
  }
  int rc = 0;
  {
    kestrel::ddd_host::Model m;
    WORD r = m.Open(file);
    if (r != DDD_OK) {
      std::fprintf(stderr, "ddddump: %s does not open (result %u)\n", file.c_str(), r);
      rc = 1;
    } else if (counts) {
      DDD_FILEINFO* info = nullptr;
      if (ddd_GetFileInfo(&m.main, &info) == DDD_OK) {
        std::printf("%s, format %ld\n", Narrow(info->modelName).c_str(), static_cast<long>(info->formatVersion));
        void* p = info;
        ddd_Free(&p, DDD_KIND_ANY);
      }
      for (const CatName& c : kCats) {
        std::printf("%5u  %s\n", ddd_GetNumOfData(&m.main, c.cat), c.name);
      }
    } else {
      PrintInfo(&m.main);
      for (const CatName& c : kCats) {
        WORD n = ddd_GetNumOfData(&m.main, c.cat);
        std::printf("category %u, %s: %u\n", c.cat, c.name, n);
        if (c.cat == 13 || c.cat == 14) continue;  // shown with their options
        for (WORD i = 1; i <= n; ++i) {
          void* rec = nullptr;
          WORD rr = ddd_GetDataByIndexX(DDD_FULL, &m.main, &m.referenced, c.cat, i, &rec);
          if (rr != DDD_OK) {
            std::printf("  #%u: result %u\n", i, rr);
            rc = 1;
            continue;
          }
          PrintRecord(&m.main, &m.referenced, c.cat, rec);
          ddd_Free(&rec, DDD_KIND_ANY);
        }
      }
    }
    if (rc == 0 && !extract.empty()) rc = Extract(&m.main, &m.referenced, extract);
  }
  kestrel::ddd_host::RemoveTempRoot(root);
  return rc;
}
