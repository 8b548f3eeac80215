#include "mp3plyr/input/curl_library.h"

#include <dlfcn.h>

#include <mutex>

namespace pt4 {

namespace {

template <class Entry> bool Find(void* library, const char* name, Entry& entry)
{
    entry = reinterpret_cast<Entry>(dlsym(library, name));
    return entry != nullptr;
}

} // namespace

const TCurlLibrary* CurlLibrary()
{
    static std::once_flag once;
    static TCurlLibrary curl{};
    static bool loaded = false;
    std::call_once(once, [] {
        // Kept for the life of the process, as a linked library would be.
        void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr)
            return;
        loaded = Find(library, "curl_global_init", curl.global_init) &&
                 Find(library, "curl_easy_init", curl.easy_init) &&
                 Find(library, "curl_easy_setopt", curl.easy_setopt) &&
                 Find(library, "curl_easy_getinfo", curl.easy_getinfo) &&
                 Find(library, "curl_easy_pause", curl.easy_pause) &&
                 Find(library, "curl_easy_strerror", curl.easy_strerror) &&
                 Find(library, "curl_easy_cleanup", curl.easy_cleanup) &&
                 Find(library, "curl_multi_init", curl.multi_init) &&
                 Find(library, "curl_multi_add_handle", curl.multi_add_handle) &&
                 Find(library, "curl_multi_remove_handle", curl.multi_remove_handle) &&
                 Find(library, "curl_multi_perform", curl.multi_perform) &&
                 Find(library, "curl_multi_poll", curl.multi_poll) &&
                 Find(library, "curl_multi_wakeup", curl.multi_wakeup) &&
                 Find(library, "curl_multi_info_read", curl.multi_info_read) &&
                 Find(library, "curl_multi_cleanup", curl.multi_cleanup) &&
                 Find(library, "curl_slist_append", curl.slist_append) &&
                 Find(library, "curl_slist_free_all", curl.slist_free_all) &&
                 curl.global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    });
    return loaded ? &curl : nullptr;
}

} // namespace pt4
