#include "net/package_integrity.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "net/web_session.h"
#include "product/setup_descriptor.h"
#include "tests/bench/vendor_server.h"
#include "util/hex_text.h"

namespace {

// The public half of tests/fixtures/test_signing_key.pem, with which the test
// vendor server signs its /signed/ descriptions.
const char kTestSigningKey[] =
    "c6022092c1118abac5b984d788598754bbc51b94005e4ccbd7a634dd3495462914b99843b1547b2599932dff7c4bd7106f132958c960c24128a8126a1793d1d8";

std::vector<std::uint8_t> Bytes(const std::string& hex)
{
    std::vector<std::uint8_t> bytes;
    EXPECT_TRUE(ParseHexBytes(hex, hex.size() / 2, bytes)) << hex;
    return bytes;
}

// Fed in uneven pieces, as a download's blocks come.
std::string Sha256InPieces(const std::string& data, std::size_t piece)
{
    CSha256 hasher;
    EXPECT_TRUE(hasher.Start());
    for (std::size_t at = 0; at < data.size(); at += piece) {
        EXPECT_TRUE(hasher.Add(data.data() + at, std::min(piece, data.size() - at)));
    }
    std::vector<std::uint8_t> digest;
    EXPECT_TRUE(hasher.Finish(digest));
    return HexText(digest.data(), digest.size());
}

TEST(PackageIntegrityTest, Sha256KnownAnswers)
{
    const struct {
        std::string data;
        std::size_t piece;
        const char* digest;
    } cases[] = {
        {"", 1, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", 1, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", 5,
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), 1024, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        {std::string(1000000, 'a'), 777, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Sha256InPieces(c.data, c.piece), c.digest) << c.data.size() << "/" << c.piece;
    }
}

TEST(PackageIntegrityTest, VerifierComparesWithTheDescriptionsHash)
{
    const std::string abcHash = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    const struct {
        const char* what;
        std::string expected;
        std::string received;
        int check;
    } cases[] = {
        {"no hash line checks nothing", "", "anything", kPackageIntact},
        {"the named package", abcHash, "abc", kPackageIntact},
        {"one byte changed", abcHash, "abd", kPackageAltered},
        {"cut short", abcHash, "ab", kPackageAltered},
        {"one byte more", abcHash, "abcd", kPackageAltered},
    };
    for (const auto& c : cases) {
        CPackageVerifier verifier(c.expected.empty() ? std::vector<std::uint8_t>() : Bytes(c.expected));
        ASSERT_TRUE(verifier.Start()) << c.what;
        for (char byte : c.received) {
            verifier.Add(&byte, 1);
        }
        EXPECT_EQ(verifier.Finish(), c.check) << c.what;
    }
    EXPECT_STREQ(PackageCheckText(kPackageAltered), kPackageAlteredText);
}

// Without a signing key the description is taken as before, also with an
// eighth line that is no hash; a key setting that is no key never lets an
// install through.
TEST(PackageIntegrityTest, DescriptionWithoutSigningKey)
{
    const std::string seven = "a\r\nb\r\nc\r\nd\r\ne\r\nf\r\ng";
    const std::string hash = "\r\nba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    const struct {
        bool fetched;
        std::string description;
        std::string key;
        int check;
    } cases[] = {
        {false, "", "", kDescriptionAccepted},
        {true, seven, "", kDescriptionAccepted},
        {true, seven + hash, "", kDescriptionAccepted},
        {true, seven + "\r\nhello", "", kDescriptionAccepted},
        {true, seven + hash, "c602", kVerifierUnavailable},
        {true, seven + hash, std::string(127, '0') + "g", kVerifierUnavailable},
        {false, "", kTestSigningKey, kDescriptionMissing},
        {true, seven + hash, kTestSigningKey, kSignatureMissing},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CheckSetupDescription(c.fetched, c.description, false, "", c.key), c.check)
            << c.description << " / " << c.key;
    }
    EXPECT_FALSE(SignatureRequired(""));
    EXPECT_TRUE(SignatureRequired(kTestSigningKey));
}

// The signed variants of the test vendor server, fetched as the install
// command fetches them, with their release lines read against an installed 2.1
// on the system's date.
TEST(PackageIntegrityTest, SignedDescriptionsFromTheVendorServer)
{
    ASSERT_TRUE(vendor::Running()) << "the test vendor server is not running (ctest fixture "
                                      "\"vendor\": tests/bench/vendor start BUILD_FOLDER)";
    const struct {
        const char* variant;
        int check;
        ReleaseCheck release;
    } cases[] = {
        {"good", kDescriptionAccepted, kReleaseCurrent},
        {"tampered", kSignatureInvalid, kReleaseCurrent},
        {"badsig", kSignatureInvalid, kReleaseCurrent},
        {"nosig", kSignatureMissing, kReleaseCurrent},
        {"garbledsig", kSignatureInvalid, kReleaseCurrent},
        {"nohash", kPackageHashMissing, kReleaseCurrent},
        {"badhash", kPackageHashMalformed, kReleaseCurrent},
        {"wronghash", kDescriptionAccepted, kReleaseCurrent},
        {"same", kDescriptionAccepted, kReleaseCurrent},
        {"older", kDescriptionAccepted, kReleaseOlderThanInstalled},
        {"expired", kDescriptionAccepted, kReleaseExpired},
        {"norelease", kDescriptionAccepted, kReleaseLinesMissing},
    };
    SYSTEMTIME now{};
    GetSystemTime(&now);
    const CalendarDay today = now.wYear * 10000L + now.wMonth * 100L + now.wDay;
    CWebSession session;
    for (const auto& c : cases) {
        const std::string base = vendor::Url(std::string("/signed/") + c.variant);
        std::string description;
        std::string signature;
        const bool fetched =
            session.FetchText(base + "/download/MrvACAD.setup", description) == kFetchOk;
        const bool signatureFetched =
            session.FetchText(base + kDescriptionSignaturePath, signature) == kFetchOk;
        EXPECT_TRUE(fetched) << c.variant;
        EXPECT_EQ(CheckSetupDescription(fetched, description, signatureFetched, signature,
                                        kTestSigningKey),
                  c.check)
            << c.variant;
        SetupDescriptor parsed;
        ApplySetupDescriptor(description, parsed);
        EXPECT_EQ(CheckRelease(parsed, "2.1", today, ExpiryRule::kChecked), c.release) << c.variant;
    }
}

// The package that the signed description names is the one the server sends.
TEST(PackageIntegrityTest, SignedPackageMatchesItsHashLine)
{
    ASSERT_TRUE(vendor::Running());
    const std::string description =
        vendor::FetchDirect(vendor::Url("/signed/good/download/MrvACAD.setup"));
    const std::string package = vendor::FetchDirect(vendor::Url("/signed/package.zip"));
    ASSERT_FALSE(package.empty());
    SetupDescriptor parsed;
    ApplySetupDescriptor(description, parsed);
    ASSERT_EQ(parsed.packageHashLine, kHashPresent);
    CPackageVerifier verifier(parsed.packageHash);
    ASSERT_TRUE(verifier.Start());
    verifier.Add(package.data(), package.size());
    EXPECT_EQ(verifier.Finish(), kPackageIntact);
}

}  // namespace
