// Window message numbers: the few standard ones the program uses and its own, numbered from
// 0x7F3 as the wizard and its pages expect them.
#pragma once

#include "platform/win_types.h"

namespace qx::platform {

inline constexpr UINT kWmUser = 0x0400;
inline constexpr UINT kWmUserCommand = 0x7F3;
inline constexpr UINT kWmUserActivate = 0x802;

}  // namespace qx::platform
