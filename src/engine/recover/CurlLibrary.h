#pragma once

// libcurl, loaded the first time an FTP destination needs it rather than with the program:
// the library and the thirty-odd libraries it pulls in would cost every run of the command-line
// tool several milliseconds before it reads a sector.

#include <curl/curl.h>
#include <string>

namespace twl {

// The functions of libcurl the FTP destination calls.
struct CurlLibrary {
    CURL* (*easy_init)() = nullptr;
    CURLcode (*easy_setopt)(CURL* curl, CURLoption option, ...) = nullptr;
    CURLcode (*easy_perform)(CURL* curl) = nullptr;
    void (*easy_reset)(CURL* curl) = nullptr;
    void (*easy_cleanup)(CURL* curl) = nullptr;
    const char* (*easy_strerror)(CURLcode code) = nullptr;
    char* (*easy_escape)(CURL* curl, const char* text, int length) = nullptr;
    void (*free)(void* memory) = nullptr;
    curl_slist* (*slist_append)(curl_slist* list, const char* text) = nullptr;
    void (*slist_free_all)(curl_slist* list) = nullptr;
};

// The library, loaded and initialised once for the process; nullptr when it cannot be, with
// the reason in `why`.
const CurlLibrary* LoadCurlLibrary(std::string& why);

} // namespace twl
