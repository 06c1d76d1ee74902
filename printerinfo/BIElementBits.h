// Element bits of the update from the printer and of the CFGX update: which elements a caller
// asks for (only the low 32 bits of the caller's 64 take part), and which of them each printer
// kind can take.
#pragma once

#include "platform/win32.h"

inline constexpr DWORD kElemModelName = 0x1;
inline constexpr DWORD kElemModelInfo = 0x2;
inline constexpr DWORD kElemSupportPDL = 0x4;      // the languages
inline constexpr DWORD kElemOptionUnits = 0x8;
inline constexpr DWORD kElemCassettes = 0x10;      // the trays; the CFGX update's input bins
inline constexpr DWORD kElemMemory = 0x40;
inline constexpr DWORD kElemPaperSizes = 0x80;
inline constexpr DWORD kElemPaperTypes = 0x100;
inline constexpr DWORD kElemDefaultPDL = 0x200;
inline constexpr DWORD kElemDirections = 0x800;
inline constexpr DWORD kElemUserDef = 0x1000;
inline constexpr DWORD kElemProhibit = 0x2000;
inline constexpr DWORD kElemResolution = 0x4000;   // the base resolution; the CFGX update's quality levels
inline constexpr DWORD kElemQuality = 0x80000;
inline constexpr DWORD kElemMaxCopies = 0x2000000;
inline constexpr DWORD kElemLayout = 0x20000000;
inline constexpr DWORD kElemDefaultSettings = 0x9DB78000;  // any of these selects the default settings

// Elements each printer kind can take.
inline constexpr DWORD kMaskInkjet = 0xE008279F;
inline constexpr DWORD kMaskCapabilityRecord = 0x3FFFE59B;
inline constexpr DWORD kMaskOther = 0xC0001FFF;    // page printers
