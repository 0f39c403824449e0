#pragma once
// A package that was changed on the way is never installed: the setup
// description may carry the package's SHA-256 (its eighth line), which the
// download is checked against (net/description_check.h checks the description).
#include <cstddef>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <windows.h>
#include <bcrypt.h>

// Move-only owners of CNG handles, one per close function.
template <typename Handle, NTSTATUS(WINAPI* Close)(Handle)>
class UniqueCngHandle {
public:
    UniqueCngHandle() noexcept = default;
    ~UniqueCngHandle() { reset(); }
    UniqueCngHandle(UniqueCngHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    UniqueCngHandle& operator=(UniqueCngHandle&& other) noexcept
    {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    UniqueCngHandle(const UniqueCngHandle&) = delete;
    UniqueCngHandle& operator=(const UniqueCngHandle&) = delete;

    Handle get() const noexcept { return handle_; }
    Handle* put() noexcept
    {
        reset();
        return &handle_;
    }
    explicit operator bool() const noexcept { return handle_ != nullptr; }
    void reset() noexcept
    {
        if (handle_ != nullptr) {
            Close(std::exchange(handle_, nullptr));
        }
    }

private:
    Handle handle_ = nullptr;
};

// Plain functions of our own: an imported function's address is no constant.
NTSTATUS WINAPI CloseCngAlgorithm(BCRYPT_ALG_HANDLE algorithm);
NTSTATUS WINAPI DestroyCngHash(BCRYPT_HASH_HANDLE hash);
NTSTATUS WINAPI DestroyCngKey(BCRYPT_KEY_HANDLE key);
using UniqueCngAlgorithm = UniqueCngHandle<BCRYPT_ALG_HANDLE, CloseCngAlgorithm>;
using UniqueCngHash = UniqueCngHandle<BCRYPT_HASH_HANDLE, DestroyCngHash>;
using UniqueCngKey = UniqueCngHandle<BCRYPT_KEY_HANDLE, DestroyCngKey>;

constexpr std::size_t kSha256Bytes = 32;

// SHA-256 fed piece by piece, so that a download is hashed while it is written.
// Where the processor has the SHA extensions the blocks are hashed with them:
// the platform's hash runs at about 250 MB/s under Wine here, slower than a
// download from a near server, and would hold the download up.
class CSha256 {
public:
    // False when the platform offers no SHA-256.
    bool Start();
    bool Add(const void* data, std::size_t size);
    // The digest of everything added since Start; the hasher must be started again.
    bool Finish(std::vector<std::uint8_t>& digest);

private:
    void AddBlocks(const std::uint8_t* data, std::size_t size);

    UniqueCngAlgorithm algorithm_;
    UniqueCngHash hash_;
    bool failed_ = false;
    bool accelerated_ = false;
    std::uint32_t state_[8] = {};
    std::uint8_t buffer_[64] = {};
    std::size_t buffered_ = 0;
    std::uint64_t length_ = 0;
};

enum PackageCheck : int {
    kPackageIntact = 0,       // the hash matches, or the description names none
    kPackageAltered = 1,      // the hash differs: the file must be deleted, nothing started
    kPackageUncheckable = 2,  // the platform could not hash it: treated as altered
};

// The download worker's check: Start before the first block, Add after each
// block written, Finish once the transfer is complete. The blocks are hashed
// on a thread of the verifier's own while the next ones arrive, so that the
// check does not hold the download up.
//
// Threads: Start, Add and Finish run on the download worker; the hashing
// thread takes the copies that Add queues. They meet through `pieces_`,
// `queuedBytes_` and `closed_` under `lock_`; the hasher belongs to the
// hashing thread until Finish has joined it.
class CPackageVerifier {
public:
    // An empty `expectedHash` (no eighth line) checks nothing.
    explicit CPackageVerifier(std::vector<std::uint8_t> expectedHash);
    ~CPackageVerifier();
    CPackageVerifier(const CPackageVerifier&) = delete;
    CPackageVerifier& operator=(const CPackageVerifier&) = delete;
    bool Start();
    void Add(const void* block, std::size_t size);
    int Finish();

private:
    void HashQueuedPieces();
    void StopThread();

    std::vector<std::uint8_t> expected_;
    CSha256 hasher_;
    bool started_ = false;
    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<std::vector<char>> pieces_;
    std::size_t queuedBytes_ = 0;
    bool closed_ = false;
    std::thread thread_;
};

// The worker's error text for a PackageCheck other than kPackageIntact.
const char* PackageCheckText(int check);

extern const char kPackageAlteredText[];
extern const char kPackageUncheckableText[];
