#include "draw_fixture.h"

namespace kestrel::test::km {

void KmDrawTest::TearDown() {
  if (session_) KpEngineDisablePDEV(session_);
  session_ = nullptr;
  for (void* o : objects_) KpEngineDeleteObject(o);
  objects_.clear();
  KmTest::TearDown();
}

bool KmDrawTest::Open(const Model& model, const std::function<void(CreateDcDevmode&)>& tweak) {
  printer_ = Printer(model);
  driver_ = LoadDriver();
  if (!printer_ || !driver_) return false;
  CreateDcDevmode dm = Devmode(model);
  if (tweak) tweak(dm);
  session_ = KpEngineEnablePDEV(driver_, printer_, dm.data());
  if (!session_ || !KpEngineEnableSurface(session_)) return false;
  return KpEngineStartDoc(session_, u"drawing", 1) && KpEngineStartPage(session_);
}

bool KmDrawTest::NextPage() { return KpEngineSendPage(session_) && KpEngineStartPage(session_); }

std::vector<Lines> KmDrawTest::Finish() {
  EXPECT_TRUE(KpEngineSendPage(session_));
  EXPECT_TRUE(KpEngineEndDoc(session_, 0));
  EXPECT_TRUE(KpEngineDisablePDEV(session_));
  session_ = nullptr;
  stream_.assign(KpEngineGetOutput(printer_, nullptr, 0), 0);
  KpEngineGetOutput(printer_, stream_.data(), stream_.size());
  listing_ = pclxl_check::Listing{};
  pclxl_check::Report report = pclxl_check::check(stream_, pclxl_check::Mode::RendererStream, &listing_);
  EXPECT_TRUE(report.ok()) << report.text() << listing_.text();
  return PageDrawings(listing_);
}

PATHOBJ* KmDrawTest::Rect(LONG l, LONG t, LONG r, LONG b) {
  RECTFX box{Fx(l), Fx(t), Fx(r), Fx(b)};
  return Keep(KpEngineCreateRectPath(&box));
}

PATHOBJ* KmDrawTest::Path(std::vector<std::pair<FLONG, std::vector<POINTFIX>>> records) {
  std::vector<PATHDATA> pd;
  for (auto& r : records) pd.push_back(PATHDATA{r.first, static_cast<ULONG>(r.second.size()), r.second.data()});
  return Keep(KpEngineCreatePath(static_cast<ULONG>(pd.size()), pd.data()));
}

CLIPOBJ* KmDrawTest::ClipRect(LONG l, LONG t, LONG r, LONG b) {
  RECTL rc{l, t, r, b};
  return Keep(KpEngineCreateClip(DC_RECT, 1, &rc));
}

CLIPOBJ* KmDrawTest::Region(std::vector<RECTL> rects) {
  return Keep(KpEngineCreateClip(DC_COMPLEX, static_cast<ULONG>(rects.size()), rects.data()));
}

BRUSHOBJ* KmDrawTest::Solid(ULONG color) { return Keep(KpEngineCreateSolidBrush(session_, color)); }

LINEATTRS KmDrawTest::Cosmetic() const {
  LINEATTRS la{};
  la.iJoin = JOIN_ROUND;
  la.iEndCap = ENDCAP_ROUND;
  la.elWidth.l = 1;
  la.eMiterLimit = 10.0f;
  return la;
}

std::vector<Lines> PageDrawings(const pclxl_check::Listing& listing) {
  std::vector<Lines> pages;
  bool inPage = false, drawing = false;
  for (const auto& item : listing.items) {
    if (item.inband && item.code == 138) {
      inPage = true;
      drawing = false;
      pages.emplace_back();
      continue;
    }
    if (!inPage) continue;
    if (!drawing) {
      drawing = item.key() == "SetClipToPage";
      continue;
    }
    if (item.inband && item.code == 145) {
      inPage = drawing = false;
      continue;
    }
    pages.back().push_back(item.text());
  }
  return pages;
}

Lines Matching(const Lines& lines, const std::string& needle) {
  Lines out;
  for (const auto& l : lines)
    if (l.find(needle) != std::string::npos) out.push_back(l);
  return out;
}

std::string Text(const Lines& lines) {
  std::string out;
  for (const auto& l : lines) out += l + "\n";
  return out;
}

}  // namespace kestrel::test::km
