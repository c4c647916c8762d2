#include "crawl/RobotsTxt.h"

#include "common/AsciiText.h"

namespace {

bool isLineEnd(char c)
{
    return c == '\n' || c == '\r';
}

// `text` without the spaces and tabs around it.
QByteArrayView trimmed(QByteArrayView text)
{
    while (!text.isEmpty() && (text.front() == ' ' || text.front() == '\t'))
        text = text.sliced(1);
    while (!text.isEmpty() && (text.back() == ' ' || text.back() == '\t'))
        text.chop(1);
    return text;
}

// The length of the product token a user-agent value begins with: the letters,
// "_" and "-" before anything else, so "Trovewick/2.0" names "Trovewick".
qsizetype tokenLength(QByteArrayView value)
{
    qsizetype n = 0;
    while (n < value.size()
           && ((value[n] >= 'a' && value[n] <= 'z') || (value[n] >= 'A' && value[n] <= 'Z')
               || value[n] == '_' || value[n] == '-'))
        ++n;
    return n;
}

// The form rules and paths are compared in (see the header). In a rule, "*" stays
// the wildcard; in a path it is escaped like "$", so only a rule's "%2A" matches it.
QByteArray canonical(QByteArrayView text, bool isRule)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto c = uchar(text[i]);
        if (const int escaped = AsciiText::percentEscapeAt(text, i); escaped >= 0) {
            AsciiText::appendNormalEscape(out, uchar(escaped));
            i += 2;
            continue;
        }
        if (c <= ' ' || c >= 0x7F || c == '$' || (c == '*' && !isRule))
            AsciiText::appendPercentEscape(out, c);
        else
            out += char(c);
    }
    return out;
}

} // namespace

RobotsTxt RobotsTxt::parse(QByteArrayView body, QByteArrayView productToken)
{
    if (body.size() > maxParsedSize) {
        const bool cutAtLineEnd = isLineEnd(body[maxParsedSize]);
        body = body.first(maxParsedSize);
        while (!cutAtLineEnd && !body.isEmpty() && !isLineEnd(body.back()))
            body.chop(1);
    }
    if (body.startsWith("\xEF\xBB\xBF"))
        body = body.sliced(3);

    QList<Rule> named; // the rules of every group naming the product token
    QList<Rule> anyone; // the rules of every group for "*"
    bool namedGroupFound = false;
    // The user-agent lines a group starts with choose who its rules are for; the
    // first user-agent line after a rule starts the next group. Other lines
    // (sitemap, crawl-delay, ...) leave the grouping alone.
    bool forNamed = false;
    bool forAnyone = false;
    bool inAgentLines = false;

    qsizetype pos = 0;
    while (pos < body.size()) {
        qsizetype end = pos;
        while (end < body.size() && !isLineEnd(body[end]))
            ++end;
        QByteArrayView line = body.sliced(pos, end - pos);
        pos = end + 1;

        if (const qsizetype hash = line.indexOf('#'); hash >= 0)
            line = line.first(hash);
        const qsizetype colon = line.indexOf(':');
        if (colon < 0)
            continue;
        const QByteArrayView key = trimmed(line.first(colon));
        const QByteArrayView value = trimmed(line.sliced(colon + 1));

        if (AsciiText::equalsNoCase(key, "user-agent")) {
            if (!inAgentLines)
                forNamed = forAnyone = false;
            inAgentLines = true;
            const QByteArrayView token = value.first(tokenLength(value));
            if (token.isEmpty() && value.startsWith('*'))
                forAnyone = true;
            else if (!token.isEmpty() && AsciiText::equalsNoCase(token, productToken))
                forNamed = namedGroupFound = true;
        } else if (const bool allow = AsciiText::equalsNoCase(key, "allow");
                   allow || AsciiText::equalsNoCase(key, "disallow")) {
            inAgentLines = false;
            if (value.isEmpty())
                continue; // an empty rule matches nothing: "Disallow:" keeps everything open
            const Rule rule = makeRule(value, allow);
            if (forNamed)
                named.append(rule);
            if (forAnyone)
                anyone.append(rule);
        }
    }

    RobotsTxt robots;
    robots.m_rules = namedGroupFound ? named : anyone;
    return robots;
}

RobotsTxt RobotsTxt::allowAll()
{
    return RobotsTxt();
}

RobotsTxt RobotsTxt::disallowAll()
{
    RobotsTxt robots;
    robots.m_rules.append(makeRule("/", false));
    return robots;
}

bool RobotsTxt::allows(QByteArrayView pathAndQuery) const
{
    const QByteArray path = canonical(pathAndQuery.isEmpty() ? "/" : pathAndQuery, false);
    if (path == "/robots.txt")
        return true;
    // The most specific rule decides, an allow before a disallow of the same weight;
    // no matching rule leaves the path open.
    const Rule *decider = nullptr;
    for (const Rule &rule : m_rules) {
        const bool outweighs = !decider || rule.weight > decider->weight
            || (rule.weight == decider->weight && rule.allow && !decider->allow);
        if (outweighs && matches(rule, path))
            decider = &rule;
    }
    return !decider || decider->allow;
}

RobotsTxt::Rule RobotsTxt::makeRule(QByteArrayView value, bool allow)
{
    Rule rule;
    rule.allow = allow;
    rule.anchored = value.endsWith('$');
    rule.pattern = canonical(rule.anchored ? value.chopped(1) : value, true);
    rule.weight = rule.pattern.size() + (rule.anchored ? 1 : 0);
    return rule;
}

bool RobotsTxt::matches(const Rule &rule, QByteArrayView path)
{
    QByteArrayView rest = rule.pattern;
    qsizetype star = rest.indexOf('*');
    if (star < 0)
        return rule.anchored ? path == rest : path.startsWith(rest);

    // The part before the first "*" begins the path. Each later part is taken at its
    // first place after the part before, which leaves the most room for the ones
    // after it; an anchored rule's last part has to end the path instead.
    if (!path.startsWith(rest.first(star)))
        return false;
    qsizetype at = star;
    rest = rest.sliced(star + 1);
    while ((star = rest.indexOf('*')) >= 0) {
        const QByteArrayView part = rest.first(star);
        const qsizetype found = path.indexOf(part, at);
        if (found < 0)
            return false;
        at = found + part.size();
        rest = rest.sliced(star + 1);
    }
    if (rule.anchored)
        return path.size() - rest.size() >= at && path.endsWith(rest);
    return path.indexOf(rest, at) >= 0;
}
