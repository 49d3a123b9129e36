// The process-wide record of what the installer knows about its run. The product record
// exists from construction with its defaults; reading the disc's files fills the rest.
#pragma once

#include <string>

namespace qx::context {

inline constexpr const char* kDefaultProgramName = "Velmora Printer Installer Program";

struct ProductInfo {
    std::string mfg;
    std::string mdl;
    std::string vidpid;
    std::string program_name = kDefaultProgramName;
};

}  // namespace qx::context

class CInstallContext {
  public:
    CInstallContext();
    virtual ~CInstallContext();
    CInstallContext(const CInstallContext&) = delete;
    CInstallContext& operator=(const CInstallContext&) = delete;

    const qx::context::ProductInfo& ProductInfo() const { return m_product; }

  private:
    qx::context::ProductInfo m_product;
};

// The context of the running application (null before one is constructed).
CInstallContext* GetContext();
const qx::context::ProductInfo* GetProductInfo();
