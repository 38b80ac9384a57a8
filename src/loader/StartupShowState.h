#pragma once

#include "platform/WindowsApi.h"

namespace veltrane {

// The show command the process was started with: the start-up information's show-window value
// when its flags say it is set, otherwise SW_SHOWDEFAULT.
inline int StartupShowState(WindowsApi& api) {
    StartupInfo info;
    api.GetStartupInfoA(info);
    return (info.flags & win::StartfUseShowWindow) ? info.showWindow : win::SwShowDefault;
}

}  // namespace veltrane
