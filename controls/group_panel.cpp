#include "controls/group_panel.h"

#include <cstddef>

namespace {

// Inside means left <= x < right and top <= y < bottom.
bool CornerInside(const RECT& box, LONG x, LONG y)
{
    return x >= box.left && x < box.right && y >= box.top && y < box.bottom;
}

// Labels share the ids 0 and -1 (0xFFFF in a 16-bit template).
bool HasOwnId(int id)
{
    return id != 0 && id != -1 && id != 0xFFFF;
}

}  // namespace

LRESULT CGroupPanel::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SHOWWINDOW: {
        const LRESULT result = DefaultProc(message, wParam, lParam);
        // A non-zero lParam is the parent being shown or hidden, not the box.
        if (lParam == 0) {
            OnShowWindow(wParam != FALSE);
        }
        return result;
    }
    case WM_ENABLE: {
        const LRESULT result = DefaultProc(message, wParam, lParam);
        OnEnable(wParam != FALSE);
        return result;
    }
    case WM_WINDOWPOSCHANGING: {
        const LRESULT result = DefaultProc(message, wParam, lParam);
        OnPositionChanging(*reinterpret_cast<const WINDOWPOS*>(lParam));
        return result;
    }
    default:
        return CButtonCtl::HandleMessage(message, wParam, lParam);
    }
}

void CGroupPanel::CollectMembers()
{
    if (Hwnd() == nullptr) {
        return;
    }
    RECT box{};
    GetWindowRect(Hwnd(), &box);
    for (HWND sibling = GetWindow(Hwnd(), GW_HWNDFIRST); sibling != nullptr;
         sibling = GetWindow(sibling, GW_HWNDNEXT)) {
        if (sibling == Hwnd()) {
            continue;
        }
        RECT rect{};
        GetWindowRect(sibling, &rect);
        if (CornerInside(box, rect.left, rect.top) && CornerInside(box, rect.right, rect.bottom)) {
            members_.push_back(sibling);
            memberIds_.push_back(GetDlgCtrlID(sibling));
        }
    }
}

bool CGroupPanel::IsMember(HWND window) const
{
    for (std::size_t i = 0; window != nullptr && i < members_.size(); ++i) {
        if (CurrentMember(i) == window) {
            return true;
        }
    }
    return false;
}

template <typename Action>
bool CGroupPanel::ForEachMember(Action action) const
{
    // A box of button type 0 is not a group box.
    if (suspended || (Style() & 0x7) == 0 || Hwnd() == nullptr) {
        return false;
    }
    for (std::size_t i = 0; i < members_.size(); ++i) {
        HWND member = CurrentMember(i);
        if (member != nullptr && !action(member)) {
            return false;
        }
    }
    return true;
}

// The list, not the parent's children: walking those asks the window system
// once per sibling, which costs a round trip to the window server on some
// platforms (Wine), for every show, hide and move of every page.
HWND CGroupPanel::CurrentMember(std::size_t index) const
{
    if (IsWindow(members_[index])) {
        return members_[index];
    }
    HWND parent = Parent();
    return HasOwnId(memberIds_[index]) && parent != nullptr ? GetDlgItem(parent, memberIds_[index])
                                                            : nullptr;
}

void CGroupPanel::HideWithMembers()
{
    ForEachMember([](HWND member) {
        ShowWindow(member, SW_HIDE);
        return true;
    });
    const bool outer = suspended;
    suspended = true;
    Show(false);
    suspended = outer;
}

void CGroupPanel::OnShowWindow(bool show)
{
    ForEachMember([show](HWND member) {
        ShowWindow(member, show ? SW_SHOW : SW_HIDE);
        return true;
    });
}

void CGroupPanel::OnEnable(bool enable)
{
    ForEachMember([enable](HWND member) {
        EnableWindow(member, enable ? TRUE : FALSE);
        return true;
    });
}

void CGroupPanel::OnPositionChanging(const WINDOWPOS& position)
{
    if ((position.flags & SWP_NOMOVE) != 0) {
        return;
    }
    const RECT current = RectInParent();
    if (position.x == current.left && position.y == current.top) {
        return;
    }
    const auto dx = static_cast<short>(position.x - current.left);
    const auto dy = static_cast<short>(position.y - current.top);
    const bool moved = ForEachMember([dx, dy](HWND member) {
        RECT rect{};
        GetWindowRect(member, &rect);
        OffsetRect(&rect, dx, dy);
        HWND parent = GetParent(member);
        if (parent != nullptr) {
            MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
        }
        MoveWindow(member, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                   TRUE);
        return true;
    });
    if (moved) {
        Invalidate(true);
    }
}
