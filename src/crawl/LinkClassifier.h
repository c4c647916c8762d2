#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QStringView>

// What standard rules make of a link: a page to read, a file to list, or both.
struct LinkKind
{
    bool page = false;
    bool file = false;
};

// Sorts addresses by the extension of their last path segment against the
// Search and Follow lists. A query never hides the extension, and an extension
// matches a whole item of a list, whatever the case of its letters: "htm" is
// not "html". A link without extension, or with one in Follow, is a page; one
// in Search is a file.
class LinkClassifier
{
public:
    // The lists as the settings hold them: extensions separated by commas.
    LinkClassifier(QStringView search, QStringView follow);

    [[nodiscard]] LinkKind classify(QByteArrayView address) const;

    // What follows the last "." of the address's last path segment; empty when
    // that segment has no ".". The address is in LinkResolver's normal form.
    [[nodiscard]] static QByteArrayView extension(QByteArrayView address);

private:
    QList<QByteArray> m_search; // lower case, without blanks
    QList<QByteArray> m_follow;
};
