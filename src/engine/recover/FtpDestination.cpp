#include "recover/FtpDestination.h"

#include "core/TimeText.h"
#include "recover/CurlLibrary.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>
#include <unistd.h>

namespace twl {

// One libcurl handle, kept for the whole save so that the control connection is reused.
struct FtpDestination::Session {
    const CurlLibrary* api = nullptr;
    CURL* curl = nullptr;
    char error[CURL_ERROR_SIZE] = {};
};

namespace {

std::size_t Discard(char*, std::size_t size, std::size_t count, void*) {
    return size * count;
}

// A file to save, gathered in a temporary file (it may be written out of order, with holes)
// and uploaded whole when finished.
class FtpFile final : public SaveFile {
public:
    FtpFile(FtpDestination& destination, int parent, std::string name)
        : m_destination(destination), m_parent(parent), m_name(std::move(name)),
          m_file(std::tmpfile()) {}
    ~FtpFile() override {
        if (m_file != nullptr)
            std::fclose(m_file);
    }
    bool Valid() const { return m_file != nullptr; }
    int WriteAt(ByteOffset offset, ConstBytes bytes) override {
        const ssize_t wrote =
            ::pwrite(fileno(m_file), bytes.data(), bytes.size(), static_cast<off_t>(offset));
        return wrote == static_cast<ssize_t>(bytes.size()) ? 0 : (wrote < 0 ? errno : ENOSPC);
    }
    int Finish(ByteCount size, const ItemTimes& times) override {
        if (::ftruncate(fileno(m_file), static_cast<off_t>(size)) != 0)
            return errno;
        std::rewind(m_file);
        m_error = m_destination.Upload(m_parent, m_name, m_file, times.mtime);
        return m_error.empty() ? 0 : ECOMM;
    }
    // Nothing reached the server before Finish, and a failed upload leaves what the server
    // kept of it: the local copy goes.
    void Abandon() override {
        if (m_file != nullptr)
            std::fclose(m_file);
        m_file = nullptr;
    }
    std::string LastError() const override { return m_error; }

private:
    FtpDestination& m_destination;
    int m_parent;
    std::string m_name;
    std::FILE* m_file;
    std::string m_error;
};

} // namespace

bool ParseFtpUrl(const std::string& url, FtpSettings& settings) {
    constexpr std::string_view kScheme = "ftp://";
    if (url.rfind(kScheme, 0) != 0)
        return false;
    std::string rest = url.substr(kScheme.size());
    const std::size_t slash = rest.find('/');
    std::string authority = rest.substr(0, slash);
    settings.folder = slash == std::string::npos ? "" : rest.substr(slash + 1);
    if (const std::size_t at = authority.rfind('@'); at != std::string::npos) {
        settings.user = authority.substr(0, at);
        authority = authority.substr(at + 1);
    }
    if (const std::size_t colon = authority.rfind(':'); colon != std::string::npos) {
        const std::string port = authority.substr(colon + 1);
        if (port.empty() || port.find_first_not_of("0123456789") != std::string::npos ||
            port.size() > 5 || std::stoul(port) == 0 || std::stoul(port) > 65535)
            return false;
        settings.port = static_cast<unsigned>(std::stoul(port));
        authority = authority.substr(0, colon);
    }
    settings.host = authority;
    while (!settings.folder.empty() && settings.folder.back() == '/')
        settings.folder.pop_back();
    return !settings.host.empty();
}

FtpDestination::FtpDestination(FtpSettings settings, const CurlLibrary& api)
    : m_settings(std::move(settings)), m_session(std::make_unique<Session>()) {
    m_session->api = &api;
    m_session->curl = api.easy_init();
}

FtpDestination::~FtpDestination() {
    if (m_session->curl != nullptr)
        m_session->api->easy_cleanup(m_session->curl);
}

std::string FtpDestination::Escape(const std::string& text) const {
    const CurlLibrary& api = *m_session->api;
    char* escaped = api.easy_escape(m_session->curl, text.data(), static_cast<int>(text.size()));
    std::string result = escaped != nullptr ? escaped : "";
    api.free(escaped);
    return result;
}

std::string FtpDestination::Url(int folder, const std::string& name) const {
    return "ftp://" + m_settings.host + ":" + std::to_string(m_settings.port) + "/" +
           m_folders[static_cast<std::size_t>(folder)] + Escape(name);
}

// Reaches `url` without transferring anything: a file is looked up, a folder (ending in
// "/") entered, and with `create` made where it is missing. Returns "" or the error.
std::string FtpDestination::Probe(const std::string& url, bool create) {
    CURL* curl = m_session->curl;
    m_session->api->easy_reset(curl);
    SetLogin();
    m_session->api->easy_setopt(curl, CURLOPT_URL, url.c_str());
    m_session->api->easy_setopt(curl, CURLOPT_NOBODY, 1L);
    m_session->api->easy_setopt(curl, CURLOPT_FTP_CREATE_MISSING_DIRS,
                                create ? static_cast<long>(CURLFTP_CREATE_DIR) : 0L);
    m_session->error[0] = '\0';
    const CURLcode result = m_session->api->easy_perform(curl);
    if (result == CURLE_OK)
        return {};
    return m_session->error[0] != '\0' ? m_session->error : m_session->api->easy_strerror(result);
}

void FtpDestination::SetLogin() {
    CURL* curl = m_session->curl;
    m_user = m_settings.user.empty() ? "anonymous" : m_settings.user;
    m_password = m_settings.user.empty() ? "twl@" : m_settings.password;
    m_session->api->easy_setopt(curl, CURLOPT_USERNAME, m_user.c_str());
    m_session->api->easy_setopt(curl, CURLOPT_PASSWORD, m_password.c_str());
    m_session->api->easy_setopt(curl, CURLOPT_ERRORBUFFER, m_session->error);
    m_session->api->easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 30L);
    // What the server sends back (sizes, headers of a look-up) is not ours to print.
    m_session->api->easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Discard);
    m_session->api->easy_setopt(curl, CURLOPT_HEADERFUNCTION, &Discard);
}

std::unique_ptr<FtpDestination> FtpDestination::Open(const FtpSettings& settings, Status& status,
                                                     std::string& detail) {
    std::string why;
    const CurlLibrary* api = LoadCurlLibrary(why);
    if (api == nullptr) {
        status = Status::Failure(ErrorCode::kCannotOpen, "ftp://" + settings.host, ELIBACC);
        detail = "FTP needs libcurl, which cannot be loaded: " + why;
        return nullptr;
    }
    std::unique_ptr<FtpDestination> destination(new FtpDestination(settings, *api));
    std::string path;
    std::size_t start = 0;
    while (start < settings.folder.size()) {
        const std::size_t end = std::min(settings.folder.find('/', start), settings.folder.size());
        if (end > start)
            path += destination->Escape(settings.folder.substr(start, end - start)) + "/";
        start = end + 1;
    }
    destination->m_folders.push_back(path);
    detail = destination->Probe(destination->Url(0, ""), true);
    if (!detail.empty()) {
        status = Status::Failure(ErrorCode::kCannotOpen, "ftp://" + settings.host, ECOMM);
        return nullptr;
    }
    return destination;
}

bool FtpDestination::Exists(int parent, const std::string& name) {
    // Taken when it is there as a file or as a folder.
    return Probe(Url(parent, name), false).empty() || Probe(Url(parent, name) + "/", false).empty();
}

MadeItem FtpDestination::MakeFolder(int parent, const std::string& name) {
    MadeItem made;
    const UniqueNames::Outcome outcome = m_names.Find(parent, name, [&](const std::string& tried) {
        if (Exists(parent, tried))
            return EEXIST;
        made.detail = Probe(Url(parent, tried) + "/", true);
        return made.detail.empty() ? 0 : ECOMM;
    });
    made.name = outcome.name;
    made.error = outcome.error;
    if (made.error != 0)
        return made;
    m_folders.push_back(m_folders[static_cast<std::size_t>(parent)] + Escape(made.name) + "/");
    made.handle = static_cast<int>(m_folders.size() - 1);
    return made;
}

void FtpDestination::FinishFolder(int folder, const ItemTimes&) {
    m_names.Forget(folder);
}

MadeItem FtpDestination::MakeSymlink(int, const std::string& name, const std::string&,
                                     const ItemTimes&) {
    MadeItem made;
    made.name = name;
    made.error = EOPNOTSUPP;
    made.detail = "an FTP server cannot hold a symbolic link";
    return made;
}

std::unique_ptr<SaveFile> FtpDestination::MakeFile(int parent, const std::string& name,
                                                   MadeItem& made) {
    made = {};
    std::unique_ptr<FtpFile> file;
    const UniqueNames::Outcome outcome = m_names.Find(parent, name, [&](const std::string& tried) {
        if (Exists(parent, tried))
            return EEXIST;
        file = std::make_unique<FtpFile>(*this, parent, tried);
        return file->Valid() ? 0 : errno;
    });
    made.name = outcome.name;
    made.error = outcome.error;
    if (made.error != 0)
        return nullptr;
    return file;
}

std::string FtpDestination::Upload(int parent, const std::string& name, std::FILE* file,
                                   std::uint32_t mtime) {
    std::string error;
    for (unsigned attempt = 0; attempt <= m_settings.retries; ++attempt) {
        if (attempt != 0)
            std::this_thread::sleep_for(std::chrono::seconds(m_settings.retryDelaySeconds));
        std::rewind(file);
        CURL* curl = m_session->curl;
        m_session->api->easy_reset(curl);
        SetLogin();
        m_session->api->easy_setopt(curl, CURLOPT_URL, Url(parent, name).c_str());
        m_session->api->easy_setopt(curl, CURLOPT_UPLOAD, 1L);
        m_session->api->easy_setopt(curl, CURLOPT_READDATA, file);
        curl_slist* after = nullptr;
        if (mtime != 0) // servers without MFMT keep the upload's time ('*': no error)
            after = m_session->api->slist_append(
                nullptr, ("*MFMT " + UtcText(mtime, "%Y%m%d%H%M%S") + " " + name).c_str());
        m_session->api->easy_setopt(curl, CURLOPT_POSTQUOTE, after);
        m_session->error[0] = '\0';
        const CURLcode result = m_session->api->easy_perform(curl);
        m_session->api->slist_free_all(after);
        if (result == CURLE_OK)
            return {};
        error =
            m_session->error[0] != '\0' ? m_session->error : m_session->api->easy_strerror(result);
    }
    return error;
}

} // namespace twl
