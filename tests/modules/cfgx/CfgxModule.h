// The CFGX module as the library sees it: VUD3CFGX.DLL from the build folder loaded with dlopen
// and its 31 functions resolved by name; sessions opened on the sample driver's sources.
#pragma once

#include "modules/cfgx/kdcfgx.h"
#include "platform/prefix.h"
#include "support/TempPrefix.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <string>

namespace cfgxtest {

inline constexpr const char* kQueue = "Q1";
inline constexpr const char16_t* kQueueW = u"Q1";
inline constexpr const char16_t* kDriverFolder = u"C:\\Windows\\System32\\spool\\drivers\\x64\\3";
inline constexpr const char16_t* kDataFile = u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\VUD3DATA.INI";

#define CFGX_FUNCTIONS(X)                                                                                       \
    X(Init) X(InitEx) X(SetDefault) X(SetDefaultByDevmode) X(GetControlState) X(SetControlState)               \
    X(SetControlStateOnly) X(SetFunctionState) X(Save) X(GetVersionString) X(SetVersionString)                  \
    X(SetCustomVersionAuto) X(GetCustomVersion) X(SetCustomVersion) X(UpdateREGData) X(DeleteBinFiles) X(Exit) \
    X(GetFunctionStatus) X(SetFunctionStatus) X(GetFunctionElementStatus) X(SetFunctionElementStatus)           \
    X(GetFunctionAttribute) X(SetFunctionAttribute) X(GetFunctionElementAttribute)                              \
    X(SetFunctionElementAttribute) X(GetFunctionValueAttribute) X(SetFunctionValueAttribute)                    \
    X(GetLogPrinterData) X(SetLogPrinterData) X(AddProhibitData) X(DeleteProhibitData)

struct Module {
#define CFGX_MEMBER(name) PFN_KD_CFGX##name name = nullptr;
    CFGX_FUNCTIONS(CFGX_MEMBER)
#undef CFGX_MEMBER
    void* handle = nullptr;
    int resolved = 0;

    Module() {
        handle = dlopen((std::string(VANTO_BUILD_DIR) + "/VUD3CFGX.DLL").c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) return;
#define CFGX_RESOLVE(name)                                                                  \
    name = reinterpret_cast<PFN_KD_CFGX##name>(dlsym(handle, "KD_CFGX" #name));             \
    resolved += name != nullptr;
        CFGX_FUNCTIONS(CFGX_RESOLVE)
#undef CFGX_RESOLVE
    }
    ~Module() {
        if (handle) dlclose(handle);
    }
};

// The module, loaded once for the test program (it stays mapped after dlclose anyway).
inline Module& TheModule() {
    static Module module;
    return module;
}

// A session ended when the holder goes.
class Session {
public:
    Session() = default;
    ~Session() { Close(); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    HKDCFGX* Out() { return &m_h; }
    HKDCFGX Get() const { return m_h; }
    void Close() {
        if (m_h) TheModule().Exit(m_h);
        m_h = nullptr;
    }

private:
    HKDCFGX m_h = nullptr;
};

// A prefix with the sample driver and queue Q1, and the module loaded.
class CfgxTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(TheModule().resolved, 31) << dlerror(); }

    // Opens the sample source of the category for Q1.
    int32_t Open(Session& s, uint32_t category) {
        return m.InitEx(s.Out(), kDataFile, kDriverFolder, kQueueW, category);
    }

    vanto_test::TempPrefix prefix{kQueue};
    Module& m = TheModule();
};

}  // namespace cfgxtest
