// Process-wide libcurl set-up shared by every HTTP client of the program.
//
// libcurl's global state is initialised once, on first use. Two share objects
// live for the whole process; each caches name resolutions between easy
// handles (every request still opens its own connection). One of them also
// holds the process-wide cookie store that requests use unless their caller
// keeps cookies itself. Both are locked internally, so handles on any thread
// may use them at once.
#pragma once

namespace tavrel::curl_share {

// Initialises libcurl's global state once; safe to call from any thread.
void ensure_global_init();

// The share object (a CURLSH*, opaque here) for CURLOPT_SHARE: with
// with_cookies it shares the DNS cache and the cookie store, without it only
// the DNS cache. Null only when libcurl could not make it (handles then share
// nothing). Calls ensure_global_init().
void* handle(bool with_cookies);

}  // namespace tavrel::curl_share
