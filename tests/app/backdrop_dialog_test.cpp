#include "app/backdrop_dialog.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "app/message_helpers.h"
#include "framework/controls.h"
#include "util/handles.h"
#include "res/resource.h"
#include "tests/framework/ui_test_support.h"

namespace {

using CProbeBackdrop = CProbed<CBackdropDialog, IDOK>;

void RunProbe(std::function<void(CProbeBackdrop&)> probe)
{
    ASSERT_TRUE(InitControlClasses());
    CProbeBackdrop dialog(std::move(probe), IDD_INSTALL, nullptr);
    EXPECT_EQ(dialog.DoModal(), IDOK);
}

void PaintEverythingNow(HWND window)
{
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

TEST(BackdropDialog, PictureCoversTheWholeClientArea)
{
    RunProbe([](CProbeBackdrop& dialog) {
        const RECT client = dialog.ClientRect();
        const RECT picture = RectInClient(dialog.GetItem(IDC_BACKDROP), dialog.Hwnd());
        EXPECT_EQ(picture.left, 0);
        EXPECT_EQ(picture.top, 0);
        EXPECT_EQ(picture.right, client.right);
        EXPECT_EQ(picture.bottom, client.bottom);
    });
}

TEST(BackdropDialog, BackgroundIsNeverErasedByTheDialog)
{
    RunProbe([](CProbeBackdrop& dialog) {
        UniqueMemoryDC dc(CreateCompatibleDC(nullptr));
        UniqueBitmap bitmap(CreateBitmap(4, 4, 1, 32, nullptr));
        SelectedObject select(dc.get(), bitmap.get());
        const RECT all{0, 0, 4, 4};
        UniqueBrush red(CreateSolidBrush(RGB(255, 0, 0)));
        FillRect(dc.get(), &all, red.get());
        EXPECT_NE(SendMessageW(dialog.Hwnd(), WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc.get()), 0),
                  0);
        EXPECT_EQ(GetPixel(dc.get(), 1, 1), RGB(255, 0, 0));
    });
}

// Statics show the picture around their text; other controls keep their colours.
TEST(BackdropDialog, OnlyStaticsAreDrawnTransparently)
{
    struct Case {
        int id;
        UINT message;
        bool transparent;
    };
    const Case cases[] = {
        {IDC_VERSION_TEXT, WM_CTLCOLORSTATIC, true},
        {IDC_LICENCE_LINK, WM_CTLCOLORSTATIC, true},
        {IDC_BACKDROP, WM_CTLCOLORSTATIC, true},
        {IDC_INSTALL_NOW, WM_CTLCOLORBTN, false},
        {IDC_WEB_PLACEHOLDER, WM_CTLCOLOREDIT, false},
        {IDC_SCRIPT_TARGETS, WM_CTLCOLORLISTBOX, false},
    };
    RunProbe([&](CProbeBackdrop& dialog) {
        const LRESULT hollow = reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
        for (const Case& c : cases) {
            SCOPED_TRACE(c.id);
            UniqueMemoryDC dc(CreateCompatibleDC(nullptr));
            SetBkMode(dc.get(), OPAQUE);
            const LRESULT brush = SendMessageW(dialog.Hwnd(), c.message,
                                               reinterpret_cast<WPARAM>(dc.get()),
                                               reinterpret_cast<LPARAM>(dialog.GetItem(c.id)));
            EXPECT_EQ(brush == hollow, c.transparent);
            EXPECT_EQ(GetBkMode(dc.get()) == TRANSPARENT, c.transparent);
        }
    });
}

TEST(BackdropDialog, ShortenedLabelShowsThePictureWhereTheLongTextStood)
{
    RunProbe([](CProbeBackdrop& dialog) {
        HWND window = dialog.Hwnd();
        PaintEverythingNow(window);
        const RECT label = RectInClient(dialog.GetItem(IDC_VERSION_TEXT), window);
        const std::vector<unsigned> empty = CaptureClientPixels(window, label);

        SetLabelText(window, IDC_VERSION_TEXT, "版本：2.1　　当前版本：2.0");
        RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        const std::vector<unsigned> longText = CaptureClientPixels(window, label);

        SetLabelText(window, IDC_VERSION_TEXT, "版");
        RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        const std::vector<unsigned> shortText = CaptureClientPixels(window, label);

        ASSERT_FALSE(empty.empty());
        ASSERT_EQ(empty.size(), shortText.size());
        EXPECT_NE(longText, empty);
        // Right of the one remaining character the label is the picture again.
        const int width = label.right - label.left;
        const int height = label.bottom - label.top;
        int differing = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 40; x < width; ++x) {
                const std::size_t at = static_cast<std::size_t>(y) * width + x;
                differing += shortText[at] != empty[at] ? 1 : 0;
            }
        }
        EXPECT_EQ(differing, 0);
        CreateDirectoryW(L"screenshots", nullptr);
        SetLabelText(window, IDC_VERSION_TEXT, "版本：2.1　　当前版本：2.0");
        PaintEverythingNow(window);
        SaveWindowPicture(window, L"screenshots\\backdrop_dialog.bmp");
    });
}

}  // namespace
