// The part of a video pane the main window uses: its selected mark.
#pragma once

namespace qelv::ui {

class VideoPane {
public:
    virtual ~VideoPane() = default;
    virtual bool selectedMark() const = 0;
    // Sets the mark; a pane whose mark changes repaints at once.
    virtual void setSelectedMark(bool selected) = 0;
};

}  // namespace qelv::ui
