#pragma once
// A group box that owns the controls lying inside it. After CollectMembers,
// showing, hiding, enabling, disabling or moving the box does the same to its
// members. The install window builds its pages on invisible boxes this way.
//
// While `suspended` is set the box changes alone: to show a page the owner
// shows the box (its members appear), then hides the box itself with
// `suspended` set, so that the frame never shows.
//
// Members are held by handle only and never destroyed by the box; the list is
// filled once. A member destroyed later is skipped, unless a window of its
// control id took its place (a control created over its placeholder): that
// window is carried instead. Windows without an id of their own (labels) are
// never taken for one another.
#include <vector>

#include <windows.h>

#include "framework/controls.h"

class CGroupPanel : public CButtonCtl {
public:
    // Appends every sibling whose whole window rectangle lies inside the box
    // (left <= x < right, top <= y < bottom for both corners), in Z order.
    void CollectMembers();
    const std::vector<HWND>& Members() const { return members_; }
    bool IsMember(HWND window) const;
    // Hides the box and all its members, whether the box shows or not.
    void HideWithMembers();

    // While set, the box's own show, enable and move are not passed on.
    bool suspended = false;

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    template <typename Action>
    bool ForEachMember(Action action) const;
    HWND CurrentMember(std::size_t index) const;
    void OnShowWindow(bool show);
    void OnEnable(bool enable);
    void OnPositionChanging(const WINDOWPOS& position);

    std::vector<HWND> members_;
    // The control id of each member, same order.
    std::vector<int> memberIds_;
};
