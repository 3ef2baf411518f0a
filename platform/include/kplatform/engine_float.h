// FLOATOBJ: the engine's floating-point value for kernel-mode drivers, and
// its operations.
//
// A FLOATOBJ is a value in a struct, so that it is never mixed up with a
// plain float by accident. It holds a double: products of two 32-bit
// integers (a length in 1/18432 inch times a resolution, say) are exact in
// it, and a quotient by an integer truncates (FLOATOBJ_GetLong) to exactly
// what integer arithmetic gives. The struct is 8 bytes, as the engine's
// FLOATOBJ is on the 32-bit platform.
//
// FLOATL is the IEEE single a driver passes in and out (FLOATOBJ_SetFloat,
// FLOATOBJ_GetFloat); its 32 bits are what goes into a PCL XL real.
//
// FLOATOBJ_GetLong truncates toward zero. A value beyond the LONG range
// answers the nearest end of the range, and a NaN answers 0 (the original
// engine would fault on either). Division by zero gives an infinity or a NaN
// by IEEE rules, never a trap.
#pragma once

#include <cmath>

#include "kplatform/wintypes.h"

typedef FLOAT FLOATL;

typedef struct _FLOATOBJ {
  double value;
} FLOATOBJ, *PFLOATOBJ;
static_assert(sizeof(FLOATOBJ) == 8);

typedef struct _FLOATOBJ_XFORM {
  FLOATOBJ eM11;
  FLOATOBJ eM12;
  FLOATOBJ eM21;
  FLOATOBJ eM22;
  FLOATOBJ eDx;
  FLOATOBJ eDy;
} FLOATOBJ_XFORM, *PFLOATOBJ_XFORM;

inline void FLOATOBJ_SetFloat(PFLOATOBJ pf, FLOATL f) { pf->value = f; }
inline void FLOATOBJ_SetLong(PFLOATOBJ pf, LONG l) { pf->value = l; }
inline FLOATL FLOATOBJ_GetFloat(const FLOATOBJ* pf) { return static_cast<FLOATL>(pf->value); }
inline LONG FLOATOBJ_GetLong(const FLOATOBJ* pf) {
  double v = pf->value;
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return 2147483647;
  if (v <= -2147483648.0) return static_cast<LONG>(-2147483647 - 1);
  return static_cast<LONG>(v);  // truncates toward zero
}

inline void FLOATOBJ_Add(PFLOATOBJ pf, const FLOATOBJ* pf1) { pf->value += pf1->value; }
inline void FLOATOBJ_AddFloat(PFLOATOBJ pf, FLOATL f) { pf->value += f; }
inline void FLOATOBJ_AddLong(PFLOATOBJ pf, LONG l) { pf->value += l; }
inline void FLOATOBJ_Sub(PFLOATOBJ pf, const FLOATOBJ* pf1) { pf->value -= pf1->value; }
inline void FLOATOBJ_SubFloat(PFLOATOBJ pf, FLOATL f) { pf->value -= f; }
inline void FLOATOBJ_SubLong(PFLOATOBJ pf, LONG l) { pf->value -= l; }
inline void FLOATOBJ_Mul(PFLOATOBJ pf, const FLOATOBJ* pf1) { pf->value *= pf1->value; }
inline void FLOATOBJ_MulFloat(PFLOATOBJ pf, FLOATL f) { pf->value *= f; }
inline void FLOATOBJ_MulLong(PFLOATOBJ pf, LONG l) { pf->value *= l; }
inline void FLOATOBJ_Div(PFLOATOBJ pf, const FLOATOBJ* pf1) { pf->value /= pf1->value; }
inline void FLOATOBJ_DivFloat(PFLOATOBJ pf, FLOATL f) { pf->value /= f; }
inline void FLOATOBJ_DivLong(PFLOATOBJ pf, LONG l) { pf->value /= l; }
inline void FLOATOBJ_Neg(PFLOATOBJ pf) { pf->value = -pf->value; }

inline BOOL FLOATOBJ_Equal(const FLOATOBJ* pf, const FLOATOBJ* pf1) { return pf->value == pf1->value; }
inline BOOL FLOATOBJ_EqualLong(const FLOATOBJ* pf, LONG l) { return pf->value == l; }
inline BOOL FLOATOBJ_GreaterThan(const FLOATOBJ* pf, const FLOATOBJ* pf1) { return pf->value > pf1->value; }
inline BOOL FLOATOBJ_GreaterThanLong(const FLOATOBJ* pf, LONG l) { return pf->value > l; }
inline BOOL FLOATOBJ_LessThan(const FLOATOBJ* pf, const FLOATOBJ* pf1) { return pf->value < pf1->value; }
inline BOOL FLOATOBJ_LessThanLong(const FLOATOBJ* pf, LONG l) { return pf->value < l; }
