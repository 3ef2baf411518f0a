#include "gdi32/font_catalogue.h"

#include FT_TRUETYPE_IDS_H
#include FT_TRUETYPE_TAGS_H

#include <algorithm>
#include <filesystem>
#include <mutex>

#include "kplatform/gdi32_fonts.h"

namespace kp::ft {
namespace {

std::string LowerExtension(const std::filesystem::path& p) {
  std::string ext = p.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}

bool FontFileName(const std::string& ext) {
  return ext == ".ttf" || ext == ".otf" || ext == ".ttc" || ext == ".otc" || ext == ".pfb" || ext == ".bdf" ||
         ext == ".pcf";
}

CatalogueFace Describe(FT_Face face, bool trueTypeFile) {
  CatalogueFace f;
  f.family = FromUtf8(face->family_name);
  f.style = FromUtf8(face->style_name);
  if (FT_IS_SFNT(face)) f.fullName = SfntName(face, TT_NAME_ID_FULL_NAME);
  const bool scalable = FT_IS_SCALABLE(face);
  if (scalable) {
    FT_ULong length = 0;
    const bool glyf = FT_IS_SFNT(face) && FT_Load_Sfnt_Table(face, TTAG_glyf, 0, nullptr, &length) == 0;
    f.type = glyf ? TRUETYPE_FONTTYPE : 0;
    f.unitsPerEm = face->units_per_EM;
    f.height = face->height;
    f.ascent = face->ascender;
    f.descent = -face->descender;
    f.maxWidth = face->max_advance_width;
  } else {
    f.type = RASTER_FONTTYPE;
  }
  f.realisable = trueTypeFile && FT_IS_SFNT(face) && scalable;
  f.bold = (face->style_flags & FT_STYLE_FLAG_BOLD) != 0;
  f.italic = (face->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
  f.fixed = FT_IS_FIXED_WIDTH(face);
  f.weight = f.bold ? 700 : 400;
  if (const TT_OS2* os2 = Os2(face)) {
    if (os2->usWeightClass) f.weight = os2->usWeightClass;
    f.avgWidth = os2->xAvgCharWidth;
  }
  f.pitchAndFamily = PitchAndFamily(face);
  return f;
}

std::shared_ptr<const Catalogue> Walk(const std::string& folder) {
  CountFolderWalk();
  auto catalogue = std::make_shared<Catalogue>();
  catalogue->folder = folder;
  std::vector<std::string> files;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_regular_file(ec) && FontFileName(LowerExtension(it->path()))) files.push_back(it->path().string());
  }
  std::sort(files.begin(), files.end());
  for (const std::string& path : files) {
    std::shared_ptr<FontFile> file = FontFile::Open(path);
    if (!file) continue;
    const std::string ext = LowerExtension(path);
    const bool trueTypeFile = ext == ".ttf" || ext == ".ttc";
    FT_Long count = 1;
    for (FT_Long member = 0; member < count; ++member) {
      BorrowedFace face(file, member);
      if (!face) break;
      count = face.get()->num_faces;
      CatalogueFace f = Describe(face.get(), trueTypeFile);
      f.file = file;
      f.member = member;
      catalogue->faces.push_back(std::move(f));
    }
  }
  return catalogue;
}

struct Current {
  std::mutex lock;
  std::shared_ptr<const Catalogue> catalogue;
};
Current& Cur() {
  static Current* c = new Current;
  return *c;
}

}  // namespace

std::shared_ptr<const Catalogue> CurrentCatalogue() {
  Current& c = Cur();
  std::lock_guard<std::mutex> g(c.lock);
  if (!c.catalogue) c.catalogue = Walk(FontFolder());
  return c.catalogue;
}

void ChangeFontFolder(const char* hostFolder) {
  std::shared_ptr<const Catalogue> old;
  Current& c = Cur();
  std::lock_guard<std::mutex> g(c.lock);
  SetFontFolder(hostFolder);
  old = std::move(c.catalogue);
  c.catalogue.reset();
}

}  // namespace kp::ft
