// The install's stages where the window and the worker meet: each row plays
// the moves of both threads in one order and says which of them win.
#include "app/install_flow.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

enum class Move {
    kBeginCommand,
    kAbandonCommand,
    kBeginDownload,
    kCancel,
    kEndUnlessInstalling,
    kReset,
    kEnterInstallStep,  // worker
    kStandInstall,      // worker
};

bool Play(CInstallFlow& flow, Move move)
{
    switch (move) {
    case Move::kBeginCommand:
        return flow.BeginCommand();
    case Move::kAbandonCommand:
        flow.AbandonCommand();
        return true;
    case Move::kBeginDownload:
        return flow.BeginDownload();
    case Move::kCancel:
        return flow.Cancel();
    case Move::kEndUnlessInstalling:
        return flow.EndUnlessInstalling();
    case Move::kReset:
        flow.Reset();
        return true;
    case Move::kEnterInstallStep:
        return flow.EnterInstallStep();
    case Move::kStandInstall:
        return flow.StandInstall();
    }
    return false;
}

TEST(InstallFlowTest, EachRaceHasOneWinner)
{
    using M = Move;
    using S = InstallStage;
    const struct {
        const char* name;
        std::vector<std::pair<Move, bool>> moves;
        InstallStage end;
    } cases[] = {
        {"an install that stands, then the next page",
         {{M::kBeginCommand, true}, {M::kBeginCommand, false}, {M::kBeginDownload, true},
          {M::kEnterInstallStep, true}, {M::kStandInstall, true}, {M::kReset, true}},
         S::kIdle},
        {"the command stops before the download",
         {{M::kBeginCommand, true}, {M::kAbandonCommand, true}, {M::kBeginDownload, false}},
         S::kIdle},
        {"a cancel during the download keeps the install step from starting",
         {{M::kBeginCommand, true}, {M::kBeginDownload, true}, {M::kCancel, true},
          {M::kEnterInstallStep, false}, {M::kCancel, false}},
         S::kCancelling},
        {"the grace time after a cancel ends a worker held up in the network",
         {{M::kBeginCommand, true}, {M::kBeginDownload, true}, {M::kCancel, true},
          {M::kEndUnlessInstalling, true}, {M::kEnterInstallStep, false}},
         S::kEnding},
        {"a cancel during the install step rolls it back, and the window waits for its end",
         {{M::kBeginCommand, true}, {M::kBeginDownload, true}, {M::kEnterInstallStep, true},
          {M::kCancel, true}, {M::kStandInstall, false}, {M::kEndUnlessInstalling, false}},
         S::kRollingBack},
        {"a cancel after the install stands changes nothing",
         {{M::kBeginCommand, true}, {M::kBeginDownload, true}, {M::kEnterInstallStep, true},
          {M::kStandInstall, true}, {M::kCancel, false}, {M::kEndUnlessInstalling, false}},
         S::kInstalled},
        {"the window's end before the install step installs nothing",
         {{M::kBeginCommand, true}, {M::kBeginDownload, true}, {M::kEndUnlessInstalling, true},
          {M::kEnterInstallStep, false}, {M::kCancel, false}, {M::kBeginCommand, false}},
         S::kEnding},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CInstallFlow flow;
        for (std::size_t i = 0; i < c.moves.size(); ++i) {
            EXPECT_EQ(Play(flow, c.moves[i].first), c.moves[i].second) << "move " << i;
        }
        EXPECT_EQ(flow.Stage(), c.end);
    }
}

}  // namespace
