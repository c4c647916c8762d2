#pragma once

#include "common/LinkRules.h"

#include <QMenu>

#include <array>
#include <functional>

class QAction;
struct Settings;

// The Tools menu's choice of link rules: classic or standard and, for standard
// rules, which pages they read. It shows the record's choice and stores a new
// one as soon as it is made. While a crawl runs it is disabled, so that a crawl
// never mixes the rules of two choices.
class LinkRulesMenu final : public QMenu
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LinkRulesMenu)

public:
    // Shows why a choice could not be stored (a message box in the window).
    using ReportError = std::function<void(const QString &description)>;

    // `settings` must outlive the menu.
    LinkRulesMenu(Settings &settings, ReportError reportError, QWidget *parent = nullptr);

    // Checks the items the record holds: after a load, or a save that failed.
    void showSettings();
    void setCrawlRunning(bool running);

private:
    QAction *addChoice(const QString &text, const QString &name, QActionGroup *group);
    void choose();

    Settings &m_settings;
    ReportError m_reportError;
    // In the order of the enums' values.
    std::array<QAction *, 2> m_rules{};
    std::array<QAction *, 3> m_scopes{};
    bool m_running = false;
};
