#pragma once

#include <QString>
#include <QUrl>

#include <functional>

namespace modPublic {

// How the window and its dialogs open an address or file; tests replace it with
// a recorder.
using ShellOpenFn = std::function<void(const QString &target)>;

// The address the desktop is asked to open for `target`, or an invalid QUrl when
// nothing is to be opened:
// - a bare address whose host begins with "www." opens as "http://" + target;
// - an address with a web, ftp or mail scheme opens as itself;
// - an absolute local path (or a file: URL) opens as that file;
// - anything else (empty text, a relative path, another scheme) opens nothing,
//   since targets also come from the sponsor feed and web pages and must not
//   reach arbitrary protocol handlers.
[[nodiscard]] QUrl shellOpenUrl(const QString &target);

// Hands the target to the desktop, which opens it with the user's default
// program. Returns at once; failures are not reported.
void ShellOpen(const QString &target);

} // namespace modPublic
