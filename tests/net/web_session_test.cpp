#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "net/text_fetch.h"
#include "net/web_session.h"
#include "tests/bench/vendor_server.h"

namespace {

class WebSessionTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(vendor::Running()) << "the test vendor server is not running (ctest fixture "
                                          "\"vendor\": tests/bench/vendor start BUILD_FOLDER)";
    }

    // A file of this test's own on the server, so tests running alongside never meet.
    std::string Serve(const std::string& name, const std::string& bytes)
    {
        const std::string unique =
            std::string(testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
            vendor::RunStamp() + "-" + name;
        EXPECT_TRUE(vendor::PutFile(unique, bytes));
        return "/files/" + unique;
    }
};

TEST_F(WebSessionTest, TheVendorTextsComeTrimmed)
{
    CWebSession session;
    ASSERT_TRUE(session.IsOnline());
    std::string text = "old";
    EXPECT_EQ(session.FetchText(vendor::Url("/download/MrvACAD.ver"), text), kFetchOk);
    EXPECT_EQ(text, "2.2");
    EXPECT_EQ(session.FetchText(vendor::Url("/download/MrvACAD.setupad"), text), kFetchOk);
    EXPECT_EQ(text, vendor::Url("/tessaly.php"));
    EXPECT_EQ(session.FetchText(vendor::Url("/download/MrvACAD.setup"), text), kFetchOk);
    EXPECT_EQ(text.substr(0, text.find("\r\n")), "墨岚 AutoCAD 插件");
    EXPECT_EQ(text.substr(text.size() - 9), "\r\ntessaly");
}

struct TextCase {
    const char* name;
    std::string served;
    std::string fetched;
};

TEST_F(WebSessionTest, FetchedTextLosesBlanksAtBothEndsOnly)
{
    const TextCase cases[] = {
        {"version", "  2.2\r\n", "2.2"},
        {"blanks", " \r\n \t \r\n\v\f ", ""},
        {"tabs", "\t\t2.2.1\t", "2.2.1"},
        {"lines", "\r\nfirst line\r\n\r\nsecond\tline\r\n\r\n", "first line\r\n\r\nsecond\tline"},
        {"chinese", "  墨岚 AutoCAD 插件\r\n", "墨岚 AutoCAD 插件"},
        {"zero", std::string("2.2\0tail", 8), "2.2"},
        {"one", "x", "x"},
    };
    CWebSession session;
    for (const TextCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text = "old";
        EXPECT_EQ(session.FetchText(vendor::Url(Serve(c.name, c.served)), text), kFetchOk);
        EXPECT_EQ(text, c.fetched);
    }
}

TEST_F(WebSessionTest, OnlyTheFirstReadCountsAndNeverMoreThan4096Bytes)
{
    std::string big;
    for (int i = 0; i < 10000; ++i) {
        big += static_cast<char>('a' + i % 26);
    }
    CWebSession session;
    std::string text;
    ASSERT_EQ(session.FetchText(vendor::Url(Serve("big", big)), text), kFetchOk);
    EXPECT_EQ(text, big.substr(0, 4096));
}

TEST_F(WebSessionTest, FailuresLeaveTheTextAsItWas)
{
    ASSERT_TRUE(vendor::PutFile("empty", ""));
    const struct {
        const char* what;
        std::string url;
        int result;
    } cases[] = {
        {"empty file", vendor::Url("/files/empty"), kFetchEmpty},
        {"empty body", vendor::Url("/behave/empty"), kFetchEmpty},
        {"not found", vendor::Url("/download/MrvACAD.none"), kFetchCannotOpen},
        {"404 page", vendor::Url("/behave/404"), kFetchCannotOpen},
        {"server error", vendor::Url("/behave/status?code=500"), kFetchCannotOpen},
        {"forbidden", vendor::Url("/behave/status?code=403"), kFetchCannotOpen},
        {"no one listening", "http://127.0.0.1:1/download/MrvACAD.ver", kFetchCannotOpen},
        {"unknown host", "http://no-such-host.invalid/download/MrvACAD.ver", kFetchCannotOpen},
        {"not an address", "not an address", kFetchCannotOpen},
        {"nothing", "", kFetchCannotOpen},
    };
    CWebSession session;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string text = "kept";
        EXPECT_EQ(session.FetchText(c.url, text), c.result);
        EXPECT_EQ(text, "kept");
    }
}

TEST_F(WebSessionTest, AnAddressTooLongForItsCanonicalFormIsRefusedUnsent)
{
    const std::string target =
        "/download/MrvACAD.ver?run=" + vendor::RunStamp() + "&pad=" + std::string(1100, 'p');
    CWebSession session;
    std::string text = "kept";
    EXPECT_EQ(session.FetchText(vendor::Url(target), text), kFetchCannotOpen);
    EXPECT_EQ(text, "kept");
    EXPECT_EQ(vendor::RequestCount(target), 0);

    const std::string fits =
        "/download/MrvACAD.ver?run=" + vendor::RunStamp() + "&pad=" + std::string(900, 'p');
    EXPECT_EQ(session.FetchText(vendor::Url(fits), text), kFetchOk);
    EXPECT_EQ(text, "2.2");
    EXPECT_EQ(vendor::RequestCount(fits), 1);
}

TEST_F(WebSessionTest, OpenUrlHandsBackTheCanonicalAddress)
{
    CWebSession session;
    std::string url = vendor::Url("/download/../download/MrvACAD.ver");
    const UniqueInternet request = session.OpenUrl(url);
    ASSERT_TRUE(request);
    EXPECT_EQ(url, vendor::Url("/download/MrvACAD.ver"));
    // The body may come in more than one piece when the machine is busy.
    std::string body;
    char buffer[64] = {};
    while (session.ReadChunk(request.get(), buffer, sizeof buffer - 1)) {
        body += buffer;
        std::fill(std::begin(buffer), std::end(buffer), '\0');
    }
    EXPECT_EQ(body, "  2.2\r\n");
}

TEST_F(WebSessionTest, EveryFetchAsksTheServerAfresh)
{
    const std::string target = Serve("fresh", "1.0");
    CWebSession session;
    std::string text;
    EXPECT_EQ(session.FetchText(vendor::Url(target), text), kFetchOk);
    EXPECT_EQ(text, "1.0");
    Serve("fresh", "2.0");
    EXPECT_EQ(session.FetchText(vendor::Url(target), text), kFetchOk);
    EXPECT_EQ(text, "2.0");
    EXPECT_EQ(vendor::RequestCount(target), 2);
}

// The window never waits for a fetch that a silent server holds: Cancel and
// the end of the fetch object return at once, and the answers are those of an
// unreachable server. The answers of a fetch that ended come in the order asked.
TEST_F(WebSessionTest, AFetchHeldByASilentServerIsLeftAtOnce)
{
    CTextFetch answered;
    ASSERT_TRUE(answered.Start({vendor::Url("/download/MrvACAD.ver"), vendor::Url("/behave/404")}));
    ASSERT_EQ(WaitForSingleObject(answered.DoneEvent(), 30000), WAIT_OBJECT_0);
    ASSERT_EQ(answered.Answers().size(), 2u);
    EXPECT_EQ(answered.Answers()[0].result, kFetchOk);
    EXPECT_EQ(answered.Answers()[0].text, "2.2");
    EXPECT_EQ(answered.Answers()[1].result, kFetchCannotOpen);

    const std::string silent = "/behave/silent?run=" + vendor::RunStamp() + "-cancel";
    DWORD begin = 0;
    {
        CTextFetch held;
        ASSERT_TRUE(held.Start({vendor::Url(silent), vendor::Url("/download/MrvACAD.ver")}));
        for (int i = 0; i < 500 && vendor::RequestCount(silent) == 0; ++i) {
            Sleep(10);
        }
        EXPECT_EQ(vendor::RequestCount(silent), 1);
        EXPECT_FALSE(held.Done());
        const std::vector<CTextFetch::Answer> unreachable = AnswersOrUnreachable(held, 2);
        ASSERT_EQ(unreachable.size(), 2u);
        EXPECT_EQ(unreachable[0].result, kFetchCannotOpen);
        EXPECT_EQ(unreachable[1].result, kFetchCannotOpen);
        begin = GetTickCount();
        held.Cancel();
    }
    EXPECT_LT(GetTickCount() - begin, 1000u);
}

}  // namespace
