#pragma once

// Saving onto an FTP server with libcurl: folders made with MKD, files uploaded whole in
// passive mode, each transfer retried as set. Nothing on the server is replaced: a name that
// is taken gets a numbered one. FTP has no symbolic links; those are reported as not saved.

#include "core/Status.h"
#include "recover/SaveDestination.h"
#include "recover/UniqueName.h"

#include <memory>
#include <string>
#include <vector>

namespace twl {

struct CurlLibrary;

struct FtpSettings {
    std::string host;
    unsigned port = 21;
    std::string folder; // on the server, made when missing ("" for the login folder)
    std::string user;   // empty: anonymous
    std::string password;
    unsigned retries = 3; // further attempts after a failed transfer
    unsigned retryDelaySeconds = 5;
};

// Reads ftp://[user@]host[:port]/folder; returns false for anything else.
bool ParseFtpUrl(const std::string& url, FtpSettings& settings);

class FtpDestination final : public SaveDestination {
public:
    // Connects, and makes the folder when it is missing.
    static std::unique_ptr<FtpDestination> Open(const FtpSettings& settings, Status& status,
                                                std::string& detail);
    ~FtpDestination() override;

    int Root() const override { return 0; }
    MadeItem MakeFolder(int parent, const std::string& name) override;
    void FinishFolder(int folder, const ItemTimes& times) override;
    MadeItem MakeSymlink(int parent, const std::string& name, const std::string& target,
                         const ItemTimes& times) override;
    std::unique_ptr<SaveFile> MakeFile(int parent, const std::string& name,
                                       MadeItem& made) override;

    // Uploads `file` (read from its start) as `name` in folder `parent`, with retries and
    // the modification time; returns "" or what went wrong.
    std::string Upload(int parent, const std::string& name, std::FILE* file, std::uint32_t mtime);

private:
    struct Session;
    FtpDestination(FtpSettings settings, const CurlLibrary& api);
    // `text` as a part of a URL.
    std::string Escape(const std::string& text) const;
    std::string Url(int folder, const std::string& name) const;
    bool Exists(int parent, const std::string& name);
    std::string Probe(const std::string& url, bool create);
    void SetLogin();

    FtpSettings m_settings;
    std::unique_ptr<Session> m_session;
    std::vector<std::string> m_folders; // escaped paths from the root, each ending in "/"
    std::string m_user;                 // kept alive for libcurl while a transfer runs
    std::string m_password;
    UniqueNames m_names;
};

} // namespace twl
