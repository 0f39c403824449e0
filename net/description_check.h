#pragma once
// A build with a vendor signing key accepts only a setup description that the
// vendor signed (ECDSA P-256 over SHA-256, verified with the platform's CNG);
// every build refuses a description whose package hash line cannot be read.
#include <cstdint>
#include <string>
#include <vector>

// The vendor's public key of this build: 128 hex digits (X then Y of the P-256
// point), or empty when the build checks no signature (net/vendor_signing_key.cpp).
extern const char kVendorSigningKey[];

// The detached signature beside the description on the vendor server.
extern const char kDescriptionSignaturePath[];

enum DescriptionCheck : int {
    kDescriptionAccepted = 0,
    kDescriptionMissing = 1,       // a signing build could not fetch the description
    kSignatureMissing = 2,         // ... or its signature
    kSignatureInvalid = 3,         // the signature does not match the text or the key
    kPackageHashMissing = 4,       // a signed description must name the package's hash
    kPackageHashMalformed = 5,     // a signed eighth line is there but is no SHA-256
    kVerifierUnavailable = 6,      // the platform cannot verify, or the key setting is unusable
};

// True when this build checks signatures: the install command then fetches
// kDescriptionSignaturePath beside the description.
bool SignatureRequired(const std::string& signingKey = kVendorSigningKey);

// The install command's check, before anything is downloaded. The texts are as
// FetchText hands them (white space removed at both ends); a `...Fetched` flag
// is false when that fetch failed. The signature is r then s, 128 hex digits,
// over the description's text. Without a signing key every description is
// accepted (a hash line that is no hash is then ignored).
DescriptionCheck CheckSetupDescription(bool descriptionFetched, const std::string& description,
                                       bool signatureFetched, const std::string& signature,
                                       const std::string& signingKey = kVendorSigningKey);

// The message for a DescriptionCheck other than kDescriptionAccepted.
const char* DescriptionCheckText(DescriptionCheck check);

enum class SignatureVerdict {
    kValid,
    kInvalid,
    kUnverifiable,  // the platform cannot verify, or the key is not a point of the curve
};

// ECDSA P-256 over the SHA-256 of `text`.
SignatureVerdict VerifyEcdsaP256(const std::string& text,
                                 const std::vector<std::uint8_t>& signature,
                                 const std::vector<std::uint8_t>& publicKey);

extern const char kDescriptionMissingText[];
extern const char kSignatureMissingText[];
extern const char kSignatureInvalidText[];
extern const char kPackageHashMissingText[];
extern const char kPackageHashMalformedText[];
extern const char kVerifierUnavailableText[];
