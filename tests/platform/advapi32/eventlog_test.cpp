// The event log: what a report writes comes back through the test query
// field by field, and refused calls write nothing.
#include <gtest/gtest.h>
#include <kplatform/kwindows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "temp_root.h"

namespace {

using kestrel::test::RootedTest;

std::vector<std::u16string> Strings(const KP_EVENT_RECORD& r) {
  std::vector<std::u16string> out;
  const WCHAR* p = r.strings;
  for (DWORD i = 0; i < r.stringCount; ++i) {
    out.emplace_back(p);
    p += out.back().size() + 1;
  }
  return out;
}

class EventLog : public RootedTest {};

TEST_F(EventLog, ReportsReadBackFieldByField) {
  struct Case {
    const char16_t* source;
    WORD type, category;
    DWORD eventId, dataSize;
    std::vector<std::u16string> strings;
  } const cases[] = {
      {u"Scriva CK350 LanguageMonitor", EVENTLOG_INFORMATION_TYPE, 0, 0, 0, {u"one line"}},
      {u"Kestrel", EVENTLOG_ERROR_TYPE, 7, 0xC0000001u, 3, {}},
      {u"Kestrel", EVENTLOG_WARNING_TYPE, 0xFFFF, 42, 0, {u"", u"second"}},
      // the characters that separate fields and lines, and text beyond ASCII
      {u"Tab\tand\\back", EVENTLOG_AUDIT_FAILURE, 1, 1, 0, {u"a\tb", u"line\r\nbreak", u"\\t is no tab", u"Zürich ✓"}},
  };
  size_t handles = KpOpenHandleCount();
  EXPECT_EQ(KpEventLogCount(), 0u);
  for (const Case& c : cases) {
    HANDLE log = RegisterEventSourceW(nullptr, c.source);
    ASSERT_NE(log, nullptr);
    std::vector<LPCWSTR> strings;
    for (const auto& s : c.strings) strings.push_back(s.c_str());
    BYTE data[8] = {1, 2, 3};
    ASSERT_TRUE(ReportEventW(log, c.type, c.category, c.eventId, nullptr, static_cast<WORD>(strings.size()),
                             c.dataSize, strings.empty() ? nullptr : strings.data(), c.dataSize ? data : nullptr))
        << GetLastError();
    EXPECT_TRUE(DeregisterEventSource(log));
  }
  EXPECT_EQ(KpOpenHandleCount(), handles);
  ASSERT_EQ(KpEventLogCount(), std::size(cases));
  for (DWORD i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    KP_EVENT_RECORD r;
    ASSERT_TRUE(KpEventLogRead(i, &r)) << GetLastError();
    EXPECT_EQ(std::u16string(r.source), c.source);
    EXPECT_EQ(r.type, c.type);
    EXPECT_EQ(r.category, c.category);
    EXPECT_EQ(r.eventId, c.eventId);
    EXPECT_EQ(r.dataSize, c.dataSize);
    EXPECT_EQ(Strings(r), c.strings);
    SYSTEMTIME now;
    GetSystemTime(&now);
    EXPECT_EQ(r.time.wYear, now.wYear);
  }
  // one line per event
  std::string file = kestrel::test::ReadHostFile(root_.host("eventlog/Application.log"));
  EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), static_cast<long>(std::size(cases)));
}

TEST_F(EventLog, RefusedCallsWriteNothing) {
  HANDLE log = RegisterEventSourceW(nullptr, u"Kestrel");
  ASSERT_NE(log, nullptr);
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  LPCWSTR one[] = {u"text"};
  LPCWSTR missing[] = {nullptr};
  struct Case {
    const char* name;
    std::function<BOOL()> call;
    DWORD error;
  } const cases[] = {
      {"another machine", [] { return RegisterEventSourceW(u"\\\\OTHER", u"Kestrel") != nullptr; },
       RPC_S_SERVER_UNAVAILABLE},
      {"no source", [] { return RegisterEventSourceW(nullptr, nullptr) != nullptr; }, ERROR_INVALID_PARAMETER},
      {"empty source", [] { return RegisterEventSourceW(u"", u"") != nullptr; }, ERROR_INVALID_PARAMETER},
      {"an event is no event source",
       [&] { return ReportEventW(event, EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 1, 0, one, nullptr); },
       ERROR_INVALID_HANDLE},
      {"unknown type", [&] { return ReportEventW(log, 3, 0, 0, nullptr, 1, 0, one, nullptr); },
       ERROR_INVALID_PARAMETER},
      {"strings counted, none given",
       [&] { return ReportEventW(log, EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 1, 0, nullptr, nullptr); },
       ERROR_INVALID_PARAMETER},
      {"a null string", [&] { return ReportEventW(log, EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 1, 0, missing, nullptr); },
       ERROR_INVALID_PARAMETER},
      {"data counted, none given",
       [&] { return ReportEventW(log, EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 0, 4, nullptr, nullptr); },
       ERROR_INVALID_PARAMETER},
      {"deregistering an event", [&] { return DeregisterEventSource(event); }, ERROR_INVALID_HANDLE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetLastError(0);
    EXPECT_FALSE(c.call());
    EXPECT_EQ(GetLastError(), c.error);
  }
  EXPECT_EQ(KpEventLogCount(), 0u);

  EXPECT_TRUE(DeregisterEventSource(log));
  EXPECT_FALSE(DeregisterEventSource(log));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(ReportEventW(log, EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 1, 0, one, nullptr)) << "a closed source";
  CloseHandle(event);

  // the query: past the end, and a line that is not ours
  KP_EVENT_RECORD r;
  EXPECT_FALSE(KpEventLogRead(0, &r));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
  kestrel::test::WriteHostFile(root_.host("eventlog/Application.log"), "not\tan event\n");
  EXPECT_EQ(KpEventLogCount(), 1u);
  EXPECT_FALSE(KpEventLogRead(0, &r));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
}

}  // namespace
