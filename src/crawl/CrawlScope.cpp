#include "crawl/CrawlScope.h"

#include "crawl/LinkResolver.h"

CrawlScope::CrawlScope(LinkScope scope, QByteArrayView rootAddress)
    : m_scope(scope)
{
    const AddressParts root = splitAddress(rootAddress);
    m_host = root.host.toByteArray();
    m_folder = root.path.first(root.path.lastIndexOf('/') + 1).toByteArray();
}

bool CrawlScope::contains(QByteArrayView address) const
{
    if (m_scope == LinkScope::Any)
        return true;
    const AddressParts parts = splitAddress(address);
    if (parts.host != m_host)
        return false;
    return m_scope == LinkScope::Host || parts.path.startsWith(m_folder);
}
