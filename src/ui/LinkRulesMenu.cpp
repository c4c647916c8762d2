#include "ui/LinkRulesMenu.h"

#include "common/AppError.h"
#include "common/Settings.h"
#include "settings/SettingsPersistence.h"

#include <QActionGroup>

namespace {

template<typename Value, std::size_t Count>
Value checkedOf(const std::array<QAction *, Count> &actions)
{
    for (std::size_t i = 0; i < Count; ++i) {
        if (actions[i]->isChecked())
            return static_cast<Value>(i);
    }
    return Value{};
}

} // namespace

LinkRulesMenu::LinkRulesMenu(Settings &settings, ReportError reportError, QWidget *parent)
    : QMenu(QStringLiteral("Link &Rules"), parent), m_settings(settings), m_reportError(std::move(reportError))
{
    setObjectName(QStringLiteral("LinkRules"));
    auto *rules = new QActionGroup(this);
    m_rules = {addChoice(QStringLiteral("&Classic"), QStringLiteral("ClassicRules"), rules),
               addChoice(QStringLiteral("&Standard"), QStringLiteral("StandardRules"), rules)};
    addSeparator();
    auto *scopes = new QActionGroup(this);
    m_scopes = {addChoice(QStringLiteral("&Any Host"), QStringLiteral("AnyHost"), scopes),
                addChoice(QStringLiteral("This &Host Only"), QStringLiteral("ThisHost"), scopes),
                addChoice(QStringLiteral("&Below the Root's Folder"), QStringLiteral("BelowRoot"), scopes)};
    // The record may have been loaded or saved again since the menu last showed it.
    connect(this, &QMenu::aboutToShow, this, &LinkRulesMenu::showSettings);
    showSettings();
}

QAction *LinkRulesMenu::addChoice(const QString &text, const QString &name, QActionGroup *group)
{
    QAction *action = addAction(text);
    action->setObjectName(name);
    action->setCheckable(true);
    group->addAction(action);
    connect(action, &QAction::triggered, this, &LinkRulesMenu::choose);
    return action;
}

void LinkRulesMenu::showSettings()
{
    m_rules.at(static_cast<std::size_t>(m_settings.Rules))->setChecked(true);
    m_scopes.at(static_cast<std::size_t>(m_settings.Scope))->setChecked(true);
    menuAction()->setEnabled(!m_running);
    for (QAction *action : m_rules)
        action->setEnabled(!m_running);
    // The scope is kept under classic rules, for when standard rules come back.
    for (QAction *action : m_scopes)
        action->setEnabled(!m_running && m_settings.Rules == LinkRules::Standard);
}

void LinkRulesMenu::setCrawlRunning(bool running)
{
    m_running = running;
    showSettings();
}

void LinkRulesMenu::choose()
{
    try {
        SaveLinkRules(checkedOf<LinkRules>(m_rules), checkedOf<LinkScope>(m_scopes), m_settings);
    } catch (const AppError &error) {
        if (m_reportError)
            m_reportError(error.description());
    }
    // After a failed save the items go back to the choice that is stored.
    showSettings();
}
