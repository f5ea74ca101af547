#include "platform/shell/KnownFolders.h"

#include "platform/shell/Paths.h"
#include "platform/shell/ShellApi.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace shell {
namespace {

// user-dirs.dirs is a handful of lines; anything far larger is not one the user wrote.
constexpr std::size_t kMaxUserDirsFile = 64 * 1024;

std::string AbsoluteVariable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || value[0] != '/')
        return {};
    return NormalizePath(value).value_or(std::string());
}

// Reads the quoted or bare value of one user-dirs.dirs line, undoing backslash escapes the way
// the shell that sources the file would.
std::string ReadValue(const std::string& line, std::size_t at) {
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t'))
        ++at;
    std::string value;
    if (at < line.size() && line[at] == '"') {
        for (++at; at < line.size() && line[at] != '"'; ++at) {
            if (line[at] == '\\' && at + 1 < line.size())
                ++at;
            value += line[at];
        }
        return value;
    }
    while (at < line.size() && line[at] != ' ' && line[at] != '\t' && line[at] != '#')
        value += line[at++];
    return value;
}

// The freedesktop format allows "$HOME/..." and absolute paths only.
std::string ExpandUserDir(const std::string& value) {
    std::string path;
    if (value.compare(0, 5, "$HOME") == 0 && (value.size() == 5 || value[5] == '/'))
        path = HomeFolder() + value.substr(5);
    else if (!value.empty() && value.front() == '/')
        path = value;
    else
        return {};
    return NormalizePath(path).value_or(std::string());
}

std::string FromUserDirsFile(const std::string& key) {
    std::ifstream file(JoinPath(ConfigHome(), "user-dirs.dirs"), std::ios::binary);
    if (!file)
        return {};
    std::string text(kMaxUserDirsFile, '\0');
    file.read(text.data(), std::streamsize(text.size()));
    text.resize(std::size_t(file.gcount()));
    std::istringstream lines(text);
    std::string found;
    std::string line;
    while (std::getline(lines, line)) {
        std::size_t at = line.find_first_not_of(" \t");
        if (at == std::string::npos || line.compare(at, key.size(), key) != 0)
            continue;
        at += key.size();
        if (at >= line.size() || line[at] != '=')
            continue;
        // A later assignment wins, as it does when the shell sources the file.
        std::string path = ExpandUserDir(ReadValue(line, at + 1));
        if (!path.empty())
            found = path;
    }
    return found;
}

std::string ExistingFolder(const std::string& path) {
    return !path.empty() && IsFolder(path) ? path : std::string();
}

std::string FirstExisting(const char* variable, const char* defaults, const char* below) {
    const char* value = std::getenv(variable);
    std::string list = value != nullptr && *value != '\0' ? value : defaults;
    std::size_t at = 0;
    while (at <= list.size()) {
        std::size_t end = list.find(':', at);
        if (end == std::string::npos)
            end = list.size();
        std::string entry = list.substr(at, end - at);
        // The base directory rules ignore relative entries.
        if (!entry.empty() && entry.front() == '/') {
            auto folder = NormalizePath(JoinPath(entry, below));
            if (folder && IsFolder(*folder))
                return *folder;
        }
        at = end + 1;
    }
    return {};
}

}  // namespace

std::string HomeFolder() {
    std::string home = AbsoluteVariable("HOME");
    if (!home.empty())
        return home;
    std::vector<char> buffer(16384);
    struct passwd entry;
    struct passwd* result = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result != nullptr &&
        result->pw_dir != nullptr && result->pw_dir[0] == '/')
        return NormalizePath(result->pw_dir).value_or("/");
    return "/";
}

std::string DataHome() {
    std::string folder = AbsoluteVariable("XDG_DATA_HOME");
    return folder.empty() ? JoinPath(HomeFolder(), ".local/share") : folder;
}

std::string ConfigHome() {
    std::string folder = AbsoluteVariable("XDG_CONFIG_HOME");
    return folder.empty() ? JoinPath(HomeFolder(), ".config") : folder;
}

std::string ConfiguredUserDirectory(const std::string& name) {
    std::string key = "XDG_" + name + "_DIR";
    std::string path = FromUserDirsFile(key);
    return path.empty() ? AbsoluteVariable(key.c_str()) : path;
}

std::string PersonalFolder() {
    std::string documents = ExistingFolder(ConfiguredUserDirectory("DOCUMENTS"));
    return documents.empty() ? HomeFolder() : documents;
}

std::string SpecialFolderPath(int csidl) {
    switch (csidl) {
    case CSIDL_PERSONAL:
        return PersonalFolder();
    case CSIDL_DESKTOPDIRECTORY: {
        // Without a setting the desktop is ~/Desktop, as xdg-user-dir answers.
        std::string desktop = ConfiguredUserDirectory("DESKTOP");
        return ExistingFolder(desktop.empty() ? JoinPath(HomeFolder(), "Desktop") : desktop);
    }
    case CSIDL_TEMPLATES: {
        // A user directory set to the home folder is switched off.
        std::string templates = ConfiguredUserDirectory("TEMPLATES");
        return templates == HomeFolder() ? std::string() : ExistingFolder(templates);
    }
    case CSIDL_APPDATA:
        return ExistingFolder(DataHome());
    case CSIDL_FONTS:
        return ExistingFolder(JoinPath(DataHome(), "fonts"));
    case CSIDL_BITBUCKET:
        return ExistingFolder(JoinPath(DataHome(), "Trash/files"));
    case CSIDL_PROGRAMS:
    case CSIDL_STARTMENU:
        return ExistingFolder(JoinPath(DataHome(), "applications"));
    case CSIDL_STARTUP:
        return ExistingFolder(JoinPath(ConfigHome(), "autostart"));
    case CSIDL_COMMON_PROGRAMS:
    case CSIDL_COMMON_STARTMENU:
        return FirstExisting("XDG_DATA_DIRS", "/usr/local/share/:/usr/share/", "applications");
    case CSIDL_COMMON_STARTUP:
        return FirstExisting("XDG_CONFIG_DIRS", "/etc/xdg", "autostart");
    default:
        return {};
    }
}

}  // namespace shell
