#include <kplatform/kwindows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "temp_root.h"

namespace {

using kestrel::test::ReadHostFile;
using kestrel::test::RootedTest;
using kestrel::test::WriteHostFile;

constexpr const char16_t* kFile = u"C:\\Data\\test.ini";
constexpr const char* kHostFile = "c/Data/test.ini";

std::string narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

// A double-NUL list as its strings.
std::vector<std::u16string> splitList(const WCHAR* buffer, DWORD length) {
  std::vector<std::u16string> out;
  size_t start = 0;
  for (size_t i = 0; i < length; ++i) {
    if (buffer[i] == 0) {
      out.emplace_back(buffer + start, i - start);
      start = i + 1;
    }
  }
  return out;
}

class Profile : public RootedTest {
 protected:
  void write(const std::string& bytes) { WriteHostFile(root_.host(kHostFile), bytes); }
  std::string file() { return ReadHostFile(root_.host(kHostFile)); }

  std::u16string get(const char16_t* section, const char16_t* key, const char16_t* def = u"(default)",
                     DWORD size = 256, DWORD* answer = nullptr) {
    std::vector<WCHAR> buffer(size + 1, u'#');
    DWORD n = GetPrivateProfileStringW(section, key, def, buffer.data(), size, kFile);
    if (answer != nullptr) *answer = n;
    return std::u16string(buffer.data(), n);
  }
  std::vector<std::u16string> sectionNames(DWORD size = 1024) {
    std::vector<WCHAR> buffer(size);
    return splitList(buffer.data(), GetPrivateProfileSectionNamesW(buffer.data(), size, kFile));
  }
  std::vector<std::u16string> section(const char16_t* name, DWORD size = 1024) {
    std::vector<WCHAR> buffer(size);
    return splitList(buffer.data(), GetPrivateProfileSectionW(name, buffer.data(), size, kFile));
  }
  std::vector<std::u16string> keys(const char16_t* name, DWORD size = 1024) {
    std::vector<WCHAR> buffer(size);
    return splitList(buffer.data(), GetPrivateProfileStringW(name, nullptr, u"", buffer.data(), size, kFile));
  }
};

// ---------------------------------------------------------------------------
// Reading: one table of file layouts and lookups.

TEST_F(Profile, ReadingValues) {
  struct Case {
    const char* what;
    std::string file;
    const char16_t* section;
    const char16_t* key;
    std::u16string expected;
  };
  const Case cases[] = {
      {"plain", "[Header]\r\nModel Name=K350\r\n", u"Header", u"Model Name", u"K350"},
      {"blanks around key and value", "[Header]\r\n  Model Name  =  K350 PCL  \r\n", u"Header", u"Model Name",
       u"K350 PCL"},
      {"blanks around the names asked for", "[Header]\r\nKey=v\r\n", u" Header ", u" Key\t", u"v"},
      {"section and key without case", "[HeAdEr]\r\nMODEL name=K350\r\n", u"hEADER", u"model NAME", u"K350"},
      {"double quotes stripped", "[s]\r\nk=\"  spaced  \"\r\n", u"s", u"k", u"  spaced  "},
      {"single quotes stripped", "[s]\r\nk='x'\r\n", u"s", u"k", u"x"},
      {"mismatched quotes kept", "[s]\r\nk=\"x'\r\n", u"s", u"k", u"\"x'"},
      {"a lone quote kept", "[s]\r\nk=\"\r\n", u"s", u"k", u"\""},
      {"comment line is no key", "[s]\r\n;k=hidden\r\n", u"s", u";k", u"(default)"},
      {"text after a value is part of it", "[s]\r\nk=v ; not a comment\r\n", u"s", u"k", u"v ; not a comment"},
      {"'=' in a value", "[s]\r\nk=a=b\r\n", u"s", u"k", u"a=b"},
      {"empty value", "[s]\r\nk=\r\n", u"s", u"k", u""},
      {"bare line is a key without value", "[s]\r\nflag\r\n", u"s", u"flag", u""},
      {"first of duplicate keys", "[s]\r\nk=1\r\nK=2\r\n", u"s", u"k", u"1"},
      {"first of duplicate sections", "[s]\r\nk=1\r\n[t]\r\n[S]\r\nk=2\r\nj=3\r\n", u"s", u"k", u"1"},
      {"key only in the duplicate section", "[s]\r\nk=1\r\n[S]\r\nj=3\r\n", u"s", u"j", u"(default)"},
      {"key before any section", "k=0\r\n[s]\r\n", u"s", u"k", u"(default)"},
      {"missing section", "[s]\r\nk=1\r\n", u"t", u"k", u"(default)"},
      {"missing key", "[s]\r\nk=1\r\n", u"s", u"j", u"(default)"},
      {"key in the next section", "[s]\r\n[t]\r\nk=1\r\n", u"s", u"k", u"(default)"},
      {"blanks inside the brackets", "[  Paper Margin ]\r\nA4=L1\r\n", u"paper margin", u"a4", u"L1"},
      {"text after the bracket ignored", "[s] trailing\r\nk=1\r\n", u"s", u"k", u"1"},
      {"'[' without ']' is a key line", "[s]\r\n[k=1\r\n", u"s", u"[k", u"1"},
      {"LF line ends", "[s]\nk=lf\n", u"s", u"k", u"lf"},
      {"CR line ends", "[s]\rk=cr\r", u"s", u"k", u"cr"},
      {"no line end at the end", "[s]\r\nk=last", u"s", u"k", u"last"},
      {"UTF-8 byte-order mark", "\xEF\xBB\xBF[s]\r\nk=caf\xC3\xA9\r\n", u"s", u"k", u"café"},
      {"UTF-16LE byte-order mark", std::string("\xFF\xFE[\0s\0]\0\r\0\n\0k\0=\0\xE9\0", 18), u"s", u"k", u"é"},
      {"empty file", "", u"s", u"k", u"(default)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    write(c.file);
    EXPECT_EQ(narrow(c.expected), narrow(get(c.section, c.key)));
    EXPECT_EQ(c.expected, get(c.section, c.key));
  }
}

TEST_F(Profile, DefaultsAndAMissingFile) {
  std::filesystem::create_directories(root_.host("c/Data"));
  SetLastError(0);
  EXPECT_EQ(u"dflt", get(u"s", u"k", u"dflt  "));  // blanks at the end of the default go
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  EXPECT_EQ(u"", get(u"s", u"k", nullptr));
  EXPECT_EQ(u"  lead", get(u"s", u"k", u"  lead"));
  EXPECT_TRUE(sectionNames().empty());
  EXPECT_TRUE(section(u"s").empty());
  EXPECT_EQ(77u, GetPrivateProfileIntW(u"s", u"k", 77, kFile));
  EXPECT_FALSE(std::filesystem::exists(root_.host(kHostFile))) << "reading creates nothing";

  write("[s]\r\nk=v\r\n");
  SetLastError(ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(u"v", get(u"s", u"k"));
  EXPECT_EQ(0u, GetLastError());
  // A key list of a missing section gives the default.
  EXPECT_EQ(u"none", get(u"t", nullptr, u"none"));
}

TEST_F(Profile, ListsKeepFileOrderAndSkipComments) {
  write(
      "; leading comment\r\n"
      "[Header]\r\n"
      "Model Name = K350\r\n"
      "; Size=3\r\n"
      "\r\n"
      "DRVVersion=  0x0102\r\n"
      "bare\r\n"
      "model name=again\r\n"
      "[Sel Comment]\r\n"
      "Num=1\r\n"
      "[HEADER]\r\n"
      "Extra=1\r\n"
      "[1025]\r\n"
      "Data=3\r\n");
  EXPECT_EQ((std::vector<std::u16string>{u"Header", u"Sel Comment", u"1025"}), sectionNames());
  EXPECT_EQ((std::vector<std::u16string>{u"Model Name=K350", u"DRVVersion=0x0102", u"bare", u"model name=again"}),
            section(u"header"));
  EXPECT_EQ((std::vector<std::u16string>{u"Model Name", u"DRVVersion", u"bare"}), keys(u"HEADER"));
  EXPECT_TRUE(section(u"Missing").empty());
}

// ---------------------------------------------------------------------------
// Truncating copies: single strings answer size - 1, lists size - 2.

TEST_F(Profile, TruncatingCopies) {
  write("[Header]\r\nModel Name=abcdef\r\nK2=x\r\n[Second]\r\n[Third]\r\n");
  struct Case {
    const char* what;
    const char16_t* section;
    const char16_t* key;
    DWORD size;
    DWORD answer;
    std::u16string contents;  // the buffer up to the answer plus the NULs after it
  };
  const Case cases[] = {
      {"value fits", u"Header", u"Model Name", 7, 6, std::u16string(u"abcdef\0", 7)},
      {"value cut", u"Header", u"Model Name", 4, 3, std::u16string(u"abc\0", 4)},
      {"value in one char", u"Header", u"Model Name", 1, 0, std::u16string(u"\0", 1)},
      {"default cut", u"Header", u"Nope", 3, 2, std::u16string(u"(d\0", 3)},
      {"section list fits", nullptr, nullptr, 21, 20, std::u16string(u"Header\0Second\0Third\0\0", 21)},
      {"section list cut", nullptr, nullptr, 12, 10, std::u16string(u"Header\0Sec\0\0", 12)},
      {"section list cut after a whole name", nullptr, nullptr, 9, 7, std::u16string(u"Header\0\0\0", 9)},
      {"key list cut", u"Header", nullptr, 8, 6, std::u16string(u"Model \0\0", 8)},
      {"key list fits", u"Header", nullptr, 15, 14, std::u16string(u"Model Name\0K2\0\0", 15)},
      {"list in two chars", nullptr, nullptr, 2, 0, std::u16string(u"\0\0", 2)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<WCHAR> buffer(c.size + 4, u'#');
    DWORD answer = GetPrivateProfileStringW(c.section, c.key, u"(default)", buffer.data(), c.size, kFile);
    EXPECT_EQ(c.answer, answer);
    EXPECT_EQ(narrow(c.contents), narrow(std::u16string(buffer.data(), c.contents.size())));
    EXPECT_EQ(c.contents, std::u16string(buffer.data(), c.contents.size()));
    EXPECT_EQ(u'#', buffer[c.size]) << "nothing written past the size given";
  }
  WCHAR one[2] = {u'#', u'#'};
  EXPECT_EQ(0u, GetPrivateProfileStringW(u"Header", u"Model Name", u"", one, 0, kFile));
  EXPECT_EQ(u'#', one[0]);

  std::vector<WCHAR> buffer(10, u'#');
  EXPECT_EQ(8u, GetPrivateProfileSectionW(u"Header", buffer.data(), 10, kFile));
  EXPECT_EQ(std::u16string(u"Model Na\0\0", 10), std::u16string(buffer.data(), 10));
}

TEST_F(Profile, Numbers) {
  struct Case {
    const char* value;  // null: no such key
    UINT expected;
  };
  const Case cases[] = {
      {"42", 42},         {"  -7 ", static_cast<UINT>(-7)}, {"0x1F", 31}, {"0XfF", 255}, {"12abc", 12},
      {"abc", 0},         {"\"15\"", 15},                   {"+3", 3},    {"", 99},      {nullptr, 99},
      {"4294967297", 1},  // wraps around, 32 bits
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value != nullptr ? c.value : "(missing)");
    write(c.value != nullptr ? std::string("[LOG]\r\nLog=") + c.value + "\r\n" : "[LOG]\r\n");
    EXPECT_EQ(c.expected, GetPrivateProfileIntW(u"log", u"LOG", 99, kFile));
  }
}

// ---------------------------------------------------------------------------
// Writing.

TEST_F(Profile, WritingKeepsOrderAndOtherLines) {
  write(
      "; settings\n"
      "[Header]\n"
      "Model Name = K350\n"
      "; keep me\n"
      "Lang=1041\n"
      "\n"
      "[Paper Margin]\n"
      "A4=L1,R1,T1,B1\n"
      "A4=duplicate\n"
      "[Old]\n"
      "x=1\n"
      "[header]\n"
      "Tail=1\n");
  ASSERT_TRUE(WritePrivateProfileStringW(u"HEADER", u"model name", u"K260", kFile));  // in place, name kept
  ASSERT_TRUE(WritePrivateProfileStringW(u"Header", u"DRVVersion", u"258", kFile));   // after the last key line
  ASSERT_TRUE(WritePrivateProfileStringW(u"Paper Margin", u"a4", nullptr, kFile));    // every duplicate goes
  ASSERT_TRUE(WritePrivateProfileStringW(u"old", nullptr, nullptr, kFile));
  ASSERT_TRUE(WritePrivateProfileStringW(u"1025", u"Data", u"3", kFile));  // a new section at the end
  EXPECT_EQ(
      "; settings\r\n"
      "[Header]\r\n"
      "Model Name=K260\r\n"
      "; keep me\r\n"
      "Lang=1041\r\n"
      "DRVVersion=258\r\n"
      "\r\n"
      "[Paper Margin]\r\n"
      "[header]\r\n"
      "Tail=1\r\n"
      "[1025]\r\n"
      "Data=3\r\n",
      file());
  EXPECT_EQ(u"K260", get(u"Header", u"Model Name"));

  // Deleting what is not there changes nothing, also no file.
  std::string before = file();
  EXPECT_TRUE(WritePrivateProfileStringW(u"Nope", u"k", nullptr, kFile));
  EXPECT_TRUE(WritePrivateProfileStringW(u"Nope", nullptr, nullptr, kFile));
  EXPECT_EQ(before, file());
  EXPECT_TRUE(WritePrivateProfileStringW(u"s", nullptr, nullptr, u"C:\\Data\\absent.ini"));
  EXPECT_FALSE(std::filesystem::exists(root_.host("c/Data/absent.ini")));
  // Deleting every section named "header" takes the duplicate too.
  ASSERT_TRUE(WritePrivateProfileStringW(u"Header", nullptr, nullptr, kFile));
  EXPECT_EQ("; settings\r\n[Paper Margin]\r\n[1025]\r\nData=3\r\n", file());
}

TEST_F(Profile, ANewFileIsWrittenAsTheFavouriteExportWritesIt) {
  std::filesystem::create_directories(root_.host("c/Data"));
  const char16_t* steps[][3] = {
      {u"Header", u"Model Name", u"Scriva K350"}, {u"Header", u"FavoriteFileVersion", u"100"},
      {u"Sel Comment", u"Size", u"6"},            {u"Sel Comment", u"String1", u"  two"},
      {u"Sel Comment", u"String2", u"lines "},    {u"Sel Comment", u"Num", u"2"},
  };
  for (auto& step : steps) ASSERT_TRUE(WritePrivateProfileStringW(step[0], step[1], step[2], kFile));
  EXPECT_EQ(
      "[Header]\r\nModel Name=Scriva K350\r\nFavoriteFileVersion=100\r\n"
      "[Sel Comment]\r\nSize=6\r\nString1=  two\r\nString2=lines \r\nNum=2\r\n",
      file());
  EXPECT_EQ((std::vector<std::u16string>{u"Header", u"Sel Comment"}), sectionNames());
  EXPECT_EQ(u"two", get(u"Sel Comment", u"String1")) << "blanks at the ends are not kept, as on Windows";
  EXPECT_EQ(2u, GetPrivateProfileIntW(u"Sel Comment", u"Num", 0, kFile));
}

TEST_F(Profile, RewritingKeepsTheFileEncoding) {
  // UTF-16LE stays UTF-16LE with its mark; 8-bit text in another code page
  // (0xE9 is "é" in 1252) survives byte for byte.
  write(std::string("\xFF\xFE[\0s\0]\0\r\0\n\0", 12));
  ASSERT_TRUE(WritePrivateProfileStringW(u"s", u"k", u"\u00E9\u4E2D", kFile));
  EXPECT_EQ(std::string("\xFF\xFE[\0s\0]\0\r\0\n\0k\0=\0\xE9\0\x2D\x4E\r\0\n\0", 24), file());
  EXPECT_EQ(u"\u00E9\u4E2D", get(u"s", u"k"));

  write("[s]\r\nname=Caf\xE9 \xFF\r\n");
  ASSERT_TRUE(WritePrivateProfileStringW(u"s", u"new", u"caf\u00E9", kFile));
  EXPECT_EQ("[s]\r\nname=Caf\xE9 \xFF\r\nnew=caf\xC3\xA9\r\n", file());

  write("\xEF\xBB\xBF[s]\r\n");
  ASSERT_TRUE(WritePrivateProfileStringW(u"s", u"k", u"v", kFile));
  EXPECT_EQ("\xEF\xBB\xBF[s]\r\nk=v\r\n", file());
}

TEST_F(Profile, WhatCouldNotBeReadBackIsRefused) {
  write("[s]\r\nk=v\r\n");
  struct Case {
    const char* what;
    const char16_t* section;
    const char16_t* key;
    const char16_t* value;
  };
  const Case cases[] = {
      {"no section", nullptr, u"k", u"v"},
      {"line break in a value", u"s", u"k", u"one\r\ntwo=2"},
      {"LF in a value", u"s", u"k", u"one\ntwo"},
      {"line break in a key", u"s", u"k\nx", u"v"},
      {"line break in a section", u"s\r[t]", u"k", u"v"},
      {"'=' in a key", u"s", u"a=b", u"v"},
      {"key that reads as a comment", u"s", u";k", u"v"},
      {"key that reads as a section", u"s", u" [t]", u"v"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetLastError(0);
    EXPECT_FALSE(WritePrivateProfileStringW(c.section, c.key, c.value, kFile));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ("[s]\r\nk=v\r\n", file());
  }
  EXPECT_TRUE(WritePrivateProfileStringW(nullptr, nullptr, nullptr, kFile));
}

TEST_F(Profile, AFailedWriteLeavesTheOldFile) {
  write("[s]\r\nk=old\r\n");
  HANDLE held = CreateFileW(kFile, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  SetLastError(0);
  EXPECT_FALSE(WritePrivateProfileStringW(u"s", u"k", u"new", kFile));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
  EXPECT_EQ(u"old", get(u"s", u"k")) << "reading is still allowed";
  CloseHandle(held);
  EXPECT_EQ("[s]\r\nk=old\r\n", file());
  size_t entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(root_.host("c/Data"))) {
    ++entries;
    EXPECT_EQ("test.ini", entry.path().filename().string()) << "no temporary file left behind";
  }
  EXPECT_EQ(1u, entries);
  EXPECT_TRUE(WritePrivateProfileStringW(u"s", u"k", u"new", kFile));
  EXPECT_EQ(u"new", get(u"s", u"k"));

  SetLastError(0);
  EXPECT_FALSE(WritePrivateProfileStringW(u"s", u"k", u"v", u"C:\\NoSuchFolder\\x.ini"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
}

TEST_F(Profile, ABareFileNameIsInTheWindowsDirectory) {
  ASSERT_TRUE(WritePrivateProfileStringW(u"s", u"k", u"v", u"kestrel.ini"));
  EXPECT_EQ("[s]\r\nk=v\r\n", ReadHostFile(root_.host("c/Windows/kestrel.ini")));
  WCHAR buffer[8];
  EXPECT_EQ(1u, GetPrivateProfileStringW(u"S", u"K", u"", buffer, 8, u"C:\\WINDOWS\\KESTREL.INI"));
}

}  // namespace
