#include "net/description_check.h"

#include <cstring>

#include "net/package_integrity.h"
#include "product/setup_descriptor.h"
#include "util/handles.h"
#include "util/hex_text.h"

const char kDescriptionSignaturePath[] = "/download/MrvACAD.setup.sig";

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

bool SignatureRequired(const std::string& signingKey)
{
    return !signingKey.empty();
}

SignatureVerdict VerifyEcdsaP256(const std::string& text,
                                 const std::vector<std::uint8_t>& signature,
                                 const std::vector<std::uint8_t>& publicKey)
{
    if (publicKey.size() != kEcdsaP256KeyBytes || signature.size() != kEcdsaP256SignatureBytes) {
        return SignatureVerdict::kUnverifiable;
    }
    CSha256 hasher;
    std::vector<std::uint8_t> digest;
    if (!hasher.Start() || !hasher.Add(text.data(), text.size()) || !hasher.Finish(digest)) {
        return SignatureVerdict::kUnverifiable;
    }
    UniqueCngAlgorithm algorithm;
    if (!Succeeded(BCryptOpenAlgorithmProvider(algorithm.put(), BCRYPT_ECDSA_P256_ALGORITHM,
                                               nullptr, 0))) {
        return SignatureVerdict::kUnverifiable;
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
        return SignatureVerdict::kUnverifiable;
    }
    std::vector<UCHAR> signatureBytes(signature.begin(), signature.end());
    const NTSTATUS verified =
        BCryptVerifySignature(key.get(), nullptr, digest.data(), static_cast<ULONG>(digest.size()),
                              signatureBytes.data(), static_cast<ULONG>(signatureBytes.size()), 0);
    return Succeeded(verified) ? SignatureVerdict::kValid : SignatureVerdict::kInvalid;
}

// Order of the refusals: what the user can act on (the network) first, then
// whether the text is the vendor's, then what the text says.
DescriptionCheck CheckSetupDescription(bool descriptionFetched, const std::string& description,
                                       bool signatureFetched, const std::string& signature,
                                       const std::string& signingKey)
{
    SetupDescriptor parsed;
    if (descriptionFetched) {
        ApplySetupDescriptor(description, parsed);
    }
    // Without a key anyone on the way could drop a bad hash line as easily as
    // change it, so refusing one adds no safety: it is ignored, as the lines
    // beyond the seventh always were.
    if (!SignatureRequired(signingKey)) {
        return kDescriptionAccepted;
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
    switch (VerifyEcdsaP256(description, signatureBytes, key)) {
    case SignatureVerdict::kUnverifiable:
        return kVerifierUnavailable;
    case SignatureVerdict::kInvalid:
        return kSignatureInvalid;
    case SignatureVerdict::kValid:
        break;
    }
    if (parsed.packageHashLine == kHashMalformed) {
        return kPackageHashMalformed;
    }
    return parsed.packageHashLine == kHashPresent ? kDescriptionAccepted : kPackageHashMissing;
}

const char* DescriptionCheckText(DescriptionCheck check)
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
