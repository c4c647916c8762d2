#pragma once

#include <QString>

#include <functional>

struct Settings;

// Shows the confirmation text of a successful save and returns when the user
// has dismissed it (a message box in the options dialog; tests record it).
using SaveConfirmation = std::function<void(const QString &text)>;

// The per-user key the settings live under.
inline const QString SettingsSectionKey = QStringLiteral("Software\\Trovewick\\Trovewick20");

// Fills the record from the per-user store, then applies the defaults rule.
void LoadSettings(Settings &settings);

// Stores the options dialog's texts unchanged, confirms with "Options Saved!"
// and loads the record again, all five values in one change of the store. A
// failing save raises the registry class's AppError: no value is written,
// nothing is confirmed or reloaded.
void SaveSettings(const QString &search, const QString &follow, const QString &maxFiles,
                  const QString &maxPages, const QString &maxDomain, const SaveConfirmation &confirm,
                  Settings &settings);
