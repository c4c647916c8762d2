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
    QLabel *m_label1 = nullptr;
    QLabel *m_label2 = nullptr;
    ClickLabel *m_label3 = nullptr;
    QPushButton *m_cmdOK = nullptr;
    QLabel *m_label4 = nullptr;
    QLabel *m_image1 = nullptr;
};
