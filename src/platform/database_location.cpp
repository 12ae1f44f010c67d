#include "platform/database_location.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "store/element_record.h"

namespace nms::platform {
namespace {

constexpr const char* kOption = "--database";
constexpr const char* kAppFolder = "Kestrova/Vantrelo NG";

std::string join(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::optional<std::string> optionValue(const std::vector<std::string>& args) {
    const std::string withEquals = std::string(kOption) + "=";
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == kOption && i + 1 < args.size()) return args[i + 1];
        if (args[i].rfind(withEquals, 0) == 0) return args[i].substr(withEquals.size());
    }
    return std::nullopt;
}

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::string chooseDatabasePath(const DatabaseLocationInputs& in,
                               const std::function<bool(const std::string& path)>& isFile,
                               const std::function<bool(const std::string& path)>& isFolder) {
    const std::string fileName(store::record::kDatabaseFileName);
    auto named = [&](std::string p) {
        if (p.front() != '/' && !in.workingDir.empty()) p = join(in.workingDir, p);
        if (p.back() == '/' || isFolder(p)) p = join(p, fileName);
        return p;
    };
    if (auto v = optionValue(in.args); v && !v->empty()) return named(*v);
    if (in.nmsDatabase && !in.nmsDatabase->empty()) return named(*in.nmsDatabase);
    if (!in.executableDir.empty()) {
        const std::string beside = join(in.executableDir, fileName);
        if (isFile(beside)) return beside;
    }
    // A relative XDG_DATA_HOME is invalid and is ignored, as the base-directory rules say.
    std::string data;
    if (in.xdgDataHome && !in.xdgDataHome->empty() && in.xdgDataHome->front() == '/') data = *in.xdgDataHome;
    else data = join(in.home.value_or(""), ".local/share");
    return join(join(data, kAppFolder), fileName);
}

DatabaseLocation locateDatabase(const DatabaseLocationInputs& in, ports::FileStore& files) {
    auto statIs = [](const std::string& p, mode_t kind) {
        struct stat st {};
        return ::stat(p.c_str(), &st) == 0 && (st.st_mode & S_IFMT) == kind;
    };
    DatabaseLocation loc;
    loc.path = chooseDatabasePath(
        in, [&](const std::string& p) { return statIs(p, S_IFREG); },
        [&](const std::string& p) { return statIs(p, S_IFDIR); });
    const auto r = files.ensureWritableFolder(folderOf(loc.path));
    if (!r.ok)
        loc.error = "The element database " + loc.path + " cannot be written (" + r.error +
                    "). Changes to the element list will not be kept.";
    return loc;
}

DatabaseLocationInputs currentProcessInputs(int argc, const char* const* argv) {
    DatabaseLocationInputs in;
    for (int i = 1; i < argc; ++i) in.args.emplace_back(argv[i]);
    auto env = [](const char* name) -> std::optional<std::string> {
        const char* v = std::getenv(name);
        return v ? std::optional<std::string>(v) : std::nullopt;
    };
    in.nmsDatabase = env("NMS_DATABASE");
    in.xdgDataHome = env("XDG_DATA_HOME");
    in.home = env("HOME");
    if (!in.home || in.home->empty()) {
        if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) in.home = std::string(pw->pw_dir);
    }
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n > 0) in.executableDir = folderOf(std::string(buf, static_cast<std::size_t>(n)));
    if (::getcwd(buf, sizeof buf)) in.workingDir = buf;
    return in;
}

std::vector<std::string> withoutDatabaseOption(const std::vector<std::string>& args) {
    std::vector<std::string> out;
    const std::string withEquals = std::string(kOption) + "=";
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == kOption) {
            ++i;
            continue;
        }
        if (args[i].rfind(withEquals, 0) == 0) continue;
        out.push_back(args[i]);
    }
    return out;
}

}  // namespace nms::platform
