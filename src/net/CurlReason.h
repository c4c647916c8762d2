#pragma once

#include "net/ReadReason.h"

// How the session itself ended a read, whatever curl made of it.
enum class SessionRefusal : quint8 {
    None,
    HeadTooLarge, // an answer's head passed ReadLimits::maxHeaderBytes
    BodyTooLarge, // the body passed ReadLimits::maxBodyBytes
    ErrorPage,    // the answer's status is not 2xx
    SinkFailed,   // the body's taker said no (the download could not be written)
    Idle,         // no byte for ReadLimits::idleTimeoutMs
    NotStarted,   // curl could not take the read on
    NotHtml,      // the read wanted HTML only, and the answer is of another type
};

// Why a read ended: curl's result code, the session's own refusal, the status
// of the last answer (0 when none came) and whether the read had passed its
// deadline. The one place a read's outcome becomes a ReadReason.
ReadReason curlReason(int curlCode, SessionRefusal refusal, int status, bool pastDeadline);
