#include "sponsor/PopupPage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

void PopupPage::PopupSponsorPage(const QString &filePath)
{
    if (m_path.isEmpty())
        m_path = defaultPopupPagePath();
    // The new page is copied in full beside the old one before it replaces it, so
    // a copy that fails leaves the page an earlier sponsor read wrote to be shown.
    const QString incoming = m_path + QStringLiteral(".new");
    QFile::remove(incoming);
    if (QFile::copy(filePath, incoming)) {
        QFile::remove(m_path);
        if (!QFile::rename(incoming, m_path))
            QFile::remove(incoming);
    }
    QFile::remove(filePath);
    if (m_shellOpen && QFileInfo::exists(m_path))
        m_shellOpen(m_path);
}

QString popupPagePathFor(const QString &programDir, bool programDirWritable,
                         const QString &dataDir)
{
    // An installed program lives in a folder of the system's; run as root it
    // could write there, but a page from the network has no place beside it.
    const QString dir = QDir::cleanPath(programDir);
    const bool systemFolder = dir == QLatin1String("/bin") || dir == QLatin1String("/sbin")
                              || dir.startsWith(QLatin1String("/usr/"));
    if (!programDir.isEmpty() && !systemFolder && programDirWritable)
        return dir + QStringLiteral("/popup.htm");
    QDir().mkpath(dataDir);
    return dataDir + QStringLiteral("/popup.htm");
}

QString defaultPopupPagePath()
{
    const QString programDir = QCoreApplication::applicationDirPath();
    const QFileInfo info(programDir);
    return popupPagePathFor(programDir, info.isDir() && info.isWritable(),
                            QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation));
}
