// Start entries as shell links (.lnk), written and read through the shell's own COM objects.
#include "StartEntries.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <stdexcept>

#include <windows.h>

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

namespace {

const QString kEntryName = QStringLiteral("Plinova.lnk");

std::wstring Wide(const QString& text) {
    return QDir::toNativeSeparators(text).toStdWString();
}

QString HresultText(HRESULT result) {
    wchar_t* text = nullptr;
    const DWORD size = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(result), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    const QString code =
        QStringLiteral("0x%1").arg(static_cast<quint32>(result), 8, 16, QLatin1Char('0'));
    if (size == 0)
        return code;
    const QString message = QString::fromWCharArray(text, size).trimmed();
    LocalFree(text);
    return message + QStringLiteral(" (") + code + u')';
}

// COM on this thread for as long as the object lives. A thread that has it in another
// apartment already can use the shell's link object all the same.
class ComScope {
public:
    ComScope() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {
        if (FAILED(result_) && result_ != RPC_E_CHANGED_MODE)
            throw std::runtime_error(("cannot start COM: " + HresultText(result_)).toStdString());
    }
    ~ComScope() {
        if (SUCCEEDED(result_))
            CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    HRESULT result_;
};

// One reference to a COM interface, released with the object.
template <class Interface> class ComRef {
public:
    ComRef() = default;
    ~ComRef() {
        if (p_)
            p_->Release();
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    Interface* operator->() const { return p_; }
    Interface* get() const { return p_; }
    void** out() { return reinterpret_cast<void**>(&p_); }

private:
    Interface* p_ = nullptr;
};

// A new shell link object and its file interface.
HRESULT MakeLink(ComRef<IShellLinkW>& link, ComRef<IPersistFile>& file) {
    const HRESULT made = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                          IID_IShellLinkW, link.out());
    return FAILED(made) ? made : link->QueryInterface(IID_IPersistFile, file.out());
}

QString KnownFolder(REFKNOWNFOLDERID id, const char* name) {
    wchar_t* path = nullptr;
    const HRESULT result = SHGetKnownFolderPath(id, KF_FLAG_CREATE, nullptr, &path);
    if (FAILED(result)) {
        CoTaskMemFree(path);
        throw std::runtime_error(std::string("cannot find this user's ") + name +
                                 " folder: " + HresultText(result).toStdString());
    }
    const QString folder = QString::fromWCharArray(path);
    CoTaskMemFree(path);
    return folder;
}

void Check(HRESULT result, const QString& path, const char* what) {
    if (FAILED(result))
        throw std::runtime_error(("cannot write " + QDir::toNativeSeparators(path) + " (" + what +
                                  "): " + HresultText(result))
                                     .toStdString());
}

} // namespace

StartEntryFiles StartEntryPaths() {
    // The known folders come from the shell, which may use COM for them.
    const ComScope com;
    const QDir startup(KnownFolder(FOLDERID_Startup, "Startup"));
    const QDir programs(KnownFolder(FOLDERID_Programs, "Start menu"));
    return {QDir::toNativeSeparators(startup.filePath(kEntryName)),
            QDir::toNativeSeparators(programs.filePath(kEntryName))};
}

void WriteStartEntry(const QString& path, const QString& folder, qint32 station,
                     const QString& program) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        throw std::runtime_error(
            ("cannot create the folder of " + QDir::toNativeSeparators(path)).toStdString());
    const ComScope com;
    ComRef<IShellLinkW> link;
    ComRef<IPersistFile> file;
    Check(MakeLink(link, file), path, "the shell's link object");
    Check(link->SetPath(Wide(program).c_str()), path, "the program");
    Check(link->SetArguments(L""), path, "the arguments");
    Check(link->SetWorkingDirectory(Wide(folder).c_str()), path, "the working folder");
    Check(link->SetDescription(
              Wide(QStringLiteral("Print spooler of station %1").arg(station)).c_str()),
          path, "the description");
    // The installation carries the program's icon beside the program.
    const QFileInfo icon(QFileInfo(program).dir(), QStringLiteral("plinova.ico"));
    if (icon.isFile())
        Check(link->SetIconLocation(Wide(icon.absoluteFilePath()).c_str(), 0), path, "the icon");

    // Saved beside, then moved over the old link in one step: the log-on never finds half a
    // link, and a failed write leaves the old one.
    const QString partial = path + QStringLiteral(".new");
    const HRESULT saved = file->Save(Wide(partial).c_str(), TRUE);
    if (FAILED(saved)) {
        QFile::remove(partial);
        Check(saved, path, "saving the link");
    }
    if (!MoveFileExW(Wide(partial).c_str(), Wide(path).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        QFile::remove(partial);
        Check(HRESULT_FROM_WIN32(error), path, "replacing the old link");
    }
}

std::optional<StartEntry> ReadStartEntry(const QString& path) {
    // Not QFileInfo: Qt takes a .lnk file for a symbolic link, and one whose program is gone
    // for a missing file.
    if (GetFileAttributesW(Wide(path).c_str()) == INVALID_FILE_ATTRIBUTES)
        return std::nullopt;
    const ComScope com;
    ComRef<IShellLinkW> link;
    ComRef<IPersistFile> file;
    if (FAILED(MakeLink(link, file)) || FAILED(file->Load(Wide(path).c_str(), STGM_READ)))
        return StartEntry{};
    // The raw path: the link's own text, not one the shell resolved or expanded.
    wchar_t program[MAX_PATH] = {};
    wchar_t folder[MAX_PATH] = {};
    wchar_t arguments[INFOTIPSIZE] = {};
    StartEntry entry;
    if (SUCCEEDED(link->GetPath(program, MAX_PATH, nullptr, SLGP_RAWPATH)))
        entry.program = QString::fromWCharArray(program);
    if (SUCCEEDED(link->GetArguments(arguments, INFOTIPSIZE)))
        entry.arguments = QString::fromWCharArray(arguments);
    if (SUCCEEDED(link->GetWorkingDirectory(folder, MAX_PATH)))
        entry.folder = QString::fromWCharArray(folder);
    return entry;
}

bool SameFolder(const QString& a, const QString& b) {
    return QDir::cleanPath(QDir::fromNativeSeparators(a))
               .compare(QDir::cleanPath(QDir::fromNativeSeparators(b)), Qt::CaseInsensitive) == 0;
}

QString StartNowCommand(const QString& folder, const QString& program) {
    // cmd's own quoting: no Windows file name holds a double quote.
    return QStringLiteral("cd /d \"%1\" && start \"\" \"%2\"")
        .arg(QDir::toNativeSeparators(folder), QDir::toNativeSeparators(program));
}
