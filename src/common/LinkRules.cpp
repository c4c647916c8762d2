#include "common/LinkRules.h"

#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<LinkRules, const char16_t *>, 2> rulesNames = {{
    {LinkRules::Classic, u"classic"},
    {LinkRules::Standard, u"standard"},
}};

constexpr std::array<std::pair<LinkScope, const char16_t *>, 3> scopeNames = {{
    {LinkScope::Any, u"any"},
    {LinkScope::Host, u"host"},
    {LinkScope::Below, u"below"},
}};

template<typename Value, std::size_t Count>
std::optional<Value> fromName(const std::array<std::pair<Value, const char16_t *>, Count> &names, QStringView name)
{
    for (const auto &[value, word] : names) {
        if (name.compare(QStringView(word), Qt::CaseInsensitive) == 0)
            return value;
    }
    return std::nullopt;
}

template<typename Value, std::size_t Count>
QString nameOf(const std::array<std::pair<Value, const char16_t *>, Count> &names, Value value)
{
    for (const auto &[candidate, word] : names) {
        if (candidate == value)
            return QString::fromUtf16(word);
    }
    return QString();
}

} // namespace

std::optional<LinkRules> linkRulesFromName(QStringView name)
{
    return fromName(rulesNames, name);
}

QString linkRulesName(LinkRules rules)
{
    return nameOf(rulesNames, rules);
}

std::optional<LinkScope> linkScopeFromName(QStringView name)
{
    return fromName(scopeNames, name);
}

QString linkScopeName(LinkScope scope)
{
    return nameOf(scopeNames, scope);
}
