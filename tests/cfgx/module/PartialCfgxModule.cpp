// A CFGX module with five of the 31 functions: the session, an attribute setter that accepts
// everything, and element queries that call every element a shown paper size the driver may drop.
// Each call appends its name to the file named by VANTO_TEST_CFGX_RECORD.
#include "modules/cfgx/kdcfgx.h"

#include <cstdio>
#include <cstdlib>

namespace {

// The one session this module hands out.
struct KD_CFGX_SESSION_TOKEN {
} g_session;

void Record(const char* call) {
    const char* path = std::getenv("VANTO_TEST_CFGX_RECORD");
    if (path == nullptr) return;
    if (std::FILE* f = std::fopen(path, "a")) {
        std::fprintf(f, "%s\n", call);
        std::fclose(f);
    }
}

HKDCFGX Session() { return reinterpret_cast<HKDCFGX>(&g_session); }

}  // namespace

KDCFGX_API int32_t KD_CFGXInitEx(HKDCFGX* phCfgx, const char16_t*, const char16_t*, const char16_t*, uint32_t) {
    Record("KD_CFGXInitEx");
    if (phCfgx == nullptr) return KD_CFGX_ERR_BAD_ARGUMENT;
    *phCfgx = Session();
    return KD_CFGX_OK;
}

KDCFGX_API int32_t KD_CFGXExit(HKDCFGX hCfgx) {
    Record("KD_CFGXExit");
    return hCfgx == Session() ? KD_CFGX_OK : KD_CFGX_ERR_BAD_HANDLE;
}

KDCFGX_API int32_t KD_CFGXSetFunctionElementAttribute(HKDCFGX hCfgx, uint32_t, uint32_t, uint32_t, uint32_t) {
    Record("KD_CFGXSetFunctionElementAttribute");
    return hCfgx == Session() ? KD_CFGX_OK : KD_CFGX_ERR_BAD_HANDLE;
}

KDCFGX_API int32_t KD_CFGXGetFunctionElementStatus(HKDCFGX hCfgx, uint32_t, uint32_t) {
    Record("KD_CFGXGetFunctionElementStatus");
    return hCfgx == Session() ? static_cast<int32_t>(KD_CFGX_STATUS_SHOWN) : KD_CFGX_ERR_BAD_HANDLE;
}

KDCFGX_API int32_t KD_CFGXGetFunctionElementAttribute(HKDCFGX hCfgx, uint32_t, uint32_t, uint32_t dwAttribute,
                                                      uint32_t* pdwValue) {
    Record("KD_CFGXGetFunctionElementAttribute");
    if (hCfgx != Session()) return KD_CFGX_ERR_BAD_HANDLE;
    if (pdwValue == nullptr || dwAttribute != KD_CFGX_ATTR_FLAGS) return KD_CFGX_ERR_BAD_ARGUMENT;
    *pdwValue = KD_CFGX_ATTR_FLAG_REMOVABLE_PAPER;
    return KD_CFGX_OK;
}
