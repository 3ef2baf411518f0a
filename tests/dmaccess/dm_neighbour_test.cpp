// Every successful set changes its own item and the members documented to
// go with it, nothing else; and no record contents, however hostile, make a
// get read outside the records or answer a string that does not end in them.
#include <gtest/gtest.h>

#include <set>

#include "kestreldm_records.h"

namespace kestreldm_test {
namespace {

bool IsFlagId(uint16_t id) {
  return (id >= 1281 && id <= 1376) || (id >= 4097 && id <= 4160) || (id >= 4609 && id <= 4640);
}

// What a get of an id shows: the answer and, for strings and fonts, the text.
struct View {
  Got got;
  std::string bytes;
  bool operator==(const View&) const = default;
};

View Look(Records& r, uint16_t id) {
  View v{r.Get(id), {}};
  if (v.got.status == 0 && (v.got.type == 6 || v.got.type == 9))
    v.bytes.assign(reinterpret_cast<const char*>(r.base(v.got.kind) + v.got.value), v.got.size);
  return v;
}

// The members whose answers may change with a set of `id` besides its own.
std::set<uint16_t> Coupled(uint16_t id) {
  std::set<uint16_t> c;
  auto font = [&](uint16_t record, uint16_t first, uint16_t last) {
    if (id == record)
      for (uint16_t m = first; m <= last; ++m) c.insert(m);
    if (id >= first && id <= last) c.insert(record);
  };
  font(304, 305, 319);  // the stamp font and its members
  font(357, 358, 372);  // the header/footer font and its members
  auto same = [&](std::initializer_list<uint16_t> ids) {
    for (uint16_t a : ids)
      if (a == id) c.insert(ids.begin(), ids.end());
  };
  same({14, 20, 21});    // resolution and its halves
  same({309, 311, 310});  // stamp escapement, its check copy in lfOrientation
  same({362, 364, 363});
  same({297, 298});      // the stamp name under two ids
  if (id >= 1281 && id <= 1312) c.insert(260);  // flags and their words
  if (id >= 1313 && id <= 1344) c.insert(261);
  if (id >= 1345 && id <= 1376) c.insert(462);
  if (id == 260) for (uint16_t f = 1281; f <= 1312; ++f) c.insert(f);
  if (id == 261) for (uint16_t f = 1313; f <= 1344; ++f) c.insert(f);
  if (id == 462) for (uint16_t f = 1345; f <= 1376; ++f) c.insert(f);
  if (id == 267) c.insert(325);  // derived settings
  if (id == 320) c.insert(326);
  if (id == 341) c.insert(344);
  c.erase(id);
  return c;
}

// A new value for the id that differs from the old one and fits it.
uint16_t NewValue(Records& r, uint16_t id, const Got& old) {
  if (old.type == 6) {
    uint16_t st = r.SetString(id, "Q");
    return st == 4 ? r.SetString(id, "") : st;
  }
  if (old.type == 9) {
    uint8_t font[50];
    for (int i = 0; i < 50; ++i) font[i] = static_cast<uint8_t>(0x30 + i);
    font[49] = 0;  // the face name ends within the font
    return dma_SetValue(id, r.dm.data(), r.pd.data(), 9, 50, font);
  }
  uint32_t v;
  if (IsFlagId(id)) v = old.value ? 0 : 1;
  else if (id == 267) v = (old.value + 1) % 9;
  else if (id == 320 || id == 341) v = old.value == 1 ? 0 : 1;
  else if (id == 7) v = old.value == 1 ? 2 : 1;
  else if (id == 295) v = 1;
  else if (old.size == 4) v = old.value ^ 0x00A5A5A5u;
  else v = (old.value + 1) & 0x7F;
  return r.Set(id, old.type, old.size, v);
}

void Widen(long& first, long& last, long at) {
  if (first < 0) first = at;
  last = at;
}

TEST(KestreldmNeighbours, EverySetChangesOnlyItsOwnBytesAndCoupledMembers) {
  Records r;
  r.Randomize(12);
  // Orientation, pages per sheet and the escapement copies in a state every
  // set can work from; strings end within their capacity.
  ASSERT_EQ(r.Set(7, 2, 2, 1), 0);
  ASSERT_EQ(r.Set(295, 3, 2, 1), 0);
  ASSERT_EQ(r.Set(311, 10, 2, 0), 0);
  ASSERT_EQ(r.Set(364, 10, 2, 0), 0);
  std::vector<uint16_t> ids;
  for (uint32_t id = 1; id <= 8212; ++id) {
    Got g = r.Get(static_cast<uint16_t>(id));
    if (g.status == 16 && g.type == 0) {
      // A string with no NUL in the random bytes: make it one.
      const uint16_t st = r.SetString(static_cast<uint16_t>(id), "");
      if (st == 0) g = r.Get(static_cast<uint16_t>(id));
    }
    if (g.status == 0) ids.push_back(static_cast<uint16_t>(id));
  }
  ASSERT_GT(ids.size(), 800u);

  for (uint16_t id : ids) {
    SCOPED_TRACE(id);
    std::vector<View> before;
    for (uint16_t other : ids) before.push_back(Look(r, other));
    const std::vector<uint8_t> dm = r.dm, pd = r.pd;
    Got old = r.Get(id);
    // The escapements answer only while their two copies agree, which a set
    // of a copy before them may have ended.
    if ((id == 311 || id == 364) && old.status == 16) old = Got{0, 10, 2, 0, 0};
    ASSERT_EQ(NewValue(r, id, old), 0);

    // Scalars: the changed bytes lie in one window of the value's size.
    if (old.type != 6 && old.type != 9 && Coupled(id).empty() && !IsFlagId(id)) {
      long first = -1, last = -1;
      for (size_t i = 0; i < dm.size(); ++i)
        if (dm[i] != r.dm[i]) Widen(first, last, static_cast<long>(i));
      for (size_t i = 0; i < pd.size(); ++i)
        if (pd[i] != r.pd[i]) Widen(first, last, static_cast<long>(i) + 100000);  // apart from the devmode
      if (first >= 0) {
        EXPECT_LT(last - first, old.size) << "bytes " << first << "-" << last;
      }
    }
    const std::set<uint16_t> coupled = Coupled(id);
    for (size_t k = 0; k < ids.size(); ++k) {
      if (ids[k] == id || coupled.count(ids[k])) continue;
      EXPECT_EQ(Look(r, ids[k]), before[k]) << "set of " << id << " changed " << ids[k];
    }
  }
}

TEST(KestreldmHostile, ArbitraryFullSizeRecords) {
  for (uint32_t seed : {1u, 2u, 3u, 0xFFu, 0x00u}) {
    SCOPED_TRACE(seed);
    Records r;
    if (seed == 0xFF || seed == 0x00)
      r.Fill(static_cast<uint8_t>(seed));  // 0xFF: every string unterminated at full capacity
    else
      r.Randomize(seed);
    for (uint32_t id = 0; id <= 9000; ++id) {
      Got g = r.Get(static_cast<uint16_t>(id));
      ASSERT_TRUE(g.status == 0 || g.status == 1 || g.status == 16) << id;
      if (g.status != 0 || (g.type != 6 && g.type != 9)) continue;
      const size_t recordSize = g.kind == 0 ? KESTRELDM_DEVMODE_SIZE
                                : g.kind == 1 ? KESTRELDM_NONDEVMODE_SIZE
                                              : KESTRELDM_PRINTERDATA_SIZE;
      ASSERT_LE(g.value + g.size, recordSize) << id;
      if (g.type == 6) {
        EXPECT_EQ(r.base(g.kind)[g.value + g.size - 1], 0) << id;
      }
    }
    if (seed == 0xFF) {
      EXPECT_EQ(r.Get(1).status, 16);
    }
  }
}

}  // namespace
}  // namespace kestreldm_test
