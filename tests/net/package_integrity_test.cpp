#include "net/package_integrity.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "product/setup_descriptor.h"
#include "tests/bench/vendor_server.h"
#include "util/hex_text.h"

namespace {

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
        PackageCheck check;
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
