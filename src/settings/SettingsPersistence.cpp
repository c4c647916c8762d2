#include "settings/SettingsPersistence.h"

#include "common/Settings.h"
#include "settings/cRegistry.h"

#include <QMetaType>

#include <cmath>
#include <initializer_list>
#include <utility>

namespace {

// Every setting is read and written as a string value under the one per-user key.
void configure(cRegistry &registry)
{
    registry.setClassKey(cRegistry::HKEY_CURRENT_USER);
    registry.setSectionKey(SettingsSectionKey);
    registry.setValueType(cRegistry::REG_SZ);
}

// Writes the values as one change of the store: a save that fails or is cut
// short leaves every one of them as it was.
void saveTogether(std::initializer_list<std::pair<QString, QString>> values)
{
    cRegistry registry;
    configure(registry);
    registry.beginChange();
    for (const auto &[name, text] : values) {
        registry.setValueKey(name);
        registry.setValue(text);
    }
    registry.commitChange();
}

QVariant read(cRegistry &registry, const QString &name)
{
    registry.setValueKey(name);
    return registry.Value();
}

// A stored limit, floored to a whole number. Nothing stored gives 0, so a missing
// MaxPages brings in all the defaults; a stored value that is not a number or does
// not fit 16 bits (an empty combo box saves the empty text) gives this field's
// default alone, so the crawl always has a usable limit.
qint16 limitOf(const QVariant &stored, qint16 fieldDefault)
{
    if (!stored.isValid())
        return 0;
    double number = 0;
    switch (stored.metaType().id()) {
    case QMetaType::Short:
    case QMetaType::Int:
        number = stored.toInt();
        break;
    case QMetaType::QString: {
        bool ok = false;
        number = stored.toString().trimmed().toDouble(&ok);
        if (!ok)
            return fieldDefault;
        break;
    }
    default:
        return fieldDefault;
    }
    if (!std::isfinite(number))
        return fieldDefault;
    const double floored = std::floor(number);
    if (floored < std::numeric_limits<qint16>::min() || floored > std::numeric_limits<qint16>::max())
        return fieldDefault;
    return static_cast<qint16>(floored);
}

} // namespace

void LoadSettings(Settings &settings)
{
    {
        cRegistry registry;
        configure(registry);
        settings.DLPath = read(registry, QStringLiteral("DLPath")).toString();
        settings.Search = read(registry, QStringLiteral("Search")).toString();
        settings.Follow = read(registry, QStringLiteral("Follow")).toString();
        settings.MaxFiles = limitOf(read(registry, QStringLiteral("MaxFiles")), SettingsDefaults::MaxFiles);
        settings.MaxPages = limitOf(read(registry, QStringLiteral("MaxPages")), SettingsDefaults::MaxPages);
        settings.MaxDomain = limitOf(read(registry, QStringLiteral("MaxDomain")), SettingsDefaults::MaxDomain);
        settings.Rules = linkRulesFromName(read(registry, LinkRulesValueName).toString()).value_or(LinkRules::Classic);
        settings.Scope = linkScopeFromName(read(registry, LinkScopeValueName).toString()).value_or(LinkScope::Host);
    }
    applyDefaultsRule(settings);
}

void SaveSettings(const QString &search, const QString &follow, const QString &maxFiles,
                  const QString &maxPages, const QString &maxDomain, const SaveConfirmation &confirm,
                  Settings &settings)
{
    // All five old values or all five new ones, never some of each: a missing
    // MaxDomain would read as 0.
    saveTogether({
        {QStringLiteral("Search"), search},     {QStringLiteral("Follow"), follow},
        {QStringLiteral("MaxFiles"), maxFiles}, {QStringLiteral("MaxPages"), maxPages},
        {QStringLiteral("MaxDomain"), maxDomain},
    });
    if (confirm)
        confirm(QStringLiteral("Options Saved!"));
    LoadSettings(settings);
}

void SaveLinkRules(LinkRules rules, LinkScope scope, Settings &settings)
{
    // Together, so that a crawl never starts from the rules of one choice and
    // the scope of another.
    saveTogether({{LinkRulesValueName, linkRulesName(rules)}, {LinkScopeValueName, linkScopeName(scope)}});
    settings.Rules = rules;
    settings.Scope = scope;
}
