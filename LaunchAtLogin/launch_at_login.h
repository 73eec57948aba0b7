#pragma once

// The LaunchAtLogin component with its nested types.
#include "LaunchAtLogin/launch_at_login_core.h"
#include "LaunchAtLogin/launch_at_login_observation.h"
#include "LaunchAtLogin/launch_at_login_toggle.h"
