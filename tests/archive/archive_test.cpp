#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "archive/archive.h"
#include "archive/entry_name.h"
#include "archive/entry_record.h"
#include "archive/zip_reader.h"
#include "util/wide_text.h"

// The packages are written by tests/fixtures/make_packages.py before the tests
// run; their contents follow the rules that script documents.
namespace {

const std::string kPackageFolder = MRV_PACKAGE_FOLDER;
const std::string kSmallText = "small entry\r\n";
constexpr std::uint16_t kStampDate = ((2021 - 1980) << 9) | (6 << 5) | 15;
constexpr std::uint16_t kStampTime = (10 << 11) | (30 << 5) | (42 / 2);

std::string ReadmeText()
{
    std::string text;
    char line[64];
    for (int i = 0; i < 2000; ++i) {
        snprintf(line, sizeof line, "line %04d of the package readme\r\n", i);
        text += line;
    }
    return text;
}

std::string DataBytes()
{
    std::string bytes(40000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    }
    return bytes;
}

std::string Package(const char* name)
{
    return kPackageFolder + "\\" + name;
}

std::string ReadFileText(const std::string& path)
{
    HANDLE file = CreateFileW(WidenText(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return "<missing>";
    }
    std::string bytes;
    char block[4096];
    DWORD got = 0;
    while (ReadFile(file, block, sizeof block, &got, nullptr) && got > 0) {
        bytes.append(block, got);
    }
    CloseHandle(file);
    return bytes;
}

void WriteFileText(const std::string& path, const std::string& text)
{
    HANDLE file = CreateFileW(WidenText(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

DWORD Attributes(const std::string& path)
{
    return GetFileAttributesW(WidenText(path).c_str());
}

bool IsFile(const std::string& path)
{
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsFolder(const std::string& path)
{
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::uint64_t Ticks(const FILETIME& time)
{
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

std::uint64_t Ticks(const ArchiveFileTime& time)
{
    return (static_cast<std::uint64_t>(time.high) << 32) | time.low;
}

std::uint64_t UnixTicks(std::int64_t seconds)
{
    return static_cast<std::uint64_t>(seconds + 11644473600) * 10000000u;
}

std::uint64_t StampTicks()
{
    FILETIME stamp{};
    DosDateTimeToFileTime(kStampDate, kStampTime, &stamp);
    return Ticks(stamp);
}

// Removes a folder tree, read-only files included.
void DeleteTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            const std::wstring path = folder + L"\\" + name;
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                DeleteTree(path);
            } else {
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

std::string CurrentFolderText()
{
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetCurrentDirectoryW(MAX_PATH, buffer);
    return NarrowText(std::wstring(buffer, length));
}

// Each test works in a fresh folder "work" inside a fresh temporary folder, so
// that a name that climbs one level still lands inside what the test removes.
class ArchiveTest : public testing::Test {
protected:
    void SetUp() override
    {
        static int serial = 0;
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        root_ = NarrowText(temp) + "mrv-archive-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(++serial);
        work_ = root_ + "\\work";
        ASSERT_TRUE(CreateDirectoryW(WidenText(root_).c_str(), nullptr)) << root_;
        ASSERT_TRUE(CreateDirectoryW(WidenText(work_).c_str(), nullptr)) << work_;
        previous_ = CurrentFolderText();
        ASSERT_TRUE(SetCurrentDirectoryW(WidenText(work_).c_str()));
        ASSERT_TRUE(IsFile(Package("plain.zip")))
            << "no packages in " << kPackageFolder << ": ctest writes them with make_packages.py";
    }

    void TearDown() override
    {
        for (ArchiveHandle* archive : open_) {
            CloseArchive(archive);
        }
        SetCurrentDirectoryW(WidenText(previous_).c_str());
        DeleteTree(WidenText(root_));
    }

    // Opens a package by name with the current folder as its base folder.
    ArchiveHandle* Open(const char* package)
    {
        ArchiveHandle* archive = OpenArchive(Package(package).c_str(), 0, kArchiveFileName);
        if (archive != nullptr) {
            open_.push_back(archive);
        }
        return archive;
    }

    void Close(ArchiveHandle* archive)
    {
        open_.erase(std::find(open_.begin(), open_.end(), archive));
        EXPECT_EQ(CloseArchive(archive), kArchiveOk);
    }

    void EnterFolder(const std::string& folder)
    {
        CreateDirectoryW(WidenText(folder).c_str(), nullptr);
        ASSERT_TRUE(SetCurrentDirectoryW(WidenText(folder).c_str())) << folder;
    }

    std::string root_;
    std::string work_;
    std::string previous_;
    std::vector<ArchiveHandle*> open_;
};

std::int32_t ExtractTo(ArchiveHandle* archive, int index, std::string target,
                       ArchiveKind kind = kArchiveFileName)
{
    ExtractArchiveEntry(archive, index, &target[0], 0, kind);
    return ArchiveLastError();
}

std::int32_t ReadEntry(ArchiveHandle* archive, int index, ArchiveEntry& entry)
{
    GetArchiveEntry(archive, index, entry);
    return ArchiveLastError();
}

// Extracts an entry to memory `piece` bytes at a time. Every piece but the
// last is full, so the record's size tells how much of each call is data.
std::string ExtractToMemory(ArchiveHandle* archive, int index, std::uint32_t piece,
                            std::int32_t& endResult, int& pieces)
{
    ArchiveEntry entry;
    GetArchiveEntry(archive, index, entry);
    std::uint32_t remaining = entry.uncompressedSize;
    std::string data;
    std::vector<char> buffer(piece);
    pieces = 0;
    for (;;) {
        ExtractArchiveEntry(archive, index, buffer.data(), piece, kArchiveMemory);
        endResult = ArchiveLastError();
        if (endResult != kArchiveBufferFull || pieces > 1000) {
            return data;
        }
        const std::uint32_t count = remaining < piece ? remaining : piece;
        data.append(buffer.data(), count);
        remaining -= count;
        ++pieces;
    }
}

TEST_F(ArchiveTest, ExtractsEveryEntryAlikeWithOrWithoutLeadingData)
{
    const struct {
        const char* name;
        std::string text;
    } expected[] = {{"readme.txt", ReadmeText()}, {"data.bin", DataBytes()}, {"empty.txt", ""}};
    for (const char* package : {"plain.zip", "prefixed.zip", "zip64.zip"}) {
        SCOPED_TRACE(package);
        const std::string folder = work_ + "\\" + package + ".out";
        EnterFolder(folder);
        ArchiveHandle* archive = Open(package);
        ASSERT_NE(archive, nullptr) << ArchiveLastError();
        ArchiveEntry count;
        ASSERT_EQ(ReadEntry(archive, -1, count), kArchiveOk);
        ASSERT_EQ(count.index, 3);
        for (int i = 0; i < count.index; ++i) {
            ArchiveEntry entry;
            ASSERT_EQ(ReadEntry(archive, i, entry), kArchiveOk);
            EXPECT_STREQ(entry.name, expected[i].name);
            EXPECT_EQ(entry.uncompressedSize, expected[i].text.size());
            EXPECT_EQ(ExtractTo(archive, i, entry.name), kArchiveOk);
            EXPECT_EQ(ReadFileText(folder + "\\" + expected[i].name), expected[i].text);
        }
        Close(archive);
    }
}

// far_head.bin, FAR_GAP zero bytes and far_tail.bin of make_packages.py: a
// package beyond 4 GB that is never written out.
class FarSource : public ZipSource {
public:
    static constexpr std::uint64_t kGap = 0x120000000;

    FarSource(std::string head, std::string tail) : head_(std::move(head)), tail_(std::move(tail)) {}

    bool Length(std::uint64_t& length) override
    {
        length = head_.size() + kGap + tail_.size();
        return true;
    }

    std::int64_t ReadAt(std::uint64_t position, void* buffer, std::size_t size) override
    {
        std::uint64_t length = 0;
        Length(length);
        if (position > length) {
            return -1;
        }
        const std::size_t count =
            static_cast<std::size_t>(std::min<std::uint64_t>(size, length - position));
        char* out = static_cast<char*>(buffer);
        for (std::size_t i = 0; i < count; ++i) {
            out[i] = ByteAt(position + i);
        }
        return static_cast<std::int64_t>(count);
    }

private:
    char ByteAt(std::uint64_t position) const
    {
        if (position < head_.size()) {
            return head_[static_cast<std::size_t>(position)];
        }
        position -= head_.size();
        return position < kGap ? '\0' : tail_[static_cast<std::size_t>(position - kGap)];
    }

    std::string head_;
    std::string tail_;
};

TEST_F(ArchiveTest, PackageBeyondFourGigabytesIsReadThroughItsZip64Records)
{
    ZipReader reader(std::make_unique<FarSource>(ReadFileText(Package("far_head.bin")),
                                                 ReadFileText(Package("far_tail.bin"))),
                     work_ + "\\");
    ASSERT_EQ(reader.Open(), kArchiveOk);
    ASSERT_EQ(reader.EntryCount(), 2);
    ArchiveEntry entry;
    ASSERT_EQ(reader.ReadRecord(0, entry), kArchiveOk);
    EXPECT_STREQ(entry.name, "big.bin");
    EXPECT_EQ(entry.uncompressedSize, 0xFFFFFFFFu) << "beyond what the record holds";
    ASSERT_EQ(reader.ReadRecord(1, entry), kArchiveOk);
    EXPECT_STREQ(entry.name, "after.txt");
    EXPECT_EQ(entry.uncompressedSize, kSmallText.size());
    char buffer[64] = {};
    ASSERT_EQ(reader.ReadPiece(1, buffer, sizeof buffer), kArchiveBufferFull);
    EXPECT_EQ(std::string(buffer, kSmallText.size()), kSmallText);
    EXPECT_EQ(reader.ReadPiece(1, buffer, sizeof buffer), kArchiveOk);
}

TEST_F(ArchiveTest, NestedEntryCreatesEachFolderLevelUnderTheBase)
{
    ArchiveHandle* archive = Open("nested.zip");
    ASSERT_NE(archive, nullptr);
    ArchiveEntry entry;
    ASSERT_EQ(ReadEntry(archive, 0, entry), kArchiveOk);
    ASSERT_STREQ(entry.name, "docs/sub/readme.txt");
    EXPECT_EQ(ExtractTo(archive, 0, entry.name), kArchiveOk);
    EXPECT_TRUE(IsFolder(work_ + "\\docs"));
    EXPECT_TRUE(IsFolder(work_ + "\\docs\\sub"));
    EXPECT_EQ(ReadFileText(work_ + "\\docs\\sub\\readme.txt"), ReadmeText());
    ASSERT_EQ(ReadEntry(archive, 1, entry), kArchiveOk);
    EXPECT_EQ(ExtractTo(archive, 1, entry.name), kArchiveOk);
    EXPECT_EQ(ReadFileText(work_ + "\\docs\\a.txt"), kSmallText);
}

TEST_F(ArchiveTest, DirectoryEntriesCreateFoldersAndNoFile)
{
    ArchiveHandle* archive = Open("directories.zip");
    ASSERT_NE(archive, nullptr);
    const struct {
        int index;
        const char* folder;
        std::uint32_t attributes;
    } folders[] = {{0, "docs", 0x90}, {2, "dosdir", 0x91}, {3, "unixdir", 0x90}};
    for (const auto& f : folders) {
        SCOPED_TRACE(f.folder);
        ArchiveEntry entry;
        ASSERT_EQ(ReadEntry(archive, f.index, entry), kArchiveOk);
        EXPECT_EQ(entry.attributes, f.attributes);
        EXPECT_EQ(ExtractTo(archive, f.index, "target.txt"), kArchiveOk);
        EXPECT_TRUE(IsFolder(work_ + "\\" + f.folder));
        EXPECT_FALSE(IsFile(work_ + "\\target.txt")) << "a folder entry writes no file";
    }
    HANDLE file = CreateFileW(WidenText(work_ + "\\handle.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ExtractArchiveEntry(archive, 0, &file, 0, kArchiveFileHandle);
    EXPECT_EQ(ArchiveLastError(), kArchiveOk);
    EXPECT_EQ(GetFileSize(file, nullptr), 0u);
    CloseHandle(file);
    ExtractArchiveEntry(archive, 0, nullptr, 0, kArchiveFileName);
    EXPECT_EQ(ArchiveLastError(), kArchiveOk) << "a folder entry needs no target name";

    EXPECT_EQ(ExtractTo(archive, 1, "docs/sub/file.txt"), kArchiveOk);
    EXPECT_EQ(ReadFileText(work_ + "\\docs\\sub\\file.txt"), kSmallText);
}

TEST_F(ArchiveTest, EntryWithoutUnixModeComesOutReadOnlyAndBlocksReExtraction)
{
    ArchiveHandle* archive = Open("readonly.zip");
    ASSERT_NE(archive, nullptr);
    ArchiveEntry entry;
    ASSERT_EQ(ReadEntry(archive, 0, entry), kArchiveOk);
    EXPECT_EQ(entry.attributes, 0xA1u);
    const std::string locked = work_ + "\\locked.txt";
    ASSERT_EQ(ExtractTo(archive, 0, entry.name), kArchiveOk);
    EXPECT_EQ(Attributes(locked) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE),
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));

    EXPECT_EQ(ExtractTo(archive, 0, entry.name), kArchiveOpenFailed);
    EXPECT_EQ(ReadFileText(locked), kSmallText);
    ASSERT_TRUE(SetFileAttributesW(WidenText(locked).c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(ExtractTo(archive, 0, entry.name), kArchiveOk);

    ASSERT_EQ(ReadEntry(archive, 1, entry), kArchiveOk);
    EXPECT_EQ(entry.attributes, 0x80u);
    EXPECT_EQ(ExtractTo(archive, 1, entry.name), kArchiveOk);
    EXPECT_EQ(ExtractTo(archive, 1, entry.name), kArchiveOk);
    EXPECT_EQ(Attributes(work_ + "\\writable.txt") & FILE_ATTRIBUTE_READONLY, 0u);
}

TEST_F(ArchiveTest, ExtendedTimestampReplacesOnlyTheTimesItCarries)
{
    const std::uint64_t stamp = StampTicks();
    const std::uint64_t write = UnixTicks(1600000000);
    const std::uint64_t access = UnixTicks(1610000000);
    const std::uint64_t creation = UnixTicks(1500000000);
    const struct {
        int index;
        std::uint64_t write;
        std::uint64_t access;
        std::uint64_t creation;
    } cases[] = {
        {0, write, stamp, stamp},        // flags 1
        {1, write, access, creation},    // flags 7, after another block
        {2, write, stamp, stamp},        // flags 7 in a block that holds one time
    };
    ArchiveHandle* archive = Open("times.zip");
    ASSERT_NE(archive, nullptr);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        ArchiveEntry entry;
        ASSERT_EQ(ReadEntry(archive, c.index, entry), kArchiveOk);
        EXPECT_EQ(Ticks(entry.writeTime), c.write);
        EXPECT_EQ(Ticks(entry.accessTime), c.access);
        EXPECT_EQ(Ticks(entry.creationTime), c.creation);

        ASSERT_EQ(ExtractTo(archive, c.index, entry.name), kArchiveOk);
        WIN32_FILE_ATTRIBUTE_DATA data{};
        ASSERT_TRUE(GetFileAttributesExW(WidenText(work_ + "\\" + entry.name).c_str(),
                                         GetFileExInfoStandard, &data));
        EXPECT_EQ(Ticks(data.ftLastWriteTime), c.write);
        EXPECT_EQ(Ticks(data.ftLastAccessTime), c.access);
    }
}

TEST_F(ArchiveTest, CountRequestGivesTheNumberOfEntriesAndNothingElse)
{
    ArchiveHandle* archive = Open("twelve.zip");
    ASSERT_NE(archive, nullptr);
    ArchiveEntry entry;
    ASSERT_EQ(ReadEntry(archive, 3, entry), kArchiveOk);
    ASSERT_EQ(ReadEntry(archive, -1, entry), kArchiveOk);
    EXPECT_EQ(entry.index, 12);
    EXPECT_STREQ(entry.name, "");
    EXPECT_EQ(entry.attributes, 0u);
    EXPECT_EQ(Ticks(entry.accessTime), 0u);
    EXPECT_EQ(Ticks(entry.creationTime), 0u);
    EXPECT_EQ(Ticks(entry.writeTime), 0u);
    EXPECT_EQ(entry.compressedSize, 0u);
    EXPECT_EQ(entry.uncompressedSize, 0u);

    EXPECT_EQ(ReadEntry(archive, 12, entry), kArchiveBadArgument);
    EXPECT_EQ(ReadEntry(archive, -2, entry), kArchiveBadArgument);
    ASSERT_EQ(ReadEntry(archive, 11, entry), kArchiveOk);
    EXPECT_STREQ(entry.name, "file12.txt");
    ASSERT_EQ(ReadEntry(archive, 0, entry), kArchiveOk);
    EXPECT_STREQ(entry.name, "file01.txt");
}

TEST_F(ArchiveTest, ArchiveWhoseDirectoryCannotBeUsedIsNotOpened)
{
    WriteFileText(work_ + "\\empty.zip", "");
    const struct {
        std::string path;
        std::int32_t result;
    } cases[] = {
        {Package("two_disk.zip"), kArchiveBadDirectory},
        {Package("damaged_directory.zip"), kArchiveBadDirectory},
        {Package("directory_overrun.zip"), kArchiveBadDirectory},
        {Package("truncated.zip"), kArchiveNoDirectory},
        {Package("not_a_zip.bin"), kArchiveNoDirectory},
        {work_ + "\\empty.zip", kArchiveNoDirectory},
        {Package("missing.zip"), kArchiveOpenFailed},
        {kPackageFolder, kArchiveOpenFailed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(OpenArchive(c.path.c_str(), 0, kArchiveFileName), nullptr);
        EXPECT_EQ(ArchiveLastError(), c.result);
    }
}

TEST_F(ArchiveTest, EntryWhoseLocalHeaderDisagreesIsNeitherReadNorWritten)
{
    ArchiveHandle* archive = Open("damaged_local_header.zip");
    ASSERT_NE(archive, nullptr);
    ArchiveEntry entry;
    entry.index = 77;
    entry.uncompressedSize = 77;
    EXPECT_EQ(ReadEntry(archive, 0, entry), kArchiveBadLocalHeader);
    EXPECT_EQ(entry.index, 77) << "the record is left as it was";
    EXPECT_EQ(entry.uncompressedSize, 77u);
    EXPECT_EQ(ExtractTo(archive, 0, "readme.txt"), kArchiveBadLocalHeader);
    EXPECT_FALSE(IsFile(work_ + "\\readme.txt"));

    ASSERT_EQ(ReadEntry(archive, 1, entry), kArchiveOk);
    EXPECT_EQ(ExtractTo(archive, 1, entry.name), kArchiveOk);
    EXPECT_EQ(ReadFileText(work_ + "\\data.bin"), DataBytes());

    ArchiveHandle* other = Open("bzip2_method.zip");
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(ReadEntry(other, 0, entry), kArchiveBadLocalHeader);
    EXPECT_EQ(ExtractTo(other, 0, "packed.txt"), kArchiveBadLocalHeader);
    EXPECT_FALSE(IsFile(work_ + "\\packed.txt"));
}

TEST_F(ArchiveTest, DamagedCompressedStreamFailsTheEntryInsteadOfCuttingItShort)
{
    ArchiveHandle* archive = Open("damaged_deflate.zip");
    ASSERT_NE(archive, nullptr);
    EXPECT_EQ(ExtractTo(archive, 0, "broken.bin"), kArchiveWriteFailed);
    EXPECT_EQ(ReadFileText(work_ + "\\broken.bin"), DataBytes().substr(0, 1000))
        << "the bytes before the damage are what was written";

    std::int32_t endResult = 0;
    int pieces = 0;
    ExtractToMemory(archive, 0, 700, endResult, pieces);
    EXPECT_EQ(pieces, 2);
    EXPECT_EQ(endResult, kArchiveInflateFailed);

    EXPECT_EQ(ExtractTo(archive, 1, "after.txt"), kArchiveOk);
    EXPECT_EQ(ReadFileText(work_ + "\\after.txt"), kSmallText);
}

TEST_F(ArchiveTest, EncryptedEntryIsRefusedAndLeavesTheTargetAlone)
{
    WriteFileText(work_ + "\\secret.txt", "kept");
    ArchiveHandle* archive = Open("encrypted.zip");
    ASSERT_NE(archive, nullptr);
    ArchiveEntry entry;
    ASSERT_EQ(ReadEntry(archive, 0, entry), kArchiveOk);
    EXPECT_STREQ(entry.name, "secret.txt");
    EXPECT_EQ(ExtractTo(archive, 0, entry.name), kArchiveWriteFailed);
    EXPECT_EQ(ReadFileText(work_ + "\\secret.txt"), "kept");
    EXPECT_EQ(ExtractTo(archive, 0, "other.txt"), kArchiveWriteFailed);
    EXPECT_FALSE(IsFile(work_ + "\\other.txt"));

    char buffer[64];
    ExtractArchiveEntry(archive, 0, buffer, sizeof buffer, kArchiveMemory);
    EXPECT_EQ(ArchiveLastError(), kArchiveWriteFailed);

    EXPECT_EQ(ExtractTo(archive, 1, "open.txt"), kArchiveOk);
    EXPECT_EQ(ReadFileText(work_ + "\\open.txt"), kSmallText);
}

TEST_F(ArchiveTest, MemorySourceStreamsEntriesIntoABufferPieceByPiece)
{
    const std::string bytes = ReadFileText(Package("plain.zip"));
    ArchiveHandle* archive = OpenArchive(bytes.data(), static_cast<std::uint32_t>(bytes.size()),
                                         kArchiveMemory);
    ASSERT_NE(archive, nullptr) << ArchiveLastError();
    open_.push_back(archive);

    const struct {
        int index;
        std::uint32_t piece;
        std::string text;
        int pieces;
    } cases[] = {
        {0, 1000, ReadmeText(), 66},
        {0, 16384, ReadmeText(), 5},
        {0, 70000, ReadmeText(), 1},
        {1, 1000, DataBytes(), 40},
        {1, 40000, DataBytes(), 1},
        {2, 1000, "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.index << " by " << c.piece);
        std::int32_t endResult = -5;
        int pieces = 0;
        EXPECT_EQ(ExtractToMemory(archive, c.index, c.piece, endResult, pieces), c.text);
        EXPECT_EQ(endResult, kArchiveOk);
        EXPECT_EQ(pieces, c.pieces);
    }

    // A record request in the middle ends the streaming: the entry starts over.
    char piece[1000];
    ExtractArchiveEntry(archive, 0, piece, sizeof piece, kArchiveMemory);
    ASSERT_EQ(ArchiveLastError(), kArchiveBufferFull);
    ExtractArchiveEntry(archive, 0, piece, sizeof piece, kArchiveMemory);
    ASSERT_EQ(ArchiveLastError(), kArchiveBufferFull);
    ArchiveEntry entry;
    ASSERT_EQ(ReadEntry(archive, 1, entry), kArchiveOk);
    ExtractArchiveEntry(archive, 0, piece, sizeof piece, kArchiveMemory);
    ASSERT_EQ(ArchiveLastError(), kArchiveBufferFull);
    EXPECT_EQ(std::string(piece, sizeof piece), ReadmeText().substr(0, sizeof piece));

    // Another index switches the streaming entry.
    ExtractArchiveEntry(archive, 1, piece, sizeof piece, kArchiveMemory);
    ASSERT_EQ(ArchiveLastError(), kArchiveBufferFull);
    EXPECT_EQ(std::string(piece, sizeof piece), DataBytes().substr(0, sizeof piece));

    ExtractArchiveEntry(archive, 1, nullptr, sizeof piece, kArchiveMemory);
    EXPECT_EQ(ArchiveLastError(), kArchiveBadArgument);
    ExtractArchiveEntry(archive, 1, piece, 0, kArchiveMemory);
    EXPECT_EQ(ArchiveLastError(), kArchiveBadArgument);
    ExtractArchiveEntry(archive, 3, piece, sizeof piece, kArchiveMemory);
    EXPECT_EQ(ArchiveLastError(), kArchiveBadArgument);
}

TEST_F(ArchiveTest, FileHandlesServeAsSourceAndTarget)
{
    HANDLE package = CreateFileW(WidenText(Package("prefixed.zip")).c_str(), GENERIC_READ,
                                 FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                 nullptr);
    ASSERT_NE(package, INVALID_HANDLE_VALUE);
    ASSERT_NE(SetFilePointer(package, 1000, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    ArchiveHandle* archive = OpenArchive(&package, 0, kArchiveFileHandle);
    CloseHandle(package);  // the archive reads through a duplicate of its own
    ASSERT_NE(archive, nullptr) << ArchiveLastError();
    open_.push_back(archive);
    ArchiveEntry entry;
    ASSERT_EQ(ReadEntry(archive, -1, entry), kArchiveOk);
    EXPECT_EQ(entry.index, 3);

    const std::string path = work_ + "\\handle.bin";
    HANDLE target = CreateFileW(WidenText(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(target, INVALID_HANDLE_VALUE);
    ExtractArchiveEntry(archive, 1, &target, 0, kArchiveFileHandle);
    EXPECT_EQ(ArchiveLastError(), kArchiveOk);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(target, "tail", 4, &written, nullptr)) << "the handle is left open";
    CloseHandle(target);
    EXPECT_EQ(ReadFileText(path), DataBytes() + "tail");

    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
    EXPECT_EQ(OpenArchive(&readEnd, 0, kArchiveFileHandle), nullptr);
    EXPECT_EQ(ArchiveLastError(), kArchiveNotDiskFile);
    CloseHandle(readEnd);
    CloseHandle(writeEnd);
}

TEST_F(ArchiveTest, BadArgumentsAreRefusedWithTheirCode)
{
    ArchiveEntry entry;
    GetArchiveEntry(nullptr, 0, entry);
    EXPECT_EQ(ArchiveLastError(), kArchiveBadArgument);
    EXPECT_EQ(ExtractTo(nullptr, 0, "x.txt"), kArchiveBadArgument);
    EXPECT_EQ(CloseArchive(nullptr), kArchiveBadArgument);
    EXPECT_EQ(ArchiveLastError(), kArchiveBadArgument);

    const std::string plain = Package("plain.zip");
    for (int kind : {0, static_cast<int>(kArchiveFileName4), 5, -1}) {
        SCOPED_TRACE(kind);
        EXPECT_EQ(OpenArchive(plain.c_str(), 0, static_cast<ArchiveKind>(kind)), nullptr);
        EXPECT_EQ(ArchiveLastError(), kArchiveBadArgument);
    }
    EXPECT_EQ(OpenArchive(nullptr, 0, kArchiveFileName), nullptr);
    EXPECT_EQ(ArchiveLastError(), kArchiveBadArgument);

    ArchiveHandle* archive = Open("plain.zip");
    ASSERT_NE(archive, nullptr);
    EXPECT_EQ(ArchiveLastError(), kArchiveOk);
    EXPECT_EQ(ExtractTo(archive, 3, "x.txt"), kArchiveBadArgument);
    EXPECT_EQ(ExtractTo(archive, -1, "x.txt"), kArchiveBadArgument);
    EXPECT_EQ(ExtractTo(archive, 0, "x.txt", static_cast<ArchiveKind>(0)), kArchiveBadArgument);
    EXPECT_EQ(ExtractTo(archive, 0, "x.txt", static_cast<ArchiveKind>(5)), kArchiveBadArgument);
    ExtractArchiveEntry(archive, 0, nullptr, 0, kArchiveFileName);
    EXPECT_EQ(ArchiveLastError(), kArchiveBadArgument);
    EXPECT_FALSE(IsFile(work_ + "\\x.txt"));

    EXPECT_EQ(ExtractTo(archive, 0, "x.txt", kArchiveFileName4), kArchiveOk);
    EXPECT_EQ(ReadFileText(work_ + "\\x.txt"), ReadmeText());

    // Each thread reads back its own last result.
    std::int32_t otherThread = kArchiveOk;
    std::thread([&otherThread] {
        EXPECT_EQ(OpenArchive(nullptr, 0, kArchiveFileName), nullptr);
        otherThread = ArchiveLastError();
    }).join();
    EXPECT_EQ(otherThread, kArchiveBadArgument);
    EXPECT_EQ(ArchiveLastError(), kArchiveOk);
}

TEST_F(ArchiveTest, TargetThatClimbsGetsNoFolderAndLandsWhereItResolves)
{
    ArchiveHandle* archive = Open("twelve.zip");
    ASSERT_NE(archive, nullptr);
    EXPECT_EQ(ExtractTo(archive, 0, "..\\x.txt"), kArchiveOk);
    EXPECT_EQ(ReadFileText(root_ + "\\x.txt"), kSmallText);

    EXPECT_EQ(ExtractTo(archive, 1, "..\\made\\x.txt"), kArchiveOpenFailed);
    EXPECT_FALSE(IsFolder(root_ + "\\made"));
    EXPECT_EQ(ExtractTo(archive, 1, "sub/../made/x.txt"), kArchiveOpenFailed);
    EXPECT_FALSE(IsFolder(work_ + "\\sub"));
    EXPECT_FALSE(IsFolder(work_ + "\\made"));
}

TEST_F(ArchiveTest, FolderEntryThatClimbsCreatesNothing)
{
    ArchiveHandle* archive = Open("climbing_folder.zip");
    ASSERT_NE(archive, nullptr);
    EXPECT_EQ(ExtractTo(archive, 0, "a/../../escape/"), kArchiveOpenFailed);
    EXPECT_FALSE(IsFolder(root_ + "\\escape"));
    EXPECT_FALSE(IsFolder(work_ + "\\a"));
}

TEST_F(ArchiveTest, HostileNamesComeOutAsStoredAndAreJudgedUnsafe)
{
    const char* const names[] = {"../x",     "..\\x", "C:\\x",       "/abs",    "a/../../x",
                                 "x:stream", "CON",   "sub/nul.txt", "COM1.txt"};
    ArchiveHandle* archive = Open("hostile.zip");
    ASSERT_NE(archive, nullptr);
    for (int i = 0; i < 9; ++i) {
        SCOPED_TRACE(names[i]);
        ArchiveEntry entry;
        ASSERT_EQ(ReadEntry(archive, i, entry), kArchiveOk);
        EXPECT_STREQ(entry.name, names[i]);
        EXPECT_FALSE(IsSafeEntryName(entry.name));
    }
}

TEST_F(ArchiveTest, NamesInCodePage936BecomeTheirUnicodeFileNames)
{
    ArchiveHandle* archive = Open("names936.zip");
    ASSERT_NE(archive, nullptr);
    for (int i = 0; i < 2; ++i) {
        ArchiveEntry entry;
        ASSERT_EQ(ReadEntry(archive, i, entry), kArchiveOk);
        EXPECT_EQ(ExtractTo(archive, i, entry.name), kArchiveOk);
    }
    const std::wstring work = WidenText(work_);
    EXPECT_NE(GetFileAttributesW((work + L"\\運行").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesW((work + L"\\運行\\说明.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesW((work + L"\\數據.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(ArchiveTest, OverLongNamesAreCutAndOverLongPathsRefused)
{
    const std::string deep = work_ + "\\" + std::string(40, 'd');
    EnterFolder(deep);
    ArchiveHandle* archive = Open("long_names.zip");
    ASSERT_NE(archive, nullptr);
    ArchiveEntry entry;
    ASSERT_EQ(ReadEntry(archive, 0, entry), kArchiveOk);
    EXPECT_EQ(std::string(entry.name).size(), 258u) << "cut before the character that would split";

    ASSERT_EQ(ReadEntry(archive, 1, entry), kArchiveOk);
    ASSERT_GT(deep.size() + 1 + std::string(entry.name).size(), 259u);
    EXPECT_EQ(ExtractTo(archive, 1, entry.name), kArchiveOpenFailed);
    EXPECT_FALSE(IsFolder(deep + "\\long"));
    EXPECT_EQ(ExtractTo(archive, 2, "ignored"), kArchiveOpenFailed);
    EXPECT_FALSE(IsFolder(deep + "\\longdir"));
}

TEST_F(ArchiveTest, EnsureFolderPathCreatesEveryLevelInsideTheBaseOnly)
{
    const std::string base = work_ + "\\";
    const std::size_t room = 259 - base.size();
    const struct {
        std::string path;
        bool made;
        std::vector<std::string> folders;
    } cases[] = {
        {"a/b/c", true, {"a", "a\\b", "a\\b\\c"}},
        {"m\\n/o/", true, {"m", "m\\n", "m\\n\\o"}},
        {"運行/sub", true, {"運行", "運行\\sub"}},
        {"", true, {}},
        {std::string(room, 'f'), true, {std::string(room, 'f')}},
        {std::string(room + 1, 'g'), false, {}},
        {"../up", false, {}},
        {"x/../../up", false, {}},
        {"C:\\abs", false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.substr(0, 40));
        EXPECT_EQ(EnsureFolderPath(base, c.path), c.made);
        for (const std::string& folder : c.folders) {
            EXPECT_TRUE(IsFolder(base + folder)) << folder;
        }
    }
    EXPECT_FALSE(IsFolder(root_ + "\\up"));
    EXPECT_FALSE(IsFolder(work_ + "\\x"));
    EXPECT_FALSE(IsFolder(base + std::string(room + 1, 'g').substr(0, room)));
    EXPECT_FALSE(IsFolder(base + "\xDF")) << "the second byte of 運 is no separator";
}

// Wine takes 29 February for a day of every year (its check looks up the leap
// year's month lengths for any February); Windows refuses it outside leap years,
// and so does the record.
bool IsWineOnlyLeapDay(int yearsAfter1980, int month, int day)
{
    const int year = 1980 + yearsAfter1980;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && day == 29 && !leap;
}

// The record's DOS times must be what the platform's own conversion gives.
TEST(ArchiveTimeTest, DosTimesConvertAsThePlatformConvertsThem)
{
    constexpr std::uint16_t kNoonTime = (12 << 11) | (15 << 5) | (30 / 2);
    for (int year : {0, 20, 41, 120, 127}) {
        for (int month = 0; month < 16; ++month) {
            for (int day = 0; day < 32; ++day) {
                const auto date = static_cast<std::uint16_t>((year << 9) | (month << 5) | day);
                FILETIME platform{};
                const bool platformValid =
                    DosDateTimeToFileTime(date, kNoonTime, &platform) != FALSE;
                if (IsWineOnlyLeapDay(year, month, day)) {
                    continue;
                }
                ArchiveFileTime ours{};
                const bool valid = DosTimeToFileTime(date, kNoonTime, ours);
                ASSERT_EQ(valid, platformValid) << std::hex << date;
                if (valid) {
                    ASSERT_EQ(Ticks(ours), Ticks(platform)) << std::hex << date;
                }
            }
        }
    }
    for (int time = 0; time < 0x10000; ++time) {
        FILETIME platform{};
        const bool platformValid =
            DosDateTimeToFileTime(kStampDate, static_cast<WORD>(time), &platform) != FALSE;
        ArchiveFileTime ours{};
        const bool valid = DosTimeToFileTime(kStampDate, static_cast<std::uint16_t>(time), ours);
        ASSERT_EQ(valid, platformValid) << std::hex << time;
        if (valid) {
            ASSERT_EQ(Ticks(ours), Ticks(platform)) << std::hex << time;
        }
    }
}

}  // namespace
