// A network module for the binder's tests. Built twice: with only the plain functions, and with
// "Adv" functions that fault beside working plain ones.
#include <cstring>

#include "modules/plugin_api.h"

QX_PLUGIN_EXPORT QX_DWORD MyGetPrinterDesc(const char* address, char* device_id, QX_BOOL) {
    std::strcpy(device_id, "MFG:Plain;MDL:");
    std::strcat(device_id, address);
    return 0;
}

QX_PLUGIN_EXPORT QX_BOOL MyGetIPX(const char*, char* ipx) {
    std::strcpy(ipx, "00000001:0000C0FFEE00");
    return 1;
}

QX_PLUGIN_EXPORT QX_BOOL MySetNetworkPortEx(const char*, const char*, const char*, const char*,
                                            const char*, const char*, const char*, QX_BOOL) {
    return 1;
}

QX_PLUGIN_EXPORT int SnmpDiscovery(void*) {
    return 3;
}

#ifdef QX_WITH_FAULTING_ADV
namespace {
volatile int* g_nowhere = nullptr;
}

QX_PLUGIN_EXPORT QX_DWORD MyGetPrinterDescAdv(const char*, char*, QX_BOOL, const char*) {
    return static_cast<QX_DWORD>(*g_nowhere);
}

QX_PLUGIN_EXPORT QX_BOOL MyGetIPXAdv(const char*, char* ipx, const char*) {
    std::strcpy(ipx, "half-written");
    return static_cast<QX_BOOL>(*g_nowhere);
}

QX_PLUGIN_EXPORT QX_BOOL MySetNetworkPortAdv(const char*, const char*, const char*, const char*,
                                             const char*, const char*, const char*, QX_BOOL,
                                             const char*) {
    *g_nowhere = 1;
    return 1;
}

QX_PLUGIN_EXPORT int SnmpDiscoveryAdv(void*, const char*) {
    return *g_nowhere;
}
#endif
