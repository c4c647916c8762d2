#include "net/CurlReason.h"

#include <curl/curl.h>

namespace {

ReadReason fromRefusal(SessionRefusal refusal)
{
    switch (refusal) {
    case SessionRefusal::HeadTooLarge: return ReadReason::HeadTooLarge;
    case SessionRefusal::BodyTooLarge: return ReadReason::TooLarge;
    case SessionRefusal::Idle: return ReadReason::Timeout;
    case SessionRefusal::ErrorPage: return ReadReason::HttpStatus;
    case SessionRefusal::NotHtml: return ReadReason::NotHtml;
    // A download that cannot be written, or a read curl never took on, failed
    // here rather than on the web: no reason of the web's applies.
    case SessionRefusal::SinkFailed:
    case SessionRefusal::NotStarted:
    case SessionRefusal::None: break;
    }
    return ReadReason::None;
}

} // namespace

ReadReason curlReason(int curlCode, SessionRefusal refusal, int status, bool pastDeadline)
{
    const auto code = CURLcode(curlCode);
    // A redirect that leads nowhere readable ends on the 3xx that pointed there;
    // the redirect is the reason, not that status.
    if (code == CURLE_TOO_MANY_REDIRECTS)
        return ReadReason::Redirects;
    if (code == CURLE_UNSUPPORTED_PROTOCOL)
        return ReadReason::Scheme;
    // An error answer is its own reason, however the read then ended. Curl
    // keeps the status of a redirect it followed while the next request fails,
    // so a 3xx is the reason only when it was the last answer.
    if (status >= 400 || (status >= 300 && (code == CURLE_OK || refusal == SessionRefusal::ErrorPage)))
        return ReadReason::HttpStatus;
    if (refusal != SessionRefusal::None)
        return fromRefusal(refusal);
    switch (code) {
    case CURLE_OK: return ReadReason::None;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY: return ReadReason::Dns;
    // The connection timeout is the idle time; only the deadline is longer.
    case CURLE_OPERATION_TIMEDOUT: return pastDeadline ? ReadReason::Deadline : ReadReason::Timeout;
    case CURLE_FILESIZE_EXCEEDED: return ReadReason::TooLarge;
    // Curl holds each header line whole before handing it over, and gives up
    // on one past its own cap this way (older releases say out of memory).
    case CURLE_OUT_OF_MEMORY:
#if LIBCURL_VERSION_NUM >= 0x080600
    case CURLE_TOO_LARGE:
#endif
        return ReadReason::HeadTooLarge;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CLIENTCERT:
    case CURLE_USE_SSL_FAILED: return ReadReason::Tls;
    case CURLE_ABORTED_BY_CALLBACK: return ReadReason::Cancelled;
    // Refused, reset, closed early, or an answer that is no HTTP: the server
    // did not give the page.
    default: return ReadReason::Refused;
    }
}
