// platform/win32.h on Windows: <windows.h>, <winspool.h> and <shlobj.h>, with the library's UTF-16
// text mapped onto them.
//
// The library keeps UTF-16 text as char16_t (std::u16string, u"" literals) and names it WCHAR,
// LPWSTR and LPCWSTR, as the stand-in platform declares them on Linux. The SDK's WCHAR is wchar_t:
// the same 16-bit code units under a different C++ type. This header is the one place where the
// two meet: after the SDK's declarations, the library's names of the text types, of the records
// that carry text and of the functions that take text are its own (char16_t) forms, and each of
// those functions hands its arguments to the SDK's function of the same name unchanged. Nothing
// is converted; only the pointer type differs.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <winspool.h>
#include <shlobj.h>

#include <cstddef>
#include <cstdint>

namespace vwin {

static_assert(sizeof(wchar_t) == sizeof(char16_t) && alignof(wchar_t) == alignof(char16_t));

using WCHAR = char16_t;
using LPWSTR = char16_t*;
using LPCWSTR = const char16_t*;

// The SDK's pointer for one of ours (same code units, same layout).
inline wchar_t* Sdk(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }
inline const wchar_t* Sdk(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

// Records that carry text: the SDK's layout with the library's text type.
struct PRINTER_DEFAULTSW {
    LPWSTR pDatatype;
    LPDEVMODEW pDevMode;
    DWORD DesiredAccess;
};

struct DRIVER_INFO_2W {
    DWORD cVersion;
    LPWSTR pName;
    LPWSTR pEnvironment;
    LPWSTR pDriverPath;
    LPWSTR pDataFile;
    LPWSTR pConfigFile;
};

struct PRINTER_INFO_2W {
    LPWSTR pServerName;
    LPWSTR pPrinterName;
    LPWSTR pShareName;
    LPWSTR pPortName;
    LPWSTR pDriverName;
    LPWSTR pComment;
    LPWSTR pLocation;
    LPDEVMODEW pDevMode;
    LPWSTR pSepFile;
    LPWSTR pPrintProcessor;
    LPWSTR pDatatype;
    LPWSTR pParameters;
    PSECURITY_DESCRIPTOR pSecurityDescriptor;
    DWORD Attributes;
    DWORD Priority;
    DWORD DefaultPriority;
    DWORD StartTime;
    DWORD UntilTime;
    DWORD Status;
    DWORD cJobs;
    DWORD AveragePPM;
};

struct JOB_INFO_2W {
    DWORD JobId;
    LPWSTR pPrinterName;
    LPWSTR pMachineName;
    LPWSTR pUserName;
    LPWSTR pDocument;
    LPWSTR pNotifyName;
    LPWSTR pDatatype;
    LPWSTR pPrintProcessor;
    LPWSTR pParameters;
    LPWSTR pDriverName;
    LPDEVMODEW pDevMode;
    LPWSTR pStatus;
    PSECURITY_DESCRIPTOR pSecurityDescriptor;
    DWORD Status;
    DWORD Priority;
    DWORD Position;
    DWORD StartTime;
    DWORD UntilTime;
    DWORD TotalPages;
    DWORD Size;
    SYSTEMTIME Submitted;
    DWORD Time;
    DWORD PagesPrinted;
};

struct WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    WCHAR cFileName[MAX_PATH];
    WCHAR cAlternateFileName[14];
};

#define VWIN_SAME_LAYOUT(record, last)                                                          \
    static_assert(sizeof(record) == sizeof(::record) && offsetof(record, last) == offsetof(::record, last))
VWIN_SAME_LAYOUT(PRINTER_DEFAULTSW, DesiredAccess);
VWIN_SAME_LAYOUT(DRIVER_INFO_2W, pConfigFile);
VWIN_SAME_LAYOUT(PRINTER_INFO_2W, AveragePPM);
VWIN_SAME_LAYOUT(JOB_INFO_2W, PagesPrinted);
VWIN_SAME_LAYOUT(WIN32_FIND_DATAW, cAlternateFileName);
#undef VWIN_SAME_LAYOUT

// ---- Registry ----
inline LSTATUS RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult) {
    return ::RegOpenKeyExW(hKey, Sdk(lpSubKey), ulOptions, samDesired, phkResult);
}
inline LSTATUS RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass, DWORD dwOptions,
                               REGSAM samDesired, const SECURITY_ATTRIBUTES* lpSecurityAttributes, PHKEY phkResult,
                               LPDWORD lpdwDisposition) {
    return ::RegCreateKeyExW(hKey, Sdk(lpSubKey), Reserved, Sdk(lpClass), dwOptions, samDesired,
                             const_cast<SECURITY_ATTRIBUTES*>(lpSecurityAttributes), phkResult, lpdwDisposition);
}
inline LSTATUS RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                                LPDWORD lpcbData) {
    return ::RegQueryValueExW(hKey, Sdk(lpValueName), lpReserved, lpType, lpData, lpcbData);
}
inline LSTATUS RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                              DWORD cbData) {
    return ::RegSetValueExW(hKey, Sdk(lpValueName), Reserved, dwType, lpData, cbData);
}
inline LSTATUS RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) { return ::RegDeleteValueW(hKey, Sdk(lpValueName)); }
inline LSTATUS RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) { return ::RegDeleteKeyW(hKey, Sdk(lpSubKey)); }
inline LSTATUS RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey) { return ::RegDeleteTreeW(hKey, Sdk(lpSubKey)); }
inline LSTATUS RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                             LPWSTR lpClass, LPDWORD lpcchClass, void* lpftLastWriteTime) {
    return ::RegEnumKeyExW(hKey, dwIndex, Sdk(lpName), lpcchName, lpReserved, Sdk(lpClass), lpcchClass,
                           static_cast<PFILETIME>(lpftLastWriteTime));
}
inline LSTATUS RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                             LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    return ::RegEnumValueW(hKey, dwIndex, Sdk(lpValueName), lpcchValueName, lpReserved, lpType, lpData, lpcbData);
}

// ---- Print spooler ----
inline BOOL OpenPrinterW(LPWSTR pPrinterName, LPHANDLE phPrinter, PRINTER_DEFAULTSW* pDefault) {
    return ::OpenPrinterW(Sdk(pPrinterName), phPrinter, reinterpret_cast<::PRINTER_DEFAULTSW*>(pDefault));
}
inline BOOL GetPrinterDriverW(HANDLE hPrinter, LPWSTR pEnvironment, DWORD Level, LPBYTE pDriverInfo, DWORD cbBuf,
                              LPDWORD pcbNeeded) {
    return ::GetPrinterDriverW(hPrinter, Sdk(pEnvironment), Level, pDriverInfo, cbBuf, pcbNeeded);
}
inline DWORD GetPrinterDataW(HANDLE hPrinter, LPWSTR pValueName, LPDWORD pType, LPBYTE pData, DWORD nSize,
                             LPDWORD pcbNeeded) {
    return ::GetPrinterDataW(hPrinter, Sdk(pValueName), pType, pData, nSize, pcbNeeded);
}
inline DWORD SetPrinterDataW(HANDLE hPrinter, LPWSTR pValueName, DWORD Type, LPBYTE pData, DWORD cbData) {
    return ::SetPrinterDataW(hPrinter, Sdk(pValueName), Type, pData, cbData);
}

// ---- Files and folders ----
inline DWORD GetPrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpDefault,
                                      LPWSTR lpReturnedString, DWORD nSize, LPCWSTR lpFileName) {
    return ::GetPrivateProfileStringW(Sdk(lpAppName), Sdk(lpKeyName), Sdk(lpDefault), Sdk(lpReturnedString), nSize,
                                      Sdk(lpFileName));
}
inline BOOL SHGetSpecialFolderPathW(HWND hwnd, LPWSTR pszPath, int csidl, BOOL fCreate) {
    return ::SHGetSpecialFolderPathW(hwnd, Sdk(pszPath), csidl, fCreate);
}
inline HANDLE FindFirstFileW(LPCWSTR lpFileName, WIN32_FIND_DATAW* lpFindFileData) {
    return ::FindFirstFileW(Sdk(lpFileName), reinterpret_cast<::WIN32_FIND_DATAW*>(lpFindFileData));
}
inline BOOL FindNextFileW(HANDLE hFindFile, WIN32_FIND_DATAW* lpFindFileData) {
    return ::FindNextFileW(hFindFile, reinterpret_cast<::WIN32_FIND_DATAW*>(lpFindFileData));
}
inline BOOL CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes) {
    return ::CreateDirectoryW(Sdk(lpPathName), lpSecurityAttributes);
}
inline DWORD GetFileAttributesW(LPCWSTR lpFileName) { return ::GetFileAttributesW(Sdk(lpFileName)); }
inline HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
    return ::CreateFileW(Sdk(lpFileName), dwDesiredAccess, dwShareMode, lpSecurityAttributes, dwCreationDisposition,
                         dwFlagsAndAttributes, hTemplateFile);
}
inline BOOL GetModuleHandleExW(DWORD dwFlags, LPCWSTR lpModuleName, HMODULE* phModule) {
    return ::GetModuleHandleExW(dwFlags, Sdk(lpModuleName), phModule);
}
inline DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
    return ::GetModuleFileNameW(hModule, Sdk(lpFilename), nSize);
}

// ---- GUIDs, synchronisation, loading ----
inline int StringFromGUID2(const GUID& rguid, LPWSTR lpsz, int cchMax) {
    return ::StringFromGUID2(rguid, Sdk(lpsz), cchMax);
}
inline HANDLE CreateEventW(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                           LPCWSTR lpName) {
    return ::CreateEventW(lpEventAttributes, bManualReset, bInitialState, Sdk(lpName));
}
inline HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, LPCWSTR lpName) {
    return ::CreateMutexW(lpMutexAttributes, bInitialOwner, Sdk(lpName));
}
inline HMODULE LoadLibraryW(LPCWSTR lpLibFileName) { return ::LoadLibraryW(Sdk(lpLibFileName)); }

// ---- Text ----
inline int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar) {
    return ::MultiByteToWideChar(CodePage, dwFlags, lpMultiByteStr, cbMultiByte, Sdk(lpWideCharStr), cchWideChar);
}
inline int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar, LPBOOL lpUsedDefaultChar) {
    return ::WideCharToMultiByte(CodePage, dwFlags, Sdk(lpWideCharStr), cchWideChar, lpMultiByteStr, cbMultiByte,
                                 lpDefaultChar, lpUsedDefaultChar);
}

}  // namespace vwin

// From here on the names stand for the library's forms. The SDK's remain reachable as ::name
// inside this header's functions, which were compiled before these lines.
#define WCHAR vwin::WCHAR
#define LPWSTR vwin::LPWSTR
#define LPCWSTR vwin::LPCWSTR
#define PRINTER_DEFAULTSW vwin::PRINTER_DEFAULTSW
#define DRIVER_INFO_2W vwin::DRIVER_INFO_2W
#define PRINTER_INFO_2W vwin::PRINTER_INFO_2W
#define JOB_INFO_2W vwin::JOB_INFO_2W
#define WIN32_FIND_DATAW vwin::WIN32_FIND_DATAW
#define RegOpenKeyExW vwin::RegOpenKeyExW
#define RegCreateKeyExW vwin::RegCreateKeyExW
#define RegQueryValueExW vwin::RegQueryValueExW
#define RegSetValueExW vwin::RegSetValueExW
#define RegDeleteValueW vwin::RegDeleteValueW
#define RegDeleteKeyW vwin::RegDeleteKeyW
#define RegDeleteTreeW vwin::RegDeleteTreeW
#define RegEnumKeyExW vwin::RegEnumKeyExW
#define RegEnumValueW vwin::RegEnumValueW
#define OpenPrinterW vwin::OpenPrinterW
#define GetPrinterDriverW vwin::GetPrinterDriverW
#define GetPrinterDataW vwin::GetPrinterDataW
#define SetPrinterDataW vwin::SetPrinterDataW
#define GetPrivateProfileStringW vwin::GetPrivateProfileStringW
#define SHGetSpecialFolderPathW vwin::SHGetSpecialFolderPathW
#define FindFirstFileW vwin::FindFirstFileW
#define FindNextFileW vwin::FindNextFileW
#define CreateDirectoryW vwin::CreateDirectoryW
#define GetFileAttributesW vwin::GetFileAttributesW
#define CreateFileW vwin::CreateFileW
#define GetModuleHandleExW vwin::GetModuleHandleExW
#define GetModuleFileNameW vwin::GetModuleFileNameW
#define StringFromGUID2 vwin::StringFromGUID2
#define CreateEventW vwin::CreateEventW
#define CreateMutexW vwin::CreateMutexW
#define LoadLibraryW vwin::LoadLibraryW
#define MultiByteToWideChar vwin::MultiByteToWideChar
#define WideCharToMultiByte vwin::WideCharToMultiByte
