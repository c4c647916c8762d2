#include "crawl/RobotsGate.h"

#include "net/TransferComponent.h"

#include <QFile>

namespace {

const QByteArray ProductToken = QByteArrayLiteral("Trovewick");
// The data string of a robots.txt read; the gate knows its reads by their keys.
const QByteArray RobotsData = QByteArrayLiteral("ROBOTS");

// The rules a read that brought no file stands for.
RobotsTxt rulesWithoutFile(int status)
{
    if (status >= 400 && status < 500)
        return RobotsTxt::allowAll();
    return RobotsTxt::disallowAll();
}

} // namespace

RobotsGate::RobotsGate(TransferComponent &transfer) : m_transfer(transfer) {}

RobotsGate::Verdict RobotsGate::verdict(const QByteArray &origin, const QByteArray &pathAndQuery)
{
    const auto known = m_rules.constFind(origin);
    if (known != m_rules.constEnd())
        return known->allows(pathAndQuery) ? Verdict::Read : Verdict::Refuse;
    for (auto it = m_pending.cbegin(); it != m_pending.cend(); ++it) {
        if (it.value() == origin)
            return Verdict::Wait;
    }
    const QByteArray url = origin + "/robots.txt";
    m_pending.insert(m_transfer.StartFileRead(url, url, 1, RobotsData), origin);
    return Verdict::Asked;
}

bool RobotsGate::take(const QString &key, const AsyncProp &result)
{
    const auto pending = m_pending.constFind(key);
    if (pending == m_pending.constEnd())
        return false;
    const QByteArray host = pending.value();
    m_pending.erase(pending);

    RobotsTxt rules = rulesWithoutFile(result.status);
    if (!result.value.isEmpty()) {
        QFile file(result.value);
        if (file.open(QIODevice::ReadOnly))
            rules = RobotsTxt::parse(file.read(RobotsTxt::maxParsedSize + 1), ProductToken);
        file.close();
        QFile::remove(result.value);
    }
    m_rules.insert(host, rules);
    return true;
}
