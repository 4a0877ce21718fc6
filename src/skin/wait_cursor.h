// The wait cursor over every window of the viewer while the user-interface thread is busy
// (a scan, a listing with its repairs). It goes when the object goes, whichever way the work
// ends.
#pragma once

namespace qelv::ui {

class WaitCursor {
public:
    // Shows the cursor at once, or only from show() on when `now` is false (work that still
    // has to ask the user something first).
    explicit WaitCursor(bool now = true);
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

    // Shows the cursor; once is enough, later calls change nothing.
    void show();

private:
    bool m_shown = false;
};

}  // namespace qelv::ui
