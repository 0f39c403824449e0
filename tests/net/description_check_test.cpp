#include "net/description_check.h"

#include <string>

#include <gtest/gtest.h>

#include "net/web_session.h"
#include "product/setup_descriptor.h"
#include "tests/bench/vendor_server.h"

namespace {

// The public half of tests/fixtures/test_signing_key.pem, with which the test
// vendor server signs its /signed/ descriptions.
const char kTestSigningKey[] =
    "c6022092c1118abac5b984d788598754bbc51b94005e4ccbd7a634dd3495462914b99843b1547b2599932dff7c4bd7106f132958c960c24128a8126a1793d1d8";

// Without a signing key the description is taken as before, also with an
// eighth line that is no hash; a key setting that is no key never lets an
// install through.
TEST(DescriptionCheckTest, DescriptionWithoutSigningKey)
{
    const std::string seven = "a\r\nb\r\nc\r\nd\r\ne\r\nf\r\ng";
    const std::string hash = "\r\nba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    const struct {
        bool fetched;
        std::string description;
        std::string key;
        DescriptionCheck check;
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
// command fetches them.
TEST(DescriptionCheckTest, SignedDescriptionsFromTheVendorServer)
{
    ASSERT_TRUE(vendor::Running()) << "the test vendor server is not running (ctest fixture "
                                      "\"vendor\": tests/bench/vendor start BUILD_FOLDER)";
    const struct {
        const char* variant;
        DescriptionCheck check;
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

}  // namespace
