// The part of a video pane the main window uses: its selected mark and the surface the engine
// draws its channel on.
#pragma once

namespace qelv::media {
class VideoSurface;
}

namespace qelv::ui {

class VideoPane {
public:
    virtual ~VideoPane() = default;
    virtual bool selectedMark() const = 0;
    // Sets the mark; a pane whose mark changes repaints at once.
    virtual void setSelectedMark(bool selected) = 0;
    // Where the engine draws the pane's channel; null for a pane that shows none.
    virtual media::VideoSurface* videoSurface() { return nullptr; }
};

}  // namespace qelv::ui
