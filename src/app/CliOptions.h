#pragma once

#include "common/LinkRules.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

struct Settings;

// What the command line asked the crawler to do.
struct CliOptions
{
    enum class Mode { Crawl, Links };
    // How results are written: plain lines, or one JSON object a line.
    enum class Format { Text, JsonLines };

    Mode mode = Mode::Crawl;
    Format format = Format::Text;
    QString root;      // Crawl: the root address
    QString pageUrl;   // Links: the saved page's address
    QString pageFile;  // Links: the saved page
    std::optional<qint16> maxPages, maxFiles, maxDomain;
    std::optional<QString> follow, search;
    std::optional<LinkRules> rules;
    std::optional<LinkScope> scope;
    int intervalMs = 1000;
    bool printPages = false;
    bool quiet = false;
    QString eventsFile;
    QString outputFile; // empty: standard output
    bool honourRobots = false;

    // The stored settings with this run's overrides on top.
    void applyTo(Settings &settings) const;
};

// The outcome of reading the arguments: options to run with, or text to print
// and the exit code to leave with (help, or a usage error).
struct CliParseResult
{
    std::optional<CliOptions> options;
    QString message;
    int exitCode = 0;
};

CliParseResult parseCliArguments(const QStringList &arguments);

// What the run's settings, the stored ones with this run's overrides on top,
// make of the arguments: a usage error to leave with, or nothing. Classic rules
// would read an https root as a host named "https", and they have no scope.
std::optional<CliParseResult> checkAgainstSettings(const CliOptions &options, const Settings &settings);
