// Settings store speed: a per-user store file of 400,000 values (one key of
// 200,000 and 2,000 keys of 100) read by the file store the way the program
// reads it, then queried again while unchanged. Prints times beside the targets.
//
//   bench_registry [--quick]

#include "BenchSupport.h"

#include "settings/RegistryFileFormat.h"
#include "settings/RegistryFileStore.h"
#include "settings/RegistryTree.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr double TargetLoadSeconds = 0.5;
constexpr double TargetQuerySeconds = 0.001;
constexpr int BigKeyValues = 200000;
constexpr int SmallKeys = 2000;
constexpr int SmallKeyValues = 100;
constexpr int TotalValues = BigKeyValues + SmallKeys * SmallKeyValues;

const QString BigKey = QStringLiteral("Software\\Trovewick\\Big");

QString smallKey(int i)
{
    return QStringLiteral("Software\\Trovewick\\Many\\Key%1").arg(i, 4, 10, QChar(u'0'));
}

QString valueName(int i)
{
    return QStringLiteral("Value%1").arg(i, 6, 10, QChar(u'0'));
}

// The four kinds of value a settings file holds, in turn.
RegistryValue valueFor(int i)
{
    switch (i % 4) {
    case 0:
        return {RegistryType::Sz, "text of value " + QByteArray::number(i) + '\0'};
    case 1: {
        QByteArray bytes(4, '\0');
        for (int b = 0; b < 4; ++b)
            bytes[b] = char((i >> (8 * b)) & 0xFF);
        return {RegistryType::Dword, bytes};
    }
    case 2:
        return {RegistryType::Binary, QByteArray::number(i, 16).rightJustified(8, '0')};
    default:
        return {RegistryType::ExpandSz, "%HOME%\\file" + QByteArray::number(i) + '\0'};
    }
}

RegistryTree makeTree()
{
    RegistryTree tree;
    const auto user = RegistryRoot::CurrentUser;
    for (int i = 0; i < BigKeyValues; ++i)
        tree.setValue(user, BigKey, valueName(i), valueFor(i));
    for (int k = 0; k < SmallKeys; ++k) {
        for (int i = 0; i < SmallKeyValues; ++i)
            tree.setValue(user, smallKey(k), valueName(i), valueFor(k * SmallKeyValues + i));
    }
    return tree;
}

void writeFile(const QString &path, const QByteArray &text, const QDateTime &modified)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size()
        || !file.setFileTime(modified, QFileDevice::FileModificationTime))
        qFatal("cannot write %s", qPrintable(path));
}

const char *timeVerdict(double seconds, double target)
{
    return seconds <= target ? "ok" : "ABOVE TARGET";
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const bool quick = app.arguments().contains(QStringLiteral("--quick"));
    const int rounds = quick ? 1 : 3;
    const double minSeconds = quick ? 0.0 : 1.0;

    QTemporaryDir folder;
    if (!folder.isValid())
        qFatal("no temporary folder");
    const QString path = folder.path() + QStringLiteral("/registry.reg");

    std::printf("Settings store (RegistryFileStore on a %d-value registry.reg)\n", TotalValues);
    std::printf("Targets: load <= %.0f ms, query of the unchanged file <= %.1f ms. Thread CPU time, "
                "fastest of several rounds.\n\n",
                TargetLoadSeconds * 1e3, TargetQuerySeconds * 1e3);

    RegistryTree tree = makeTree();
    QByteArray text;
    const double writeSeconds = bench::fastestRound(
        [&] {
            const auto start = bench::Clock::now();
            text = RegistryFileFormat::serialize(tree);
            return bench::secondsSince(start);
        },
        rounds, minSeconds);
    // A second text of the same size with one value changed, so each load round
    // reads a text the store has not parsed before.
    tree.setValue(RegistryRoot::CurrentUser, BigKey, valueName(0), {RegistryType::Sz, QByteArray("text of value X\0", 16)});
    const QByteArray otherText = RegistryFileFormat::serialize(tree);

    // Settled files: last changed a minute ago, a minute apart between rounds.
    const qint64 minuteAgo = QDateTime::currentMSecsSinceEpoch() - 60000;
    int round = 0;
    bool loadedRight = true;
    const double loadSeconds = bench::fastestRound(
        [&] {
            ++round;
            writeFile(path, round % 2 ? text : otherText,
                      QDateTime::fromMSecsSinceEpoch(minuteAgo - round * 60000));
            const auto start = bench::Clock::now();
            const auto found = RegistryFileStore(path).queryValue(RegistryRoot::CurrentUser, smallKey(SmallKeys - 1),
                                                                  valueName(SmallKeyValues - 1));
            const double seconds = bench::secondsSince(start);
            loadedRight = loadedRight && found == valueFor(SmallKeys * SmallKeyValues - 1);
            return seconds;
        },
        rounds, minSeconds);

    constexpr int Queries = 1000;
    const double querySeconds = bench::fastestRound(
        [&] {
            const auto start = bench::Clock::now();
            for (int i = 0; i < Queries; ++i) {
                const auto found = RegistryFileStore(path).queryValue(RegistryRoot::CurrentUser, BigKey,
                                                                      valueName(i * 197 % BigKeyValues));
                loadedRight = loadedRight && found.has_value();
            }
            return bench::secondsSince(start) / Queries;
        },
        rounds, minSeconds);

    std::printf("  %-44s %10.1f ms  (%lld bytes)\n", "write the file's text", writeSeconds * 1e3,
                static_cast<long long>(text.size()));
    std::printf("  %-44s %10.1f ms  %s\n", "load: first query, reading and parsing", loadSeconds * 1e3,
                loadedRight ? timeVerdict(loadSeconds, TargetLoadSeconds) : "WRONG VALUES");
    std::printf("  %-44s %10.3f ms  %s\n", "query of the unchanged file", querySeconds * 1e3,
                loadedRight ? timeVerdict(querySeconds, TargetQuerySeconds) : "WRONG VALUES");

    const bool met = loadedRight && loadSeconds <= TargetLoadSeconds && querySeconds <= TargetQuerySeconds;
    std::printf("\n%s\n", met ? "All targets met." : "SOME TARGETS MISSED.");
    return met ? 0 : 1;
}
