// Favourites: named, commented sets of settings kept per user, and the
// favourite file that carries one favourite to another computer.
//
// The store lies under the printer's per-user key (OpenCurrentUser,
// kestrel/ui/prnid.h), read and written with SaveCurrentUserData and
// LoadCurrentUserData (kestrel/ui/usersetting.h):
//
//   Favorite                   (sub-key)
//     "UserSelIndex"           REG_BINARY: the index list, one 16-bit
//                              favourite number a slot in display order,
//                              ended by 0 (the 0 is stored while the list
//                              is shorter than the maximum)
//     "DriverVersion"          REG_DWORD: DDM 258 of the driver that built
//                              the base set
//     "SelPosition"            REG_DWORD: the position of the selected
//                              favourite in the list (DDM 442)
//   Favorite\UserSel%02d       (sub-key a favourite, by number 1-99)
//     "DevMode"                REG_BINARY: the 5440-byte devmode with its
//                              non-devmode part
//     "Name"                   REG_SZ: at most 32 characters
//     "Comment"                REG_SZ: at most 255 bytes in the ANSI code page
//     "Flag"                   REG_DWORD: 1 the user's own (may be replaced),
//                              0 the base set (may not)
//   Favorite\UserSel%02d\PaperMargin
//                              the favourite's paper margins, the same
//                              records as the user's own "PaperMargin"
//                              (kestrel/ui/docevent.h: one 8-byte value a
//                              paper, named by the paper id in decimal,
//                              16-bit top, bottom, left, right in 0.1 mm)
//
// Base set: favourite 1 is the model's default settings (named by string
// FAV_STRID_DEFAULT_NAME); favourites 2, 3, ... are the favourites of the
// device description data, one a select item of DDM 36888 in item order,
// each item referring to a favourite record (category 21) whose settings
// are laid over the defaults. Both kinds carry flag 0.
//
// Decisions:
//  - The maximum is the number of description favourites + 23, and never
//    more than 99, because the key names hold two digits. Index lists are
//    read leniently: a list stops at its first 0 or at the maximum; a
//    number above the maximum or seen before is dropped; an odd trailing
//    byte is ignored.
//  - Names are at most 32 characters and a NUL (FAV_NAME_UNITS); a longer
//    stored name is cut. Comments are cut at the last whole character that
//    fits in 255 bytes of the ANSI code page (FavStr_CutComment).
//  - A favourite is saved before the index list that names it, so a failed
//    save never leaves a list naming a favourite that is not there; adding
//    saves the index list only after the favourite and its margins.
//  - The paper of the margins saved with a favourite is DDM 8 (the paper
//    size; DDM 7 is the orientation). With DDM 387 (keep margins) 1 the
//    favourite's margins are replaced by the margins the job would use for
//    that paper (the user's own, else the paper's defaults); with 0 they are
//    deleted.
//  - The selector's list (Fav_LoadList) skips a description favourite that
//    DDM 36888 no longer lists, as the renumbering does, and a favourite
//    that cannot be loaded; it does not end the list there. A stored
//    position beyond the list selects favourite 1. A stored list that
//    names no favourite that can be loaded gets the base set again.
//  - A description favourite (flag 0) is never rewritten by the selector;
//    only favourite 1 and the description favourites are rebuilt when the
//    driver version changes. Favourite 1 is the favourite file's reference,
//    so it is always the model's defaults.
//  - Edit OK deletes the favourites the dialog removed from the list after
//    the new index list is stored (a deletion pending in the dialog survives
//    an import).
//
// The add and edit dialogs, the selector and the file dialogs belong to the
// property-sheet pages; they call the functions below.
#pragma once

#include <vector>

#include "kestrel/core/cddd.h"
#include "kplatform/wintypes.h"

#define FAV_SUBKEY u"Favorite"
#define FAV_SEL_FORMAT u"Favorite\\UserSel%02d"
#define FAV_VALUE_INDEX u"UserSelIndex"
#define FAV_VALUE_DRIVERVERSION u"DriverVersion"
#define FAV_VALUE_SELPOSITION u"SelPosition"
#define FAV_VALUE_DEVMODE u"DevMode"
#define FAV_VALUE_NAME u"Name"
#define FAV_VALUE_COMMENT u"Comment"
#define FAV_VALUE_FLAG u"Flag"

#define FAV_DDM_LIST 36888         // the description's favourites (select items)
#define FAV_DDM_FOLDER 36886       // the description's favourites folder (default data)
#define FAV_EXTRA_SLOTS 23         // the user's favourites beside the description's
#define FAV_NUMBER_MAX 99          // two-digit key names
#define FAV_NAME_CHARS 32
#define FAV_NAME_UNITS 33          // with the NUL
#define FAV_COMMENT_BYTES 255      // in the ANSI code page
#define FAV_COMMENT_UNITS 256      // with the NUL
#define FAV_FLAG_BASE 0            // favourite 1 and the description's: never replaced
#define FAV_FLAG_USER 1

// Strings (resources/kestrelrs.krc); "%1", "%2", ... are the arguments in
// the order given.
#define FAV_STRID_CAPTION 265
#define FAV_STRID_FULL 482           // %1 string 4714, %2 the maximum
#define FAV_STRID_TITLE 4714         // the feature's name in the messages
#define FAV_STRID_FILE_FAILED 4716   // %1 the file's path
#define FAV_STRID_SAME_NAME 4717     // %1 string 4714, %2 the name
#define FAV_STRID_CONFLICT 4720      // %1 the name, %2 string 4714, %3 the conflicts
#define FAV_STRID_DEFAULT_NAME 4721  // favourite 1's name
#define FAV_STRID_FOLDER 9377        // the forms folder below the Windows drive, also the favourites'

// Results of the add and file operations.
enum FavResult : LONG {
  FAV_OK = 0,
  FAV_ERR_ARG = 1,        // missing argument or an invalid name
  FAV_ERR_PROTECTED = 2,  // the name belongs to a favourite of the base set
  FAV_ERR_FULL = 3,       // the list holds the maximum (message 482 shown)
  FAV_ERR_STORE = 4,      // the per-user store refused a read or a write
  FAV_ERR_FILE = 5,       // the favourite file could not be written or read (message 4716)
  FAV_ERR_CANCELLED = 6,  // the user refused the corrected settings (message 4720)
};

// One favourite of a list (the selector's and the dialogs' chain list).
struct FAV_ENTRY {
  WCHAR name[FAV_NAME_UNITS + 1];  // the selector's 34 units
  WCHAR comment[FAV_COMMENT_UNITS];
  DWORD flag;       // FAV_FLAG_*
  WORD number;      // favourite number, from 1
  WORD dddItem;     // 1-based item of DDM 36888 for a description favourite, else 0
};

struct FAV_LIST {
  std::vector<FAV_ENTRY> entries;  // display order
  WORD maximum = 0;
  WORD selected = 0;  // position in entries (DDM 442)
};

// ---- The per-user store
// The maximum number of favourites of the model (see above); 0 on failure.
WORD Fav_GetMaximum(HCDDD ddd);
// The index list: numbers in display order, at most `slots` - 1 of them,
// then 0. TRUE when a list is stored (it may be empty), FALSE when there is
// none or the store cannot be read (index then holds an empty list).
BOOL LoadCurrentUserUserInfo(HANDLE printer, HCDDD ddd, WORD* index, WORD slots);
BOOL SaveCurrentUserUserInfo(HANDLE printer, HCDDD ddd, const WORD* index, WORD maximum);
// The lowest favourite number from 1 not in the 0-ended list; 0 when every
// number up to the maximum is taken.
WORD CreateFavoriteIndex(const WORD* index, WORD maximum);
// Favourite n: the stored devmode brought to the current layout
// (UpgradeUserSelDevmode) into a 5440-byte devmode, its name (FAV_NAME_UNITS
// + 1 units), comment (FAV_COMMENT_UNITS) and flag; any output may be null.
// TRUE on success; on failure the outputs are untouched.
BOOL LoadCurrentUserUserSel(HANDLE printer, HCDDD ddd, WORD number, void* devmode, LPWSTR name, LPWSTR comment,
                            DWORD* flag);
// Saves favourite n whole; a null devmode keeps the stored one (the edit
// dialog's rename). The name is cut to 32 characters, the comment to 255
// ANSI bytes.
BOOL SaveCurrentUserUserSel(HANDLE printer, HCDDD ddd, WORD number, const void* devmode, LPCWSTR name,
                            LPCWSTR comment, DWORD flag);
// Deletes favourite n with its margins; TRUE also when there was none.
BOOL DeleteCurrentUserUserSel(HANDLE printer, HCDDD ddd, WORD number);
// The base set (favourite 1 and the description's favourites) built for the
// device name and stored, and the index list made to start with it (the
// user's favourites keep their numbers and follow in their order). TRUE
// when everything was stored.
BOOL CreateCurrentUserBaseSel(HANDLE printer, HCDDD ddd, LPCWSTR deviceName);

// The selector's list at its start: the stored list (or, when none is
// stored, the base set and DDM 442 = 0), renumbered when the stored driver
// version is older than DDM 258 of the devmode, the position read from
// "SelPosition" into DDM 442 of the devmode. TRUE when a list was made.
BOOL Fav_LoadList(HANDLE printer, HCDDD ddd, void* devmode, void* printerData, FAV_LIST* list);
// The renumbering after a driver upgrade over a stored index list:
// description favourites that DDM 36888 no longer lists are dropped, the
// position follows its favourite (favourite 1 when the selected one was
// dropped). Stores the list, the position and DDM 442. TRUE on success.
BOOL local_VersinUpCurrentUserUserInfo(HANDLE printer, HCDDD ddd, void* devmode, void* printerData);

// ---- The add and edit dialogs' work
// Add: the settings of `devmode` as a new favourite at the top of the list
// (owner: the dialog, for message 482), selected: DDM 442 and the stored
// "SelPosition" become 0. FAV_OK, or a FavResult.
LONG Fav_Add(HANDLE printer, HCDDD ddd, HWND owner, void* devmode, void* printerData, LPCWSTR name, LPCWSTR comment,
             FAV_LIST* list);
// Edit OK: `list` in its new order (names and comments edited, entries
// removed); the favourite selected before (its number, 0 none) gives DDM
// 442 and the stored "SelPosition" again. Names and comments are stored,
// the devmodes kept, the index list saved, removed favourites deleted. TRUE
// on success.
BOOL Fav_EditApply(HANDLE printer, HCDDD ddd, void* devmode, void* printerData, WORD selectedNumber,
                   FAV_LIST* list);

// The settings of `devmode` checked against each other by the model's rules
// (the constraint sweep), the result in `checked` (devmode size; the
// printer data are swept in place): 0 nothing changed, 1 settings were
// corrected, -1 the check could not run.
LONG Fav_CheckAllConstraints(HCDDD ddd, HWND owner, const void* devmode, void* printerData, void* checked);

// The settings of `devmode` the favourite file would carry that differ from
// the file's reference (favourite 1 over the device's defaults), in the
// file's order: what a favourite changes. FALSE when the reference cannot
// be made.
BOOL Fav_DifferingSettings(HANDLE printer, HCDDD ddd, void* devmode, void* printerData, std::vector<WORD>* ids);

// ---- Strings
// Copies at most maxChars characters and terminates them (dst holds
// maxChars + 1 units); answers the characters copied.
inline size_t Fav_CopyText(LPWSTR dst, LPCWSTR src, size_t maxChars) {
  size_t n = 0;
  if (src)
    for (; n < maxChars && src[n]; ++n) dst[n] = src[n];
  dst[n] = 0;
  return n;
}
// The comment cut at the last whole character within 255 bytes of the ANSI
// code page; TRUE when it was cut.
BOOL FavStr_CutComment(LPWSTR comment);
// A file name made from a favourite's name: \ / : , ; * ? " < > | and
// control characters dropped, at most `units` - 1 characters.
void FavStr_MakeFileName(LPCWSTR name, LPWSTR out, DWORD units);
// The message of string id with "%1".."%9" replaced by args (count of them),
// shown with caption 265 and the exclamation icon; the box's answer.
int Fav_MessageBox(HWND owner, UINT stringId, const LPCWSTR* args, int count, UINT type);

// ---- The favourite file
// The favourites folder (created when missing) into folder (MAX_PATH units).
BOOL FavFile_GetFolder(HCDDD ddd, LPWSTR folder, DWORD units);
// Proposes the export file name from the favourite's name into DDM 375.
BOOL FavFile_ProposeName(void* devmode, void* printerData, LPCWSTR name);
// Writes favourite `number` (settings `devmode`, the dialog's name and
// comment) to `path`. On any failure the old file is left as it was and
// message 4716 is shown (owner). TRUE on success.
BOOL FavFile_Export(HANDLE printer, HCDDD ddd, HWND owner, void* devmode, void* printerData, WORD number,
                    LPCWSTR name, LPCWSTR comment, LPCWSTR path);
// Reads `path` as a new favourite of `list` (the edit dialog's list): the
// whole file is checked before anything is stored; any failure shows 4716
// and changes nothing. A conflict of the read settings asks 4720: OK
// stores the corrected settings, Cancel removes what was stored
// (FAV_ERR_CANCELLED). On success the entry is appended to the list, and
// when its name is already used 4717 is shown and list->selected is the new
// entry. FAV_OK or a FavResult.
LONG FavFile_Import(HANDLE printer, HCDDD ddd, HWND owner, void* devmode, void* printerData, LPCWSTR path,
                    FAV_LIST* list);
