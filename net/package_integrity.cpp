#include "net/package_integrity.h"

#include <climits>
#include <cstring>

#include <cpuid.h>
#include <immintrin.h>


const char kPackageAlteredText[] = "当前下载文件错误:安装包校验失败，文件在传输中已损坏或被篡改，请重新下载。";
const char kPackageUncheckableText[] = "当前下载文件错误:无法校验安装包，系统不支持 SHA-256。";
namespace {

bool Succeeded(NTSTATUS status)
{
    return status >= 0;
}

bool HasShaExtensions()
{
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid_max(0, nullptr) < 7 || !__get_cpuid(1, &a, &b, &c, &d)) {
        return false;
    }
    const bool ssse3 = (c & bit_SSSE3) != 0;
    const bool sse41 = (c & bit_SSE4_1) != 0;
    __cpuid_count(7, 0, a, b, c, d);
    return ssse3 && sse41 && (b & (1u << 29)) != 0;
}

const bool kShaExtensions = HasShaExtensions();

alignas(16) const std::uint32_t kRoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

// The compression of whole 64-byte blocks with the SHA extensions: four
// rounds per step, the message schedule kept in the last four vectors.
__attribute__((target("sha,ssse3,sse4.1"))) void CompressBlocks(std::uint32_t state[8],
                                                                 const std::uint8_t* data,
                                                                 std::size_t blocks)
{
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    const auto* words = reinterpret_cast<const __m128i*>(state);
    const __m128i cdab = _mm_shuffle_epi32(_mm_loadu_si128(words), 0xB1);
    const __m128i efgh = _mm_shuffle_epi32(_mm_loadu_si128(words + 1), 0x1B);
    __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);
    for (; blocks > 0; --blocks, data += 64) {
        const __m128i abefSaved = abef;
        const __m128i cdghSaved = cdgh;
        const auto* constants = reinterpret_cast<const __m128i*>(kRoundConstants);
        __m128i w[4];
        for (int step = 0; step < 16; ++step) {
            __m128i schedule;
            if (step < 4) {
                const auto* block = reinterpret_cast<const __m128i*>(data + 16 * step);
                schedule = _mm_shuffle_epi8(_mm_loadu_si128(block), byteSwap);
            } else {
                const __m128i last = w[(step + 3) % 4];
                schedule = _mm_sha256msg1_epu32(w[step % 4], w[(step + 1) % 4]);
                schedule = _mm_add_epi32(schedule, _mm_alignr_epi8(last, w[(step + 2) % 4], 4));
                schedule = _mm_sha256msg2_epu32(schedule, last);
            }
            w[step % 4] = schedule;
            __m128i message = _mm_add_epi32(schedule, _mm_load_si128(constants + step));
            cdgh = _mm_sha256rnds2_epu32(cdgh, abef, message);
            message = _mm_shuffle_epi32(message, 0x0E);
            abef = _mm_sha256rnds2_epu32(abef, cdgh, message);
        }
        abef = _mm_add_epi32(abef, abefSaved);
        cdgh = _mm_add_epi32(cdgh, cdghSaved);
    }
    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(feba, dchg, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(dchg, feba, 8));
}

}  // namespace

NTSTATUS WINAPI CloseCngAlgorithm(BCRYPT_ALG_HANDLE algorithm)
{
    return BCryptCloseAlgorithmProvider(algorithm, 0);
}

NTSTATUS WINAPI DestroyCngHash(BCRYPT_HASH_HANDLE hash)
{
    return BCryptDestroyHash(hash);
}

NTSTATUS WINAPI DestroyCngKey(BCRYPT_KEY_HANDLE key)
{
    return BCryptDestroyKey(key);
}

bool CSha256::Start()
{
    hash_.reset();
    failed_ = false;
    accelerated_ = kShaExtensions;
    if (accelerated_) {
        const std::uint32_t initial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                          0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
        std::memcpy(state_, initial, sizeof state_);
        buffered_ = 0;
        length_ = 0;
        return true;
    }
    if (!algorithm_ &&
        !Succeeded(BCryptOpenAlgorithmProvider(algorithm_.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
        algorithm_.reset();
        return false;
    }
    return Succeeded(BCryptCreateHash(algorithm_.get(), hash_.put(), nullptr, 0, nullptr, 0, 0));
}

void CSha256::AddBlocks(const std::uint8_t* data, std::size_t size)
{
    length_ += size;
    if (buffered_ > 0) {
        const std::size_t taken = size < 64 - buffered_ ? size : 64 - buffered_;
        std::memcpy(buffer_ + buffered_, data, taken);
        buffered_ += taken;
        data += taken;
        size -= taken;
        if (buffered_ < 64) {
            return;
        }
        CompressBlocks(state_, buffer_, 1);
        buffered_ = 0;
    }
    CompressBlocks(state_, data, size / 64);
    buffered_ = size % 64;
    std::memcpy(buffer_, data + size - buffered_, buffered_);
}

bool CSha256::Add(const void* data, std::size_t size)
{
    if (accelerated_) {
        AddBlocks(static_cast<const std::uint8_t*>(data), size);
        return true;
    }
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
    if (accelerated_) {
        const std::uint64_t bits = length_ * 8;
        std::uint8_t padding[72] = {0x80};
        const std::size_t zeros = (buffered_ < 56 ? 56 : 120) - buffered_;
        for (int i = 0; i < 8; ++i) {
            padding[zeros + i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
        }
        AddBlocks(padding, zeros + 8);
        digest.resize(kSha256Bytes);
        for (std::size_t i = 0; i < kSha256Bytes; ++i) {
            digest[i] = static_cast<std::uint8_t>(state_[i / 4] >> (24 - 8 * (i % 4)));
        }
        accelerated_ = false;
        return true;
    }
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

int CPackageVerifier::Finish()
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

const char* PackageCheckText(int check)
{
    return check == kPackageAltered ? kPackageAlteredText : kPackageUncheckableText;
}
