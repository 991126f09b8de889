// A stand-in for pppd where the kernel has no PPP: it takes pppd's options
// as Corvane passes them, records what it was given, and either "brings the
// link up" (a link pid file and an interface record in the folders that
// CORVANE_PPP_RUN_DIR and CORVANE_SYS_NET_DIR name) until it is signalled,
// or ends at once with the exit status in PPPD_STANDIN_EXIT.

#include "transports/ppp_links.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Options {
    std::string argv, linkname, user, password, connect, file;
    std::string fileMode = "none";
    std::string fileOwner = "none";
};

void Apply(const std::vector<std::string>& words, Options& options)
{
    for (size_t i = 0; i + 1 < words.size(); ++i) {
        if (words[i] == "user")
            options.user = words[++i];
        else if (words[i] == "password")
            options.password = words[++i];
        else if (words[i] == "connect")
            options.connect = words[++i];
        else if (words[i] == "linkname")
            options.linkname = words[++i];
    }
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// pppd reads "call" and "file" options where they stand on the command line.
Options Parse(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::string word = argv[i];
        options.argv += (i > 1 ? " " : "") + word;
        bool hasValue = i + 1 < argc;
        if (word == "call" && hasValue) {
            std::string peer = argv[++i];
            options.argv += " " + peer;
            Apply(PppOptionWords(ReadText(PppPeersDir() + "/" + peer)), options);
        } else if (word == "file" && hasValue) {
            options.file = argv[++i];
            options.argv += " " + options.file;
            struct stat status {};
            if (::stat(options.file.c_str(), &status) == 0) {
                char mode[8];
                std::snprintf(mode, sizeof mode, "%o", status.st_mode & 07777);
                options.fileMode = mode;
                options.fileOwner = status.st_uid == ::getuid() ? "self" : "other";
            }
            Apply(PppOptionWords(ReadText(options.file)), options);
        } else if (word == "linkname" && hasValue) {
            options.linkname = argv[++i];
            options.argv += " " + options.linkname;
        }
    }
    return options;
}

std::string PhoneOf(const std::string& connect)
{
    std::vector<std::string> words = PppOptionWords(connect);
    for (size_t i = 0; i + 1 < words.size(); ++i)
        if (words[i] == "-T")
            return words[i + 1];
    return {};
}

// The test reads what pppd was given; the file holds a password, so it is
// the owner's only.
void Record(const Options& options)
{
    const char* path = std::getenv("PPPD_STANDIN_RECORD");
    if (!path)
        return;
    std::FILE* out = std::fopen(path, "a");
    if (!out)
        return;
    ::fchmod(fileno(out), 0600);
    std::fprintf(out, "argv: %s\n", options.argv.c_str());
    std::fprintf(out, "options: user=%s|password=%s|phone=%s|file=%s|mode=%s|owner=%s\n", options.user.c_str(),
                 options.password.c_str(), PhoneOf(options.connect).c_str(), options.file.c_str(),
                 options.fileMode.c_str(), options.fileOwner.c_str());
    std::fclose(out);
}

// Written whole under another name first, as a reader may look at any time.
void WriteFile(const fs::path& path, const std::string& text)
{
    fs::path temporary = path.string() + ".new";
    std::ofstream(temporary, std::ios::binary | std::ios::trunc) << text;
    fs::rename(temporary, path);
}

std::string FreeInterface()
{
    for (int unit = 0;; ++unit) {
        std::string name = "ppp" + std::to_string(unit);
        if (fs::create_directories(fs::path(SysNetDir()) / name))
            return name;
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--help") == 0) {
        std::puts("usage: pppd-standin call NAME [file PATH] [linkname NAME] [nodetach]\n"
                  "A pppd stand-in for tests. PPPD_STANDIN_EXIT=N ends at once with status N;\n"
                  "otherwise the link comes up until SIGTERM, SIGINT or SIGHUP (status 5).\n"
                  "PPPD_STANDIN_RECORD names a file that receives the options given.");
        return 0;
    }
    // Blocked before anything is visible, so that no signal is missed.
    sigset_t stops;
    sigemptyset(&stops);
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&stops, signal);
    sigprocmask(SIG_BLOCK, &stops, nullptr);

    Options options = Parse(argc, argv);
    Record(options);
    if (const char* status = std::getenv("PPPD_STANDIN_EXIT"))
        return std::atoi(status);
    if (options.linkname.empty()) {
        std::fprintf(stderr, "pppd-standin: no linkname\n");
        return 2;
    }

    const fs::path pidFile = fs::path(PppRunDir()) / ("ppp-" + options.linkname + ".pid");
    const std::string pid = std::to_string(::getpid()) + "\n";
    WriteFile(pidFile, pid);
    const std::string interface = FreeInterface();
    WriteFile(fs::path(SysNetDir()) / interface / "flags", "0x10d1\n");
    WriteFile(pidFile, pid + interface + "\n");

    int received = 0;
    sigwait(&stops, &received);
    fs::remove_all(fs::path(SysNetDir()) / interface);
    fs::remove(pidFile);
    return 5;
}
