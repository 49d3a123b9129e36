// The system message box. The user interface installs a presenter once a GUI exists; without
// one nothing is shown and the box's default button is the answer, so windowless runs never
// wait for a person.
#pragma once

#include <functional>
#include <string>

#include "platform/win_types.h"

namespace qx::platform {

inline constexpr UINT MB_OK = 0x0;
inline constexpr UINT MB_OKCANCEL = 0x1;
inline constexpr UINT MB_ABORTRETRYIGNORE = 0x2;
inline constexpr UINT MB_YESNOCANCEL = 0x3;
inline constexpr UINT MB_YESNO = 0x4;
inline constexpr UINT MB_RETRYCANCEL = 0x5;
inline constexpr UINT MB_ICONERROR = 0x10;
inline constexpr UINT MB_ICONQUESTION = 0x20;
inline constexpr UINT MB_ICONWARNING = 0x30;
inline constexpr UINT MB_ICONINFORMATION = 0x40;
inline constexpr UINT MB_DEFBUTTON2 = 0x100;
inline constexpr UINT MB_DEFBUTTON3 = 0x200;
inline constexpr UINT MB_RTLREADING = 0x100000;

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

using MessageBoxPresenter = std::function<int(void* owner, const std::string& text,
                                              const std::string& caption, UINT style)>;

// Replaces the presenter (an empty one restores the windowless default).
void SetMessageBoxPresenter(MessageBoxPresenter presenter);

int MessageBoxA(void* owner, const char* text, const char* caption, UINT style);

// The button a box of this style answers with when nobody presses one.
int DefaultMessageBoxAnswer(UINT style);

}  // namespace qx::platform
