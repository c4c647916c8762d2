#pragma once

#include "ui/ShellOpen.h"

#include <QDialog>

class ClickLabel;
class QLabel;
class QPushButton;

// The about box: product name and version, the vendor's web address (a link
// that opens the site and leaves the box open), a copyright line and the logo.
// Enter and Esc both close it.
class frmAbout final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmAbout)

public:
    explicit frmAbout(QWidget *parent = nullptr);
    ~frmAbout() override;

    void setShellOpen(modPublic::ShellOpenFn shellOpen) { m_shellOpen = std::move(shellOpen); }

    void cmdOK_Click();
    void Label3_Click();

private:
    modPublic::ShellOpenFn m_shellOpen;
    QLabel *m_productLabel = nullptr;
    QLabel *m_latestReleaseLabel = nullptr;
    ClickLabel *m_webAddressLink = nullptr;
    QPushButton *m_cmdOK = nullptr;
    QLabel *m_copyrightLabel = nullptr;
    QLabel *m_logo = nullptr;
};
