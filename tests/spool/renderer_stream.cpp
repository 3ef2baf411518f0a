// A renderer stream made with the renderer's own writers (spool_fixture.h).
#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/ddm_value.h"
#include "kplatform/byte_order.h"
#include "kestrel/core/printerdata.h"
#include "spool_fixture.h"

namespace kestrel::test {
namespace {

int32_t PutToString(void* sink, DWORD n, const void* bytes) {
  static_cast<std::string*>(sink)->append(static_cast<const char*>(bytes), n);
  return static_cast<int32_t>(n);
}

}  // namespace

std::string ModelADevmode(const ModelAQueue& queue) {
  std::vector<BYTE> devmode(XL_IC_DEVMODE_SIZE);
  BYTE printerData[XL_IC_PRINTERDATA_SIZE] = {};
  EXPECT_TRUE(pd_GetPrinterData(queue.printer, printerData, queue.ddd));
  EXPECT_TRUE(cdm_SetDefaultDevmode(queue.ddd, devmode.data(), printerData, kModelAPrinter));
  return std::string(devmode.begin(), devmode.end());
}

std::string RendererStream(const ModelAQueue& queue) {
  std::string s;
  XlContext xl{};
  xl_initcontext(&xl, PutToString, &s);
  std::vector<BYTE> devmode(XL_IC_DEVMODE_SIZE);
  BYTE printerData[XL_IC_PRINTERDATA_SIZE] = {};
  EXPECT_TRUE(pd_GetPrinterData(queue.printer, printerData, queue.ddd));
  EXPECT_TRUE(cdm_SetDefaultDevmode(queue.ddd, devmode.data(), printerData, kModelAPrinter));
  const BYTE jobInfo[XL_IC_JOBINFO_SIZE] = {};
  const BYTE layoutInfo[XL_IC_LAYOUTINFO_SIZE] = {};
  const BYTE pageCtrl[XL_IC_PAGECTRL_SIZE] = {};
  BYTE jcl[16 + 2 * (8 + 4)] = {2, 0, 0, 0, 8, 0, 0, 0};
  const float matrix[6] = {1, 0, 0, 1, 0, 0};
  bool ok = xl_ic_enable(&xl) == 0 && xl_ic_open(&xl, u"job") == 0 && xl_ic_setdocname(&xl, u"job") == 0 &&
            xl_ic_setdevmode(&xl, devmode.data(), XL_IC_DEVMODE_SIZE) == 0 &&
            xl_ic_setprinterdata(&xl, printerData) == 0 && xl_ic_setjobinfo(&xl, jobInfo) == 0 &&
            xl_ic_setlayoutinfo(&xl, layoutInfo) == 0 && xl_ic_setpagectrl(&xl, pageCtrl) == 0 &&
            xl_ic_setjclheaders(&xl, jcl, sizeof(jcl)) == 0 && xl_ic_startjob(&xl) == 0 &&
            xl_ic_setcolormode(&xl, 1, 1) == 0 && xl_ic_openprinter(&xl) == 0 && xl_ic_closeprinter(&xl, 0) == 0 &&
            xl_ic_pageStoring_init(&xl, 1, 4) == 0 && xl_beginsession(&xl, 600, 600, 0, 0) == 0 &&
            xl_opendatasource(&xl) == 0 && xl_ic_timeout(&xl, XL_TIMESTAMP_JOBSTART) == 0 &&
            xl_ic_timeout(&xl, XL_TIMESTAMP_VERSION) == 0;
  for (int page = 0; page < 2 && ok; ++page) {
    ok = xl_ic_startpage(&xl, 0, 0, 2, 1, 2) == 0 && xl_ic_timeout(&xl, XL_TIMESTAMP_PAGESTART) == 0 &&
         xl_ic_setcoordinate(&xl, matrix) == 0 && xl_ic_beginstamp(&xl) == 0 &&
         xl_setcolorspace_simple(&xl, 2, 0) == 0 && xl_setbrushsource_rgb(&xl, 10, 20, 30) == 0 &&
         xl_newpath(&xl) == 0 && xl_rectangle(&xl, RECT{100, 100, 400, 300}) == 0 && xl_ic_endstamp(&xl) == 0 &&
         xl_ic_linkimagestart(&xl) == 0 && xl_ic_linkimageend(&xl) == 0 && xl_ic_pageStoring_stop(&xl, 1) == 0 &&
         xl_ic_showpage(&xl) == 0 && xl_ic_timeout(&xl, XL_TIMESTAMP_PHYSICALPAGEEND) == 0 &&
         xl_ic_endpage(&xl) == 0;
  }
  ok = ok && xl_ic_pageStoring_dispose(&xl) == 0 && xl_ic_timeout(&xl, XL_TIMESTAMP_JOBEND) == 0 &&
       xl_closedatasource(&xl) == 0 && xl_endsession(&xl) == 0 && xl_ic_close(&xl) == 0 && xl_ic_disable(&xl) == 0;
  EXPECT_TRUE(ok);
  return s;
}

std::string Session(const ModelAQueue& queue, const Settings& settings, const std::string& page) {
  BYTE printerData[XL_IC_PRINTERDATA_SIZE] = {};
  EXPECT_TRUE(pd_GetPrinterData(queue.printer, printerData, queue.ddd));
  std::string devmode = ModelADevmode(queue);
  for (auto [id, value] : settings.numbers) {
    EXPECT_TRUE(ddm_SetNumber(id, devmode.data(), printerData, value)) << id << " = " << value;
  }
  std::string jobInfo(XL_IC_JOBINFO_SIZE, '\0');
  kp_StoreU32(reinterpret_cast<BYTE*>(jobInfo.data()) + 16, static_cast<uint32_t>(settings.colorModeAuto));
  std::string pageCtrl(XL_IC_PAGECTRL_SIZE, '\0');
  const std::string beginSession = Bytes({0xD1, 0x58, 0x02, 0x58, 0x02, 0xF8, 0x89, 0xC0, 0, 0xF8, 0x86, 0xC0, 0,
                                          0xF8, 0x8F, XL_OP_BEGINSESSION});
  const std::string openSource = Bytes({0xC0, 0, 0xF8, 0x88, 0xC0, 1, 0xF8, 0x82, XL_OP_OPENDATASOURCE});
  std::string page12(12, '\0');
  page12[8] = 2;
  page12[9] = 1;
  page12[10] = 2;
  std::string setColourMode = std::string(4, '\0') + std::string(2, '\0');
  kp_StoreU32(reinterpret_cast<BYTE*>(setColourMode.data()), static_cast<uint32_t>(settings.colorModeAuto));
  kp_StoreU16(reinterpret_cast<BYTE*>(setColourMode.data()) + 4, static_cast<WORD>(settings.pageColorMode));
  std::string s = InbandCommand(XL_IC_ENABLE, "", false) + InbandCommand(XL_IC_OPEN, std::string("j\0\0\0", 4), true) +
                  InbandCommand(XL_IC_SETDEVMODE, devmode, true) +
                  InbandCommand(XL_IC_SETPRINTERDATA, std::string(reinterpret_cast<char*>(printerData),
                                                                  XL_IC_PRINTERDATA_SIZE),
                                true) +
                  InbandCommand(XL_IC_SETJOBINFO, jobInfo, true) + InbandCommand(XL_IC_SETPAGECTRL, pageCtrl, true) +
                  beginSession + openSource + InbandCommand(XL_IC_STARTPAGE, page12, true) +
                  InbandCommand(XL_IC_SETCOLORMODE, setColourMode, true) + page +
                  InbandCommand(XL_IC_SHOWPAGE, "", false) + InbandCommand(XL_IC_ENDPAGE, "", false) +
                  Bytes({XL_OP_CLOSEDATASOURCE, XL_OP_ENDSESSION}) + InbandCommand(XL_IC_CLOSE, "", false) +
                  InbandCommand(XL_IC_DISABLE, "", false);
  return s;
}


}  // namespace kestrel::test
