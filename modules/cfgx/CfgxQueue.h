// The CFGX module's view of a print queue, through the stand-in platform's spooler: the
// queue's printer data that the module writes (registry data for the driver, the last custom
// version) and the driver's compiled configuration files in the queue's work folder.
//
// Printer data values written (all under the queue's PrinterDriverData):
//   KDCFGXCustomVersion   REG_DWORD   the last custom version given to one of the queue's files
//   KDCFGXFileVersion     REG_SZ      version string of the file the registry data belongs to
//   KDCFGXUpdateMode      REG_DWORD   the update mode of the last registry update (11, 12, 13)
//   KDCFGXUpdateKind      REG_DWORD   the record's registry update kind (offset 352: 0, 3, 11)
//   KDCFGXBinaryResID     REG_DWORD   the record's binary resource ID
//   KDCFGXCFGXResID       REG_DWORD   the record's CFGX resource ID
//   and, each when the record's element mask selects it:
//   KDCFGXModelName       REG_SZ      mask 0x1
//   KDCFGXModelInfoBits   REG_DWORD   mask 0x2
//   KDCFGXSupportPDL      REG_DWORD   mask 0x4
//   KDCFGXOptionUnitBits  REG_DWORD   mask 0x8 or any of 0xF00000000
//   KDCFGXCassetteNum     REG_DWORD   mask 0x10 (0 to 8)
//   KDCFGXCassettes       REG_BINARY  mask 0x10: that many 16-byte cassette records
//   KDCFGXInstalledMemory REG_DWORD   mask 0x40
//   KDCFGXDefaultPDL      REG_DWORD   mask 0x200
//   KDCFGXUserDefMaxMin   REG_BINARY  mask 0x1000: the 40-byte limits of user-defined paper
#pragma once

#include "modules/cfgx/CfxFile.h"
#include "vanto.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace cfgx_queue {

// A caller's Windows path as this system's path (cfgx_files): through the stand-in platform on
// Linux, the path itself in UTF-8 on Windows; nullopt when it cannot be translated.
std::optional<std::string> NativePath(std::u16string_view windowsPath);

inline constexpr size_t kMaxQueueUnits = 1023;  // UTF-16 units of a queue name

// The queue exists and can be opened for use.
bool QueueExists(const std::u16string& queue);

// The queue's last custom version (0 when it has none) into `version`; KD_CFGX_OK or
// KD_CFGX_ERR_PRINTER.
int32_t ReadCustomVersion(const std::u16string& queue, uint32_t& version);
int32_t WriteCustomVersion(const std::u16string& queue, uint32_t version);

// Writes the registry data of the record (see above) for update mode 11, 12 or 13. Mode 12
// writes the record's values only; modes 11 and 13 also the file's version string and custom
// version; mode 13 writes the values the mask leaves out as 0, empty text or empty binary, so
// nothing of an earlier printer remains. KD_CFGX_OK or KD_CFGX_ERR_PRINTER (values written
// before the failing one stay written).
int32_t WriteRegistryData(const std::u16string& queue, uint32_t mode, const VANTO_PRINTER_INFO& record,
                          const cfx::CfxFile& file);

// Deletes the compiled configuration files K_*.CFB from the queue's work folder
// (C:\ProgramData\KELDA\<driver>\<KDPQGUID>; the driver's folder when the queue has no
// identifier). KD_CFGX_OK also when there are none; KD_CFGX_ERR_PRINTER when the queue or its
// driver cannot be read, KD_CFGX_ERR_IO when a file cannot be deleted.
int32_t DeleteBinFiles(const std::u16string& queue);

}  // namespace cfgx_queue
