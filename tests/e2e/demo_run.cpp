// The demonstration that scripts/run.sh shows (program e2e_demo, not part of the
// test suite, whose scenarios cover the same ground): a product install from the
// demo vendor site followed by a script install, with a picture of every page.
// Its folders stay for a look.
#include <cstdio>
#include <cstdlib>

#include "res/resource.h"
#include "tests/e2e/setup_scenario.h"

namespace e2e {
namespace {

class Demo : public SetupScenario {
protected:
    std::string RunFolder() const override { return BuildFolder() + "\\demo\\run"; }
    bool KeepRunFolder() const override { return true; }
    std::string ShotPrefix() const override { return "demo_"; }

    // Tells what happens; on a display that someone watches (MRV_DEMO_PAUSE_MS
    // set) each step then stays in view for a while.
    void Say(const std::string& text) const
    {
        std::printf("demo: %s\n", text.c_str());
        std::fflush(stdout);
        const char* pause = std::getenv("MRV_DEMO_PAUSE_MS");
        if (pause != nullptr) {
            Sleep(static_cast<DWORD>(std::strtoul(pause, nullptr, 10)));
        }
    }
};

TEST_F(Demo, ProductInstallThenScriptInstall)
{
    PutScriptPackagesBesideProgram();
    Start();
    ASSERT_EQ(CurrentPage(), Page::Install);
    ASSERT_TRUE(TypeText(GetDlgItem(Control(window_, IDC_INSTALL_FOLDER), 12345), productFolder_));
    Say("the install window shows its install page");
    Shot("1_install_page");

    ASSERT_TRUE(Click(window_, IDC_INSTALL_NOW));
    ASSERT_TRUE(WaitForPage(Page::Download));
    ASSERT_TRUE(WaitUntil([&] { return ProgressOf(window_, IDC_PROGRESS).position > 0 ||
                                       CurrentPage() != Page::Download; }));
    Shot("2_download_page");
    Say("downloading the product package from the demo vendor site");
    ASSERT_TRUE(WaitForPage(Page::Script, 120000));
    Say("product installed into " + productFolder_ + "; the script page follows");
    Shot("3_script_page");

    ASSERT_TRUE(SetCheck(window_, IDC_INSTALL_TOOLBAR, true));
    ASSERT_TRUE(Click(window_, IDC_INSTALL_SCRIPTS));
    ASSERT_TRUE(WaitForPage(Page::Finish));
    Say("script packages copied into " + productFolder_ + "\\Library\\Script\\");
    Shot("4_finish_page");

    ASSERT_TRUE(Click(window_, IDC_FINISH));
    ASSERT_TRUE(run_.WaitForExit());
    for (const StartRecord& record : WaitForRecords(3)) {
        Say("started " + record.program + " " + record.arguments);
    }
}

}  // namespace
}  // namespace e2e
