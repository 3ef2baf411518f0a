// Fixture of the reader's tests: writes hand-made files below the test's
// platform root and opens them.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "ddd_model.h"
#include "kestrel/core/ddd.h"
#include "kplatform/kwindows.h"
#include "temp_root.h"

namespace kestrel::test::ddd {

inline std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }
inline std::string Narrow(LPCWSTR s) {
  std::string out;
  if (s)
    for (; *s; ++s) out += static_cast<char>(*s < 0x80 ? *s : '?');
  return out;
}

class DddTest : public RootedTest {
 protected:
  DDDFILE main_{};
  DDDFILE ref_{};

  void TearDown() override {
    if (ref_.open) DFILE_CloseFileX(&ref_);
    if (main_.open) DFILE_CloseFileX(&main_);
    EXPECT_EQ(KpMappedViewCount(), 0u);
  }

  // Writes a file into C:\ddd\ and answers its Windows path.
  std::u16string Put(const std::string& name, const std::string& bytes) {
    WriteHostFile(root_.host("c/ddd/" + name), bytes);
    return u"C:\\ddd\\" + Wide(name);
  }

  WORD OpenPair(const std::string& mainBytes, const std::string& refBytes, const std::string& name = "model.DDD") {
    if (!refBytes.empty()) Put("modelref.DDD", refBytes);
    std::u16string path = Put(name, mainBytes);
    return ddd_OpenFile(path.c_str(), 0, &main_, &ref_);
  }

  WORD OpenModel(long format = 1280) {
    ModelBytes m = BuildModel(format);
    return OpenPair(m.main, m.ref);
  }

  // Opens raw bytes as a lone file (no header checks) for primitive reads.
  void OpenRaw(const std::string& bytes) {
    std::u16string path = Put("raw.bin", bytes);
    ASSERT_EQ(DFILE_OpenFileX(path.c_str(), &main_, nullptr), DDD_OK);
    main_.location = DDD_LOC_MAIN;
  }

  void* Get(WORD depth, WORD category, WORD id) {
    void* rec = nullptr;
    WORD r = ddd_GetDataByIDX(depth, &main_, &ref_, category, id, 0, &rec);
    EXPECT_EQ(r, DDD_OK) << "category " << category << " id " << id;
    return rec;
  }
};

// Frees a record at the end of a scope.
class Held {
 public:
  explicit Held(void* p = nullptr) : p_(p) {}
  ~Held() { ddd_Free(&p_, DDD_KIND_ANY); }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
  template <typename T>
  T* as() const {
    return static_cast<T*>(p_);
  }
  void** out() { return &p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  void* p_;
};

}  // namespace kestrel::test::ddd
