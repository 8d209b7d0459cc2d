// The archive code on Windows: a KEY or BIF that another program holds is reported, never read
// half-written or replaced, and an export never opens a device in place of a file.

#include "ArchiveBytes.h"
#include "base/Errors.h"
#include "formats/BifFiles.h"
#include "formats/KeyFiles.h"
#include "operations/Build.h"
#include "operations/Export.h"
#include "platform/Platform.h"
#include "WinTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace vellocar {
namespace {

using test::AllEntries;
using test::ErrorOf;
using test::HeldFile;
using test::ReadText;
using test::WinTempDir;
using test::WriteText;
using ::testing::ElementsAre;
using ::testing::StartsWith;

// Every file of a folder and its subfolders with its bytes, to prove that nothing changed.
std::map<std::string, std::string> Snapshot(const std::string& folder, const std::string& prefix = "") {
    std::map<std::string, std::string> files;
    for (const std::string& name : AllEntries(folder)) {
        const std::string path = folder + "\\" + name;
        if (platform::Stat(path)->IsDirectory) {
            files.merge(Snapshot(path, prefix + name + "\\"));
        } else {
            files[prefix + name] = ReadText(path);
        }
    }
    return files;
}

// A game folder with x.key naming data\x.bif, built from the given source files.
class WinArchive : public ::testing::Test {
protected:
    void Build(const std::map<std::string, std::string>& sources) {
        platform::CreateDirectories(dir / "src");
        platform::CreateDirectories(dir / "data");
        TBuildRequest request(dir / "src\\", bif, key, false);
        for (const auto& [name, text] : sources) {
            WriteText(dir / ("src\\" + name), text);
            request.Files.push_back(name);
        }
        BuildArchive(request);
    }

    std::shared_ptr<TNWNKeyFile> LoadKey() {
        auto model = std::make_shared<TNWNKeyFile>();
        model->LoadFromFile(key);
        return model;
    }

    // Builds again from the same sources into the same BIF and KEY.
    void Rebuild(bool append) {
        TBuildRequest request(dir / "src\\", bif, key, append);
        request.Files = platform::ListPlainFiles(dir / "src");
        BuildArchive(request);
    }

    WinTempDir dir;
    std::string key = dir / "x.key";
    std::string bif = dir / "data\\x.bif";
};

TEST_F(WinArchive, HeldKeyIsReportedNotRead) {
    Build({{"ok.nss", "void main() {}"}});
    HeldFile held(key);
    ASSERT_TRUE(held.IsHeld());
    TNWNKeyFile model;
    EXPECT_THAT(ErrorOf<EFOpenError>([&] { model.LoadFromFile(key); }),
                StartsWith("Cannot open file \"" + key + "\". "));
    EXPECT_TRUE(model.Filenames.empty());

    held.Release();
    model.LoadFromFile(key);
    ASSERT_EQ(model.Filenames.size(), 1u);
    EXPECT_EQ(model.Filenames[0].Filename, "data\\x.bif");
}

TEST_F(WinArchive, HeldBifIsReportedNotOpened) {
    Build({{"ok.nss", "void main() {}"}, {"door.dlg", "dialog"}});
    const auto model = LoadKey();
    {
        HeldFile held(bif);
        ASSERT_TRUE(held.IsHeld());
        EXPECT_THAT(ErrorOf<EFOpenError>([&] { OpenBif(bif, model.get()); }),
                    StartsWith("Cannot open file \"" + bif + "\". "));
    }
    EXPECT_EQ(OpenBif(bif, model.get()).Tables.VarResources.size(), 2u);
}

TEST_F(WinArchive, BuildOverHeldFilesChangesNothing) {
    Build({{"ok.nss", "void main() {}"}, {"door.dlg", "dialog"}});
    WriteText(dir / "src\\new.2da", "2DA V2.0");
    const auto before = Snapshot(dir.Root());

    for (const bool append : {true, false}) {
        for (const std::string& target : {key, bif}) {
            SCOPED_TRACE((append ? "append, held " : "replace, held ") + target);
            HeldFile held(target);
            ASSERT_TRUE(held.IsHeld());
            EXPECT_THROW(Rebuild(append), EVellocarError);
            held.Release();
            EXPECT_EQ(Snapshot(dir.Root()), before) << "no backup, no temporary file, no change";
        }
    }

    // The refusal of an append names the KEY that could not be opened.
    HeldFile held(key);
    EXPECT_THAT(ErrorOf<EVellocarError>([&] { Rebuild(true); }), StartsWith("Cannot open file \"" + key + "\". "));
}

TEST_F(WinArchive, ExportSkipsDeviceNamesAndWritesTheRest) {
    // Four of the resources have the names of devices, as a hostile or broken KEY might give.
    test::WriteArchive(dir.Root(), "x.key",
                       {{"data\\x.bif",
                         {{"nul", test::kTypeNss, "1"},
                          {"com1", 2029, "2"},
                          {"lpt1", test::kTypeTxt, "3"},
                          {"CON", test::kTypeNss, "4"},
                          {"ok", test::kTypeNss, "5"}}}});
    const auto model = LoadKey();

    const TOpenedBif file = OpenBif(bif, model.get());
    ASSERT_EQ(ResourceLines(*model, 0).size(), 5u);
    platform::CreateDirectories(dir / "out");
    const std::string out = dir / "out\\";

    const TExportReport report = ExportResources(file, model.get(), TExportRequest(out));
    std::vector<std::string> skipped;
    for (const TSkippedResource& s : report.Skipped) skipped.push_back(s.Name);
    EXPECT_THAT(skipped, ElementsAre("nul.nss", "com1.dlg", "lpt1.txt", "CON.nss"));
    for (const TSkippedResource& s : report.Skipped) EXPECT_FALSE(s.Reason.empty()) << s.Name;
    EXPECT_THAT(AllEntries(dir / "out"), ElementsAre("ok.nss"));
    EXPECT_EQ(ReadText(dir / "out\\ok.nss"), "5");

    EXPECT_EQ(
        ExportResources(file, model.get(), TExportRequest(out, std::vector<std::size_t>{0, 1, 2, 3, 4})).Skipped.size(),
        4u);
    EXPECT_THAT(AllEntries(dir / "out"), ElementsAre("ok.nss"));
}

// A symbolic link at link to target: under Wine a Unix link made by the system's own ln (which
// Wine shows as its target, reparse attribute and all gone), on Windows a symbolic link. False
// when neither can be made here.
bool MakeLink(const std::string& link, const std::string& target) {
    const auto unix = [](std::string path) {
        for (char& c : path) c = c == '\\' ? '/' : c;
        return path.substr(2); // Wine's Z: is the Unix root
    };
    std::string command = "Z:\\bin\\ln -s " + unix(target) + " " + unix(link);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (link.rfind("Z:", 0) == 0 &&
        CreateProcessA("Z:\\bin\\ln", command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    } else {
        CreateSymbolicLinkA(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
    }
    // Wine's handle on a Unix program may be signalled before the program is done.
    for (int wait = 0; wait < 200 && !platform::LookAt(link); ++wait) Sleep(10);
    return platform::LookAt(link).has_value();
}

TEST_F(WinArchive, ExportLeavesALinksTargetAndWritesTheRest) {
    test::WriteArchive(dir.Root(), "x.key",
                       {{"data\\x.bif", {{"a", test::kTypeNss, "1"}, {"b", test::kTypeNss, "2"}}}});
    const auto model = LoadKey();
    const TOpenedBif file = OpenBif(bif, model.get());
    platform::CreateDirectories(dir / "out");
    WriteText(dir / "precious.txt", "precious");
    if (!MakeLink(dir / "out\\a.nss", dir / "precious.txt")) GTEST_SKIP() << "no link can be made here";

    const TExportReport report = ExportResources(file, model.get(), TExportRequest(dir / "out\\"));
    EXPECT_EQ(ReadText(dir / "precious.txt"), "precious");
    EXPECT_EQ(ReadText(dir / "out\\b.nss"), "2");
    // Replaced by a file of its own, or left and named.
    if (report.Written == 2) {
        EXPECT_EQ(ReadText(dir / "out\\a.nss"), "1");
        EXPECT_EQ(platform::LookAt(dir / "out\\a.nss")->What, platform::EntryFacts::Kind::Regular);
    } else {
        ASSERT_EQ(report.Skipped.size(), 1u);
        EXPECT_EQ(report.Skipped[0].Name, "a.nss");
        EXPECT_THAT(report.Skipped[0].Reason, StartsWith("Cannot create file \"" + (dir / "out\\a.nss") + "\". "));
    }
}

} // namespace
} // namespace vellocar
