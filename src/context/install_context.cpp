#include "context/install_context.h"

#include <atomic>

namespace {

std::atomic<CInstallContext*> g_context{nullptr};

}  // namespace

CInstallContext::CInstallContext() {
    CInstallContext* expected = nullptr;
    g_context.compare_exchange_strong(expected, this);
}

CInstallContext::~CInstallContext() {
    CInstallContext* expected = this;
    g_context.compare_exchange_strong(expected, nullptr);
}

CInstallContext* GetContext() {
    return g_context.load();
}

const qx::context::ProductInfo* GetProductInfo() {
    CInstallContext* context = GetContext();
    return context != nullptr ? &context->ProductInfo() : nullptr;
}
