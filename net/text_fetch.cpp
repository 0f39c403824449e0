#include "net/text_fetch.h"

#include <utility>

#include "util/handles.h"
#include "framework/thread.h"

struct CTextFetch::State {
    std::vector<std::string> urls;
    std::vector<Answer> answers;
    CWebSession session;
    UniqueHandle done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

CTextFetch::~CTextFetch()
{
    Cancel();
}

bool CTextFetch::Start(std::vector<std::string> urls)
{
    if (state_) {
        return false;
    }
    auto state = std::make_shared<State>();
    if (!state->done) {
        return false;
    }
    state->urls = std::move(urls);
    Answer unreachable;
    unreachable.result = kFetchCannotOpen;
    state->answers.assign(state->urls.size(), unreachable);
    UniqueHandle thread;
    // An exception (memory running out) ends the fetch early; the addresses
    // not fetched keep the answer of a server that cannot be reached.
    const bool started = StartWorkerThread(thread, [state]() -> DWORD {
        try {
            for (std::size_t i = 0; i < state->urls.size(); ++i) {
                Answer& answer = state->answers[i];
                answer.result = state->session.FetchText(state->urls[i], answer.text);
            }
        } catch (...) {
        }
        SetEvent(state->done.get());
        return 0;
    });
    if (!started) {
        return false;
    }
    state_ = std::move(state);
    return true;
}

HANDLE CTextFetch::DoneEvent() const
{
    return state_ ? state_->done.get() : nullptr;
}

bool CTextFetch::Done() const
{
    return state_ && WaitForSingleObject(state_->done.get(), 0) == WAIT_OBJECT_0;
}

const std::vector<CTextFetch::Answer>& CTextFetch::Answers() const
{
    return state_->answers;
}

void CTextFetch::Cancel()
{
    if (state_) {
        state_->session.Cancel();
    }
}

std::vector<CTextFetch::Answer> AnswersOrUnreachable(const CTextFetch& fetch, std::size_t count)
{
    if (fetch.Done()) {
        return fetch.Answers();
    }
    CTextFetch::Answer unreachable;
    unreachable.result = kFetchCannotOpen;
    return std::vector<CTextFetch::Answer>(count, unreachable);
}
