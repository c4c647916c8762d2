#pragma once

#include "common/LinkRules.h"

#include <QString>

#include <functional>

struct Settings;

// Shows the confirmation text of a successful save and returns when the user
// has dismissed it (a message box in the options dialog; tests record it).
using SaveConfirmation = std::function<void(const QString &text)>;

// The per-user key the settings live under.
inline const QString SettingsSectionKey = QStringLiteral("Software\\Trovewick\\Trovewick20");

// The names of the two values that hold the link rules and their scope, as the
// words "classic" or "standard" and "any", "host" or "below".
inline const QString LinkRulesValueName = QStringLiteral("LinkRules");
inline const QString LinkScopeValueName = QStringLiteral("LinkScope");

// Fills the record from the per-user store, then applies the defaults rule. Link
// rules or a scope that are missing or not a known word read as classic rules
// and the root's host, as a first run has them.
void LoadSettings(Settings &settings);

// Stores the options dialog's texts unchanged, confirms with "Options Saved!"
// and loads the record again, all five values in one change of the store. A
// failing save raises the registry class's AppError: no value is written,
// nothing is confirmed or reloaded.
void SaveSettings(const QString &search, const QString &follow, const QString &maxFiles,
                  const QString &maxPages, const QString &maxDomain, const SaveConfirmation &confirm,
                  Settings &settings);

// Stores the link rules and scope the window's menu chose, both in one change of
// the store, then sets them in the record. A failing save raises the registry
// class's AppError: neither value is written and the record stays as it was.
void SaveLinkRules(LinkRules rules, LinkScope scope, Settings &settings);
