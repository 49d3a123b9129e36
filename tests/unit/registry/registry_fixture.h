// Test support for the registry helper: a key of its own per test and direct looks at the
// registry through the platform calls, in the same (32-bit program's) view as the helper.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/registry.h"
#include "registry/registry_helper.h"

namespace qx::test {

namespace qp = qx::platform;

class RegistryTest : public ::testing::Test {
  protected:
    using DWORD = qp::DWORD;

    void SetUp() override {
        m_key = std::string("Software\\QxTest\\") +
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
    }

    // The test's own key, with an optional path below it.
    std::string Key(const std::string& below = "") const {
        return below.empty() ? m_key : m_key + "\\" + below;
    }

    static bool Exists(const std::string& key, qp::HKEY root = qp::HKEY_LOCAL_MACHINE) {
        qp::RegKey opened;
        return qp::RegOpenKeyExA(root, key.c_str(), 0, qp::KEY_READ, opened.Receive()) == 0;
    }

    static void SetRaw(const std::string& key, const char* name, DWORD type,
                       const std::string& data, qp::HKEY root = qp::HKEY_LOCAL_MACHINE) {
        qp::RegKey opened;
        ASSERT_EQ(qp::RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, qp::KEY_ALL_ACCESS, nullptr,
                                      opened.Receive(), nullptr),
                  0);
        ASSERT_EQ(qp::RegSetValueExA(opened.Get(), name, 0, type,
                                     reinterpret_cast<const qp::BYTE*>(data.data()),
                                     static_cast<DWORD>(data.size())),
                  0);
    }

    static void CreateKey(const std::string& key, qp::HKEY root = qp::HKEY_LOCAL_MACHINE) {
        qp::RegKey opened;
        ASSERT_EQ(qp::RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, qp::KEY_ALL_ACCESS, nullptr,
                                      opened.Receive(), nullptr),
                  0);
    }

    // "type:data" of a value, or the error number.
    static std::string Raw(const std::string& key, const char* name,
                           qp::HKEY root = qp::HKEY_LOCAL_MACHINE) {
        qp::RegKey opened;
        if (qp::LONG result =
                qp::RegOpenKeyExA(root, key.c_str(), 0, qp::KEY_READ, opened.Receive())) {
            return "error " + std::to_string(result);
        }
        std::string data(8192, '\0');
        DWORD size = static_cast<DWORD>(data.size());
        DWORD type = 0;
        if (qp::LONG result =
                qp::RegQueryValueExA(opened.Get(), name, nullptr, &type,
                                     reinterpret_cast<qp::BYTE*>(data.data()), &size)) {
            return "error " + std::to_string(result);
        }
        data.resize(size);
        return std::to_string(type) + ":" + data;
    }

    static std::string Text(const std::string& key, const char* name,
                            qp::HKEY root = qp::HKEY_LOCAL_MACHINE) {
        char out[4096] = {};
        const DWORD result = CRegistry::GetValue(key.c_str(), name, out, root, sizeof(out));
        return result == 0 ? std::string(out) : "error " + std::to_string(result);
    }

    static std::string Number(const std::string& key, const char* name,
                              qp::HKEY root = qp::HKEY_LOCAL_MACHINE) {
        DWORD value = 0;
        const DWORD result = CRegistry::GetValue(key.c_str(), name, &value, root, 0);
        return result == 0 ? std::to_string(value) : "error " + std::to_string(result);
    }

  private:
    std::string m_key;
};

}  // namespace qx::test
