// The constraint engine: when one setting (one DDM id) changes, it finds the
// rules that match (the hard-coded rules, then the device description's
// rules of categories 7 and 8 named by the option's and its items' rule
// lists), keeps the action of the highest priority, shows its message and
// writes solution values back.
//
// Results (16 bit): 0 evaluation done (action and matched rules in the
// ConstInfo); 1 bad argument or failure; 2 out of memory; 3 the change is
// refused or nothing changed; 4 settings changed by a solution; 6 no rule
// applies; 9 accepted without a message; 10 accepted after a notice;
// 11 decided by the item's check kind.
//
// Decisions:
//  - Who applies solutions, and what "settings changed" means: the driver
//    const_UpdateConstDataX evaluates. In mode 1 (two steps) it then applies
//    the solutions of the matched rules whose action asks nothing of the user
//    (actions 0, 4 and 9); mode 0 writes nothing. The solutions of every other
//    action are the caller's to apply, with cnstDDD_ApplySolution over the
//    info's rule arrays, once the user accepted the message
//    (constDDD_ActionConfirmMsg answered 9 or 10). When the driver changed
//    settings, info->changed holds the number of ids it wrote (0 otherwise)
//    and *changedIds the list; `action` is always the action code.
//  - The changed-id list begins with the changed DDM id, then the ids the
//    solutions wrote in the order they were first written (each once), and
//    ends with 0.
//  - Evaluation modes (the flags' bits 0x4300): a proposed value is
//    evaluated in mode 1 (rules with 0x200 or 0x4000 and above are left
//    out), the settings as they are (no proposed value, the first step of
//    the two-step mode) in mode 2 (rules with 0x100 or 0x4000 and above are
//    left out). Mode 3 (only rules of 0x4000 and above) is for callers that
//    ask for it through const_DDDUpdateConstData.
//  - Values: the description's candidate values are compared in their own
//    type; the current value is first brought into that type when both are
//    numbers (the devmode reports its byte members as 16-bit values).
//    A solution value is written in the member's own type in the same way.
//  - A condition entry with several values and operator 2 holds when the
//    current value equals none of them; with any other operator when one of
//    them relates. An entry without values holds for operator 0 only.
//  - The related ids (array 3) are the condition entries' DDM ids, and for a
//    size-check rule the paper size (8) and the rule's tray id.
//  - Size checks (flags 0x3C00): kinds 1024, 2048, 3072, 5120, 6144, 7168
//    (input trays) and 8192, 9216 (output trays) make a matched rule apply
//    only when the current paper does not fit the tray the rule's value
//    names (the tray record of the option item): its width or length lies
//    outside the tray's lower and upper size. Kind 4096 makes it apply only
//    when the current paper is the user-defined size (256) and that size
//    lies outside the range of the user-defined paper record. A size that
//    cannot be read leaves the rule not applying.
//  - Condition groups (cnstUtil_CheckConstAccept): entries joined by link 2
//    form a group that needs all of them; a group ends at an entry with link
//    3 or 4, and groups are alternatives. A group that holds gives its
//    entries' DDM ids (a list of room 10, each id once) to the caller's list
//    and its entries' link bytes, or-ed, to the caller's flag word: the
//    condition entries of the description carry no flags word of their own,
//    so the flag word tells a caller which closing links (3, 4) the matching
//    groups had. The rule passes use only whether a group held.
//  - Dim-out: when the sheet's user lacks permission, the pages dim out the
//    settings of their dim-out lists; the sheet hangs those lists on its
//    windows' UI data (UIWINDATA::dimOutLists). In evaluation mode 1 (a
//    proposed value) a group whose ids are all dimmed out does not count,
//    since the user cannot change any of them to leave the conflict. In the
//    other modes, and for a window without lists, every group counts.
//  - The hard-coded rules (const_HardUpdateConstData, const_hard.cpp). They
//    look at the changed id with its proposed value (or the settings' own
//    value when none is proposed) and the settings' other values:
//    * Poster: poster printing (Print Layout 321 = 1) and more than one page
//      a sheet (295 > 1) are never left on together. The job carries either
//      the poster code or the page count, never both, and the renderer's
//      page-count query answers 0 under poster printing, so the pages per
//      sheet would be dropped without a word. Choosing poster sets 295 to 1
//      (notice 302); choosing 2 or more pages a sheet under poster printing
//      sets 321 to 0, Normal (notice 303). Booklet is the value 2 of the
//      same setting, so poster and booklet exclude each other already; the
//      booklet and page-count conflict is the model's own rule.
//    * Output bin: a paper change (8) that the current output bin (266)
//      cannot take (the paper is not in the bin's paper list, or its size
//      is outside the bin's size range) sets the model's default output bin,
//      when that one takes the paper (notice 304). When the default cannot
//      take it either, or a record cannot be read, the rule stays out of
//      the way. A change of the output bin itself is the model's to judge
//      (its size-check rules of kinds 8192 and 9216 ask the user), so it is
//      not a hard rule; only the paper change has no rule list that reaches
//      the bin.
//    * Stamp none is not built: "none" is an empty stamp name (297, 299,
//      1857), and nothing in the driver, the renderer or the job depends
//      on the remaining stamp members (colour, size, angle, font) when no
//      stamp is drawn; clearing them would only lose the user's stamp
//      settings.
//    * The imageable-area check is not built as a rule of its own: the
//      user-defined paper's size range is its imageable size bounds plus
//      the paper's margins, so a user-defined size whose imageable area is
//      out of bounds is exactly what the range check of kind 4096 refuses
//      (each model carries that rule on paper 256), and a fixed paper's
//      imageable area comes from its record and cannot be chosen.
//    Neither rule fires on a model's default settings. A rule writes its
//    correction only when the model's rules take the proposed value without
//    asking the user (no rule, or actions 0, 4, 9): otherwise the change may
//    yet be cancelled and the correction would be a lost setting, so the
//    hard step answers 6 and the model's message goes first. When it
//    writes, in either driver mode, it answers 0 (applied: the driver goes on
//    with the model's rules), the corrected id is in the changed-id list,
//    both ids of the rule are related ids (array 3), and a notice (an
//    exclamation box, caption 265) is shown when the window carries its UI
//    data; the correction stands with or without the box. Nothing applies:
//    6. A failed write: 1. For check kind 16 (const_CheckConstToChangeDevValue)
//    an applied rule gives 4 (settings changed), no rule 6.
//  - The range check accepts a value of the item's list or range (9) and
//    refuses any other (3). When a value of a range setting (selection
//    method 4 or 6) is refused and the window carries its UI data, the
//    range message is shown first (cnstMsg_Range); a list setting's value
//    that is not in the list is refused without a box (no control offers
//    it). The result is 3 whether or not the box could be shown.
//  - Range messages: string 300 is the text for a setting of the printer
//    (the range's items are of kind 13, installable options), string 301
//    for a document setting (kind 14). Each takes the setting's name, the
//    minimum and the maximum, in that order, as three %s. The bounds are
//    written by cnsMkMsg_FormatNumber in the setting's own signedness
//    (types 2, 4 and 10 signed) with no decimals: the range settings of the
//    description hold whole numbers (percent, copies, levels).
//  - cnsMkMsg_FormatNumber with decimals > 0 writes value / 10^decimals as
//    "%ld.%s%ld" (signed) or "%lu.%s%lu" (unsigned): whole part, the zeros
//    that lead the fraction, the rest of the fraction. A negative value
//    gets its sign once, before the whole part ("-0.5", never "0.-5").
//  - ConstInfo is an in-memory block of this process (not stored or sent);
//    its pointers make it 120 bytes in the 64-bit build.
#pragma once

#include "kestrel/core/cddd.h"
#include "kplatform/wintypes.h"

#define CONST_OK 0
#define CONST_ERR 1
#define CONST_NOMEM 2
#define CONST_REFUSED 3
#define CONST_CHANGED 4
#define CONST_NORULE 6
#define CONST_ACCEPT 9
#define CONST_NOTICE 10
#define CONST_BYKIND 11

// Comparison results.
#define CONST_CMP_MISSING 6
#define CONST_CMP_TYPES 7
#define CONST_CMP_BADTYPE 8
#define CONST_CMP_TRUE 9
#define CONST_CMP_FALSE 10
#define CONST_CMP_BADOP 11

// Action codes.
#define CONST_ACT_NONE 0
#define CONST_ACT_ERROR 2
#define CONST_ACT_WARNING 3
#define CONST_ACT_MARGIN 5
#define CONST_ACT_NOTOPEN 7
#define CONST_ACT_BTN_WARNING 8

#define CONST_ROOM_RULES 8
#define CONST_ROOM_RELATED 20

struct ConstInfo {
  DWORD changed;  // ids the driver wrote in this call (0: nothing changed)
  WORD action;
  WORD rule7Count;  // data ids of matched category-7 rules
  WORD rule7Room[CONST_ROOM_RULES];
  WORD* rule7;
  WORD rule8Count;  // data ids of matched category-8 rules
  WORD rule8Room[CONST_ROOM_RULES];
  WORD* rule8;
  WORD relatedCount;  // DDM ids the matched rules relate to
  WORD relatedRoom[CONST_ROOM_RELATED];
  WORD* related;
};

// The settings being edited.
struct CONST_SETTINGS {
  HCDDD ddd;
  void* devmode;
  void* printerData;
};

// A proposed value: value points at the value's bytes in its type (a
// string: at its characters); null means the current value of the settings.
struct CONST_VALUE {
  WORD ddmId;
  WORD type;
  const void* value;
};

// One solution value for cnstDDD_ApplySolutionData.
struct CONST_SOLUTION_VALUE {
  WORD ddmId;
  WORD type;
  const void* value;
};

ConstInfo* const_AllocConstData(void);
BOOL const_FreeConstData(ConstInfo* info);
void cnstUtil_ClearConstInfo(ConstInfo* info);
// Copies `from` into `to` (to must be cleared or fresh); the grown arrays are
// copied into blocks of their own. 0, 1 or 2.
WORD cnstUtil_CopyConstInfo(ConstInfo* to, const ConstInfo* from);

// Word arrays. `capacity` is the room the array had when it started (the
// inline room); an array whose count is past it owns its block.
WORD cnstUtil_AddWordArray(WORD id, WORD capacity, WORD** array, WORD* count);
WORD cnstUtil_MergeWordArray(WORD capacity, WORD** array, WORD* count, const WORD* ids, WORD n);
WORD cnstUtil_WriteConstInfo(WORD pass, ConstInfo* info, WORD dataId);

// TRUE when every one of the n ids is on one of the zero-ended lists of
// dimOut (a null-ended array of lists); FALSE for no lists or no ids.
BOOL cnstUtil_isDimoutConditions(const WORD* const* dimOut, const WORD* ids, WORD n);
// Evaluates a rule's condition groups (see the decisions above): 3 no
// condition entries, 1 a group counted, 0 none, 2 an entry could not be read
// or memory ran short. *ids is the caller's list (its inline room 10; a list
// grown past it is freed with cnstUtil_FreeWordList(list, count, 10)).
WORD cnstUtil_CheckConstAccept(WORD evalMode, const CONST_SETTINGS* settings, const CONST_VALUE* proposed,
                               const DDD_CONSTRAINTS* rule, const WORD* const* dimOut, WORD** ids, WORD* idCount,
                               WORD* links);

WORD cnstUtil_CompareDevmodeValue(BYTE op, WORD firstType, const void* first, WORD secondType, const void* second);
// The action kept when `next` is found while `current` holds.
WORD cnstUtil_UpdateAction(WORD current, WORD next);
// Priority of an action code (0 for a code not in the table).
WORD cnstUtil_ActionPriority(WORD action);

WORD const_UpdateConstDataX(WORD mode, HWND window, HCDDD ddd, void* devmode, void* printerData, const WORD* idFilter,
                            WORD ddmId, WORD type, const void* value, ConstInfo* info, WORD** changedIds, WORD flag);
// evalMode: 1-3 (see the decisions above).
WORD const_DDDUpdateConstData(WORD evalMode, HWND window, const CONST_SETTINGS* settings, const CONST_VALUE* proposed,
                              const WORD* idFilter, const ConstInfo* previous, ConstInfo* info, WORD** changed,
                              WORD* changedCount, WORD flag);
WORD const_HardUpdateConstData(HWND window, const CONST_SETTINGS* settings, const CONST_VALUE* proposed,
                               const ConstInfo* previous, ConstInfo* info, WORD** changed, WORD* changedCount);
WORD const_RangeCheckConstraints(HWND window, const CONST_SETTINGS* settings, const CONST_VALUE* proposed);
WORD const_CheckConstToChangeDevValue(HWND window, const CONST_SETTINGS* settings, const CONST_VALUE* proposed,
                                      WORD kind, WORD* outCode);

// ---- Message builders --------------------------------------------------------

#define CONST_STR_CAPTION 265
#define CONST_STR_RANGE_PRINTER 300   // range of a printer setting (kind 13 items)
#define CONST_STR_RANGE_DOCUMENT 301  // range of a document setting (kind 14 items)
#define CONST_STR_HARD_POSTER_NUP 302  // poster chosen: pages per sheet set to 1
#define CONST_STR_HARD_NUP_POSTER 303  // pages per sheet chosen: poster printing ended
#define CONST_STR_HARD_OUTPUT_BIN 304  // paper the output bin cannot take: default bin

// Writes `value` (read as signed when isSigned, else as its 32 bits
// unsigned) scaled down by 10^decimals (decimals 0-9) into out. Answers the
// characters written, 0 when out is missing or too small (out then holds an
// empty string when cch > 0) or decimals is above 9.
int cnsMkMsg_FormatNumber(LONG value, BOOL isSigned, WORD decimals, LPWSTR out, int cch);
// The range of a range setting (selection method 4 or 6): its minimum,
// maximum, the item kind of the range (13 or 14), its signedness and the
// setting's name (a new kcore_Alloc block, or null when it has none).
struct CONST_RANGE {
  LONG minimum;
  LONG maximum;
  WORD itemKind;
  BOOL isSigned;
  LPWSTR name;
};
// 0 read; 1 bad argument or not a range setting; 2 out of memory.
WORD cnstUtil_GetRange(HCDDD ddd, WORD ddmId, CONST_RANGE* range);
void cnstUtil_FreeRange(CONST_RANGE* range);
// Builds the range message of a setting into out: string 300 or 301 by the
// range's item kind, with the name and both bounds. FALSE when the string
// cannot be loaded or the text does not fit.
BOOL cnsMkMsg_Range(const CONST_RANGE* range, LPWSTR out, int cch);
// Shows the range message of ddmId (exclamation box, caption 265) and
// answers 3; 1 without a box when the window has no UI data, the setting
// is not a range setting or the text cannot be built.
WORD cnstMsg_Range(HWND window, const CONST_SETTINGS* settings, WORD ddmId);

// Shows the message of info's action (the text of the first matched rule of
// that action, or a fixed text) and answers the rule result.
WORD constDDD_ActionConfirmMsg(HWND window, const CONST_SETTINGS* settings, const CONST_VALUE* changed,
                               const ConstInfo* info);
WORD cnstDDD_MsgConstraintsCHANGE_CONFIRM(HWND window, const CONST_SETTINGS* settings, LPCWSTR text);

#define CONST_ROOM_CHANGED 5

// kind7: non-zero for category-7 rules. changed/changedCount: the list the
// written ids are added to; *changed points at the caller's room of
// CONST_ROOM_CHANGED ids until the list grows (cnstUtil_FreeWordList frees a
// grown list).
WORD cnstDDD_ApplySolution(WORD kind7, const CONST_SETTINGS* settings, WORD** changed, WORD* changedCount, WORD n,
                           const WORD* dataIds);
WORD cnstDDD_ApplySolutionData(const CONST_SETTINGS* settings, WORD** changed, WORD* changedCount, WORD n,
                               const CONST_SOLUTION_VALUE* values);
// Writes one value through the DDM value access with the size of its type.
WORD cnstUtil_SetDevmodeValue(const CONST_SETTINGS* settings, WORD ddmId, WORD type, const void* value);
// Frees a list the apply functions grew (null is fine).
void cnstUtil_FreeWordList(WORD* list, WORD count, WORD capacity);

// ---- What the property sheets call around the driver ----------------------------
//
// const_CheckCnst_CnfmMsg_SetDev: after const_UpdateConstDataX (its result
// in driverResult, info its ConstInfo) for a proposed value: driver result 0
// shows the action's message (constDDD_ActionConfirmMsg). Accepted (9, or
// the driver's 4 or 9): the value is written, then the solutions the driver
// left to the caller (every action other than 0, 4, 9) are applied (so a
// rule the user accepted may set the changed setting itself, as a WARNING's
// "printed on one side" does), and the ids go on the changed list; the
// answer is 4. Refused
// (3) and accepted after a notice without a change (10) answer as they are,
// nothing written. Not allowed, cancelled or failed: 1, nothing written.
// changed/changedCount as for cnstDDD_ApplySolution (room
// CONST_ROOM_CHANGED).
WORD const_CheckCnst_CnfmMsg_SetDev(HWND window, const CONST_SETTINGS* settings, const CONST_VALUE* proposed,
                                    const ConstInfo* info, WORD driverResult, WORD** changed, WORD* changedCount);
// Keeps the output bin fit for the current paper (the hard output-bin rule
// on the paper as it is): 0 (nothing to do, or the bin set to the model's
// default, its id then on the changed list), 1 failure, 2 out of memory.
WORD const_UpdateOutputBin(HWND window, const CONST_SETTINGS* settings, WORD** changed, WORD* changedCount);
// Asks the user whether the settings of the zero-ended list may stay
// changed: a question box (OK/Cancel, caption 265) with string 305 and the
// settings' names. OK: 4; Cancel: 3; no box (the window has no UI data, or
// the caption cannot be loaded): 1.
#define CONST_STR_CHANGE_CONFIRM 305
WORD const_ShowChengeDevmodeConfirm(HWND window, const CONST_SETTINGS* settings, const WORD* changedIds);
