#include "sender/curlapi.h"

#include <dlfcn.h>

namespace {

template <typename F> bool resolve(void* library, const char* name, F& function) {
    function = reinterpret_cast<F>(dlsym(library, name));
    return function != nullptr;
}

const CurlApi* load() {
    // The library's soname, as the libcurl4 package installs it; it stays loaded to the end.
    void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return nullptr;
    static CurlApi api{};
    const bool ok = resolve(library, "curl_global_init", api.global_init) &&
                    resolve(library, "curl_easy_init", api.easy_init) &&
                    resolve(library, "curl_easy_cleanup", api.easy_cleanup) &&
                    resolve(library, "curl_easy_setopt", api.easy_setopt) &&
                    resolve(library, "curl_easy_getinfo", api.easy_getinfo) &&
                    resolve(library, "curl_multi_init", api.multi_init) &&
                    resolve(library, "curl_multi_cleanup", api.multi_cleanup) &&
                    resolve(library, "curl_multi_add_handle", api.multi_add_handle) &&
                    resolve(library, "curl_multi_remove_handle", api.multi_remove_handle) &&
                    resolve(library, "curl_multi_perform", api.multi_perform) &&
                    resolve(library, "curl_multi_poll", api.multi_poll) &&
                    resolve(library, "curl_multi_info_read", api.multi_info_read) &&
                    resolve(library, "curl_slist_append", api.slist_append) &&
                    resolve(library, "curl_slist_free_all", api.slist_free_all) &&
                    resolve(library, "curl_url", api.url) &&
                    resolve(library, "curl_url_cleanup", api.url_cleanup) &&
                    resolve(library, "curl_url_set", api.url_set) &&
                    resolve(library, "curl_url_get", api.url_get) &&
                    resolve(library, "curl_free", api.free);
    if (!ok || api.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK)
        return nullptr;
    return &api;
}

} // namespace

const CurlApi* curlApi() {
    // A function-local static: loaded once, whichever thread asks first.
    static const CurlApi* const api = load();
    return api;
}
