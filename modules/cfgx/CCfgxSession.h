// CCfgxSession: one open CFX file of the CFGX module and the checked edits on it.
//
// Every operation validates its IDs and values against the model before it changes anything
// and answers a KD_CFGX_* result; a refused call leaves the model as it was. Besides the file,
// a session holds the current setting of each function (its "control state"): it starts at the
// function's default and is what the prohibit groups are checked against. Current settings
// belong to the session and are not saved.
//
// A session is used by one thread at a time; the exports hold its lock around each call.
#pragma once

#include "modules/cfgx/CfxFile.h"
#include "modules/cfgx/kdcfgx.h"

#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <unordered_map>

class CCfgxSession {
public:
    // `sourceName` is the file name a save into a folder uses; `queue` may be empty for a
    // session opened on a file alone.
    CCfgxSession(cfx::CfxFile file, std::string sourceName, std::u16string queue);

    std::mutex& Lock() { return m_lock; }
    const cfx::CfxFile& File() const { return m_file; }
    const std::string& SourceName() const { return m_sourceName; }
    const std::u16string& Queue() const { return m_queue; }

    int32_t SetDefault(uint32_t functionID, uint32_t elementID, uint32_t setDefault, uint32_t lock, uint32_t select,
                       uint32_t checkAvailable);
    int32_t SetDefaultByDevmode(std::span<const uint8_t> devmode);
    int32_t GetControlState(uint32_t functionID, uint32_t* pSetting) const;
    // `checked`: refuse an unavailable element or a setting that completes a prohibit group.
    int32_t SetControlState(uint32_t functionID, uint32_t setting, bool checked);
    int32_t SetFunctionState(uint32_t functionID, uint32_t state);

    int32_t GetVersionString(char16_t* buffer, uint32_t* pcch) const;
    int32_t SetVersionString(std::u16string_view version);
    uint32_t CustomVersion() const { return m_file.customVersion; }
    void SetCustomVersion(uint32_t version) { m_file.customVersion = version; }

    int32_t GetFunctionStatus(uint32_t functionID) const;
    int32_t SetFunctionStatus(uint32_t functionID, uint32_t status);
    int32_t GetElementStatus(uint32_t functionID, uint32_t elementID) const;
    int32_t SetElementStatus(uint32_t functionID, uint32_t elementID, uint32_t status);

    int32_t GetFunctionAttribute(uint32_t functionID, uint32_t attribute, uint32_t* pValue) const;
    int32_t SetFunctionAttribute(uint32_t functionID, uint32_t attribute, uint32_t value);
    int32_t GetElementAttribute(uint32_t functionID, uint32_t elementID, uint32_t attribute, uint32_t* pValue) const;
    int32_t SetElementAttribute(uint32_t functionID, uint32_t elementID, uint32_t attribute, uint32_t value);
    int32_t GetValueAttribute(uint32_t functionID, uint32_t attribute, int32_t* pValue) const;
    int32_t SetValueAttribute(uint32_t functionID, uint32_t attribute, int32_t value);

    int32_t GetTag(uint32_t tagID, int32_t* pValue) const;
    int32_t SetTag(uint32_t tagID, int32_t value);

    // `items` is the caller's copy, already bounded to at most kMaxGroupItems entries.
    int32_t AddProhibit(std::span<const KD_CFGX_PROHIBIT_ITEM> items);
    int32_t DeleteProhibit(std::span<const KD_CFGX_PROHIBIT_ITEM> items);

private:
    // The list function and its element, or the failure code in `result`.
    const cfx::Function* ListFunction(uint32_t functionID, int32_t& result) const;
    int32_t CheckItems(std::span<const KD_CFGX_PROHIBIT_ITEM> items, std::vector<cfx::ProhibitItem>& out) const;
    bool Available(const cfx::Function& f, uint32_t elementID) const;
    bool ItemHolds(const cfx::ProhibitItem& item) const;
    bool CompletesGroup(uint32_t functionID) const;
    int32_t CheckSetting(const cfx::Function& f, uint32_t setting) const;
    void ResetSettings();

    std::mutex m_lock;
    cfx::CfxFile m_file;
    std::string m_sourceName;
    std::u16string m_queue;
    std::unordered_map<uint32_t, uint32_t> m_settings;  // function -> element, or value as its bits
};
