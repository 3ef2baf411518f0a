// The devmode-member check of dddc: a value the source declares for a DDM id
// (an option's `value TYPE SIZE`, its items' values, a favourite's settings,
// a device query's answer type) must fit the member that stores it in the
// devmode, the non-devmode record or the printer-data record. The members
// are learnt from the devmode core's layout table (kestrel/core/ddm_layout.h), the
// one description of the records; the compiler keeps no copy of it.
//
// What "fits" means, by the member's kind (a member exchanges values as its
// stored type and, where it has one, its reported type):
//  - a scalar member (types 2, 3, 4, 5, 8, 10, id 14's 32-bit pair): the
//    declared type is the member's stored or reported type, and the declared
//    size is that type's size (1 for u8, 2 for i16/u16, 4 for i32/u32/long);
//  - a flag (one bit of a word) or a 4-byte boolean: bool of size 4, or the
//    flag's reported type with its size; every item value is 0 or 1;
//  - a byte member reported as 16-bit ("8/3"): u8 1 or u16 2; a u16 item
//    value must still fit the byte (0-255);
//  - a packed byte (a byte of a 32-bit word, kept in place): u32 4, and every
//    item value lies within the member's mask;
//  - a string member: str with a size from 2 up to the member's capacity in
//    bytes (the UTF-16 text and its NUL);
//  - a font member: bin of exactly 92 bytes.
// Grouped values (lists) are checked by their element type: a rule's target
// list must have its option's type (checked with the rules), so it fits
// whenever the option's declaration does; favourites take no lists.
// A DDM id that names no member (no group holds it, or its group has no row
// for it, such as 289 and 290) stores nothing and is not checked.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrel::dddc {

struct MemberInfo {
  int ddm = 0;
  int record = 0;    // 0 devmode, 1 non-devmode record, 2 printer data
  int offset = 0;    // in its record
  int type = 0;      // stored type
  int reported = 0;  // reported type (the stored type when the member has none)
  int bytes = 0;     // bytes the member occupies (string: capacity)
  uint32_t mask = 0; // flag bit or packed byte mask
  bool flag = false;
  bool packed = false;
};

// The member of a DDM id; false when the id names none.
bool FindMember(int ddm, MemberInfo* out);

// "member 4353 (printer data at offset 3048; u8 1)": the member's place and
// the type(s) and size(s) it takes.
std::string DescribeMember(const MemberInfo& m);

// Empty when a declaration of `type` and `size` (size: bytes of the value as
// exchanged; a string's bytes with its NUL) fits the member; otherwise the
// reason, for the caller's message.
std::string DeclarationMismatch(const MemberInfo& m, int type, int size);

// Empty when the value (little-endian bytes of a scalar of the declared
// type) can be stored in the member unchanged; otherwise the reason.
std::string ValueMismatch(const MemberInfo& m, int type, const std::vector<uint8_t>& value);

// Bytes a value of the type takes when exchanged with a member: 4 for bool,
// i32, u32 and long, 2 for i16 and u16, 1 for u8, 92 for a font; 0 for str.
int ExchangeSize(int type);

// The source's name of a value type ("u16", "bool", ...), or its number.
std::string ValueTypeName(int type);

}  // namespace kestrel::dddc
