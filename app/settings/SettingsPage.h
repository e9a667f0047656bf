#pragma once
// The pages live with the settings model in kit/; kept so older includes build.
#include "kit/settings/SettingsPage.h"
