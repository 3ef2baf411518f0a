// The resource container: the bytes of a resource module (kestrelrs.zrs) and
// of the resources a shared library carries. Written by the resource compiler
// (tools/krc), read by the loader. This file and rescontainer.cpp use nothing
// else of the platform, so the compiler and the fuzz target build them too.
//
// Every number is little-endian.
//
//   header, 16 bytes
//     0   4  magic "KRES"
//     4   2  format version, 1
//     6   2  reserved, 0
//     8   4  number of entries N
//    12   4  size of the whole container in bytes (must equal the file size)
//   directory, N entries of 12 bytes from offset 16, sorted by type then id,
//   no (type, id) twice:
//     0   2  type, non-zero (RT_BITMAP 2, RT_ICON 3, RT_DIALOG 5, RT_STRING 6,
//            RT_RCDATA 10, RT_GROUP_ICON 14, or any other number)
//     2   2  id, non-zero
//     4   4  offset of the data from the start of the container: a multiple
//            of 4, not before the end of the directory
//     8   4  length of the data in bytes
//   data: the resources' bytes, each zero-padded to a multiple of 4.
//
// A string table is kept in blocks of 16 strings, as Windows lays it out:
// string s lives in the RT_STRING resource with id s / 16 + 1, as the
// (s % 16)th of 16 counted strings, each a 16-bit length and then that many
// UTF-16 units without a NUL. An unused slot has length 0. Every string
// block must hold its 16 strings within its length.
//
// The reader checks all of this before anything is used, so a truncated or
// corrupt container is refused whole. Bytes inside a resource are not checked
// (there is no checksum): they belong to whoever reads the resource.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kp::res {

inline constexpr uint8_t kMagic[4] = {'K', 'R', 'E', 'S'};
inline constexpr uint16_t kVersion = 1;
inline constexpr size_t kHeaderSize = 16;
inline constexpr size_t kEntrySize = 12;
inline constexpr uint16_t kTypeString = 6;
inline constexpr unsigned kStringsPerBlock = 16;

struct Entry {
  uint16_t type;
  uint16_t id;
  uint32_t offset;
  uint32_t length;
};

enum class Status {
  kOk,
  kTruncated,       // shorter than its header, directory or stated size
  kBadMagic,        // not a container at all
  kBadVersion,      // a format version this reader does not know
  kBadSize,         // the stated size is not the size given
  kBadDirectory,    // entries out of order, repeated, or with a zero type/id
  kBadEntry,        // data outside the container, misaligned or overlapping the directory
  kBadStringBlock,  // a string block whose strings run past its end
};

const char* Describe(Status status);

// True when the bytes begin like a container (the magic), whatever follows.
bool LooksLikeContainer(const uint8_t* data, size_t size);

// Checks a whole container and lists its entries. `entries` is filled only on
// kOk. `data` must be 4-byte aligned so that string units can be read in place.
Status Parse(const uint8_t* data, size_t size, std::vector<Entry>& entries);

// The entry for (type, id) in a list from Parse, or null.
const Entry* Find(const std::vector<Entry>& entries, uint16_t type, uint16_t id);

// True when a string block holds its 16 counted strings within `length`.
bool IsValidStringBlock(const uint8_t* block, size_t length);

// Locates string `index` (0..15) of a valid block: its units begin at byte
// `unitsOffset` of the block and number `count`. False when the block is not
// valid or the index is out of range.
bool LocateString(const uint8_t* block, size_t length, unsigned index, size_t& unitsOffset, uint16_t& count);

// Writing (the resource compiler).
struct Item {
  uint16_t type;
  uint16_t id;
  std::vector<uint8_t> bytes;
};

// The bytes of a string block from its 16 strings (each at most 65535 units).
std::vector<uint8_t> BuildStringBlock(const std::array<std::u16string, kStringsPerBlock>& strings);

// A container of the items, sorted by (type, id). The caller gives no
// (type, id) twice and no zero type or id.
std::vector<uint8_t> Build(std::vector<Item> items);

}  // namespace kp::res
