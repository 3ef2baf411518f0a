// The EJCL header and trailer on the models' data: golden headers written
// from the header's steps and the models' records, the hint writers, the
// hard-coded block, the sizes and the error codes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ejcl_fixture.h"
#include "kestrel/core/faxlist.h"
#include "kestrel/core/nondev.h"
#include "kplatform/advapi32_registry.h"
#include "kplatform/kernel32_file.h"

namespace kestrel::test::ejcl {
namespace {

const std::string kUel = "\x1B%-12345X";
const std::string kTop = kUel +
                         "@PJL JOB MODE=PRINT\n"
                         "@PJL SET STRINGCODESET=UTF8\n"
                         "@PJL COMMENT DATE=12/31/2025\n"
                         "@PJL COMMENT TIME=23:59:30\n"
                         "@PJL COMMENT DNAME=Report\n";

TEST_F(EjclTest, ModelAPlainHeader) {
  LONG code = 0;
  std::string h = Head(a_, &code);
  EXPECT_EQ(h, kTop +
                   "@PJL SET JOBNAME=Report\n"
                   "@PJL SET USERNAME=alice\n"
                   "@PJL SET QTY=1\n"
                   "@PJL SET DUPLEX=OFF\n"
                   "@PJL SET RESOLUTION=600\n"
                   "@PJL SET RENDERMODE=COLOR\n"
                   "@PJL SET OUTBIN=FACEDOWN\n"
                   "@PJL SET ECONOMODE=OFF\n");
  EXPECT_EQ(code, static_cast<LONG>(h.size()));
  EXPECT_LE(h.size() + 1, static_cast<size_t>(ejcl_bufferSizeHead(a_.ddd->main, a_.ddd->referenced)));
}

TEST_F(EjclTest, ModelBPlainHeader) {
  EXPECT_EQ(Head(B()), kTop +
                           "@PJL SET JOBNAME=Report\n"
                           "@PJL SET USERNAME=alice\n"
                           "@PJL SET QTY=1\n"
                           "@PJL SET DUPLEX=OFF\n"
                           "@PJL SET RESOLUTION=600\n");
}

TEST_F(EjclTest, SecureJobCarriesItsUserIdAndTheSettingsOfTheJob) {
  Set(a_, DDM_JOBTYPE, 1);
  SetText(a_, DDM_USER_ID, u"0042");
  Set(a_, DDM_DUPLEX, 3);
  Set(a_, DDM_COPIES, 3);
  Set(a_, DDM_COLLATE, 0);  // the printer makes the copies
  EXPECT_EQ(Head(a_), kUel +
                          "@PJL JOB MODE=SECURE\n"
                          "@PJL SET STRINGCODESET=UTF8\n"
                          "@PJL COMMENT DATE=12/31/2025\n"
                          "@PJL COMMENT TIME=23:59:30\n"
                          "@PJL COMMENT DNAME=Report\n"
                          "@PJL SET JOBNAME=Report\n"
                          "@PJL SET USERNAME=alice\n"
                          "@PJL SET QTY=3\n"
                          "@PJL SET DUPLEX=ON\n"
                          "@PJL SET BINDING=SHORTEDGE\n"
                          "@PJL SET RESOLUTION=600\n"
                          "@PJL SET RENDERMODE=COLOR\n"
                          "@PJL SET OUTBIN=FACEDOWN\n"
                          "@PJL SET JOBATTR=\"@USID=42\"\n"
                          "@PJL SET ECONOMODE=OFF\n");
}

TEST_F(EjclTest, DelayedJobPrintsTomorrowAcrossMidnightAndTheYearEnd) {
  Set(a_, DDM_JOBTYPE, 4);
  struct Case {
    SYSTEMTIME now;
    LONG hour, minute;
    const char* when;
  };
  const Case cases[] = {
      {Utc(2025, 12, 31, 23, 59, 30), 8, 30, "2026:01:01:08:30"},   // later today has passed: tomorrow
      {Utc(2025, 12, 31, 23, 59, 30), 23, 59, "2025:12:31:23:59"},  // not later: today
      {Utc(2024, 2, 28, 20, 0, 0), 7, 5, "2024:02:29:07:05"},       // a leap day
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.when);
    SetClock(c.now);
    Set(a_, DDM_PRINT_HOUR, c.hour);
    Set(a_, DDM_PRINT_MINUTE, c.minute);
    std::string h = Head(a_);
    EXPECT_NE(h.find("@PJL JOB MODE=DELAYED\n"), std::string::npos);
    EXPECT_NE(h.find(std::string("\n@PJL SET JOBATTR=\"@PRTM=") + c.when + "\"\n"), std::string::npos) << h;
  }
}

TEST_F(EjclTest, CodeSetZeroWritesTheJobModeRecordWhereItStands) {
  KpSetVersion(4, 0, 950, VER_PLATFORM_WIN32_WINDOWS);  // the 4.0 release of the 9x platform
  ejclUtil_SetStringCodeSet(EJCL_CODESET_UNSET);
  EXPECT_EQ(Head(B()), kUel +
                           "@PJL COMMENT DATE=12/31/2025\n"
                           "@PJL COMMENT TIME=23:59:30\n"
                           "@PJL COMMENT DNAME=Report\n"
                           "@PJL JOB MODE=PRINT\n"
                           "@PJL SET JOBNAME=Report\n"
                           "@PJL SET USERNAME=alice\n"
                           "@PJL SET QTY=1\n"
                           "@PJL SET DUPLEX=OFF\n"
                           "@PJL SET RESOLUTION=600\n");
  EXPECT_EQ(ejclUtil_GetStringCodeSet(), EJCL_CODESET_ANSI);
  // Once set by a later system, the word stays 1.
  KpSetVersion(5, 1, 2600, VER_PLATFORM_WIN32_NT);
  Head(B());
  KpSetVersion(4, 0, 950, VER_PLATFORM_WIN32_WINDOWS);
  Head(B());
  EXPECT_EQ(ejclUtil_GetStringCodeSet(), EJCL_CODESET_UTF8);
}

TEST_F(EjclTest, BookletSheetCountOrItsPlaceholder) {
  Model& m = Patched();
  Set(m, DDM_LAYOUTMODE, 2);
  Set(m, DDM_BOOKLETKIND, 1);
  Set(m, DDM_SADDLESTAPLE, 1);
  const std::string head = "@PJL SET ECONOMODE=OFF\n";
  EJCL_CONTEXT open = Context(m);
  std::string h = Head(m, open);
  const std::string block = "@PJL SET JOBATTR=\"@NLPP=1\"\n@PJL SET JOBATTR=\"@HOAD=192.0.2.7\"\n";
  size_t at = h.find(std::string(38, ' ') + "\n" + block);
  ASSERT_NE(at, std::string::npos) << h;
  EXPECT_EQ(open.bktpOffset, at);
  EJCL_CONTEXT counted = Context(m);
  counted.bookletSheets = 12;
  h = Head(m, counted);
  EXPECT_NE(h.find("\n@PJL SET JOBATTR=\"@BKTP=12\"\n" + block), std::string::npos) << h;
  EXPECT_EQ(counted.bktpOffset, 0u);
}

std::vector<BYTE> FaxList(const std::vector<std::u16string>& numbers) {
  std::vector<BYTE> list(FAXLIST_HEAD_SIZE + FAXLIST_ENTRY_SIZE * numbers.size());
  std::memcpy(list.data(), NONDEV_FAX_TAG, 16);
  WORD count = static_cast<WORD>(numbers.size());
  std::memcpy(&list[NONDEV_FAX_COUNT_OFFSET], &count, 2);
  for (size_t i = 0; i < numbers.size(); ++i) {
    BYTE* e = &list[FAXLIST_HEAD_SIZE + FAXLIST_ENTRY_SIZE * i];
    std::memcpy(e + FAXENTRY_NUMBER, numbers[i].data(), numbers[i].size() * 2);
    WORD mode = 1;
    std::memcpy(e + FAXENTRY_COM_MODE, &mode, 2);
  }
  return list;
}

TEST_F(EjclTest, FaxToThreeDestinations) {
  Set(a_, DDM_JOBTYPE, 5);
  Set(a_, DDM_OPTION_FAXKIT, 1);
  Set(a_, DDM_FAX_DESTINATION_COUNT, 3);
  Set(a_, DDM_FAX_NAME_SOURCE, 0);
  SetText(a_, DDM_FAX_DOCUMENT_NAME, u"Quarterly");
  std::vector<BYTE> list = FaxList({u"5550101", u"5550102", u"5550103"});
  EJCL_FAX_RANGE range{0, 2, list.data(), static_cast<DWORD>(list.size())};
  EJCL_CONTEXT c = Context(a_);
  c.fax = &range;
  std::string h = Head(a_, c);
  EXPECT_EQ(h, kUel +
                   "@PJL JOB MODE=FAX\n"
                   "@PJL SET STRINGCODESET=UTF8\n"
                   "@PJL COMMENT DATE=12/31/2025\n"
                   "@PJL COMMENT TIME=23:59:30\n"
                   "@PJL COMMENT DNAME=Report\n"
                   "@PJL SET JOBNAME=Report\n"
                   "@PJL SET USERNAME=alice\n"
                   "@PJL SET QTY=1\n"
                   "@PJL SET DUPLEX=OFF\n"
                   "@PJL SET RESOLUTION=600\n"
                   "@PJL SET RENDERMODE=COLOR\n"
                   "@PJL SET OUTBIN=FACEDOWN\n"
                   "@PJL SET JOBATTR=\"@FADN=Quarterly\"\n"
                   // The fax settings (printer-data byte 11 has bit 0x10 in model A's
                   // record): resolution 0, report 1, header 1 by default.
                   "@PJL SET RESOLUTION=200\n"
                   "@PJL SET JOBATTR=\"@FARE=NORMAL\"\n"
                   "@PJL SET JOBATTR=\"@TRRE=ONERROR\"\n"
                   "@PJL SET JOBATTR=\"@TXHE=ON\"\n"
                   // No prefix, its line flag (DDM 5145) 0; mode 1.
                   "@PJL SET JOBATTR=\"@FANU=5550101{20}{32}\"\r\n"
                   "@PJL SET JOBATTR=\"@FANU=5550102{20}{32}\"\r\n"
                   "@PJL SET JOBATTR=\"@FANU=5550103{20}{32}\"\r\n"
                   "@PJL SET ECONOMODE=OFF\n");
  // A list whose count differs from DDM 380 writes no numbers; one that is
  // not whole fails the header.
  Set(a_, DDM_FAX_DESTINATION_COUNT, 4);
  range.last = 3;
  EXPECT_EQ(Head(a_, c).find("@FANU="), std::string::npos);
  std::vector<BYTE> cut = FaxList({u"1", u"2", u"3", u"4"});
  cut.resize(cut.size() - 1);
  range = {0, 3, cut.data(), static_cast<DWORD>(cut.size())};
  LONG code = 0;
  Head(a_, c, &code);
  EXPECT_EQ(code, EJCL_ERR_REQUIRED);
}

TEST_F(EjclTest, FaxAddressFileIsReadAndDeletedOnlyInsideTheFaxDataFolder) {
  Set(a_, DDM_JOBTYPE, 5);
  Set(a_, DDM_OPTION_FAXKIT, 1);
  SetText(a_, DDM_FAX_DOCUMENT_NAME, u"Quarterly");
  const std::string lines = "@FAEN=5550101{21}{32}\r\n\x1B@FAEN=5550102{21}{32}\r\n";
  auto put = [&](const std::u16string& name) {
    CreateDirectoryW(u"C:\\Halcyra", nullptr);
    CreateDirectoryW(u"C:\\Halcyra\\fax", nullptr);
    CreateDirectoryW(u"C:\\elsewhere", nullptr);
    HANDLE f = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    DWORD n = 0;
    WriteFile(f, lines.data(), static_cast<DWORD>(lines.size()), &n, nullptr);
    CloseHandle(f);
  };
  const std::u16string inside = u"C:\\Halcyra\\fax\\FAX1.tmp";
  put(inside);
  SetText(a_, DDM_FAX_DATA_FILE, inside);
  std::string h = Head(a_);
  EXPECT_NE(h.find("\n@FAEN=5550101{21}{32}\r\n @FAEN=5550102{21}{32}\r\n@PJL SET ECONOMODE=OFF\n"),
            std::string::npos)
      << h;
  EXPECT_EQ(GetFileAttributesW(inside.c_str()), INVALID_FILE_ATTRIBUTES) << "read, then deleted";
  for (std::u16string outside : {std::u16string(u"C:\\elsewhere\\FAX1.tmp"),
                                 std::u16string(u"C:\\Halcyra\\fax\\..\\..\\elsewhere\\FAX1.tmp")}) {
    SCOPED_TRACE(std::string(outside.begin(), outside.end()));
    put(u"C:\\elsewhere\\FAX1.tmp");
    SetText(a_, DDM_FAX_ADDRESS_FILE, outside);  // 375 is preferred when not empty
    h = Head(a_);
    EXPECT_EQ(h.find("@FAEN="), std::string::npos);
    EXPECT_NE(GetFileAttributesW(u"C:\\elsewhere\\FAX1.tmp"), INVALID_FILE_ATTRIBUTES) << "never deleted";
  }
}

TEST_F(EjclTest, HintWriters) {
  struct Case {
    const char* name;
    void (*setUp)(EjclTest*, Model&, EJCL_CONTEXT&);
    const char* line;  // a line the header holds ("" for none of its prefix)
    const char* absent;
  };
  using T = EjclTest;
  const Case cases[] = {
      {"name of 12 bytes", [](T*, Model&, EJCL_CONTEXT& c) { c.documentName = u"ABCDEFGHIJKL"; },
       "@PJL SET JOBNAME=ABCDEFGHIJKL\n", nullptr},
      {"name of 13 bytes", [](T*, Model&, EJCL_CONTEXT& c) { c.documentName = u"ABCDEFGHIJKLM"; }, nullptr,
       "@PJL SET JOBNAME="},
      {"name with a byte outside the test", [](T*, Model&, EJCL_CONTEXT& c) { c.documentName = u"Caf\u00e9"; },
       nullptr, "@PJL SET JOBNAME="},
      {"control bytes in the name", [](T*, Model&, EJCL_CONTEXT& c) { c.documentName = u"a\r\n@PJL EOJ\x1B"; },
       "@PJL COMMENT DNAME=a  @PJL EOJ \n", "@PJL SET JOBNAME="},
      {"SYSTEM takes the Winlogon user",
       [](T*, Model&, EJCL_CONTEXT&) {
         KpSetUserName(u"SYSTEM");
         HKEY k = nullptr;
         RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", 0,
                         nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr);
         const char16_t bob[] = u"bob";
         RegSetValueExW(k, u"DefaultUserName", 0, REG_SZ, reinterpret_cast<const BYTE*>(bob), sizeof bob);
         RegCloseKey(k);
       },
       "@PJL SET USERNAME=bob\n", nullptr},
      {"System without the Winlogon value",
       [](T*, Model&, EJCL_CONTEXT&) {
         KpSetUserName(u"System");
         HKEY k = nullptr;
         if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", 0,
                           KEY_ALL_ACCESS, &k) == ERROR_SUCCESS) {
           RegDeleteValueW(k, u"DefaultUserName");
           RegCloseKey(k);
         }
       },
       "@PJL SET USERNAME=UnknownUser\n", nullptr},
      {"a user name with a tab", [](T*, Model&, EJCL_CONTEXT&) { KpSetUserName(u"a\tb"); },
       "@PJL SET USERNAME=UnknownUser\n", nullptr},
      {"a user name of blanks", [](T*, Model&, EJCL_CONTEXT&) { KpSetUserName(u"   "); },
       "@PJL SET USERNAME=UnknownUser\n", nullptr},
      {"insert positions 5, 3, 5",
       [](T*, Model& m, EJCL_CONTEXT&) {
         Set(m, DDM_INSERT_POSITION_FIRST, 5);
         Set(m, DDM_INSERT_POSITION_FIRST + 1, 3);
         Set(m, DDM_INSERT_POSITION_FIRST + 2, 5);
         Set(m, DDM_INSERT_POSITION_FIRST + 3, 1);  // below 2: not a position
       },
       "@PJL SET JOBATTR=\"@INSP=3:5\"\n", nullptr},
      {"a user-defined cover paper",
       [](T*, Model& m, EJCL_CONTEXT&) {
         Set(m, DDM_INSERT_SHEET_1, 1);
         Set(m, DDM_INSERT_PAPER_A, 262);
         Set(m, DDM_CUSTOMPAPERWIDTH, 2104);
         Set(m, DDM_CUSTOMPAPERLENGTH, 2966);
       },
       "@PJL SET JOBATTR=\"@CVSZ=UNFIXED:210:297\"\n@PJL SET JOBATTR=\"@CVFD=LEF\"\n", nullptr},
      {"a user-defined cover paper fed short edge first",
       [](T*, Model& m, EJCL_CONTEXT&) {
         Set(m, DDM_INSERT_SHEET_1, 1);
         Set(m, DDM_INSERT_PAPER_A, 262);
         Set(m, DDM_CUSTOMPAPERWIDTH, 2104);
         Set(m, DDM_CUSTOMPAPERLENGTH, 2966);
         Set(m, DDM_INSERT_FEED_EDGE, 2);
         Set(m, DDM_QUEUEBYTE1, 2);
       },
       "@PJL SET JOBATTR=\"@CVSZ=UNFIXED:297:210\"\n@PJL SET JOBATTR=\"@CVFD=SEF\"\n", nullptr},
      {"an A4 cover",
       [](T*, Model& m, EJCL_CONTEXT&) {
         Set(m, DDM_INSERT_SHEET_1, 1);
         Set(m, DDM_INSERT_PAPER_A, 9);
       },
       "@PJL SET JOBATTR=\"@CVSZ=A4\"\n", nullptr},
      {"the JCID when asked",
       [](T*, Model&, EJCL_CONTEXT& c) {
         c.jcidFlag = 1;
         std::strcpy(c.jcid, "J-7\"x");
       },
       "@PJL SET JOBATTR=\"@JCID=J-7'x\"\n", nullptr},
      {"the comment, kept as UTF-16 like every string member",
       [](T*, Model& m, EJCL_CONTEXT&) { SetText(m, DDM_MEMBER_329, u"Budget 2027"); },
       "@PJL SET JOBATTR=\"@CMNT=Budget 2027\"\n", nullptr},
      {"a double quote in the user id",
       [](T*, Model& m, EJCL_CONTEXT&) {
         Set(m, DDM_JOBTYPE, 2);
         SetText(m, DDM_USER_ID, u"0\"x");
       },
       "@PJL SET JOBATTR=\"@USID='x\"\n", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(Defaults(a_, queue_.printer));
    KpSetUserName(u"alice");
    EJCL_CONTEXT ctx = Context(a_);
    c.setUp(this, a_, ctx);
    LONG code = 0;
    std::string h = Head(a_, ctx, &code);
    ASSERT_GT(code, 0);
    if (c.line) {
      EXPECT_NE(h.find(std::string("\n") + c.line), std::string::npos) << h;
    }
    if (c.absent) {
      EXPECT_EQ(h.find(c.absent), std::string::npos) << h;
    }
    for (size_t i = 1; i < h.size(); ++i) {
      auto b = static_cast<unsigned char>(h[i]);
      EXPECT_TRUE(b >= 0x20 || b == '\n' || b == '\r') << "byte " << i;
    }
  }
}

TEST_F(EjclTest, DoubleByteNamesAreCutAtACharacter) {
  KpSetACP(932);
  Model& m = Patched();
  std::u16string name = u"A";
  for (int i = 0; i < 12; ++i) name += u'\u65E5';  // 1 + 24 bytes in code page 932
  EJCL_CONTEXT c = Context(m, name.c_str());
  std::string h = Head(m, c);
  std::string cut = "A";
  for (int i = 0; i < 11; ++i) cut += "\xE6\x97\xA5";  // 23 bytes, in UTF-8 on the wire
  EXPECT_NE(h.find("\n@PJL SET JOBNAME=" + cut + "\n"), std::string::npos) << h;
}

// The printer is told 1 copy exactly when the renderer makes the collated
// copies itself (the stream then holds them all); else the copy count.
TEST_F(EjclTest, CopiesAreOneExactlyWhenTheRendererMakesThem) {
  struct Case {
    const char* name;
    LONG collate, member1344, finisher, separator, pdl;
    const char* qty;
  };
  const Case cases[] = {
      {"collated, plain printer", 1, 0, 0, 0, 0x01010903, "1"},
      {"collated, any PDL version number", 1, 0, 0, 0, 0x01010902, "1"},
      {"collated, finisher but DDM 1344 clear", 1, 0, 1, 0, 0x01010903, "1"},
      {"collated, DDM 1344 set, no finisher nor separator", 1, 1, 0, 0, 0x01010903, "1"},
      {"collated, DDM 1344 set and a finisher", 1, 1, 1, 0, 0x01010903, "4"},
      {"collated, DDM 1344 set and a job separator", 1, 1, 0, 1, 0x01010903, "4"},
      {"not collated", 0, 0, 0, 0, 0x01010903, "4"},
  };
  for (const Case& c : cases) {
    Model& m = a_;
    Set(m, DDM_COPIES, 4);
    Set(m, DDM_COLLATE, c.collate);
    Set(m, DDM_MEMBER_1344, c.member1344);
    Set(m, DDM_FINISHER_UNIT, c.finisher);
    Set(m, DDM_JOB_SEPARATOR, c.separator);
    Set(m, DDM_PDLVERSION, c.pdl);
    EXPECT_NE(Head(m).find(std::string("\n@PJL SET QTY=") + c.qty + "\n"), std::string::npos) << c.name;
  }
}

TEST_F(EjclTest, ErrorCodesLeaveNothingInTheBuffer) {
  struct Case {
    const char* name;
    void (*setUp)(EjclTest*, Model&);
    LONG code;
  };
  using T = EjclTest;
  const Case cases[] = {
      {"user id of zeros", [](T*, Model& m) {
         Set(m, DDM_JOBTYPE, 1);
         SetText(m, DDM_USER_ID, u"000");
       }, EJCL_ERR_ARGUMENT},
      {"an unknown cover paper", [](T*, Model& m) {
         Set(m, DDM_INSERT_SHEET_1, 1);
         Set(m, DDM_INSERT_PAPER_A, 999);
       }, EJCL_ERR_REQUIRED},
      {"a fax without its name", [](T*, Model& m) { Set(m, DDM_JOBTYPE, 5); }, EJCL_ERR_REQUIRED},
      {"the fax name from an unknown source", [](T*, Model& m) {
         Set(m, DDM_JOBTYPE, 5);
         Set(m, DDM_FAX_NAME_SOURCE, 2);
       }, EJCL_ERR_FAXNAME},
      {"a job owner without the Vellumhall library", [](T* t, Model& m) {
         DeleteFileW(DriverFile(u"kvellum.dll").c_str());
         Set(m, DDM_JOB_OWNER_ON, 1);
         (void)t;
       }, EJCL_ERR_VELLUM},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(Defaults(a_, queue_.printer));
    c.setUp(this, a_);
    LONG code = 0;
    Head(a_, &code);
    EXPECT_EQ(code, c.code);
  }
}

TEST_F(EjclTest, ModelBHasNoJobModeForStoredJobs) {
  Set(B(), DDM_JOBTYPE, 3);
  LONG code = 0;
  Head(B(), &code);
  EXPECT_EQ(code, EJCL_ERR_REQUIRED);
}

TEST_F(EjclTest, VellumhallFailuresAndUnterminatedTexts) {
  Model& m = Patched();
  const size_t modules = KpLoadedModuleCount();
  EXPECT_NE(Head(m).find("\n@PJL SET JOBATTR=\"@CNAM=HOST32.0\"\n"), std::string::npos);
  EXPECT_EQ(KpLoadedModuleCount(), modules) << "the library is freed at the end of each header";
  for (const char* variant : {"libkvellumfail.so", "libkvellumfull.so"}) {
    SCOPED_TRACE(variant);
    InstallVellum(variant);
    LONG code = 0;
    Head(m, &code);
    EXPECT_EQ(code, EJCL_ERR_VELLUM);
    EXPECT_EQ(KpLoadedModuleCount(), modules);
  }
}

TEST_F(EjclTest, JobOwnerFromTheDevmodeName) {
  Model& m = Patched(kAllCaps & ~(EJCL_CAP_NUP | EJCL_CAP_HOST_ADDRESS));
  Set(m, DDM_JOB_OWNER_ON, 1);
  Set(m, DDM_ACCOUNTMODE, 0);
  Set(m, DDM_OWNER_SWITCH_A, 1);
  Set(m, DDM_OWNER_UNKNOWN, 0);
  SetText(m, DDM_OWNER_DEVMODE_NAME, u"carol\r\n");
  Set(m, DDM_USERNAMETYPE, 1);
  std::string h = Head(m);
  // Kind 3 for mode 1; layout code from N-up 1; the bin flag of the input bin.
  size_t at = h.find("\n@PJL SET JOBATTR=\"@JOAU=3:carol  :");
  EXPECT_NE(at, std::string::npos) << h;
}

TEST_F(EjclTest, CapacityOneByteShortFailsWithNothingPartial) {
  EJCL_CONTEXT c = Context(a_);
  std::string whole = Head(a_, c);
  ASSERT_FALSE(whole.empty());
  LONG code = 0;
  EXPECT_EQ(Head(a_, c, &code, static_cast<DWORD>(whole.size() + 1)), whole) << code;
  Head(a_, c, &code, static_cast<DWORD>(whole.size()));
  EXPECT_EQ(code, EJCL_ERR_ROOM);
}

TEST_F(EjclTest, TrailerEndOfJobAndUniversalExit) {
  char buf[64];
  EXPECT_EQ(ejcl_bufferSizeTail(a_.ddd->main, a_.ddd->referenced), 23);
  LONG n = ejcl_getEJCLCommandsTail(a_.ddd->main, a_.ddd->referenced, buf, sizeof buf);
  EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), kUel + "@PJL EOJ\n");
  n = ejcl_getEJCLCommandsEndOfJob(a_.ddd->main, a_.ddd->referenced, buf, sizeof buf);
  EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), "@PJL EOJ\n");
  EXPECT_EQ(ejcl_bufferSizeUniversalExit(), 14);
  n = ejcl_getEJCLCommandsUniversalExit(buf, sizeof buf);
  EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), kUel);
  EXPECT_EQ(ejcl_getEJCLCommandsUniversalExit(buf, 9), EJCL_ERR_ROOM);
  Model& plain = Patched(0);
  EXPECT_EQ(ejcl_bufferSizeEndOfJob(plain.ddd->main, plain.ddd->referenced), 11);
  n = ejcl_getEJCLCommandsTail(plain.ddd->main, plain.ddd->referenced, buf, sizeof buf);
  EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), kUel + "@EOJO\n");
  EXPECT_EQ(ejcl_getEJCLCommandsTail(plain.ddd->main, plain.ddd->referenced, buf, 15), EJCL_ERR_ROOM);
}

}  // namespace
}  // namespace kestrel::test::ejcl
