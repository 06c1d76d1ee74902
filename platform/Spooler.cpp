// The print spooler functions over the queues, drivers, printer data and jobs kept in the
// prefix's registry (see SpoolerStore.h for where).
//
// Administrative opens (PRINTER_ACCESS_ADMINISTER, as in PRINTER_ALL_ACCESS) are refused for an
// unprivileged caller and for a queue with "Refuse Full Access"; a queue with "Refuse Purge"
// refuses PRINTER_CONTROL_PURGE while every other operation works.
#include "platform/BufferPacker.h"
#include "platform/HandleTable.h"
#include "platform/RegistryAccess.h"
#include "platform/SpoolerStore.h"
#include "platform/TextUtil.h"
#include "platform/prefix.h"

using namespace vplat::detail;

namespace {
constexpr DWORD ERROR_INVALID_ENVIRONMENT = 1805;
constexpr DWORD PRINTER_CONTROL_SET_STATUS = 4;
constexpr DWORD kJobPriority = 1;
constexpr const char16_t* kJobUser = u"vanto";
// Rights beyond "use" that only an administrator of the queue gets.
constexpr DWORD kAdministrativeRights = PRINTER_ACCESS_ADMINISTER | STANDARD_RIGHTS_REQUIRED;

struct PrinterObject : KernelObject {
    bool ClosedByCloseHandle() const override { return false; }
    std::shared_ptr<RegistryDb> db;
    int64_t queue = 0;
    std::u16string name;
    DWORD access = 0;
};

std::shared_ptr<PrinterObject> Printer(HANDLE h) { return h ? LookupAs<PrinterObject>(h) : nullptr; }

std::u16string QueueString(const PrinterObject& p, const char16_t* value) {
    return GetString(*p.db, p.queue, value).value_or(u"");
}

std::u16string DriverPath(std::u16string_view bare) { return std::u16string(vplat::kDriverFolder) + u"\\" + std::u16string(bare); }
}  // namespace

BOOL OpenPrinterW(LPWSTR pPrinterName, LPHANDLE phPrinter, PRINTER_DEFAULTSW* pDefault) {
    if (!phPrinter) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    *phPrinter = nullptr;
    auto name = CallerText(pPrinterName, kMaxQueueNameChars);
    if (!name) return Fail(ERROR_INVALID_PRINTER_NAME, FALSE);
    LSTATUS status = ERROR_SUCCESS;
    auto db = RegistryDb::Current(status);
    int64_t queue = 0;
    if (!db || FindQueue(*db, *name, queue) != ERROR_SUCCESS) return Fail(ERROR_INVALID_PRINTER_NAME, FALSE);
    DWORD access = pDefault && pDefault->DesiredAccess ? pDefault->DesiredAccess : PRINTER_ACCESS_USE;
    if (access & kAdministrativeRights) {
        if (Unprivileged() || db->ReadOnly() || GetDword(*db, queue, vplat::kRefuseFullAccessValue).value_or(0) != 0)
            return Fail(ERROR_ACCESS_DENIED, FALSE);
        access |= PRINTER_ACCESS_USE;
    }
    auto object = std::make_shared<PrinterObject>();
    object->db = db;
    object->queue = queue;
    object->name = GetString(*db, queue, kNameValue).value_or(std::u16string(*name));
    object->access = access;
    *phPrinter = AddHandle(std::move(object));
    return TRUE;
}

BOOL ClosePrinter(HANDLE hPrinter) {
    return RemoveAs<PrinterObject>(hPrinter) ? TRUE : Fail(ERROR_INVALID_HANDLE, FALSE);
}

BOOL GetPrinterDriverW(HANDLE hPrinter, LPWSTR pEnvironment, DWORD Level, LPBYTE pDriverInfo, DWORD cbBuf,
                       LPDWORD pcbNeeded) {
    auto p = Printer(hPrinter);
    if (!p) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!pcbNeeded) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (pEnvironment) {
        auto env = CallerText(pEnvironment, 64);
        if (!env || !EqualNoCase(*env, kEnvironmentName)) return Fail(ERROR_INVALID_ENVIRONMENT, FALSE);
    }
    if (Level != 2) return Fail(ERROR_INVALID_LEVEL, FALSE);
    const std::u16string driverName = QueueString(*p, kPrinterDriverValue);
    int64_t driver = 0;
    if (FindDriver(*p->db, driverName, driver) != ERROR_SUCCESS) return Fail(ERROR_UNKNOWN_PRINTER_DRIVER, FALSE);
    auto file = [&](const char16_t* value) { return DriverPath(GetString(*p->db, driver, value).value_or(u"")); };
    const std::u16string strings[] = {driverName, kEnvironmentName, file(kDriverValue), file(kDataFileValue),
                                      file(kConfigFileValue)};
    BufferPacker packer(sizeof(DRIVER_INFO_2W));
    for (const auto& s : strings) packer.Count(s);
    *pcbNeeded = static_cast<DWORD>(packer.Needed());
    if (!packer.Fits(pDriverInfo, cbBuf)) return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    packer.Start(pDriverInfo);
    auto* info = reinterpret_cast<DRIVER_INFO_2W*>(pDriverInfo);
    info->cVersion = kDriverVersion;
    info->pName = packer.Put(strings[0]);
    info->pEnvironment = packer.Put(strings[1]);
    info->pDriverPath = packer.Put(strings[2]);
    info->pDataFile = packer.Put(strings[3]);
    info->pConfigFile = packer.Put(strings[4]);
    return TRUE;
}

DWORD GetPrinterDataW(HANDLE hPrinter, LPWSTR pValueName, LPDWORD pType, LPBYTE pData, DWORD nSize,
                      LPDWORD pcbNeeded) {
    // A null handle fails like any other bad handle (Windows' client answers 0 here, which a
    // caller would take for success).
    auto p = Printer(hPrinter);
    if (!p) return ERROR_INVALID_HANDLE;
    if (!pcbNeeded || (!pData && nSize)) return ERROR_INVALID_PARAMETER;
    std::u16string_view name;
    if (pValueName) {
        auto text = CallerText(pValueName, kMaxValueNameChars);
        if (!text) return ERROR_INVALID_PARAMETER;
        name = *text;
    }
    int64_t dataKey = 0;
    if (LSTATUS s = p->db->OpenKey(p->queue, kPrinterDataSubkey, dataKey); s != ERROR_SUCCESS)
        return s == ERROR_KEY_DELETED ? ERROR_INVALID_HANDLE : ERROR_FILE_NOT_FOUND;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    if (LSTATUS s = p->db->QueryValue(dataKey, name, type, data); s != ERROR_SUCCESS) return s;
    if (pType) *pType = type;
    *pcbNeeded = static_cast<DWORD>(data.size());
    if (!pData || nSize < data.size()) return ERROR_MORE_DATA;
    if (!data.empty()) std::memcpy(pData, data.data(), data.size());
    return ERROR_SUCCESS;
}

DWORD SetPrinterDataW(HANDLE hPrinter, LPWSTR pValueName, DWORD Type, LPBYTE pData, DWORD cbData) {
    auto p = Printer(hPrinter);
    if (!p) return ERROR_INVALID_HANDLE;
    if (!(p->access & PRINTER_ACCESS_ADMINISTER)) return ERROR_ACCESS_DENIED;
    if (!pData && cbData) return ERROR_INVALID_PARAMETER;
    std::u16string_view name;
    if (pValueName) {
        auto text = CallerText(pValueName, kMaxValueNameChars);
        if (!text) return ERROR_INVALID_PARAMETER;
        name = *text;
    }
    return p->db->Write([&]() -> LSTATUS {
        int64_t dataKey = 0;
        bool created = false;
        if (LSTATUS s = p->db->CreateKey(p->queue, kPrinterDataSubkey, dataKey, created); s != ERROR_SUCCESS)
            return s == ERROR_KEY_DELETED ? ERROR_INVALID_HANDLE : s;
        return p->db->SetValue(dataKey, name, Type, std::span<const BYTE>(pData, pData ? cbData : 0));
    });
}

BOOL GetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD cbBuf, LPDWORD pcbNeeded) {
    auto p = Printer(hPrinter);
    if (!p) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!pcbNeeded) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (Level != 2) return Fail(ERROR_INVALID_LEVEL, FALSE);
    if (p->db->KeyAlive(p->queue) != ERROR_SUCCESS) return Fail(ERROR_INVALID_HANDLE, FALSE);
    std::vector<StoredJob> jobs;
    if (ReadJobs(*p->db, p->queue, jobs) != ERROR_SUCCESS) return Fail(ERROR_NOT_ENOUGH_MEMORY, FALSE);
    enum { Name, Share, Port, Driver, Comment, Location, SepFile, Processor, Datatype, Parameters, Count };
    const std::u16string strings[Count] = {
        p->name,
        QueueString(*p, u"Share Name"),
        QueueString(*p, kPortValue),
        QueueString(*p, kPrinterDriverValue),
        QueueString(*p, u"Description"),
        QueueString(*p, u"Location"),
        u"",
        QueueString(*p, u"Print Processor"),
        QueueString(*p, u"Datatype"),
        u""};
    BufferPacker packer(sizeof(PRINTER_INFO_2W));
    for (const auto& s : strings) packer.Count(s);
    *pcbNeeded = static_cast<DWORD>(packer.Needed());
    if (!packer.Fits(pPrinter, cbBuf)) return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    packer.Start(pPrinter);
    auto* info = reinterpret_cast<PRINTER_INFO_2W*>(pPrinter);
    info->pPrinterName = packer.Put(strings[Name]);
    info->pShareName = packer.Put(strings[Share]);
    info->pPortName = packer.Put(strings[Port]);
    info->pDriverName = packer.Put(strings[Driver]);
    info->pComment = packer.Put(strings[Comment]);
    info->pLocation = packer.Put(strings[Location]);
    info->pSepFile = packer.Put(strings[SepFile]);
    info->pPrintProcessor = packer.Put(strings[Processor]);
    info->pDatatype = packer.Put(strings[Datatype]);
    info->pParameters = packer.Put(strings[Parameters]);
    info->Attributes = GetDword(*p->db, p->queue, u"Attributes").value_or(0);
    info->Priority = kJobPriority;
    info->Status = GetDword(*p->db, p->queue, kStatusValue).value_or(0);
    info->cJobs = static_cast<DWORD>(jobs.size());
    return TRUE;
}

BOOL EnumJobsW(HANDLE hPrinter, DWORD FirstJob, DWORD NoJobs, DWORD Level, LPBYTE pJob, DWORD cbBuf,
               LPDWORD pcbNeeded, LPDWORD pcReturned) {
    auto p = Printer(hPrinter);
    if (!p) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!pcbNeeded || !pcReturned) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    *pcReturned = 0;
    if (Level != 2) return Fail(ERROR_INVALID_LEVEL, FALSE);
    std::vector<StoredJob> jobs;
    if (ReadJobs(*p->db, p->queue, jobs) != ERROR_SUCCESS) return Fail(ERROR_INVALID_HANDLE, FALSE);
    const size_t first = std::min<size_t>(FirstJob, jobs.size());
    const size_t count = std::min<size_t>(NoJobs, jobs.size() - first);
    const std::u16string driver = QueueString(*p, kPrinterDriverValue);
    BufferPacker packer(count * sizeof(JOB_INFO_2W));
    for (size_t i = first; i < first + count; ++i)
        for (std::u16string_view s : {std::u16string_view(p->name), std::u16string_view(kJobUser),
                                      std::u16string_view(jobs[i].document), std::u16string_view(driver)})
            packer.Count(s);
    *pcbNeeded = static_cast<DWORD>(packer.Needed());
    if (count == 0) return TRUE;
    if (!packer.Fits(pJob, cbBuf)) return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    packer.Start(pJob);
    auto* infos = reinterpret_cast<JOB_INFO_2W*>(pJob);
    for (size_t i = 0; i < count; ++i) {
        const StoredJob& job = jobs[first + i];
        JOB_INFO_2W& info = infos[i];
        info.JobId = job.id;
        info.pPrinterName = packer.Put(p->name);
        info.pUserName = packer.Put(kJobUser);
        info.pDocument = packer.Put(job.document);
        info.pDriverName = packer.Put(driver);
        info.Status = job.status;
        info.Priority = kJobPriority;
        info.Position = static_cast<DWORD>(first + i + 1);
        info.Size = job.size;
    }
    *pcReturned = static_cast<DWORD>(count);
    return TRUE;
}

BOOL SetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD Command) {
    auto p = Printer(hPrinter);
    if (!p) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (Level != 0) return Fail(ERROR_INVALID_LEVEL, FALSE);  // only queue control is offered
    const bool setStatus = Command == PRINTER_CONTROL_SET_STATUS;
    if (Command < PRINTER_CONTROL_PAUSE || Command > PRINTER_CONTROL_SET_STATUS || (setStatus != (pPrinter != nullptr)))
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (!(p->access & PRINTER_ACCESS_ADMINISTER)) return Fail(ERROR_ACCESS_DENIED, FALSE);
    DWORD refusal = ERROR_SUCCESS;
    const LSTATUS status = p->db->Write([&]() -> LSTATUS {
        if (p->db->KeyAlive(p->queue) != ERROR_SUCCESS) return ERROR_INVALID_HANDLE;
        DWORD current = GetDword(*p->db, p->queue, kStatusValue).value_or(0);
        switch (Command) {
            case PRINTER_CONTROL_PAUSE:
                return SetDword(*p->db, p->queue, kStatusValue, current | PRINTER_STATUS_PAUSED);
            case PRINTER_CONTROL_RESUME:
                return SetDword(*p->db, p->queue, kStatusValue, current & ~PRINTER_STATUS_PAUSED);
            case PRINTER_CONTROL_PURGE:
                if (GetDword(*p->db, p->queue, vplat::kRefusePurgeValue).value_or(0) != 0) {
                    refusal = ERROR_ACCESS_DENIED;
                    return ERROR_ACCESS_DENIED;
                }
                return DeleteAllJobs(*p->db, p->queue);
            default: {
                DWORD value = 0;
                std::memcpy(&value, pPrinter, sizeof value);
                return SetDword(*p->db, p->queue, kStatusValue, value);
            }
        }
    });
    if (status != ERROR_SUCCESS) return Fail(refusal ? refusal : static_cast<DWORD>(status), FALSE);
    return TRUE;
}
