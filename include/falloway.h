/*
 * Falloway: the account side. CheckAccount talks to the account service;
 * the other exports talk to the signal server.
 *
 * Every export performs one synchronous HTTP form POST and returns 1 or 0.
 * Texts are zero-terminated 8-bit strings, sent byte for byte: no
 * percent-encoding, so an "&" or "=" inside a value splits into further
 * form fields at the server. Doubles are sent in fixed point with six
 * decimals and a full stop, whatever locale the process has set. The
 * exports check none of their pointers.
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
 * number of threads at once, and alongside calls into Kestrane.
 *
 * Outcome word, written by UpdateBalance and UpdateHistory into a caller
 * buffer of at least 8 bytes: "success" and its zero (8 bytes) when the
 * server answered 1; otherwise "failed" and its zero (7 bytes; the eighth
 * byte keeps its value).
 */
#ifndef FALLOWAY_H
#define FALLOWAY_H

#include <stdint.h>

#if defined(_WIN32)
#define FALLOWAY_API
#elif defined(__GNUC__)
#define FALLOWAY_API __attribute__((visibility("default")))
#else
#define FALLOWAY_API
#endif

/* Size of the reply buffer that CheckAccount requires. A reply is written
 * only when its UTF-8 form takes at most FALLOWAY_REPLY_BUFFER_BYTES - 1
 * bytes, so a buffer zero-filled before the call stays zero-terminated. */
#define FALLOWAY_REPLY_BUFFER_BYTES 65536

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

/* Signs a user in at the account service ("/client/api_copytrade.php").
 * type is sent as "1" when nonzero and "0" when zero; source_name is sent,
 * and read, only when type is 0 (it may be null otherwise).
 * reply must point to FALLOWAY_REPLY_BUFFER_BYTES writable bytes.
 * Returns 1 when a reply arrived and fits: its whole UTF-8 form (M bytes)
 * is written from the first byte on, without a terminating zero; bytes
 * after the M-th keep what they held (an empty reply writes nothing).
 * Returns 0, reply untouched, when no reply arrived or its UTF-8 form is
 * longer than FALLOWAY_REPLY_BUFFER_BYTES - 1 bytes (it is never cut). */
FALLOWAY_API int32_t CheckAccount(const char* email, const char* password, const char* account,
                                  const char* source_name, int32_t type, char* reply);

/* Reports an account's balance to "/admin/public/api/mt5/updateAccount".
 * outcome: at least 8 bytes; receives the outcome word.
 * Returns 1 when a reply arrived (outcome tells what it said), 0 when none
 * did (outcome "failed"). A NaN or infinite balance is not sent at all:
 * outcome "failed", return 0. */
FALLOWAY_API int32_t UpdateBalance(const char* account_number, double account_balance, const char* currency_type,
                                   int32_t inp_source, char* outcome);

/* Asks "/admin/public/api/mt5/getLastUpdatedDate" when an account was last
 * updated. last_update: at least 19 bytes (20, with the twentieth zeroed
 * beforehand, to read it as a zero-terminated string).
 * A reply of exactly 19 characters whose UTF-8 form is 19 bytes is written
 * as those 19 bytes, without a terminating zero. Any other reply, and a
 * failed exchange, write "failed" and its zero (7 bytes).
 * Returns 1 when a reply arrived, 0 when none did. */
FALLOWAY_API int32_t GetLastUpdate(const char* account_number, char* last_update);

/* Uploads one deal to "/admin/public/api/mt5/updateAccount".
 * Note the order: take_profit is passed before stop_loss but sent after it.
 * outcome: at least 8 bytes; receives the outcome word.
 * Returns 1 when a reply arrived, 0 when none did (outcome "failed"). A NaN
 * or infinite double is not sent at all: outcome "failed", return 0. */
FALLOWAY_API int32_t UpdateHistory(const char* account_number, int32_t deal_ticket, const char* deal_time,
                                   int32_t deal_order, const char* deal_symbol, int32_t deal_type, int32_t deal_dir,
                                   double deal_volume, double deal_price, double deal_profit, double take_profit,
                                   double stop_loss, char* outcome);

#ifdef __cplusplus
}
#endif

#endif /* FALLOWAY_H */
