#pragma once

#include "settings/SettingsPersistence.h"
#include "ui/ShellOpen.h"

#include <QDialog>

#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
struct Settings;

// The options dialog: the two extension lists and the three crawl limits, with
// the download folder shown read-only. It shows the settings record when it is
// created, stores the texts as typed on Save (the dialog stays open) and
// discards them on Close or Esc. Enter saves nothing.
class frmOptions final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmOptions)

public:
    // How a failed save is shown: its description, in a message box by default.
    using ErrorReport = std::function<void(const QString &description)>;

    explicit frmOptions(Settings &settings, QWidget *parent = nullptr);
    ~frmOptions() override;

    // The message box after a successful save; tests replace it with a recorder.
    void setConfirmation(SaveConfirmation confirm) { m_confirm = std::move(confirm); }
    void setErrorReport(ErrorReport report) { m_reportError = std::move(report); }
    void setShellOpen(modPublic::ShellOpenFn shellOpen) { m_shellOpen = std::move(shellOpen); }

    // Handlers, public so that tests drive them the way the events do.
    void Form_Load();
    void cmdSave_Click();
    void cmdCancel_Click();
    void cmdHelp_Click();

    static const QStringList MaxFilesItems;
    static const QStringList MaxPagesItems;
    static const QStringList MaxDomainItems;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QComboBox *createCombo(const QString &name, const QStringList &items);

    Settings &m_settings;
    SaveConfirmation m_confirm;
    ErrorReport m_reportError;
    modPublic::ShellOpenFn m_shellOpen;

    QLabel *m_downloadDirLabel = nullptr;
    QLineEdit *m_txtDownloadDir = nullptr;
    QPushButton *m_cmdBrowse = nullptr;
    QLabel *m_searchLabel = nullptr;
    QLineEdit *m_txtSearch = nullptr;
    QLabel *m_followLabel = nullptr;
    QLineEdit *m_txtFollow = nullptr;
    QLabel *m_maxFilesLabel = nullptr;
    QComboBox *m_cboMaxFiles = nullptr;
    QLabel *m_maxPagesLabel = nullptr;
    QComboBox *m_cboMaxPages = nullptr;
    QLabel *m_maxDomainLabel = nullptr;
    QComboBox *m_cboMaxDomain = nullptr;
    QLabel *m_slowConnectionNote = nullptr;
    QPushButton *m_cmdHelp = nullptr;
    QPushButton *m_cmdSave = nullptr;
    QPushButton *m_cmdCancel = nullptr;
};
