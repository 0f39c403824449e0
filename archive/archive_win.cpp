#include "archive/archive.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include <windows.h>

#include "archive/entry_name.h"
#include "archive/entry_record.h"
#include "archive/zip_reader.h"
#include "util/handles.h"
#include "util/cp936.h"
#include "util/wide_text.h"

// The only kind of handle this layer makes: an archive opened for reading.
struct ArchiveHandle {
    static constexpr int kReading = 1;
    int tag = kReading;
    std::unique_ptr<ZipReader> reader;
};

namespace {

constexpr std::uint32_t kBlockSize = 16384;
// Longest path text the system handles (a 260-byte buffer with its terminator).
constexpr std::size_t kMaxPathBytes = 259;

// The result of the last operation, one per thread: each thread reads back
// what its own calls left, whatever another thread does with its archives.
thread_local ArchiveResult lastResult = kArchiveOk;

ArchiveResult StoreResult(ArchiveResult result)
{
    lastResult = result;
    return result;
}

// A file handle read through buffers of its own: minizip reads the headers a
// byte at a time. Two windows, so that walking the central directory while
// the entries' data is read does not read the directory's block again for
// every entry.
class FileSource : public ZipSource {
public:
    FileSource(UniqueHandle file, std::uint64_t start) : file_(std::move(file)), start_(start)
    {
        for (Window& window : windows_) {
            window.bytes.resize(kBlockSize);
        }
    }
    bool Length(std::uint64_t& length) override
    {
        LARGE_INTEGER size{};
        if (GetFileType(file_.get()) != FILE_TYPE_DISK || !GetFileSizeEx(file_.get(), &size) ||
            static_cast<std::uint64_t>(size.QuadPart) < start_) {
            return false;
        }
        length = static_cast<std::uint64_t>(size.QuadPart) - start_;
        return true;
    }
    std::int64_t ReadAt(std::uint64_t position, void* buffer, std::size_t size) override
    {
        unsigned char* out = static_cast<unsigned char*>(buffer);
        std::size_t copied = 0;
        while (copied < size) {
            const std::uint64_t at = position + copied;
            const Window* window = WindowHolding(at);
            if (window == nullptr) {
                window = Fill(at);
                if (window == nullptr) {
                    return -1;
                }
                if (window->length == 0) {
                    break;
                }
            }
            const std::size_t offset = static_cast<std::size_t>(at - window->start);
            const std::size_t count = std::min(size - copied, window->length - offset);
            std::copy(window->bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                      window->bytes.begin() + static_cast<std::ptrdiff_t>(offset + count),
                      out + copied);
            copied += count;
        }
        return static_cast<std::int64_t>(copied);
    }

private:
    struct Window {
        std::vector<unsigned char> bytes;
        std::uint64_t start = 0;
        std::size_t length = 0;
    };

    const Window* WindowHolding(std::uint64_t position)
    {
        for (std::size_t i = 0; i < 2; ++i) {
            const Window& window = windows_[i];
            if (position >= window.start && position < window.start + window.length) {
                recent_ = i;
                return &window;
            }
        }
        return nullptr;
    }

    // Refills the window used less recently.
    const Window* Fill(std::uint64_t position)
    {
        recent_ = 1 - recent_;
        Window& window = windows_[recent_];
        LARGE_INTEGER offset{};
        offset.QuadPart = static_cast<LONGLONG>(start_ + position);
        DWORD got = 0;
        window.start = position;
        window.length = 0;
        if (!SetFilePointerEx(file_.get(), offset, nullptr, FILE_BEGIN) ||
            !ReadFile(file_.get(), window.bytes.data(), kBlockSize, &got, nullptr)) {
            return nullptr;
        }
        window.length = got;
        return &window;
    }

    UniqueHandle file_;
    std::uint64_t start_;
    Window windows_[2];
    std::size_t recent_ = 0;
};

std::uint64_t CurrentFilePosition(HANDLE file)
{
    LARGE_INTEGER zero{};
    LARGE_INTEGER position{};
    return SetFilePointerEx(file, zero, &position, FILE_CURRENT)
               ? static_cast<std::uint64_t>(position.QuadPart)
               : 0;
}

ArchiveResult OpenHandleSource(HANDLE original, std::unique_ptr<ZipSource>& source)
{
    if (GetFileType(original) != FILE_TYPE_DISK) {
        return kArchiveNotDiskFile;
    }
    HANDLE duplicate = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), original, GetCurrentProcess(), &duplicate, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
        return kArchiveDuplicateFailed;
    }
    UniqueHandle owned(duplicate);
    const std::uint64_t start = CurrentFilePosition(owned.get());
    source = std::make_unique<FileSource>(std::move(owned), start);
    return kArchiveOk;
}

ArchiveResult OpenNamedSource(const char* name, std::unique_ptr<ZipSource>& source)
{
    HANDLE file = CreateFileW(WidenText(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return kArchiveOpenFailed;
    }
    UniqueHandle owned(file);
    const std::uint64_t start = CurrentFilePosition(owned.get());
    source = std::make_unique<FileSource>(std::move(owned), start);
    return kArchiveOk;
}

ArchiveResult OpenSource(const void* input, std::uint32_t length, ArchiveKind kind,
                        std::unique_ptr<ZipSource>& source)
{
    if (input == nullptr) {
        return kArchiveBadArgument;
    }
    switch (kind) {
    case kArchiveFileHandle:
        return OpenHandleSource(*static_cast<const HANDLE*>(input), source);
    case kArchiveFileName:
        return OpenNamedSource(static_cast<const char*>(input), source);
    case kArchiveMemory:
        source = std::make_unique<MemorySource>(input, length);
        return kArchiveOk;
    default:
        return kArchiveBadArgument;
    }
}

bool EndsWithBackslash(const std::string& text)
{
    return !text.empty() && FindLastOf936(text, "\\") == text.size() - 1;
}

// The current directory followed by a backslash (a root such as "C:\" has one already).
std::string CurrentFolder()
{
    const DWORD size = GetCurrentDirectoryW(0, nullptr);
    if (size == 0) {
        return std::string();
    }
    std::vector<wchar_t> buffer(size);
    const DWORD length = GetCurrentDirectoryW(size, buffer.data());
    if (length == 0 || length >= size) {
        return std::string();
    }
    std::string folder = NarrowText(std::wstring(buffer.data(), length));
    if (!EndsWithBackslash(folder)) {
        folder += '\\';
    }
    return folder;
}

bool IsSeparator(char ch)
{
    return ch == '/' || ch == '\\';
}

bool IsRelativePath(const std::string& path)
{
    return !path.empty() && !IsSeparator(path[0]) && !(path.size() > 1 && path[1] == ':');
}

// A relative target resolves against the current directory, which is the base
// folder as long as the caller keeps to the rules.
bool FitsPathLimit(const std::string& base, const std::string& target)
{
    const std::size_t resolved = IsRelativePath(target) ? base.size() + target.size() : target.size();
    return resolved <= kMaxPathBytes;
}

void CreateTargetFolder(const std::string& base, const std::string& target)
{
    const std::size_t separator = FindLastOf936(target, "/\\");
    if (separator == std::string::npos) {
        return;
    }
    const std::string folder = target.substr(0, separator);
    if (IsRelativePath(folder) && folder.find("..\\") == std::string::npos &&
        folder.find("../") == std::string::npos) {
        EnsureFolderPath(base, folder);
    }
}

// Replacing a read-only file is refused as Windows refuses it, also where the
// platform would let it through (Wine run by root writes to anything).
HANDLE CreateTarget(const std::string& target, std::uint32_t attributes)
{
    const std::wstring name = WidenText(target);
    const DWORD existing = GetFileAttributesW(name.c_str());
    if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_READONLY) != 0) {
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr);
}

void SetEntryTimes(HANDLE file, const ArchiveEntry& entry)
{
    if (GetFileType(file) != FILE_TYPE_DISK) {
        return;
    }
    const FILETIME creation{entry.creationTime.low, entry.creationTime.high};
    const FILETIME access{entry.accessTime.low, entry.accessTime.high};
    const FILETIME write{entry.writeTime.low, entry.writeTime.high};
    SetFileTime(file, &creation, &access, &write);
}

// Moves the open entry's bytes into the file; true when every byte arrived intact
// and was written.
bool CopyEntryData(ZipReader& reader, HANDLE file)
{
    // One block per thread, not one per entry: thousands of small entries
    // would otherwise each commit and release heap pages.
    thread_local std::vector<char> block(kBlockSize);
    bool written = true;
    for (;;) {
        const long got = reader.ReadEntryData(block.data(), kBlockSize);
        if (got <= 0) {
            written = got == 0;
            break;
        }
        DWORD count = 0;
        if (!WriteFile(file, block.data(), static_cast<DWORD>(got), &count, nullptr) ||
            count != static_cast<DWORD>(got)) {
            written = false;
            break;
        }
    }
    const bool complete = reader.CloseEntryData();
    return written && complete;
}

ArchiveResult ExtractToHandle(ZipReader& reader, int index, const ArchiveEntry& entry, HANDLE file)
{
    const ArchiveResult opened = reader.OpenEntryData(index);
    if (opened != kArchiveOk) {
        return opened;
    }
    if (!CopyEntryData(reader, file)) {
        return kArchiveWriteFailed;
    }
    SetEntryTimes(file, entry);
    return kArchiveOk;
}

ArchiveResult ExtractToNamedFile(ZipReader& reader, int index, const ArchiveEntry& entry,
                                const std::string& target)
{
    if (!FitsPathLimit(reader.BaseFolder(), target)) {
        return kArchiveOpenFailed;
    }
    // The entry is opened before the target exists, so an entry that cannot be
    // read (an encrypted one) never truncates a file of the same name.
    const ArchiveResult opened = reader.OpenEntryData(index);
    if (opened != kArchiveOk) {
        return opened;
    }
    CreateTargetFolder(reader.BaseFolder(), target);
    UniqueFile file(CreateTarget(target, entry.attributes));
    if (!file) {
        reader.CloseEntryData();
        return kArchiveOpenFailed;
    }
    if (!CopyEntryData(reader, file.get())) {
        return kArchiveWriteFailed;
    }
    SetEntryTimes(file.get(), entry);
    return kArchiveOk;
}

ArchiveResult ExtractToMemory(ZipReader& reader, int index, void* buffer, std::uint32_t length)
{
    if (buffer == nullptr || length == 0) {
        reader.EndStreaming();
        return kArchiveBadArgument;
    }
    return reader.ReadPiece(index, buffer, length);
}

ArchiveResult CheckHandle(const ArchiveHandle* archive)
{
    if (archive == nullptr) {
        return kArchiveBadArgument;
    }
    return archive->tag == ArchiveHandle::kReading ? kArchiveOk : kArchiveNotForReading;
}

ArchiveResult Extract(ArchiveHandle* archive, int index, void* target, std::uint32_t length,
                      ArchiveKind kind)
{
    const ArchiveResult checked = CheckHandle(archive);
    if (checked != kArchiveOk) {
        return checked;
    }
    ZipReader& reader = *archive->reader;
    if (kind == kArchiveMemory) {
        return ExtractToMemory(reader, index, target, length);
    }
    if (kind != kArchiveFileHandle && kind != kArchiveFileName && kind != kArchiveFileName4) {
        return kArchiveBadArgument;
    }
    reader.EndStreaming();
    if (index < 0 || index >= reader.EntryCount()) {
        return kArchiveBadArgument;
    }
    ArchiveEntry entry;
    const ArchiveResult recorded = reader.ReadRecord(index, entry);
    if (recorded != kArchiveOk) {
        return recorded;
    }
    // A folder entry makes its folder by its own name; the target plays no part.
    if ((entry.attributes & kEntryDirectory) != 0) {
        if (kind == kArchiveFileHandle) {
            return kArchiveOk;
        }
        return EnsureFolderPath(reader.BaseFolder(), entry.name) ? kArchiveOk : kArchiveOpenFailed;
    }
    if (target == nullptr) {
        return kArchiveBadArgument;
    }
    if (kind == kArchiveFileHandle) {
        return ExtractToHandle(reader, index, entry, *static_cast<HANDLE*>(target));
    }
    return ExtractToNamedFile(reader, index, entry, static_cast<const char*>(target));
}

}  // namespace

ArchiveHandle* OpenArchive(const void* source, std::uint32_t length, ArchiveKind kind)
{
    std::unique_ptr<ZipSource> input;
    const ArchiveResult opened = OpenSource(source, length, kind, input);
    if (opened != kArchiveOk) {
        StoreResult(opened);
        return nullptr;
    }
    auto reader = std::make_unique<ZipReader>(std::move(input), CurrentFolder());
    const ArchiveResult result = reader->Open();
    if (result != kArchiveOk) {
        StoreResult(result);
        return nullptr;
    }
    auto archive = std::make_unique<ArchiveHandle>();
    archive->reader = std::move(reader);
    StoreResult(kArchiveOk);
    // The caller owns the handle until CloseArchive takes it back.
    return archive.release();
}

void GetArchiveEntry(ArchiveHandle* archive, int index, ArchiveEntry& entry)
{
    const ArchiveResult checked = CheckHandle(archive);
    StoreResult(checked != kArchiveOk ? checked : archive->reader->ReadRecord(index, entry));
}

void ExtractArchiveEntry(ArchiveHandle* archive, int index, void* target, std::uint32_t length,
                         ArchiveKind kind)
{
    StoreResult(Extract(archive, index, target, length, kind));
}

ArchiveResult CloseArchive(ArchiveHandle* archive)
{
    const ArchiveResult checked = CheckHandle(archive);
    if (checked != kArchiveOk) {
        return StoreResult(checked);
    }
    const std::unique_ptr<ArchiveHandle> owner(archive);
    return StoreResult(kArchiveOk);
}

ArchiveResult ArchiveLastError()
{
    return lastResult;
}

void handle_traits::Archive::Close(Handle archive) noexcept
{
    const ArchiveResult kept = lastResult;
    CloseArchive(archive);
    lastResult = kept;
}

bool EnsureFolderPath(const std::string& base, const std::string& path)
{
    if (path.empty()) {
        return true;
    }
    if (base.size() + path.size() > kMaxPathBytes || !IsSafeEntryName(path)) {
        return false;
    }
    const std::size_t separator = FindLastOf936(path, "/\\");
    if (separator != std::string::npos) {
        EnsureFolderPath(base, path.substr(0, separator));
    }
    CreateDirectoryW(WidenText(base + path).c_str(), nullptr);
    return true;
}
