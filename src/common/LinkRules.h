#pragma once

#include <QString>
#include <QStringView>

#include <optional>

// Which rules a crawl finds and follows links by. Classic rules scan a page's
// text for "a href=" as the program always has; standard rules read the page
// with an HTML parser, find embedded files too and resolve addresses by RFC 3986.
enum class LinkRules { Classic, Standard };

// Which pages standard rules read: those of any host, of the root's host, or of
// the root's host below the root's folder.
enum class LinkScope { Any, Host, Below };

// The words settings and the command line use: "classic", "standard"; "any",
// "host", "below". Parsing ignores the case of letters; an unknown word gives nothing.
[[nodiscard]] std::optional<LinkRules> linkRulesFromName(QStringView name);
[[nodiscard]] QString linkRulesName(LinkRules rules);
[[nodiscard]] std::optional<LinkScope> linkScopeFromName(QStringView name);
[[nodiscard]] QString linkScopeName(LinkScope scope);
