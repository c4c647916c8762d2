#pragma once

#include <QString>

#include <functional>

// The sponsor's popup page on disk: where it is kept, and how a downloaded page
// replaces it and is opened. The feed asks for the page through the crawl's
// transfer component, so the engine's completion handler hands each sponsor
// read here.
class PopupPage final
{
public:
    using ShellOpenFn = std::function<void(const QString &target)>;

    void setShellOpen(ShellOpenFn shellOpen) { m_shellOpen = std::move(shellOpen); }

    // Empty until set or until the first page is shown, which then takes
    // defaultPopupPagePath().
    const QString &path() const { return m_path; }
    void setPath(const QString &path) { m_path = path; }

    // Copies a downloaded sponsor page to the popup page, removes the download
    // and opens the page.
    void PopupSponsorPage(const QString &filePath);

private:
    ShellOpenFn m_shellOpen;
    QString m_path;
};

// Where the sponsor popup page is written: beside the program when that folder
// is writable and not one of the system's program folders (/usr/..., /bin,
// /sbin), else in the per-user data folder. The caller answers whether the
// program's folder is a writable folder.
QString defaultPopupPagePath();
QString popupPagePathFor(const QString &programDir, bool programDirWritable,
                         const QString &dataDir);
