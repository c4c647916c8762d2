#include "common/Settings.h"

Settings &appSettings()
{
    static Settings record;
    return record;
}

void applyDefaultsRule(Settings &settings)
{
    if (settings.MaxPages != 0)
        return;
    settings.MaxPages = SettingsDefaults::MaxPages;
    settings.MaxFiles = SettingsDefaults::MaxFiles;
    settings.MaxDomain = SettingsDefaults::MaxDomain;
    settings.Follow = SettingsDefaults::Follow;
    settings.Search = SettingsDefaults::Search;
}

Settings defaultSettings()
{
    Settings settings;
    applyDefaultsRule(settings);
    return settings;
}
