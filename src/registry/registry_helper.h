// The installer's registry helper: keys named by a root and a subkey path, string and 32-bit
// number values, subtree deletion and copying, and the registry text file that saves a subtree
// and loads it back. Results are Windows error numbers. Part of the exported interface.
#pragma once

#include "platform/registry.h"
#include "platform/win_types.h"

class CRegistry {
  protected:
    using DWORD = qx::platform::DWORD;
    using HKEY = qx::platform::HKEY;

  public:
    CRegistry();
    CRegistry(const CRegistry& other);
    CRegistry& operator=(const CRegistry& other);
    virtual ~CRegistry();

    // outSize is the size of out in bytes; 0xFFFFFFFF means the caller vouches for any size.
    static DWORD GetValue(const char* key, const char* name, char* out, HKEY root, DWORD outSize);
    static DWORD GetValue(const char* key, const char* name, DWORD* out, HKEY root, DWORD unused);
    static DWORD SetValue(const char* key, const char* name, const char* text, HKEY root);
    static DWORD SetValue(const char* key, const char* name, DWORD value, HKEY root);
    static DWORD DeleteKey(const char* key, bool onlyThisKey, HKEY root);
    static DWORD DeleteValue(const char* key, const char* name, HKEY root);
    static DWORD CopyKey(const char* fromKey, const char* toKey, bool withSubkeys, HKEY fromRoot,
                         HKEY toRoot);
    static DWORD SaveToFile(const char* key, const char* file, HKEY root);
    static DWORD LoadFromFile(const char* file);

  protected:
    static DWORD DeleteSubKey(const char* key, HKEY root);
    static DWORD DeleteEmptyParent(const char* key, HKEY root);
    static DWORD SetDaclPermission(const char* key, HKEY root);
    static DWORD CopyValue(HKEY openKey, DWORD valueCount, const char* toKey, HKEY toRoot);

  private:
    // RegDeleteKeyA, retried once after opening the key to everyone when it is refused.
    static DWORD DeleteOneKey(const char* key, HKEY root);
};
