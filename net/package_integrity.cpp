#include "net/package_integrity.h"

#include <climits>
#include <cstring>

#include "build_config.h"
#include "product/setup_descriptor.h"
#include "util/hex_text.h"

const char kVendorSigningKey[] = MRV_VENDOR_SIGNING_KEY;
const char kDescriptionSignaturePath[] = "/download/MrvACAD.setup.sig";

const char kPackageAlteredText[] = "当前下载文件错误:安装包校验失败，文件在传输中已损坏或被篡改，请重新下载。";
const char kPackageUncheckableText[] = "当前下载文件错误:无法校验安装包，系统不支持 SHA-256。";
const char kDescriptionMissingText[] = "无法取得安装说明，安装已取消。\n\n请检查网络连接后重试。";
const char kSignatureMissingText[] = "安装说明没有签名，无法确认其来源，安装已取消。";
const char kSignatureInvalidText[] = "安装说明的签名无效，内容可能已被篡改，安装已取消。";
const char kPackageHashMissingText[] = "安装说明缺少安装包的校验值，安装已取消。";
const char kPackageHashMalformedText[] = "安装说明中的安装包校验值无效，安装已取消。";
const char kVerifierUnavailableText[] = "无法校验安装说明的签名，安装已取消。";

namespace {

constexpr std::size_t kEcdsaP256KeyBytes = 64;
constexpr std::size_t kEcdsaP256SignatureBytes = 64;

bool Succeeded(NTSTATUS status)
{
    return status >= 0;
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

bool CPackageVerifier::Start()
{
    started_ = expected_.empty() || hasher_.Start();
    return started_;
}

void CPackageVerifier::Add(const void* block, std::size_t size)
{
    if (!expected_.empty()) {
        hasher_.Add(block, size);
    }
}

int CPackageVerifier::Finish()
{
    if (expected_.empty()) {
        return kPackageIntact;
    }
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

bool SignatureRequired(const std::string& signingKey)
{
    return !signingKey.empty();
}

int VerifyEcdsaP256(const std::string& text, const std::vector<std::uint8_t>& signature,
                    const std::vector<std::uint8_t>& publicKey)
{
    if (publicKey.size() != kEcdsaP256KeyBytes || signature.size() != kEcdsaP256SignatureBytes) {
        return -1;
    }
    CSha256 hasher;
    std::vector<std::uint8_t> digest;
    if (!hasher.Start() || !hasher.Add(text.data(), text.size()) || !hasher.Finish(digest)) {
        return -1;
    }
    UniqueCngAlgorithm algorithm;
    if (!Succeeded(BCryptOpenAlgorithmProvider(algorithm.put(), BCRYPT_ECDSA_P256_ALGORITHM,
                                               nullptr, 0))) {
        return -1;
    }
    std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + kEcdsaP256KeyBytes);
    BCRYPT_ECCKEY_BLOB header{};
    header.dwMagic = BCRYPT_ECDSA_PUBLIC_P256_MAGIC;
    header.cbKey = kEcdsaP256KeyBytes / 2;
    std::memcpy(blob.data(), &header, sizeof header);
    std::memcpy(blob.data() + sizeof header, publicKey.data(), publicKey.size());
    UniqueCngKey key;
    if (!Succeeded(BCryptImportKeyPair(algorithm.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, key.put(),
                                       blob.data(), static_cast<ULONG>(blob.size()), 0))) {
        return -1;
    }
    std::vector<UCHAR> signatureBytes(signature.begin(), signature.end());
    const NTSTATUS verified =
        BCryptVerifySignature(key.get(), nullptr, digest.data(), static_cast<ULONG>(digest.size()),
                              signatureBytes.data(), static_cast<ULONG>(signatureBytes.size()), 0);
    return Succeeded(verified) ? 1 : 0;
}

// Order of the refusals: what the user can act on (the network) first, then
// whether the text is the vendor's, then what the text says.
int CheckSetupDescription(bool descriptionFetched, const std::string& description,
                          bool signatureFetched, const std::string& signature,
                          const std::string& signingKey)
{
    SetupDescriptor parsed;
    if (descriptionFetched) {
        ApplySetupDescriptor(description, parsed);
    }
    if (!SignatureRequired(signingKey)) {
        return parsed.packageHashLine == kHashMalformed ? kPackageHashMalformed : kDescriptionAccepted;
    }
    std::vector<std::uint8_t> key;
    if (!ParseHexBytes(signingKey, kEcdsaP256KeyBytes, key)) {
        return kVerifierUnavailable;
    }
    if (!descriptionFetched) {
        return kDescriptionMissing;
    }
    if (!signatureFetched) {
        return kSignatureMissing;
    }
    std::vector<std::uint8_t> signatureBytes;
    if (!ParseHexBytes(signature, kEcdsaP256SignatureBytes, signatureBytes)) {
        return kSignatureInvalid;
    }
    const int verified = VerifyEcdsaP256(description, signatureBytes, key);
    if (verified < 0) {
        return kVerifierUnavailable;
    }
    if (verified == 0) {
        return kSignatureInvalid;
    }
    if (parsed.packageHashLine == kHashMalformed) {
        return kPackageHashMalformed;
    }
    return parsed.packageHashLine == kHashPresent ? kDescriptionAccepted : kPackageHashMissing;
}

const char* DescriptionCheckText(int check)
{
    switch (check) {
    case kDescriptionMissing:
        return kDescriptionMissingText;
    case kSignatureMissing:
        return kSignatureMissingText;
    case kSignatureInvalid:
        return kSignatureInvalidText;
    case kPackageHashMissing:
        return kPackageHashMissingText;
    case kPackageHashMalformed:
        return kPackageHashMalformedText;
    default:
        return kVerifierUnavailableText;
    }
}
