// The Linux window opening resource viewers: the real Qt window and window logic over a KEY
// packed here from two resources made in memory, a 2048 x 2048 DXT5 texture (the one
// vellocar_texture_bench decodes) and a model of 64 MiB of random bytes, shown in hex. Each run
// opens each viewer as a double-click does and times it until its window has been painted, then
// closes it with Escape. Then a tree of 50,000 fields (a GFF's top struct holding them all, the
// widest branch a tree view lays out), shown in a viewer window until painted; and a 2048 x 2048
// picture handed to a viewer window and painted at Fit (the face's share of the texture).
//
//   vellocar_qt_viewer_bench [RUNS]     (on a display, or QT_QPA_PLATFORM=offscreen)
//
// Prints one line per viewer and run: "texture <seconds>", "hex <seconds>", "tree <seconds>",
// "picture <seconds>".

#include "Dxt5Texture.h"
#include "Main.h"
#include "operations/Build.h"
#include "QtToolkit.h"
#include "QtViewer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QListWidget>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

void Write(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> RandomBytes(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    std::uint64_t state = 0x9E3779B97F4A7C15ULL;
    for (std::uint8_t& b : bytes) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        b = static_cast<std::uint8_t>(state);
    }
    return bytes;
}

// A GFF's top struct of 50,000 fields, each its own line.
class FlatTree final : public vellocar::ui::ViewerTree {
public:
    static constexpr Node kFields = 50000;
    std::size_t ColumnCount() const override { return 3; }
    std::string ColumnTitle(std::size_t column) const override { return column == 0 ? "Label" : "Value"; }
    std::size_t ChildCount(Node node) const override { return node == kViewerRoot ? kFields : 0; }
    Node Child(Node, std::size_t index) const override { return static_cast<Node>(index + 1); }
    Node Parent(Node) const override { return kViewerRoot; }
    std::size_t IndexInParent(Node node) const override { return node - 1; }
    std::string Cell(Node node, std::size_t column) const override {
        return column == 0 ? "Field" + std::to_string(node) : column == 1 ? "INT" : std::to_string(node * 7);
    }
};

class NoEvents final : public vellocar::ui::ViewerEvents {
    void ZoomChosen(vellocar::ui::ViewerZoom) override {}
    void PictureAreaResized(int, int) override {}
    void SavePngClicked() override {}
    void SaveAsClicked() override {}
    void SaveConvertedClicked() override {}
    void ChannelsChosen(vellocar::ui::ViewerChannels) override {}
    void MipChosen(std::size_t) override {}
    void PicturePointed(int, int) override {}
    void ColumnClicked(std::size_t) override {}
    void FindAsked(const std::string&, bool) override {}
    void OpenTalkTableClicked() override {}
    void CloseAsked() override {}
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("vellocar-viewer-bench-" + std::to_string(getpid()));
    fs::create_directories(dir / "src");
    fs::create_directories(dir / "data");
    Write(dir / "src" / "big.dds", vellocar::bench::Dxt5Texture());
    Write(dir / "src" / "huge.mdl", RandomBytes(std::size_t{64} << 20));

    using vellocar::ui::ControlId;
    vellocar::qt::QtToolkit toolkit;
    int status = 0;
    {
        vellocar::ui::TForm1 form(toolkit);
        toolkit.Attach(form);
        form.Created();
        toolkit.Show();
        vellocar::TBuildRequest request((dir / "src").string() + "/", (dir / "data" / "bench.bif").string(),
                                        (dir / "bench.key").string());
        request.Files = form.ListFolder((dir / "src").string() + "/*.*");
        vellocar::BuildArchive(request);
        form.KeyFileGiven((dir / "bench.key").string());
        toolkit.List(ControlId::ListBox1)->setCurrentRow(0);
        QApplication::processEvents();

        for (int run = 0; run < runs; ++run) {
            for (const auto& [name, line] : {std::pair{"texture", 0}, std::pair{"hex", 1}}) {
                QElapsedTimer timer;
                timer.start();
                form.LineOpened(ControlId::ListBox2, line);
                vellocar::qt::ViewerWidget* shown = nullptr;
                for (auto* viewer : toolkit.Window()->findChildren<vellocar::qt::ViewerWidget*>())
                    if (viewer->isVisible()) shown = viewer;
                if (!shown) {
                    status = 1;
                    continue;
                }
                shown->repaint();
                std::printf("%s %.3f\n", name, static_cast<double>(timer.nsecsElapsed()) / 1e9);
                QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                QApplication::sendEvent(shown, &escape);
                QApplication::processEvents();
                QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            }
        }
        const FlatTree tree;
        NoEvents events;
        for (int run = 0; run < runs; ++run) {
            QElapsedTimer timer;
            timer.start();
            vellocar::qt::QtViewerWindow window(toolkit.Window(), "fields.gff", events);
            window.ShowTree(tree);
            window.Raise();
            window.Widget()->repaint();
            std::printf("tree %.3f\n", static_cast<double>(timer.nsecsElapsed()) / 1e9);
        }
        // The face's share of the texture: the picture handed over and painted at Fit.
        const std::vector<std::uint32_t> pixels(std::size_t{2048} * 2048, 0xFF808080u);
        for (int run = 0; run < runs; ++run) {
            QElapsedTimer timer;
            timer.start();
            vellocar::qt::QtViewerWindow window(toolkit.Window(), "big.dds", events);
            window.ShowPicture({2048, 2048, &pixels});
            window.SetPictureScale(0.2, vellocar::ui::ViewerZoom::Fit);
            window.Raise();
            window.Widget()->repaint();
            std::printf("picture %.3f\n", static_cast<double>(timer.nsecsElapsed()) / 1e9);
        }
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        toolkit.Detach();
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    return status;
}
