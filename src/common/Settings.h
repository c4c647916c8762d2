#pragma once

#include "common/LinkRules.h"

#include <QString>

// The user's crawl options, one record for the whole process. Limits are signed
// 16-bit because that is the range the stored values and the page tree work in.
struct Settings
{
    qint16 MaxPages = 0;
    qint16 MaxFiles = 0;
    qint16 MaxDomain = 0;
    QString Follow;
    QString Search;
    QString DLPath;
    // How links are found and followed. Classic unless the user chose standard
    // rules; the scope matters only under standard rules.
    LinkRules Rules = LinkRules::Classic;
    LinkScope Scope = LinkScope::Host;
};

namespace SettingsDefaults {
inline constexpr qint16 MaxPages = 100;
inline constexpr qint16 MaxFiles = 200;
inline constexpr qint16 MaxDomain = 10;
inline const QString Follow = QStringLiteral("asp,htm,html");
inline const QString Search = QStringLiteral("asf,avi,gif,jpg,jpeg,mp3,mpg,mpeg");
} // namespace SettingsDefaults

// The record every part of the program reads; empty until the first load.
Settings &appSettings();

// Called right after a load: a MaxPages of 0 (nothing stored, or 0 stored) brings
// back all five defaults together. DLPath keeps what was loaded.
void applyDefaultsRule(Settings &settings);

// The record as a first run has it: the defaults rule applied to an empty record.
Settings defaultSettings();
