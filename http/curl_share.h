// Process-wide libcurl set-up shared by every HTTP client of the program.
//
// libcurl's global state is initialised once, on first use. Two share objects
// live for the whole process; each caches name resolutions between easy
// handles (every request still opens its own connection). One of them also
// holds the process-wide cookie store that requests use unless their caller
// keeps cookies itself. Both are locked internally, so handles on any thread
// may use them at once. Transfers run through a driver each thread keeps for
// all of its transfers.
#pragma once

namespace tavrel::curl_share {

// Initialises libcurl's global state once; safe to call from any thread.
void ensure_global_init();

// The share object (a CURLSH*, opaque here) for CURLOPT_SHARE: with
// with_cookies it shares the DNS cache and the cookie store, without it only
// the DNS cache. Null only when libcurl could not make it (handles then share
// nothing). Calls ensure_global_init().
void* handle(bool with_cookies);

// Runs the transfer of easy (a CURL*, opaque here) to its end on the calling
// thread, giving its progress callback a turn at least every poll_ms while it
// waits. The thread's driver is made on its first transfer and kept, since
// making one costs more than a request on loopback; the transfer's connection
// is closed when it ends all the same, so every request has its own.
void perform(void* easy, int poll_ms);

}  // namespace tavrel::curl_share
