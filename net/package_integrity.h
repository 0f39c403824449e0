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
#include <vector>

#include "util/handles.h"

constexpr std::size_t kSha256Bytes = 32;

// SHA-256 fed piece by piece, so that a download is hashed while it is written.
class CSha256 {
public:
    // False when the platform offers no SHA-256.
    bool Start();
    bool Add(const void* data, std::size_t size);
    // The digest of everything added since Start; the hasher must be started again.
    bool Finish(std::vector<std::uint8_t>& digest);

private:
    UniqueCngAlgorithm algorithm_;
    UniqueCngHash hash_;
    bool failed_ = false;
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
    PackageCheck Finish();

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
const char* PackageCheckText(PackageCheck check);

extern const char kPackageAlteredText[];
extern const char kPackageUncheckableText[];
