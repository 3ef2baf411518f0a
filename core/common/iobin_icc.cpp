// The input-bin configuration table and the ICC profile check (see
// kestrel/core/papdat.h). Opening a profile file is user mode only
// (core/um/iobin_icc_um.cpp).
#include "kestrel/core/papdat.h"

#include "iobin_icc_modes.h"

using namespace iobin_icc_modes;

namespace {

// {input bin id, five DDM ids of the tray's configuration members}: rows of
// table A of the printer-data record (row j: 6145+j, 6160+j, 6175+j,
// 6190+j, 6205+j), and bin 273 the first entry of table B.
struct BinRow {
  WORD bin;
  WORD ids[5];
};
constexpr BinRow Row(WORD bin, WORD j) {
  return BinRow{bin,
                {static_cast<WORD>(6145 + j), static_cast<WORD>(6160 + j), static_cast<WORD>(6175 + j),
                 static_cast<WORD>(6190 + j), static_cast<WORD>(6205 + j)}};
}
constexpr BinRow kInputBinConfig[16] = {
    Row(1, 0),    Row(3, 1),    Row(2, 2),    Row(257, 3),  Row(261, 4),  Row(262, 5),
    Row(11, 6),   Row(265, 7),  Row(266, 8),  Row(267, 9),  Row(268, 10), Row(269, 11),
    Row(270, 12), Row(272, 13), Row(271, 14), BinRow{273, {6220, 6235, 6250, 6265, 6280}},
};

DWORD BigEndian32(const BYTE* p) {
  return (static_cast<DWORD>(p[0]) << 24) | (static_cast<DWORD>(p[1]) << 16) | (static_cast<DWORD>(p[2]) << 8) |
         p[3];
}

constexpr DWORD Tag(char a, char b, char c, char d) {
  return (static_cast<DWORD>(static_cast<BYTE>(a)) << 24) | (static_cast<DWORD>(static_cast<BYTE>(b)) << 16) |
         (static_cast<DWORD>(static_cast<BYTE>(c)) << 8) | static_cast<DWORD>(static_cast<BYTE>(d));
}

}  // namespace

BOOL ioBinLib_GetInputBinConfig(WORD binId, WORD ids[5]) {
  if (!ids) return FALSE;
  for (const BinRow& row : kInputBinConfig) {
    if (row.bin != binId) continue;
    for (int i = 0; i < 5; ++i) ids[i] = row.ids[i];
    return TRUE;
  }
  return FALSE;
}

BOOL ioBinLib_GetDimIdByConfigTray(WORD firstId, WORD* fourthId, WORD* fifthId) {
  for (const BinRow& row : kInputBinConfig) {
    if (row.ids[0] != firstId) continue;
    if (fourthId) *fourthId = row.ids[3];
    if (fifthId) *fifthId = row.ids[4];
    return TRUE;
  }
  return FALSE;
}

DWORD ReverseEndian32(DWORD value) {
  return (value >> 24) | ((value >> 8) & 0xFF00u) | ((value << 8) & 0xFF0000u) | (value << 24);
}

LONG cil_Check_ICC_Header(const BYTE* header, DWORD bytes) {
  if (!header || bytes < kIccHeaderBytes) return ICC_TOOSHORT;
  if (BigEndian32(header + 36) != Tag('a', 'c', 's', 'p')) return ICC_NOTPROFILE;
  if (BigEndian32(header + 16) != Tag('R', 'G', 'B', ' ')) return ICC_WRONGCLASS;
  DWORD pcs = BigEndian32(header + 20);
  if (pcs != Tag('X', 'Y', 'Z', ' ') && pcs != Tag('L', 'a', 'b', ' ')) return ICC_WRONGPCS;
  DWORD deviceClass = BigEndian32(header + 12);
  if (deviceClass != Tag('m', 'n', 't', 'r') && deviceClass != Tag('s', 'c', 'n', 'r')) return ICC_WRONGCLASS;
  return ICC_OK;
}
