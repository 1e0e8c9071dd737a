/*
 * Kestrane: the signal exchange with the signal server.
 *
 * Every export performs one synchronous HTTP form POST and returns 1 or 0.
 * Texts are zero-terminated 8-bit strings, sent byte for byte: no
 * percent-encoding, so an "&" or "=" inside a value splits into further
 * form fields at the server. The exports check none of their pointers.
 *
 * Blocking: a call blocks its thread until the exchange ends. It makes at
 * most three attempts under a deadline of 360 s (3 x (60 s to connect +
 * 30 s to send + 30 s to receive)); once it has passed no further wait
 * starts, and the call reports no reply unless one was received whole
 * before. The wait in progress then ends within its own time-out, so a
 * call ends at the latest 390 s after it began, however slowly the server
 * sends, while it connects (60 s over all of a host's addresses), waits
 * for the response head (30 s for the whole head; under Wine for each
 * read only, so there a head trickled in pieces ends the call once it is
 * in) or reads the body (the deadline is checked between reads). A server
 * that falls silent for 30 s ends any wait. Some stages are one wait that
 * the platform bounds per read or per packet only; a server that trickles
 * one of them, a piece inside each 30 s, holds the call until it is
 * through, and the call then ends with no reply (save one whose trailer
 * alone came late): a TLS handshake (https), a chunk-size line or the
 * trailer of a chunked body (Wine reads no trailer), and an upload larger
 * than the connection's send buffer that the server reads slowly. Name
 * resolution has no time-out and stays outside the bound. A proxy
 * auto-configuration script, which Windows looks up without a time-out,
 * is looked up only while 120 s of the deadline are left; a lookup that
 * takes longer ends the call as soon as it returns.
 * A reply is a whole final response: an interim (1xx) response, a response
 * head over 64 KiB and a head that ended before its blank line are failed
 * attempts. Each attempt goes out on a connection of its own, never kept,
 * so nothing a server sends after one answer is taken for a later one.
 * What ends a call earlier: a reply (any final HTTP status), a refused or
 * failed connection on all three attempts, three attempts whose wait ran into
 * its time-out, or a reply cut short (a body that stalls for 30 s, ends
 * before its announced length or exceeds 16 MiB).
 *
 * Repeated delivery: when a response is lost after the request went out,
 * the POST is retried, so the server may receive the same request twice
 * (up to three times). Servers should treat the posts as idempotent.
 *
 * Threads: calls keep no state and share nothing; they may run on any
 * number of threads at once, and alongside calls into Falloway.
 */
#ifndef KESTRANE_H
#define KESTRANE_H

#include <stdint.h>

#if defined(_WIN32)
#define KESTRANE_API
#elif defined(__GNUC__)
#define KESTRANE_API __attribute__((visibility("default")))
#else
#define KESTRANE_API
#endif

/* Size of the reply buffer that RecvSignal requires. A reply is delivered
 * only when its UTF-8 form takes at most KESTRANE_REPLY_BUFFER_BYTES - 1
 * bytes, so a buffer zero-filled before the call stays zero-terminated. */
#define KESTRANE_REPLY_BUFFER_BYTES 65536

/* Why a call got no reply. Right after a call returns, on the same thread,
 * GetLastError() gives the outcome: 0 when a reply arrived (whatever the
 * export then made of it, any HTTP status included), otherwise the code of
 * the exchange's last failure. Read it first: any later Windows call on the
 * thread may overwrite it. The libraries keep nothing: this is the thread's
 * own slot, which every export sets just before it returns.
 *
 * WinHTTP's codes, as WinHTTP gave them (the common ones):
 *   12029  cannot connect: refused or unreachable
 *   12002  timed out: an attempt's time-out, or the call's deadline
 *   12007  name not resolved: the host name is unknown
 *   12175  certificate refused: it failed the check (https)
 *   12157  secure channel failed: the TLS handshake (https)
 *   12030  connection broken: it broke off mid-exchange
 *   12152  invalid response: the answer was not HTTP
 *   12180  proxy not found: no proxy auto-configuration script could be used
 * Under Wine its WinHTTP passes some of Winsock's codes on instead:
 *   10054  connection reset: the server reset the connection
 *   10060  wait timed out: a wait ran into its time-out
 * Windows' own:
 *   87     invalid parameter: nothing was sent, a number was NaN or
 *          infinite (UpdateBalance, UpdateHistory)
 * The libraries' own refusals of what a server sent (bit 29 set, so none
 * is a system code; decimal in brackets): */
#ifndef KT_ERROR_CODES
#define KT_ERROR_CODES
#define KT_ERROR_REPLY_CUT_SHORT 0x20000001u   /* (536870913) reply cut short: the body ended before its length */
#define KT_ERROR_REPLY_TOO_LARGE 0x20000002u   /* (536870914) reply over 16 MiB: the body exceeds the cap */
#define KT_ERROR_INTERIM_RESPONSE 0x20000003u  /* (536870915) interim response: a final status below 200 */
#define KT_ERROR_INCOMPLETE_HEAD 0x20000004u   /* (536870916) incomplete head: no blank line ended it */
#define KT_ERROR_HEAD_TOO_LARGE 0x20000005u    /* (536870917) head over 64 KiB: the response head exceeds it */
#define KT_ERROR_OUT_OF_MEMORY 0x20000006u     /* (536870918) out of memory: the reply could not be held */
#endif

/* The debug channel: a call that got no reply, or a reply whose HTTP status
 * lies outside 200-299, also writes one line with OutputDebugStringW: the
 * library, the export, the endpoint, the attempts made, the last code with
 * its meaning in the words above, the proxy used if any, and the time the
 * call took, e.g. (each one line, here cut in two)
 *   Kestrane CheckLimits: no reply from http://host/admin/public/api/checkLimits:
 *     3 attempts, last 12029 (cannot connect), 0.4 s
 *   Kestrane CheckLimits: status 500 from http://host/admin/public/api/checkLimits:
 *     1 attempt, 0.0 s
 * Never the form, the reply or a password. A debugger or a debug-output
 * viewer shows the lines; under Wine (8.0), WINEDEBUG=warn+seh prints them
 * on stderr, as "warn:seh:OutputDebugStringA" lines. A reply with a 2xx
 * status writes nothing. */

#ifdef __cplusplus
extern "C" {
#endif

/* Reports one trade event to "/admin/public/api/mt5/sendSignal".
 * The texts price, lots, margin, stop_loss, take_profit and occured_at are
 * sent as the caller formatted them.
 * Returns 1 when a reply arrived: *result = the reply read as a decimal
 * integer (0 for a reply that is not a number). Returns 0 when no reply
 * arrived: *result = -1. */
KESTRANE_API int32_t SendSignal(const char* source, int32_t ticket, int32_t origin_ticket, const char* symbol,
                                const char* price, int32_t cmd, const char* lots, const char* margin,
                                const char* stop_loss, const char* take_profit, const char* occured_at,
                                int32_t is_last, int32_t* result);

/* Fetches signals from "/admin/public/api/mt5/receiveSignal".
 * requested_at must be writable: every "." in it is replaced by "-" in
 * place before anything is sent, and stays so whatever the outcome.
 * close_interval is sent twice, as close_interval and as interval.
 * reply must point to KESTRANE_REPLY_BUFFER_BYTES writable bytes.
 *   *status 1, returns 1: the reply was delivered. The first 8 bytes of
 *     reply are zeroed, then the whole UTF-8 form of the reply (M bytes) is
 *     written from the first byte on, without a terminating zero; bytes
 *     after max(8, M) keep what they held.
 *   *status 84, returns 0: the server answered "" or exactly "0"; reply is
 *     untouched.
 *   *status -1, returns 0: no reply arrived, or the reply's UTF-8 form is
 *     longer than KESTRANE_REPLY_BUFFER_BYTES - 1 bytes (it is never cut);
 *     reply is untouched. */
KESTRANE_API int32_t RecvSignal(const char* user, const char* source, int32_t open_interval, int32_t close_interval,
                                char* requested_at, char* reply, int32_t* status);

/* Asks "/admin/public/api/mt5/getLastRecord" about one position.
 * Returns 1 with *result = the reply as an integer, or 0 with *result = -1
 * when no reply arrived. */
KESTRANE_API int32_t CheckPosition(const char* source, int32_t ticket, const char* symbol, int32_t* result);

/* Reports new protective levels (sl, tp, as formatted by the caller) of a
 * position to "/admin/public/api/updateTS".
 * Returns 1 with *result = the reply as an integer, or 0 with *result = -1
 * when no reply arrived. */
KESTRANE_API int32_t UpdateTS(const char* source, int32_t ticket, const char* sl, const char* tp, int32_t* result);

/* Submits a text of limits for a source to "/admin/public/api/checkLimits".
 * Returns 1 with *result = the reply as an integer, or 0 with *result = -1
 * when no reply arrived. */
KESTRANE_API int32_t CheckLimits(const char* source, const char* limits, int32_t* result);

#ifdef __cplusplus
}
#endif

#endif /* KESTRANE_H */
