// The item table of kestreldm: the group table aId_FuncTbl, the item lists
// and the three bit-flag tables, and the lookup both exports are built on.
// See README.md beside this file for how the narrow layout is derived.
#pragma once

#include <cstdint>

namespace kestreldm {

// Item types.
constexpr uint16_t kTypeFlag = 1;
constexpr uint16_t kTypeShort = 2;
constexpr uint16_t kTypeWord = 3;
constexpr uint16_t kTypeLong = 4;
constexpr uint16_t kTypeDword = 5;
constexpr uint16_t kTypeString = 6;
constexpr uint16_t kTypeNone = 7;
constexpr uint16_t kTypeByte = 8;
constexpr uint16_t kTypeFont = 9;
constexpr uint16_t kTypeFontMember = 10;

// One row of a group's item list; the list ends with a row whose id is 0.
struct DMA_ITEM {
  uint16_t id;
  uint16_t storedType;
  uint16_t reportedType;  // 0: the stored type
  uint32_t offset;        // in the item's record
  uint32_t capacity;      // string: characters with the NUL; font: 50; else 0
};

// One row of the group table; the table ends with a row whose items are null.
struct DMA_GROUP_ROW {
  uint16_t kind;  // 0 devmode, 1 non-devmode record, 2 printer data
  uint16_t lowId;
  uint16_t highId;
  const DMA_ITEM* items;
};

// One row of a bit-flag table; the table ends with id 0.
struct DMA_BITFLAG {
  uint16_t id;
  uint32_t mask;
};

// The tables, derived once from the devmode core's member order. valid is
// false when the derivation missed one of the fixed offsets; the library
// then answers 1 for every id (its group table is empty).
struct DmaTables {
  bool valid;
  const DMA_GROUP_ROW* groups;       // aId_FuncTbl
  const DMA_BITFLAG* devmodeFlags;   // DevmodeBitFlagTbl, 1281-1376
  const DMA_BITFLAG* printerFlags;   // PrinterDataBitFlagTbl, 4097-4160
  const DMA_BITFLAG* optionFlags;    // 4609-4640
  uint32_t nonDevmodeSize;
  uint32_t printerDataSize;
};
const DmaTables& dma_Tables();

// Bytes of a value of the type for the id; 0 when the type is refused.
uint16_t dma_GetDataSize(uint16_t type, uint16_t ddmId);

// The mask of a bit-flag id (1281-1376, 4097-4160, 4609-4640); 0 when the id
// is not a bit-flag id or its table lacks it.
uint32_t dma_GetBitFlagMask(uint16_t ddmId);
bool dma_IsBitFlagId(uint16_t ddmId);

// Lookup: the item of the id, its record kind and address.
struct DMA_INFO {
  const DMA_ITEM* item;
  uint16_t kind;
  uint8_t* address;
};
uint16_t dma_GetInfo(uint16_t ddmId, const void* devmode, const void* printerData, DMA_INFO* info);

// Type and size check of a set; size is the size as taken (4 for a bit-flag
// id that reports no type of its own).
uint16_t dma_CheckTypeAndSize(const DMA_ITEM& item, uint16_t type, uint16_t size, const void* value);

}  // namespace kestreldm
