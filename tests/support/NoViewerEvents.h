#pragma once
// A viewer's events that nobody listens to: for the faces' tests that only need a viewer's
// window to stand somewhere (a browser's docked pane).

#include "ViewerWindow.h"

#include <cstddef>
#include <string>

namespace vellocar::test {

class NoViewerEvents final : public ui::ViewerEvents {
public:
    void ZoomChosen(ui::ViewerZoom) override {}
    void PictureAreaResized(int, int) override {}
    void SavePngClicked() override {}
    void SaveAsClicked() override {}
    void SaveConvertedClicked() override {}
    void ChannelsChosen(ui::ViewerChannels) override {}
    void MipChosen(std::size_t) override {}
    void PicturePointed(int, int) override {}
    void ColumnClicked(std::size_t) override {}
    void FindAsked(const std::string&, bool) override {}
    void OpenTalkTableClicked() override {}
    void CloseAsked() override {}
};

} // namespace vellocar::test
