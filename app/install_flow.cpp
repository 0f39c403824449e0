#include "app/install_flow.h"

// The worker may move kDownloading on to kInstalling between the two tries;
// the second then finds it there.
bool CInstallFlow::Cancel()
{
    return Move(InstallStage::kDownloading, InstallStage::kCancelling) ||
           Move(InstallStage::kInstalling, InstallStage::kRollingBack);
}

bool CInstallFlow::EndUnlessInstalling()
{
    for (;;) {
        InstallStage stage = stage_;
        switch (stage) {
        case InstallStage::kInstalling:
        case InstallStage::kInstalled:
        case InstallStage::kRollingBack:
            return false;
        case InstallStage::kEnding:
            return true;
        default:
            if (stage_.compare_exchange_strong(stage, InstallStage::kEnding)) {
                return true;
            }
            break;
        }
    }
}
