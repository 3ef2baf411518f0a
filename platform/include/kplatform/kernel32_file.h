// Files, folders and read-only file mappings with Windows behaviour, kept in
// the root folder (root.h). Windows paths are mapped as follows:
//   C:\x\y               <root>/c/x/y        (drive folder in lower case)
//   \\server\share\x     <root>/unc/server/share/x
//   \\?\C:\x, \\?\UNC\server\share\x   the same, without the prefix
// Backslashes and slashes both separate. Every component that exists on disk
// is matched without regard to letter case; one that does not keeps the case
// given. "." and ".." are resolved by name and never climb above the drive or
// share. Relative paths ("x", "\x", "C:x") resolve against the current
// directory, C:\Windows\system32 until SetCurrentDirectoryW changes it (and
// again whenever the root changes).
//
// A drive exists when its folder <root>/<letter> exists (the root's layout
// makes C:); a share exists when <root>/unc/<server>/<share> exists.
//
// What the stand-in does not do: overlapped I/O, file attributes other than
// "directory" and "read-only" (attribute bits given to CreateFileW are
// accepted as hints and not stored), short 8.3 names (GetShortPathNameW
// answers the long name, as Windows does on volumes without short names),
// named or page-file mappings, writable mappings, device names (CON, NUL,
// \\.\...), creation times that can be set.
#pragma once

#include "kplatform/wintypes.h"

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define GENERIC_EXECUTE 0x20000000u
#define GENERIC_ALL 0x10000000u
#define DELETE 0x00010000u
#define SYNCHRONIZE 0x00100000u
#define FILE_READ_DATA 0x0001u
#define FILE_WRITE_DATA 0x0002u
#define FILE_APPEND_DATA 0x0004u
#define FILE_READ_ATTRIBUTES 0x0080u
#define FILE_WRITE_ATTRIBUTES 0x0100u

#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u

#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define TRUNCATE_EXISTING 5u

#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_HIDDEN 0x00000002u
#define FILE_ATTRIBUTE_SYSTEM 0x00000004u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_ATTRIBUTE_TEMPORARY 0x00000100u
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu

// Flags CreateFileW accepts as hints; any other FILE_FLAG_* is refused with
// ERROR_NOT_SUPPORTED (overlapped I/O, delete-on-close, backup semantics and
// unbuffered I/O are not offered).
#define FILE_FLAG_WRITE_THROUGH 0x80000000u
#define FILE_FLAG_OVERLAPPED 0x40000000u
#define FILE_FLAG_NO_BUFFERING 0x20000000u
#define FILE_FLAG_RANDOM_ACCESS 0x10000000u
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000u
#define FILE_FLAG_DELETE_ON_CLOSE 0x04000000u
#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000u

#define FILE_BEGIN 0u
#define FILE_CURRENT 1u
#define FILE_END 2u
#define INVALID_SET_FILE_POINTER 0xFFFFFFFFu
#define INVALID_FILE_SIZE 0xFFFFFFFFu

#define MOVEFILE_REPLACE_EXISTING 0x00000001u
#define MOVEFILE_COPY_ALLOWED 0x00000002u
#define MOVEFILE_DELAY_UNTIL_REBOOT 0x00000004u
#define MOVEFILE_WRITE_THROUGH 0x00000008u

#define PAGE_READONLY 0x02u
#define FILE_MAP_COPY 0x0001u
#define FILE_MAP_WRITE 0x0002u
#define FILE_MAP_READ 0x0004u

// Error codes only the file functions answer (public Win32 numbers).
#define ERROR_GEN_FAILURE 31L
#define ERROR_BUFFER_OVERFLOW 111L
#define ERROR_NEGATIVE_SEEK 131L
#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_DIRECTORY 267L
#define ERROR_INVALID_ADDRESS 487L
#define ERROR_FILE_INVALID 1006L
#define ERROR_MAPPED_ALIGNMENT 1132L
#define ERROR_USER_MAPPED_FILE 1224L

typedef struct _OVERLAPPED OVERLAPPED, *LPOVERLAPPED;  // never used: I/O is synchronous

typedef enum _GET_FILEEX_INFO_LEVELS { GetFileExInfoStandard = 0 } GET_FILEEX_INFO_LEVELS;

typedef struct _WIN32_FILE_ATTRIBUTE_DATA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
} WIN32_FILE_ATTRIBUTE_DATA, *LPWIN32_FILE_ATTRIBUTE_DATA;
static_assert(sizeof(WIN32_FILE_ATTRIBUTE_DATA) == 36);

// Files. Sharing is enforced between the open handles of one file: a new
// handle must allow the access every open handle has, and every open handle
// must allow the access the new one asks for (ERROR_SHARING_VIOLATION).
// CREATE_ALWAYS and OPEN_ALWAYS on an existing file succeed with the last
// error ERROR_ALREADY_EXISTS, as on Windows. lpOverlapped must be null.
KP_API HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                                 LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                                 DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
KP_API BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                            LPOVERLAPPED lpOverlapped);
KP_API BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                             LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped);
// On success the last error is NO_ERROR, so that a low part of 0xFFFFFFFF
// can be told from a failure.
KP_API DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh, DWORD dwMoveMethod);
KP_API BOOL WINAPI SetFilePointerEx(HANDLE hFile, LARGE_INTEGER liDistanceToMove, PLARGE_INTEGER lpNewFilePointer,
                                    DWORD dwMoveMethod);
// Refuses to shrink a file that has a mapping (ERROR_USER_MAPPED_FILE).
KP_API BOOL WINAPI SetEndOfFile(HANDLE hFile);
KP_API DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh);
KP_API BOOL WINAPI GetFileSizeEx(HANDLE hFile, PLARGE_INTEGER lpFileSize);
KP_API BOOL WINAPI FlushFileBuffers(HANDLE hFile);
// The creation time is the host's birth time where the file system keeps
// one, else the last write time. SetFileTime sets the last access and last
// write times; asking it to set a creation time fails with
// ERROR_NOT_SUPPORTED and changes nothing.
KP_API BOOL WINAPI GetFileTime(HANDLE hFile, LPFILETIME lpCreationTime, LPFILETIME lpLastAccessTime,
                               LPFILETIME lpLastWriteTime);
KP_API BOOL WINAPI SetFileTime(HANDLE hFile, const FILETIME* lpCreationTime, const FILETIME* lpLastAccessTime,
                               const FILETIME* lpLastWriteTime);
// FILE_ATTRIBUTE_DIRECTORY for folders; FILE_ATTRIBUTE_ARCHIVE for files,
// with FILE_ATTRIBUTE_READONLY when the host file has no owner write bit.
// A read-only file is not opened for writing, truncated, deleted or replaced
// (ERROR_ACCESS_DENIED), whatever user the process runs as.
KP_API DWORD WINAPI GetFileAttributesW(LPCWSTR lpFileName);
KP_API BOOL WINAPI GetFileAttributesExW(LPCWSTR lpFileName, GET_FILEEX_INFO_LEVELS fInfoLevelId,
                                        LPVOID lpFileInformation);
// Refused with ERROR_SHARING_VIOLATION while a handle without
// FILE_SHARE_DELETE is open, and with ERROR_ACCESS_DENIED while the file is
// mapped. With every handle sharing delete, the name goes at once and the
// open handles keep working on the unnamed file.
KP_API BOOL WINAPI DeleteFileW(LPCWSTR lpFileName);
// Renames within the root. The source must not be open without
// FILE_SHARE_DELETE (ERROR_SHARING_VIOLATION); an existing destination needs
// MOVEFILE_REPLACE_EXISTING (else ERROR_ALREADY_EXISTS), must be a file and
// must not be open without FILE_SHARE_DELETE or mapped (ERROR_ACCESS_DENIED).
// The replacement is atomic. MOVEFILE_DELAY_UNTIL_REBOOT is not offered.
KP_API BOOL WINAPI MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags);
KP_API BOOL WINAPI MoveFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName);

// Temporary files: the temporary folder is C:\Windows\Temp\. GetTempFileNameW
// names <path>\<up to 3 prefix characters><hex number>.tmp; with uUnique 0 it
// creates the file (a new name each call, also across threads and processes)
// and returns the number used, else it only forms the name.
KP_API DWORD WINAPI GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer);
KP_API UINT WINAPI GetTempFileNameW(LPCWSTR lpPathName, LPCWSTR lpPrefixString, UINT uUnique, LPWSTR lpTempFileName);

// Folders. RemoveDirectoryW refuses the current directory
// (ERROR_SHARING_VIOLATION) and drive and share roots (ERROR_ACCESS_DENIED).
KP_API BOOL WINAPI CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes);
KP_API BOOL WINAPI RemoveDirectoryW(LPCWSTR lpPathName);

// The functions below that fill a buffer answer the length without the
// terminating NUL on success, and the size needed with it when the buffer is
// too small (nothing is written then), as on Windows.
KP_API DWORD WINAPI GetCurrentDirectoryW(DWORD nBufferLength, LPWSTR lpBuffer);
KP_API BOOL WINAPI SetCurrentDirectoryW(LPCWSTR lpPathName);
KP_API UINT WINAPI GetWindowsDirectoryW(LPWSTR lpBuffer, UINT uSize);
KP_API UINT WINAPI GetSystemDirectoryW(LPWSTR lpBuffer, UINT uSize);
KP_API UINT WINAPI GetSystemWindowsDirectoryW(LPWSTR lpBuffer, UINT uSize);
// The path must exist; it is answered as given (there are no short names).
KP_API DWORD WINAPI GetShortPathNameW(LPCWSTR lpszLongPath, LPWSTR lpszShortPath, DWORD cchBuffer);
// The full path by name only (nothing on disk is consulted): drive letter in
// upper case, backslashes, "." and ".." resolved, a trailing backslash kept.
// A "\\?\" path is answered unchanged.
KP_API DWORD WINAPI GetFullPathNameW(LPCWSTR lpFileName, DWORD nBufferLength, LPWSTR lpBuffer, LPWSTR* lpFilePart);

// Read-only mappings of a file opened with GENERIC_READ. The mapping covers
// the whole file (or the first dwMaximumSizeLow/High bytes, at most the file's
// size); an empty file cannot be mapped (ERROR_FILE_INVALID). lpName must be
// null. A view (offset a multiple of 65536, 0 bytes meaning to the end) stays
// valid after the file and mapping handles are closed, until UnmapViewOfFile.
KP_API HANDLE WINAPI CreateFileMappingW(HANDLE hFile, LPSECURITY_ATTRIBUTES lpFileMappingAttributes, DWORD flProtect,
                                        DWORD dwMaximumSizeHigh, DWORD dwMaximumSizeLow, LPCWSTR lpName);
KP_API LPVOID WINAPI MapViewOfFile(HANDLE hFileMappingObject, DWORD dwDesiredAccess, DWORD dwFileOffsetHigh,
                                   DWORD dwFileOffsetLow, SIZE_T dwNumberOfBytesToMap);
KP_API BOOL WINAPI UnmapViewOfFile(LPCVOID lpBaseAddress);

// Test controls.
// Maps a Windows path to its host path below the root. Answers the length
// (without NUL), or the size needed when the buffer is too small; 0 with the
// last error set when the path cannot be mapped.
KP_API DWORD KpMapPath(LPCWSTR windowsPath, char* buffer, DWORD size);
// The Windows path of a host path below the root; 0 when it lies outside.
// Same size protocol as KpMapPath.
KP_API DWORD KpUnmapPath(const char* hostPath, LPWSTR buffer, DWORD size);
// Makes WriteFile calls misbehave: counting from the next call (1), calls
// nth to nth + times - 1 write at most maxBytes bytes each; with error 0 they
// succeed short, otherwise they fail with that error after writing those
// bytes (the count written is still reported). nth 0 clears the fault.
KP_API void KpSetWriteFault(DWORD nth, DWORD times, DWORD maxBytes, DWORD error);
// Views currently mapped in the process (tests check that none leak).
KP_API size_t KpMappedViewCount(void);
