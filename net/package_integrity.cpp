#include "net/package_integrity.h"

#include <climits>

const char kPackageAlteredText[] = "当前下载文件错误:安装包校验失败，文件在传输中已损坏或被篡改，请重新下载。";
const char kPackageUncheckableText[] = "当前下载文件错误:无法校验安装包，系统不支持 SHA-256。";

namespace {

bool Succeeded(NTSTATUS status)
{
    return status >= 0;
}

}  // namespace

bool CSha256::Start()
{
    hash_.reset();
    failed_ = false;
    if (!algorithm_ &&
        !Succeeded(BCryptOpenAlgorithmProvider(algorithm_.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
        algorithm_.reset();
        return false;
    }
    return Succeeded(BCryptCreateHash(algorithm_.get(), hash_.put(), nullptr, 0, nullptr, 0, 0));
}

bool CSha256::Add(const void* data, std::size_t size)
{
    auto bytes = static_cast<PUCHAR>(const_cast<void*>(data));
    while (!failed_ && size > 0) {
        const ULONG piece = size > ULONG_MAX ? ULONG_MAX : static_cast<ULONG>(size);
        failed_ = !hash_ || !Succeeded(BCryptHashData(hash_.get(), bytes, piece, 0));
        bytes += piece;
        size -= piece;
    }
    return !failed_ && hash_;
}

bool CSha256::Finish(std::vector<std::uint8_t>& digest)
{
    std::vector<std::uint8_t> result(kSha256Bytes);
    const bool done = !failed_ && hash_ &&
                      Succeeded(BCryptFinishHash(hash_.get(), result.data(),
                                                 static_cast<ULONG>(result.size()), 0));
    hash_.reset();
    if (done) {
        digest.swap(result);
    }
    return done;
}

CPackageVerifier::CPackageVerifier(std::vector<std::uint8_t> expectedHash)
    : expected_(std::move(expectedHash))
{
}

CPackageVerifier::~CPackageVerifier()
{
    StopThread();
}

// Without a thread of its own the verifier hashes each block as it comes.
bool CPackageVerifier::Start()
{
    started_ = expected_.empty() || hasher_.Start();
    if (started_ && !expected_.empty()) {
        try {
            thread_ = std::thread([this] { HashQueuedPieces(); });
        } catch (...) {
        }
    }
    return started_;
}

// At most this much waits for the hashing thread; a download that outruns it
// waits for it rather than piling up memory.
constexpr std::size_t kMaxQueuedBytes = 4 * 1024 * 1024;

void CPackageVerifier::Add(const void* block, std::size_t size)
{
    if (expected_.empty()) {
        return;
    }
    if (!thread_.joinable()) {
        hasher_.Add(block, size);
        return;
    }
    const char* bytes = static_cast<const char*>(block);
    std::vector<char> piece(bytes, bytes + size);
    std::unique_lock<std::mutex> lock(lock_);
    changed_.wait(lock, [this] { return queuedBytes_ < kMaxQueuedBytes; });
    queuedBytes_ += size;
    pieces_.push_back(std::move(piece));
    changed_.notify_all();
}

void CPackageVerifier::HashQueuedPieces()
{
    std::unique_lock<std::mutex> lock(lock_);
    for (;;) {
        changed_.wait(lock, [this] { return closed_ || !pieces_.empty(); });
        if (pieces_.empty()) {
            return;
        }
        std::vector<char> piece = std::move(pieces_.front());
        pieces_.pop_front();
        lock.unlock();
        hasher_.Add(piece.data(), piece.size());
        lock.lock();
        queuedBytes_ -= piece.size();
        changed_.notify_all();
    }
}

// The hashing thread finishes what was queued before it ends.
void CPackageVerifier::StopThread()
{
    if (!thread_.joinable()) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(lock_);
        closed_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

PackageCheck CPackageVerifier::Finish()
{
    if (expected_.empty()) {
        return kPackageIntact;
    }
    StopThread();
    std::vector<std::uint8_t> digest;
    if (!started_ || !hasher_.Finish(digest)) {
        return kPackageUncheckable;
    }
    return digest == expected_ ? kPackageIntact : kPackageAltered;
}

const char* PackageCheckText(PackageCheck check)
{
    return check == kPackageAltered ? kPackageAlteredText : kPackageUncheckableText;
}
