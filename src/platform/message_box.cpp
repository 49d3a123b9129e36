#include "platform/message_box.h"

#include <mutex>

namespace qx::platform {

namespace {

std::mutex g_presenter_mutex;
MessageBoxPresenter g_presenter;

}  // namespace

void SetMessageBoxPresenter(MessageBoxPresenter presenter) {
    std::lock_guard lock(g_presenter_mutex);
    g_presenter = std::move(presenter);
}

int DefaultMessageBoxAnswer(UINT style) {
    static const int kButtons[][3] = {
        {IDOK, IDOK, IDOK},      {IDOK, IDCANCEL, IDCANCEL}, {IDABORT, IDRETRY, IDIGNORE},
        {IDYES, IDNO, IDCANCEL}, {IDYES, IDNO, IDNO},        {IDRETRY, IDCANCEL, IDCANCEL},
    };
    const UINT kind = style & 0xF;
    const UINT index = (style >> 8) & 0xF;
    if (kind >= 6) {
        return IDOK;
    }
    return kButtons[kind][index < 3 ? index : 0];
}

int MessageBoxA(void* owner, const char* text, const char* caption, UINT style) {
    MessageBoxPresenter presenter;
    {
        std::lock_guard lock(g_presenter_mutex);
        presenter = g_presenter;
    }
    if (!presenter) {
        return DefaultMessageBoxAnswer(style);
    }
    return presenter(owner, text != nullptr ? text : "", caption != nullptr ? caption : "", style);
}

}  // namespace qx::platform
