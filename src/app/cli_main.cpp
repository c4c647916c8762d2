#include "app/CliCrawl.h"
#include "app/CliOptions.h"
#include "common/Settings.h"
#include "common/Version.h"
#include "settings/SettingsPersistence.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

int main(int argc, char *argv[])
{
    // A reader that goes away (`trovewick-cli ... | head -1`) makes the next
    // write fail, and the crawler ends on its normal path: the write error
    // reported, the reads in flight cancelled and their files removed.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("trovewick-cli"));
    QCoreApplication::setOrganizationName(QStringLiteral("Trovewick"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(TrovewickVersion));

    const CliParseResult parsed = parseCliArguments(QCoreApplication::arguments());
    if (!parsed.options) {
        const QByteArray text = parsed.message.toLocal8Bit();
        std::fprintf(parsed.exitCode == 0 ? stdout : stderr, "%s", text.constData());
        return parsed.exitCode;
    }

    Settings &settings = appSettings();
    LoadSettings(settings);
    parsed.options->applyTo(settings);
    if (const auto refused = checkAgainstSettings(*parsed.options, settings)) {
        std::fprintf(stderr, "%s", refused->message.toLocal8Bit().constData());
        return refused->exitCode;
    }

    if (parsed.options->mode == CliOptions::Mode::Links)
        return printLinkClassification(*parsed.options, settings);

    CliCrawl crawl(*parsed.options, settings);
    if (!crawl.start())
        return 1;
    return QCoreApplication::exec();
}
