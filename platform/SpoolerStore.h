// The spooler's state in the registry: drivers, queues, printer data and jobs.
//
//   ...\Drivers\Version-3\<driver>   "Driver", "Data File", "Configuration File" (bare names)
//   ...\Print\Printers\<queue>       "Name", "Printer Driver", "Port", "Status", ... and the
//                                    stand-in's refusal switches
//   <queue>\PrinterDriverData        the queue's printer data
//   <queue>\Jobs\<id, 10 digits>     "Document", "Size", "Status"; the queue's "Next Job Id"
#pragma once

#include "platform/RegistryDb.h"

#include <optional>
#include <string>
#include <vector>

namespace vplat::detail {

inline constexpr const char16_t* kEnvironmentName = u"Windows x64";
inline constexpr DWORD kDriverVersion = 3;
inline constexpr const char16_t* kPrinterDataSubkey = u"PrinterDriverData";
inline constexpr const char16_t* kJobsSubkey = u"Jobs";
inline constexpr const char16_t* kNextJobIdValue = u"Next Job Id";
inline constexpr const char16_t* kDriverValue = u"Driver";
inline constexpr const char16_t* kDataFileValue = u"Data File";
inline constexpr const char16_t* kConfigFileValue = u"Configuration File";
inline constexpr const char16_t* kPrinterDriverValue = u"Printer Driver";
inline constexpr const char16_t* kPortValue = u"Port";
inline constexpr const char16_t* kStatusValue = u"Status";
inline constexpr const char16_t* kNameValue = u"Name";
inline constexpr const char16_t* kDocumentValue = u"Document";
inline constexpr const char16_t* kSizeValue = u"Size";

// Queue and driver names: not empty, no backslash or comma, at most this long.
inline constexpr size_t kMaxQueueNameChars = 220;
bool IsValidSpoolerName(std::u16string_view name);

LSTATUS FindQueue(RegistryDb& db, std::u16string_view queue, int64_t& id);
LSTATUS FindDriver(RegistryDb& db, std::u16string_view driver, int64_t& id);

struct StoredJob {
    DWORD id = 0;
    std::u16string document;
    DWORD size = 0;
    DWORD status = 0;
};
// A job's key name: its id as ten decimal digits, so that name order is queue order.
std::u16string JobKeyName(DWORD id);
bool ParseJobId(std::u16string_view name, DWORD& id);
// The queue's jobs in queue order (ascending id).
LSTATUS ReadJobs(RegistryDb& db, int64_t queue, std::vector<StoredJob>& jobs);
LSTATUS DeleteAllJobs(RegistryDb& db, int64_t queue);

}  // namespace vplat::detail
