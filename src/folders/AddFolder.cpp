#include "folders/AddFolder.h"

#include "shell/ErrorReport.h"
#include "shell/Main.h"

#include <QFile>

#include <iconv.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <set>

namespace folders {
namespace {

constexpr int kPathLimit = 260;
constexpr std::uint32_t kHiddenSystemFolder = platform::Directory | platform::System | platform::Hidden;
constexpr std::uint32_t kHiddenSystemLink = kHiddenSystemFolder | platform::Link;

using Identity = std::pair<std::uint64_t, std::uint64_t>;

// The attribute value of a path, read once for both the folder test and the
// hidden-system test; nothing when it cannot be read.
std::optional<std::uint32_t> attributesOf(const platform::FileSystem& files, const QString& path) {
    try {
        return files.attributes(path);
    } catch (...) {
        return std::nullopt;
    }
}

bool isFolder(const std::optional<std::uint32_t>& value) {
    return value && (*value & platform::Directory);
}

bool searchable(const platform::FileSystem& files, const QString& folder,
                const std::optional<std::uint32_t>& value) {
    if (files.isRootFolder(folder)) return true;
    if (!value)
        throw platform::FileSystemError(platform::FileSystemError::PathNotFound,
                                        "Path not found: " + folder.toStdString());
    return *value != kHiddenSystemFolder && *value != kHiddenSystemLink;
}

// Appends the paths of `folder`'s subfolders that pass the name checks and
// were not seen before, in listing order. Throws what the listing throws.
void addSubfolders(const QString& folder, std::vector<QString>& found, platform::Platform& os,
                   std::set<Identity>& seen, int codePage) {
    os.files.forEachSubFolder(folder, [&](const QString& name) {
        os.process.processEvents();
        if (name.size() >= kPathLimit || HasInvalidCharacters(name, codePage) || name.contains('?') ||
            name == "." || name == "..")
            return;
        const QString path = folder + name + "/";
        const auto identity = os.files.folderIdentity(path);
        if (identity && !seen.insert(*identity).second) return;  // seen before
        found.push_back(path);
    });
}

// Whether the walk keeps a folder it found: an existing folder that is the
// root or not a hidden system folder.
bool admitted(const platform::FileSystem& files, const QString& folder) {
    const auto value = attributesOf(files, folder);
    return isFolder(value) && searchable(files, folder, value);
}

void scan(std::vector<QString>& folders, bool recurse, platform::Platform& os,
          std::set<Identity>& seen) {
    shell::Procedure p(os.messages, "in Orlentis2021/08/31.AddFolder.GetSubDirectories2016 ");
    const int codePage = SystemAnsiCodePage();
    std::vector<QString> found;

    for (size_t k = 0; k < folders.size(); ++k) {
        const QString folder = folders[k];
        const auto value = attributesOf(os.files, folder);
        if (!p.test(100, [&] { return isFolder(value); })) continue;
        if (!p.test(102, [&] { return folder.size() < kPathLimit; })) continue;
        p.step(104, [&] { os.process.processEvents(); });
        if (!p.test(106, [&] { return searchable(os.files, folder, value); })) continue;

        try {
            addSubfolders(folder, found, os, seen, codePage);
        } catch (const platform::FileSystemError& e) {
            if (e.number() == platform::FileSystemError::PermissionDenied ||
                e.number() == platform::FileSystemError::PathNotFound) {
                const auto first = std::find(folders.begin(), folders.end(), folder);
                if (first != folders.end()) {
                    if (size_t(first - folders.begin()) <= k) --k;
                    folders.erase(first);
                }
            }
        } catch (const std::exception&) {
            // Any other listing failure leaves the folder in place, unsearched below.
        }
    }

    if (recurse && !found.empty()) p.step(108, [&] { scan(found, true, os, seen); });

    for (const QString& entry : found) {
        const auto value = attributesOf(os.files, entry);
        if (!p.test(110, [&] { return isFolder(value); })) continue;
        p.step(112, [&] { os.process.processEvents(); });
        if (p.test(114, [&] { return searchable(os.files, entry, value); })) folders.push_back(entry);
    }
}

// One converter per code page from UTF-8, kept for the life of the program.
class AnsiEncoder {
public:
    explicit AnsiEncoder(int codePage)
        : cd_(iconv_open(("CP" + std::to_string(codePage)).c_str(), "UTF-8")) {}
    ~AnsiEncoder() {
        if (cd_ != iconv_t(-1)) iconv_close(cd_);
    }
    AnsiEncoder(const AnsiEncoder&) = delete;
    AnsiEncoder& operator=(const AnsiEncoder&) = delete;

    // The character's code as a signed 16-bit number; 63 ("?") when it has none.
    int code(const QString& character) {
        if (cd_ == iconv_t(-1)) return '?';
        QByteArray in = character.toUtf8();
        char out[8];
        char* inPtr = in.data();
        size_t inLeft = size_t(in.size());
        char* outPtr = out;
        size_t outLeft = sizeof out;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft) == size_t(-1) || inLeft != 0)
            return '?';
        iconv(cd_, nullptr, nullptr, &outPtr, &outLeft);
        const size_t length = size_t(outPtr - out);
        if (length == 1) return quint8(out[0]);
        if (length == 2) return std::int16_t(quint8(out[0]) << 8 | quint8(out[1]));
        return '?';
    }

private:
    iconv_t cd_;
};

AnsiEncoder& encoderFor(int codePage) {
    static std::mutex guard;
    static std::map<int, std::unique_ptr<AnsiEncoder>> encoders;
    std::lock_guard lock(guard);
    auto& slot = encoders[codePage];
    if (!slot) slot = std::make_unique<AnsiEncoder>(codePage);
    return *slot;
}

}  // namespace

QString BrowseForFolder(platform::Platform& os, QWidget* owner, const QString& title,
                        const QString& startFolder) {
    const bool opensThere = !startFolder.isEmpty() && os.files.folderExists(startFolder);
    QString chosen = os.folderDialogs.chooseFolder(owner, title, opensThere ? startFolder : QString());
    const int nul = chosen.indexOf(QChar(0));
    if (nul >= 0) chosen.truncate(nul);
    return chosen;
}

void GetSubDirectories2016(std::vector<QString>& folders, bool recurse, platform::Platform& os) {
    std::set<Identity> seen;
    for (const QString& folder : folders)
        if (const auto identity = os.files.folderIdentity(folder)) seen.insert(*identity);
    scan(folders, recurse, os, seen);
}

bool FindFolderBelow(const QString& folder, const std::function<bool(const QString&)>& wanted,
                     platform::Platform& os) {
    std::set<Identity> seen;
    if (const auto identity = os.files.folderIdentity(folder)) seen.insert(*identity);
    const int codePage = SystemAnsiCodePage();
    std::vector<QString> level{folder};
    while (!level.empty()) {
        std::vector<QString> next;
        for (const QString& parent : level) {
            os.process.processEvents();
            if (parent.size() >= kPathLimit || !admitted(os.files, parent)) continue;
            try {
                addSubfolders(parent, next, os, seen, codePage);
            } catch (const std::exception&) {
                // A folder that cannot be listed hides nothing the walk could reach.
            }
        }
        level.clear();
        for (const QString& entry : next) {
            os.process.processEvents();
            if (!admitted(os.files, entry)) continue;
            if (wanted(entry)) return true;
            level.push_back(entry);
        }
    }
    return false;
}

std::vector<platform::FileName> GetFileList(const platform::FileSystem& files, QString folder,
                                            const QString& pattern) {
    if (!folder.endsWith('/')) folder += '/';
    const QByteArray nativeFolder = QFile::encodeName(folder);
    std::vector<platform::FileName> names;
    names.reserve(100);
    for (platform::FileName& name : files.listFiles(folder, pattern))
        if (IsExistingFile(files, nativeFolder + name.bytes)) names.push_back(std::move(name));
    return names;
}

bool IsExistingFile(const platform::FileSystem& files, const QByteArray& path) {
    try {
        return files.canOpenFile(path);
    } catch (...) {
        return false;
    }
}

bool IsExistingFile(const platform::FileSystem& files, const QString& path) {
    return IsExistingFile(files, QFile::encodeName(path));
}

bool HasInvalidCharacters(const QString& name, int codePage) {
    for (int i = 0; i < name.size(); ++i) {
        const QChar c = name[i];
        int code;
        if (c.unicode() < 0x80) {
            code = c.unicode();  // every ANSI code page keeps ASCII as it is
        } else if (c.isHighSurrogate() || c.isLowSurrogate()) {
            code = '?';          // no ANSI code page reaches beyond the first plane
        } else {
            code = encoderFor(codePage).code(QString(c));
        }
        if (code < 32 || (code >= 127 && code <= 159) || code == 63) return true;
    }
    return false;
}

bool HasInvalidCharacters(const QString& name) {
    return HasInvalidCharacters(name, SystemAnsiCodePage());
}

int AnsiCodePageForLocale(const QString& locale) {
    const QString language = locale.section('.', 0, 0).section('@', 0, 0);
    const QString lang = language.section('_', 0, 0).toLower();
    const QString region = language.section('_', 1, 1).toUpper();
    static const std::map<QString, int> byLanguage = {
        {"cs", 1250}, {"pl", 1250}, {"hu", 1250}, {"sk", 1250}, {"sl", 1250}, {"hr", 1250},
        {"ro", 1250}, {"sq", 1250}, {"bs", 1250},
        {"ru", 1251}, {"uk", 1251}, {"be", 1251}, {"bg", 1251}, {"mk", 1251}, {"sr", 1251},
        {"kk", 1251}, {"ky", 1251}, {"mn", 1251}, {"tt", 1251},
        {"el", 1253}, {"tr", 1254}, {"az", 1254}, {"he", 1255}, {"yi", 1255},
        {"ar", 1256}, {"fa", 1256}, {"ur", 1256},
        {"lt", 1257}, {"lv", 1257}, {"et", 1257}, {"vi", 1258},
        {"th", 874}, {"ja", 932}, {"ko", 949},
    };
    if (lang == "zh") return region == "TW" || region == "HK" || region == "MO" ? 950 : 936;
    const auto it = byLanguage.find(lang);
    return it == byLanguage.end() ? 1252 : it->second;
}

int SystemAnsiCodePage() {
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const QString value = QString::fromLocal8Bit(qgetenv(variable));
        if (!value.isEmpty()) return AnsiCodePageForLocale(value);
    }
    return 1252;
}

}  // namespace folders
