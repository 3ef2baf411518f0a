#include <gtest/gtest.h>
#include <kplatform/kernel32_string.h>
#include <kplatform/user32_window.h>

#include <cstdint>

namespace {

HINSTANCE Instance(uintptr_t value) { return reinterpret_cast<HINSTANCE>(value); }

TEST(Windows, ATreeIsDestroyedWithItsDescendantsAndTheirData) {
  HWND top = KpCreateTestWindow(nullptr, Instance(0x1234'0000'5678));
  HWND child = KpCreateTestWindow(top, Instance(0x10));
  HWND grandchild = KpCreateTestWindow(child, nullptr);
  ASSERT_TRUE(top && child && grandchild);
  EXPECT_EQ(child, GetParent(grandchild));
  EXPECT_EQ(top, GetParent(child));
  SetLastError(5);
  EXPECT_EQ(nullptr, GetParent(top));
  EXPECT_EQ(0u, GetLastError());  // a top-level window, not a failure
  // The 32-bit call keeps the low half of the instance handle.
  EXPECT_EQ(0x5678, GetWindowLongW(top, GWL_HINSTANCE));
  SetWindowLongPtrW(grandchild, DWLP_USER, 77);
  KpSetActiveWindow(child);

  EXPECT_TRUE(DestroyWindow(child));
  EXPECT_TRUE(IsWindow(top));
  EXPECT_FALSE(IsWindow(child));
  EXPECT_FALSE(IsWindow(grandchild));
  EXPECT_EQ(nullptr, GetActiveWindow());
  EXPECT_EQ(0, GetWindowLongPtrW(grandchild, DWLP_USER));
  EXPECT_FALSE(DestroyWindow(child));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
  EXPECT_TRUE(DestroyWindow(top));
}

TEST(Windows, HandlesThatAreNoWindowFailWithTheirError) {
  HWND madeUp = reinterpret_cast<HWND>(0x10);
  struct Case {
    const char* call;
    bool failed;
  } cases[] = {
      {"IsWindow", !IsWindow(madeUp)},
      {"GetParent", GetParent(madeUp) == nullptr},
      {"GetWindowLongW", GetWindowLongW(madeUp, GWL_ID) == 0},
      {"EnableWindow", !EnableWindow(madeUp, FALSE) && !IsWindowEnabled(madeUp)},
      {"KpCreateTestWindow under it", KpCreateTestWindow(madeUp, nullptr) == nullptr},
      {"KpSetActiveWindow", KpSetActiveWindow(madeUp) == nullptr && GetActiveWindow() == nullptr},
  };
  for (const Case& c : cases) EXPECT_TRUE(c.failed) << c.call;
  HWND w = KpCreateTestWindow(nullptr, nullptr);
  EXPECT_EQ(0, GetWindowLongW(w, 99));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_INDEX), GetLastError());
  DestroyWindow(w);
}

TEST(Windows, EnableWindowAnswersWhetherItWasDisabled) {
  HWND w = KpCreateTestWindow(nullptr, nullptr);
  EXPECT_TRUE(IsWindowEnabled(w));
  EXPECT_FALSE(EnableWindow(w, FALSE));
  EXPECT_FALSE(IsWindowEnabled(w));
  EXPECT_TRUE(EnableWindow(w, FALSE));
  EXPECT_TRUE(EnableWindow(w, TRUE));
  EXPECT_TRUE(IsWindowEnabled(w));
  EXPECT_EQ(nullptr, KpSetActiveWindow(w));
  EXPECT_EQ(w, GetActiveWindow());
  EXPECT_EQ(w, KpSetActiveWindow(nullptr));
  DestroyWindow(w);
}

}  // namespace
