// The C interface between the installer and its plug-in modules: the name and shape of every
// function a module may export, shared by the binder and the modules themselves. Plain C types
// only, so that a module written in any language can implement it.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// 32-bit numbers whatever the host's long is, as the product's modules see them.
typedef uint32_t QX_DWORD;
typedef int32_t QX_LONG;
typedef int QX_BOOL;

// Fixed buffer sizes callers hand to modules.
#define QX_PORT_LIST_SIZE 16384 /* GetDevicePort: zero-terminated names one after another */
#define QX_DEVICE_ID_SIZE 16384 /* MyGetDeviceIDFromPort, MyGetPrinterDesc(Adv) */
#define QX_IPX_ADDRESS_SIZE 260 /* MyGetIPX(Adv) */
#define QX_REMOTE_JOB_SIZE 2048 /* DoRemoteInstall's job record */

// Installer module. reserved is always null.
typedef QX_BOOL (*QxMyInstallFn)(void* reserved, const char* installing_key, const char* item_key,
                                 QX_BOOL installed);
typedef QX_BOOL (*QxMyCreateShortCutFn)(void* reserved, const char* installing_key,
                                        const char* shortcut_key);

// Utility module. count receives the number of matching connected devices, -1 when USB is not
// available; ports (QX_PORT_LIST_SIZE bytes) their port names.
typedef QX_BOOL (*QxGetDevicePortFn)(const char* mfg, const char* mdl, const char* vidpid,
                                     char* ports, QX_LONG* count);
typedef QX_BOOL (*QxPreventPnPFn)(const char* mfg_mdl);  // StartPreventPnP, EndPreventPnP
// RemoveHardwareWizardDialog, MySetForegroundNHWdDialog.
typedef QX_BOOL (*QxNewHardwareDialogFn)(void);
typedef QX_BOOL (*QxDeviceRefreshFn)(const char* mfg_mdl,
                                     const char* vidpid);  // SystemRefresh, RemoveUnknownDev
// Saves the HKLM key to the file; reserved is 0.
typedef QX_BOOL (*QxSaveFileFn)(const char* file, const char* key, QX_DWORD reserved);
// Free megabytes of the folder's drive (the system drive for an empty folder); 0 = no answer.
typedef QX_DWORD (*QxGetDiskFreeSpaceQXFn)(const char* folder);
typedef QX_BOOL (*QxMyGetDeviceIDFromPortFn)(const char* port, char* device_id);

// Diagnosis and test-page module.
typedef int (*QxDiagnosisFn)(const char* mfg, const char* printer, const char* mdl,
                             const char* vidpid);
typedef int (*QxDiagnosisExFn)(const char* mfg, const char* printer, const char* mdl,
                               const char* vidpid, QX_DWORD reserved);
typedef int (*QxPrintTestPageFn)(const char* printer, const char* param2, const char* param3,
                                 const char* resource_module, const char* param4);
typedef int (*QxPrintFileFn)(const char* printer, const char* file);  // MetaTestPage, PrintPrnFile

// Pre-installer module.
typedef int (*QxPreinstallFn)(const char* command_line, void* window);

// Network module. The discovery callback, and GetNetPrinter's entries, have layouts of their
// own; here they are opaque.
typedef QX_DWORD (*QxMyGetPrinterDescAdvFn)(const char* address, char* device_id,
                                            QX_BOOL use_public_oid, const char* community);
typedef QX_DWORD (*QxMyGetPrinterDescFn)(const char* address, char* device_id,
                                         QX_BOOL use_public_oid);
typedef QX_BOOL (*QxMyGetIPXAdvFn)(const char* address, char* ipx, const char* community);
typedef QX_BOOL (*QxMyGetIPXFn)(const char* address, char* ipx);
typedef QX_BOOL (*QxMySetNetworkPortAdvFn)(const char* port, const char* address, const char* mac,
                                           const char* ipx, const char* monitor,
                                           const char* monitor_file, const char* mutex_name,
                                           QX_BOOL standard_port, const char* community);
typedef QX_BOOL (*QxMySetNetworkPortExFn)(const char* port, const char* address, const char* mac,
                                          const char* ipx, const char* monitor,
                                          const char* monitor_file, const char* mutex_name,
                                          QX_BOOL standard_port);
typedef QX_BOOL (*QxMyDelNetworkPortFn)(const char* port, const char* mutex_name,
                                        QX_BOOL standard_port);
typedef int (*QxSnmpDiscoveryAdvFn)(void* callback, const char* community);
typedef int (*QxSnmpDiscoveryFn)(void* callback);

// Address-setting module.
typedef QX_DWORD (*QxSetIPFn)(const char* address1, const char* address2, const char* address3,
                              const char* address4);
typedef QX_DWORD (*QxGetNetPrinterFn)(void* entries, QX_DWORD size, QX_DWORD* count);

// Remote-install module: job points at a QX_REMOTE_JOB_SIZE-byte record.
typedef QX_BOOL (*QxDoRemoteInstallFn)(void* job);

#ifdef __cplusplus
}  // extern "C"
#endif

// Modules mark their exports with this; they build with hidden visibility otherwise.
#ifdef __cplusplus
#define QX_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))
#else
#define QX_PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#include "platform/win_types.h"
static_assert(sizeof(QX_DWORD) == sizeof(qx::platform::DWORD) &&
              sizeof(QX_LONG) == sizeof(qx::platform::LONG));
#endif
