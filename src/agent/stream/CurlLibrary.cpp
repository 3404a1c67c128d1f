#include "agent/stream/CurlLibrary.h"

#include "platform/LibrarySymbols.h"

namespace agent {

const CurlLibrary &curlLibrary()
{
    static const CurlLibrary opened = [] {
        CurlLibrary lib;
        QLibrary library(QStringLiteral("curl"), 4);
        if (!library.load())
            return lib;
        platform::LibrarySymbols symbols(library);
#define MOONSHELF_CURL_RESOLVE(name) symbols.resolve(lib.name, #name);
        MOONSHELF_CURL_RESOLVE(curl_global_init)
        MOONSHELF_CURL_RESOLVE(curl_share_init)
        MOONSHELF_CURL_RESOLVE(curl_share_setopt)
        MOONSHELF_CURL_RESOLVE(curl_share_cleanup)
        MOONSHELF_CURL_RESOLVE(curl_easy_init)
        MOONSHELF_CURL_RESOLVE(curl_easy_setopt)
        MOONSHELF_CURL_RESOLVE(curl_easy_getinfo)
        MOONSHELF_CURL_RESOLVE(curl_easy_strerror)
        MOONSHELF_CURL_RESOLVE(curl_easy_cleanup)
        MOONSHELF_CURL_RESOLVE(curl_multi_init)
        MOONSHELF_CURL_RESOLVE(curl_multi_add_handle)
        MOONSHELF_CURL_RESOLVE(curl_multi_remove_handle)
        MOONSHELF_CURL_RESOLVE(curl_multi_perform)
        MOONSHELF_CURL_RESOLVE(curl_multi_poll)
        MOONSHELF_CURL_RESOLVE(curl_multi_info_read)
        MOONSHELF_CURL_RESOLVE(curl_multi_wakeup)
        MOONSHELF_CURL_RESOLVE(curl_multi_cleanup)
        MOONSHELF_CURL_RESOLVE(curl_slist_append)
        MOONSHELF_CURL_RESOLVE(curl_slist_free_all)
#undef MOONSHELF_CURL_RESOLVE
        // Thread-safe in this libcurl; done once, before any handle.
        lib.loaded = symbols.all() && lib.curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
        return lib;
    }();
    return opened;
}

} // namespace agent
