#pragma once
// Small texts of the vendor web server, fetched on a thread of their own so
// that the window keeps answering its user however long a server takes.
//
// The window waits for the fetch with a bound of its own (WaitAnsweringUser)
// and cancels it when the bound passes or the window ends. A cancelled fetch is
// never waited for: its thread ends by itself within the session's time-outs
// and touches nothing but the state that it shares with this object.
//
// Threads: Start, Done, Answers and Cancel run on the owner's thread; the
// fetch thread writes the answers and then sets the done event, so the owner
// reads them only once Done is true.
#include <memory>
#include <string>
#include <vector>

#include <windows.h>

#include "net/web_session.h"

class CTextFetch {
public:
    struct Answer {
        FetchResult result = kFetchOffline;
        std::string text;  // the trimmed text when result is kFetchOk
    };

    CTextFetch() = default;
    // Cancels a fetch still under way.
    ~CTextFetch();
    CTextFetch(const CTextFetch&) = delete;
    CTextFetch& operator=(const CTextFetch&) = delete;

    // Starts fetching `urls` in turn through one session. False when no thread
    // could be started; nothing is fetched then.
    bool Start(std::vector<std::string> urls);
    // Set once every address has been answered; null before Start.
    HANDLE DoneEvent() const;
    bool Done() const;
    // One answer per address, in their order; only once Done.
    const std::vector<Answer>& Answers() const;
    // Closes the session, so that a blocked fetch returns as soon as WinInet
    // lets it; the answers are not looked at any more.
    void Cancel();

private:
    struct State;
    std::shared_ptr<State> state_;
};

// The answers of `fetch` once it is done, else as many answers of a server
// that cannot be reached.
std::vector<CTextFetch::Answer> AnswersOrUnreachable(const CTextFetch& fetch, std::size_t count);
