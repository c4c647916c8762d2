#pragma once

#include <QByteArrayView>
#include <QList>

// The addresses of a srcset attribute's image candidates, as the HTML standard
// splits them: each candidate is an address up to the next blank, then
// descriptors ("2x", "480w") up to a comma outside parentheses. An address may
// hold commas, except at its end, where they separate candidates. Descriptors
// are not checked: a candidate a browser would skip for a wrong descriptor still
// names a file. Views into `srcset`, addresses unresolved.
[[nodiscard]] QList<QByteArrayView> srcsetUrls(QByteArrayView srcset);
