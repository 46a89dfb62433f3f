#include "recover/CurlLibrary.h"

#include <dlfcn.h>

namespace twl {
namespace {

struct LoadedCurl {
    CurlLibrary library;
    std::string failure; // empty when loaded
};

template <typename Function>
bool Bind(void* handle, const char* name, Function& function) {
    void* symbol = ::dlsym(handle, name);
    function = reinterpret_cast<Function>(symbol);
    return symbol != nullptr;
}

LoadedCurl Load() {
    LoadedCurl loaded;
    // Never closed: the library stays for the rest of the process once it is in.
    void* handle = ::dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* error = ::dlerror();
        loaded.failure = error != nullptr ? error : "libcurl.so.4 cannot be loaded";
        return loaded;
    }
    CurlLibrary& c = loaded.library;
    CURLcode (*globalInit)(long flags) = nullptr;
    const bool bound = Bind(handle, "curl_global_init", globalInit) &&
                       Bind(handle, "curl_easy_init", c.easy_init) &&
                       Bind(handle, "curl_easy_setopt", c.easy_setopt) &&
                       Bind(handle, "curl_easy_perform", c.easy_perform) &&
                       Bind(handle, "curl_easy_reset", c.easy_reset) &&
                       Bind(handle, "curl_easy_cleanup", c.easy_cleanup) &&
                       Bind(handle, "curl_easy_strerror", c.easy_strerror) &&
                       Bind(handle, "curl_easy_escape", c.easy_escape) &&
                       Bind(handle, "curl_free", c.free) &&
                       Bind(handle, "curl_slist_append", c.slist_append) &&
                       Bind(handle, "curl_slist_free_all", c.slist_free_all);
    if (!bound)
        loaded.failure = "libcurl.so.4 lacks a function this program calls";
    else if (globalInit(CURL_GLOBAL_DEFAULT) != CURLE_OK)
        loaded.failure = "libcurl could not be initialised";
    return loaded;
}

} // namespace

const CurlLibrary* LoadCurlLibrary(std::string& why) {
    static const LoadedCurl loaded = Load();
    if (!loaded.failure.empty()) {
        why = loaded.failure;
        return nullptr;
    }
    return &loaded.library;
}

} // namespace twl
