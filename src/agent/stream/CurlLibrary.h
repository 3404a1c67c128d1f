#pragma once

// Built with CURL_DISABLE_TYPECHECK: the option setters are called through
// pointers, which the header's checking macros would not let through.
#include <curl/curl.h>

namespace agent {

// libcurl, opened when the first chat stream needs it rather than linked:
// linked, it and its TLS, Kerberos, LDAP and SSH libraries were loaded and
// bound at every start, before the window could draw.
struct CurlLibrary {
    bool loaded = false; // every function below was found
#define MOONSHELF_CURL_FUNCTION(name) decltype(&::name) name = nullptr;
    MOONSHELF_CURL_FUNCTION(curl_global_init)
    MOONSHELF_CURL_FUNCTION(curl_share_init)
    MOONSHELF_CURL_FUNCTION(curl_share_setopt)
    MOONSHELF_CURL_FUNCTION(curl_share_cleanup)
    MOONSHELF_CURL_FUNCTION(curl_easy_init)
    MOONSHELF_CURL_FUNCTION(curl_easy_setopt)
    MOONSHELF_CURL_FUNCTION(curl_easy_getinfo)
    MOONSHELF_CURL_FUNCTION(curl_easy_strerror)
    MOONSHELF_CURL_FUNCTION(curl_easy_cleanup)
    MOONSHELF_CURL_FUNCTION(curl_multi_init)
    MOONSHELF_CURL_FUNCTION(curl_multi_add_handle)
    MOONSHELF_CURL_FUNCTION(curl_multi_remove_handle)
    MOONSHELF_CURL_FUNCTION(curl_multi_perform)
    MOONSHELF_CURL_FUNCTION(curl_multi_poll)
    MOONSHELF_CURL_FUNCTION(curl_multi_info_read)
    MOONSHELF_CURL_FUNCTION(curl_multi_wakeup)
    MOONSHELF_CURL_FUNCTION(curl_multi_cleanup)
    MOONSHELF_CURL_FUNCTION(curl_slist_append)
    MOONSHELF_CURL_FUNCTION(curl_slist_free_all)
#undef MOONSHELF_CURL_FUNCTION
};

// Opened and globally set up once per process (thread-safe), never closed.
const CurlLibrary &curlLibrary();

} // namespace agent
