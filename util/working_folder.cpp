#include "util/working_folder.h"

#include <cstdint>
#include <cwchar>
#include <mutex>
#include <utility>
#include <vector>

#include <sddl.h>

#include "util/handles.h"
#include "util/wide_text.h"

const wchar_t kProtectedFolderSddl[] =
    L"O:BAG:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)S:(ML;OICI;NWNRNX;;;HI)";

const wchar_t kProgramFolderSddl[] =
    L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";

namespace {

const wchar_t kFolderName[] = L"MrvTessalySetup";

// Every right that lets its holder change the folder, what it holds or who may.
constexpr ACCESS_MASK kChangeRights =
    FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD | FILE_WRITE_ATTRIBUTES |
    DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL | MAXIMUM_ALLOWED;

bool IsAdministratorsOrSystem(PSID sid)
{
    return sid != nullptr && IsValidSid(sid) &&
           (IsWellKnownSid(sid, WinBuiltinAdministratorsSid) || IsWellKnownSid(sid, WinLocalSystemSid));
}

// Only plain allowing and denying entries are understood; any other kind
// (object, callback, compound entries) fails the check rather than be guessed at.
bool IsHarmlessEntry(const ACE_HEADER* header)
{
    if ((header->AceFlags & INHERITED_ACE) != 0) {
        return false;
    }
    if (header->AceType == ACCESS_DENIED_ACE_TYPE) {
        return true;
    }
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
        return false;
    }
    const auto* allowed = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header);
    return (allowed->Mask & kChangeRights) == 0 ||
           IsAdministratorsOrSystem(const_cast<DWORD*>(&allowed->SidStart));
}

// The descriptor of the folder behind `handle`, as the file system keeps it,
// asked for in one call where it fits the first buffer (a descriptor of a few
// entries does).
UniqueLocalMemory DescriptorOf(HANDLE handle)
{
    constexpr SECURITY_INFORMATION kParts = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    DWORD size = 512;
    for (int attempt = 0; attempt < 2; ++attempt) {
        UniqueLocalMemory descriptor(LocalAlloc(LMEM_FIXED, size));
        if (!descriptor) {
            return UniqueLocalMemory();
        }
        DWORD needed = 0;
        if (GetKernelObjectSecurity(handle, kParts, descriptor.get(), size, &needed)) {
            return descriptor;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed <= size) {
            return UniqueLocalMemory();
        }
        size = needed;
    }
    return UniqueLocalMemory();
}

// Opened as a folder and never through a link: a link in its place is no
// folder of ours, whatever it leads to. The tag's record is read rather than
// the whole file information, which would ask the volume for its serial number
// as well.
UniqueFile OpenFolder(const std::wstring& path)
{
    UniqueFile folder(CreateFileW(path.c_str(), READ_CONTROL | FILE_LIST_DIRECTORY | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (folder && (!GetFileInformationByHandleEx(folder.get(), FileAttributeTagInfo, &tag, sizeof tag) ||
                   (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
                   (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)) {
        folder.reset();
    }
    return folder;
}

bool CreateFolderWithDescriptor(const std::wstring& path, const wchar_t* sddl)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
        return false;
    }
    const UniqueLocalMemory owned(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    return CreateDirectoryW(path.c_str(), &attributes) != FALSE;
}

bool CreateProtectedFolder(const std::wstring& path)
{
    return CreateFolderWithDescriptor(path, kProtectedFolderSddl);
}

// What the volume of `parent` keeps of the protected descriptor: a folder made
// with it and read back at once, then removed.
UniqueLocalMemory ProbeDescriptor(const std::wstring& parent)
{
    const std::wstring probe =
        parent + L"\\~probe" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(GetTickCount());
    if (!CreateProtectedFolder(probe)) {
        return UniqueLocalMemory();
    }
    UniqueLocalMemory descriptor;
    {
        const UniqueFile folder = OpenFolder(probe);
        if (folder) {
            descriptor = DescriptorOf(folder.get());
        }
    }
    RemoveDirectoryW(probe.c_str());
    return descriptor;
}

// The volume's answer, asked at most once while the working folder is made:
// its levels are folders and no links or mount points, so they all lie on the
// volume of the first one's parent. A level made just now with the protected
// descriptor is itself such a probe, and then no other folder is made.
class VolumeProbe {
public:
    explicit VolumeProbe(std::wstring parent) : parent_(std::move(parent)) {}

    PSECURITY_DESCRIPTOR Descriptor()
    {
        if (!asked_) {
            asked_ = true;
            descriptor_ = ProbeDescriptor(parent_);
        }
        return descriptor_.get();
    }
    void Keep(UniqueLocalMemory madeNow)
    {
        asked_ = true;
        descriptor_ = std::move(madeNow);
    }

private:
    std::wstring parent_;
    bool asked_ = false;
    UniqueLocalMemory descriptor_;
};

// A level that is not ours goes out of the way under a name of its own; what
// it holds is never read.
bool SetAside(const std::wstring& path)
{
    const std::wstring aside = path + L".aside" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                               std::to_wstring(GetTickCount());
    return MoveFileExW(path.c_str(), aside.c_str(), 0) != FALSE;
}

// Handles of the levels in use, held until the process ends. Written by
// OpenLevel under the lock; nothing reads them.
std::mutex heldLock;
std::vector<UniqueFile> held;

// Makes or opens one level and checks it through the handle that is then held.
bool OpenLevel(const std::wstring& path, VolumeProbe& probe)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        const bool madeNow = CreateProtectedFolder(path);
        UniqueFile folder = OpenFolder(path);
        if (!folder) {
            return false;
        }
        UniqueLocalMemory descriptor = DescriptorOf(folder.get());
        if (!descriptor) {
            return false;
        }
        FolderTrust trust = FolderTrust::kTrusted;
        if (!IsProtectedFolderDescriptor(descriptor.get())) {
            trust = DecideFolderTrust(descriptor.get(),
                                      madeNow ? descriptor.get() : probe.Descriptor());
            if (madeNow) {
                probe.Keep(std::move(descriptor));
            }
        }
        if (trust != FolderTrust::kSetAside) {
            const std::lock_guard<std::mutex> lock(heldLock);
            held.push_back(std::move(folder));
            return true;
        }
        folder.reset();
        if (!SetAside(path)) {
            return false;
        }
    }
    return false;
}

std::wstring UserTempFolder()
{
    std::vector<wchar_t> temp(MAX_PATH + 2, L'\0');
    const DWORD length = GetTempPathW(static_cast<DWORD>(temp.size()), temp.data());
    return std::wstring(temp.data(), length < temp.size() ? length : 0);
}

// FNV-1a over the user's temporary folder, letters folded: a name, no secret.
std::wstring UserKey(std::wstring path)
{
    if (!path.empty()) {
        CharUpperBuffW(&path[0], static_cast<DWORD>(path.size()));
    }
    std::uint64_t hash = 14695981039346656037ull;
    for (const wchar_t ch : path) {
        hash = (hash ^ static_cast<std::uint16_t>(ch)) * 1099511628211ull;
    }
    wchar_t text[17];
    swprintf(text, 17, L"%08lX%08lX", static_cast<unsigned long>(hash >> 32),
             static_cast<unsigned long>(hash & 0xFFFFFFFFu));
    return text;
}

std::wstring WindowsTemp()
{
    std::vector<wchar_t> folder(MAX_PATH + 1, L'\0');
    const UINT length = GetWindowsDirectoryW(folder.data(), static_cast<UINT>(folder.size()));
    if (length == 0 || length >= folder.size()) {
        return std::wstring();
    }
    std::wstring path(folder.data(), length);
    if (path.back() == L'\\') {
        path.pop_back();
    }
    return path + L"\\Temp";
}

}  // namespace

bool IsProtectedFolderDescriptor(PSECURITY_DESCRIPTOR descriptor)
{
    if (descriptor == nullptr || !IsValidSecurityDescriptor(descriptor)) {
        return false;
    }
    PSID owner = nullptr;
    BOOL ownerDefaulted = FALSE;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    BOOL present = FALSE;
    BOOL daclDefaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorOwner(descriptor, &owner, &ownerDefaulted) ||
        !IsAdministratorsOrSystem(owner) ||
        !GetSecurityDescriptorControl(descriptor, &control, &revision) ||
        (control & SE_DACL_PROTECTED) == 0 ||
        !GetSecurityDescriptorDacl(descriptor, &present, &dacl, &daclDefaulted) || !present ||
        dacl == nullptr) {
        return false;
    }
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* entry = nullptr;
        if (!GetAce(dacl, i, &entry) || !IsHarmlessEntry(static_cast<const ACE_HEADER*>(entry))) {
            return false;
        }
    }
    return true;
}

FolderTrust DecideFolderTrust(PSECURITY_DESCRIPTOR folder, PSECURITY_DESCRIPTOR probe)
{
    if (IsProtectedFolderDescriptor(folder)) {
        return FolderTrust::kTrusted;
    }
    // No probe (its name was taken, the volume refused it): nothing shows that
    // the volume keeps no descriptors, so the folder is not taken.
    if (probe == nullptr || IsProtectedFolderDescriptor(probe)) {
        return FolderTrust::kSetAside;
    }
    return FolderTrust::kNoDescriptors;
}

bool CreateFolderWithSddl(const std::string& path, const wchar_t* sddl)
{
    return CreateFolderWithDescriptor(WidenText(path), sddl);
}

std::string WorkingFolderBelow(const std::string& parent)
{
    const std::wstring root = parent.empty() ? WindowsTemp() : WidenText(parent);
    if (root.empty()) {
        return std::string();
    }
    const std::wstring top = root + L"\\" + kFolderName;
    const std::wstring mine = top + L"\\" + UserKey(UserTempFolder());
    VolumeProbe probe(root);
    if (!OpenLevel(top, probe) || !OpenLevel(mine, probe)) {
        return std::string();
    }
    return NarrowText(mine) + "\\";
}

std::string WorkingFolder()
{
    static const std::string folder = WorkingFolderBelow(std::string());
    return folder;
}

std::string WorkingFilePath(const std::string& name)
{
    const std::string folder = WorkingFolder();
    return folder.empty() ? folder : folder + name;
}

std::string WorkingFolderOf(const std::string& userTempFolder)
{
    const std::wstring root = WindowsTemp();
    return NarrowText(root + L"\\" + kFolderName + L"\\" + UserKey(WidenText(userTempFolder))) + "\\";
}
