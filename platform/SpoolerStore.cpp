// The spooler's state in the registry.
#include "platform/SpoolerStore.h"

#include "platform/RegistryAccess.h"
#include "platform/TextUtil.h"
#include "platform/prefix.h"

namespace vplat::detail {

bool IsValidSpoolerName(std::u16string_view name) {
    return !name.empty() && name.size() <= kMaxQueueNameChars && name.find_first_of(u"\\,") == std::u16string_view::npos &&
           name.find(u'\0') == std::u16string_view::npos;
}

LSTATUS FindQueue(RegistryDb& db, std::u16string_view queue, int64_t& id) {
    if (!IsValidSpoolerName(queue)) return ERROR_FILE_NOT_FOUND;
    return db.OpenKey(RegistryDb::kLocalMachine, std::u16string(kPrintersKey) + u"\\" + std::u16string(queue), id);
}

LSTATUS FindDriver(RegistryDb& db, std::u16string_view driver, int64_t& id) {
    if (!IsValidSpoolerName(driver)) return ERROR_FILE_NOT_FOUND;
    return db.OpenKey(RegistryDb::kLocalMachine, std::u16string(kDriversKey) + u"\\" + std::u16string(driver), id);
}

bool ParseJobId(std::u16string_view name, DWORD& id) {
    uint64_t value = 0;
    if (name.empty() || name.size() > 10) return false;
    for (char16_t c : name) {
        if (c < u'0' || c > u'9') return false;
        value = value * 10 + (c - u'0');
    }
    if (value == 0 || value > 0xFFFFFFFFu) return false;
    id = static_cast<DWORD>(value);
    return true;
}

std::u16string JobKeyName(DWORD id) {
    std::u16string name(10, u'0');
    for (size_t i = name.size(); i-- > 0 && id; id /= 10) name[i] = static_cast<char16_t>(u'0' + id % 10);
    return name;
}

LSTATUS ReadJobs(RegistryDb& db, int64_t queue, std::vector<StoredJob>& jobs) {
    jobs.clear();
    int64_t folder = 0;
    LSTATUS s = db.OpenKey(queue, kJobsSubkey, folder);
    if (s == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    if (s != ERROR_SUCCESS) return s;
    for (DWORD i = 0;; ++i) {
        std::u16string name;
        s = db.EnumKey(folder, i, name);
        if (s == ERROR_NO_MORE_ITEMS) break;
        if (s != ERROR_SUCCESS) return s;
        int64_t key = 0;
        if ((s = db.OpenKey(folder, name, key)) != ERROR_SUCCESS) return s;
        StoredJob job;
        if (!ParseJobId(name, job.id)) continue;  // not a job's key
        job.document = GetString(db, key, kDocumentValue).value_or(u"");
        job.size = GetDword(db, key, kSizeValue).value_or(0);
        job.status = GetDword(db, key, kStatusValue).value_or(0);
        jobs.push_back(std::move(job));
    }
    return ERROR_SUCCESS;
}

LSTATUS DeleteAllJobs(RegistryDb& db, int64_t queue) {
    LSTATUS s = db.DeleteKey(queue, kJobsSubkey, true);
    return s == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : s;
}

}  // namespace vplat::detail
