// Builds that cannot or must not finish. In every case the files that were there before are
// still there, byte for byte, and no temporary file is left behind.

#include "BuildTestHelpers.h"

#include "base/Errors.h"
#include "operations/Build.h"
#include "operations/BuildGuard.h"
#include "operations/Export.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace vellocar::test {
namespace {

namespace fs = std::filesystem;

// A FIFO at path; false where the system has none (Windows).
bool MakeFifo(const std::string& path) {
#ifdef _WIN32
    (void)path;
    return false;
#else
    return ::mkfifo(path.c_str(), 0600) == 0;
#endif
}

// A folder with an earlier KEY (naming two BIFs) and BIF, and their backups, that a failed
// build must leave exactly as they are.
struct FailureFixture : BuildFixture {
    Snapshot Before;

    explicit FailureFixture(const std::string& out = "") {
        if (!out.empty()) Out = out;
        Key desc;
        desc.AddBif("data\\x.bif", 3, "x");
        desc.AddBif("data\\y.bif", 2, "y");
        WriteFile(OutPath("k.key"), desc.Write());
        WriteFile(OutPath("x.bif"), std::string("BIFFV1  the old x.bif"));
        WriteFile(OutPath("k.key.bak"), std::string("an older key"));
        WriteFile(OutPath("x.bif.bak"), std::string("an older bif"));
        Before = TakeSnapshot(Out);
    }
    void ExpectUnchanged() const {
        const Snapshot after = TakeSnapshot(Out);
        EXPECT_EQ(Names(after), Names(Before));
        EXPECT_TRUE(after == Before) << "an existing file was changed";
    }
};

template <class Error>
std::string FailsWith(FailureFixture& f, bool append = true) {
    try {
        f.Build("x.bif", "k.key", append);
    } catch (const Error& e) {
        return e.what();
    } catch (const std::exception& e) {
        ADD_FAILURE() << "unexpected error: " << e.what();
        return "";
    }
    ADD_FAILURE() << "the build did not fail";
    return "";
}

TEST(BuildRefused, EmptyListChangesNothing) {
    FailureFixture f;
    const std::string message = FailsWith<EBuildRefused>(f);
    EXPECT_NE(message.find("no files"), std::string::npos) << message;
    EXPECT_NE(message.find("Nothing was changed"), std::string::npos) << message;
    f.ExpectUnchanged();
    EXPECT_FALSE(f.Gauge.Shown);
}

TEST(BuildRefused, LongBaseNamesAreAllNamed) {
    FailureFixture f;
    f.AddFile("short.nss", 1);
    f.AddFile("abcdefghijklmnopq.nss", 1); // 17 characters before the extension
    f.AddFile("another_name_too_long.2da", 1);
    f.AddFile("abcdefghijklmnop.nss", 1); // 16 fit
    const std::string message = FailsWith<EBuildRefused>(f);
    EXPECT_NE(message.find("\"abcdefghijklmnopq.nss\""), std::string::npos) << message;
    EXPECT_NE(message.find("\"another_name_too_long.2da\""), std::string::npos) << message;
    EXPECT_EQ(message.find("short.nss"), std::string::npos) << message;
    EXPECT_EQ(message.find("\"abcdefghijklmnop.nss\""), std::string::npos) << message;
    f.ExpectUnchanged();
}

TEST(BuildRefused, NamesThatCannotComeBackOutAreAllNamedUpFront) {
    // Each would pack, but the game could not read it as meant, or extract would not write it.
    const struct {
        std::string name;
        const char* why;
    } cases[] = {
#ifdef _WIN32
        {"\xe6?.txt",
         "holds characters that this system's code page cannot hold"}, // as the listing gives a name it cannot hold
#else
        {"\xe6\x97\xa5.txt", "holds characters that Windows-1252, the code page of the game's names, cannot hold"},
        {"caf\xe9.txt", "is not valid UTF-8"},
        {"a\xc2\x81.txt", "holds a control character"}, // U+0081, a C1 control
        {"a?b.txt", "could not be exported again: the name holds the character '?'"},
#endif
        {"line\nbreak.txt", "holds a control character"},
        {"con.txt", "could not be exported again: the name is a Windows device name"},
    };
    FailureFixture f;
    f.AddFile("fine.nss", 1);
    for (const auto& c : cases) f.List.push_back(c.name); // refused from the name alone: no file needed
    const std::string message = FailsWith<EBuildRefused>(f);
    for (const auto& c : cases) EXPECT_TRUE(Contains(message, "\"" + c.name + "\" (it " + std::string(c.why)));
    EXPECT_FALSE(Contains(message, "fine.nss"));
    EXPECT_FALSE(Contains(message, "no longer there"));
    f.ExpectUnchanged();
}

TEST(BuildRefused, FilesThatAreGoneOrNotOrdinary) {
    {
        FailureFixture f;
        f.AddFile("here.nss", 1);
        f.List.push_back("gone.nss");
        const std::string message = FailsWith<EBuildRefused>(f);
        EXPECT_NE(message.find("gone.nss"), std::string::npos) << message;
        f.ExpectUnchanged();
    }
    {
        // A FIFO would block the build forever if it were opened; it is refused from its entry.
        FailureFixture f;
        f.AddFile("here.nss", 1);
        const bool fifo = MakeFifo(f.Source + "pipe.nss");
        if (fifo) f.List.push_back("pipe.nss");
        fs::create_directory(f.Source + "folder.nss");
        f.List.push_back("folder.nss");
        const std::string message = FailsWith<EBuildRefused>(f);
        if (fifo) {
            EXPECT_NE(message.find("pipe.nss"), std::string::npos) << message;
        }
        EXPECT_NE(message.find("folder.nss"), std::string::npos) << message;
        f.ExpectUnchanged();
    }
}

TEST(BuildRefused, LimitsOfTheFormats) {
    {
        // More files than the 20 bits of a ResId can index; refused before any is looked at.
        FailureFixture f;
        for (int i = 0; i <= (1 << 20); ++i) f.List.push_back("f.nss");
        const std::string message = FailsWith<EBuildRefused>(f);
        EXPECT_NE(message.find("1048576"), std::string::npos) << message;
        f.ExpectUnchanged();
    }
    {
        // Two sparse files of 2 GiB each: together with the tables, past 32-bit offsets.
        FailureFixture f;
        for (const char* name : {"big1.tga", "big2.tga"}) {
            std::ofstream(f.Source + name).close();
            fs::resize_file(f.Source + name, std::uintmax_t{1} << 31);
            f.List.push_back(name);
        }
        const std::string message = FailsWith<EBuildRefused>(f);
        EXPECT_NE(message.find("4 GiB"), std::string::npos) << message;
        f.ExpectUnchanged();
    }
    {
        // One sparse file of 5 GiB beside a small one: the refusal gives the real total,
        // 20 + 2 x 16 bytes of tables, 5 GiB and 10 bytes.
        FailureFixture f;
        f.AddFile("small.nss", 10);
        std::ofstream(f.Source + "huge.tga").close();
        fs::resize_file(f.Source + "huge.tga", std::uintmax_t{5} << 30);
        f.List.push_back("huge.tga");
        const std::string message = FailsWith<EBuildRefused>(f);
        EXPECT_NE(message.find(" 5368709182 bytes "), std::string::npos) << message;
        f.ExpectUnchanged();
    }
    {
        // A KEY that already names 4,096 BIFs has no index left for another one.
        FailureFixture f;
        Key desc;
        for (int i = 0; i < 4096; ++i) desc.AddBif("data\\b" + std::to_string(i) + ".bif", 0, "");
        WriteFile(f.OutPath("k.key"), desc.Write());
        f.Before = TakeSnapshot(f.Out);
        f.AddFile("a.nss", 1);
        const std::string message = FailsWith<EBuildRefused>(f);
        EXPECT_NE(message.find("4096"), std::string::npos) << message;
        f.ExpectUnchanged();
    }
}

TEST(BuildRefused, TargetsMustBeTwoOrdinaryFiles) {
    FailureFixture f;
    f.AddFile("a.nss", 1);
    EXPECT_THROW(BuildArchive(f.Request(f.OutPath("k.key"), f.OutPath("k.key"), true)), EBuildRefused);
    EXPECT_THROW(BuildArchive(f.Request(f.OutPath("k.key.bak"), f.OutPath("k.key"), true)), EBuildRefused);
    // A KEY name taken by a FIFO: loading it for append would wait for a writer forever.
    const bool fifo = MakeFifo(f.OutPath("fifo.key"));
    fs::create_directory(f.OutPath("dir.bif"));
    f.Before = TakeSnapshot(f.Out);
    if (fifo) {
        EXPECT_THROW(f.Build("x.bif", "fifo.key", true), EBuildRefused);
    }
    EXPECT_THROW(f.Build("dir.bif", "k.key", true), EBuildRefused);
    f.ExpectUnchanged();
}

TEST(BuildRefused, TargetsMustBeWhatTheyAreNamed) {
    // BIF and KEY given the other way round, or a name taken by some other file: the build
    // would replace each with the other kind. Refused, quoting what the file starts with.
    FailureFixture f;
    f.AddFile("a.nss", 1);
    WriteFile(f.OutPath("notes.txt"),
              std::string("\x7F"
                          "ELF notes"));
    // Of another version, which a build without --append would replace.
    WriteFile(f.OutPath("nwn2.key"), std::string("KEY V1.1 tables laid out otherwise"));
    WriteFile(f.OutPath("e1.bif"), std::string("BIFFE1  "));
    f.Before = TakeSnapshot(f.Out);
    const struct {
        const char *bif, *key, *says;
    } cases[] = {
        {"k.key", "x.bif", "its first bytes are \"KEY V1  \""},
        {"x.bif", "k.key.bak", "its first bytes are \"an older\""},
        {"notes.txt", "new.key", "its first bytes are \"\\x7FELF not\""},
        {"x.bif", "nwn2.key", "is a KEY of version \"V1.1\", which Vellocar does not read"},
        {"e1.bif", "new.key", "is a BIF of version \"E1  \", which Vellocar reads but does not write"},
    };
    for (const auto& c : cases) {
        try {
            f.Build(c.bif, c.key, false);
            ADD_FAILURE() << c.bif << " " << c.key << " was built";
        } catch (const EBuildRefused& e) {
            EXPECT_TRUE(Contains(e.what(), c.says));
        }
    }
    f.ExpectUnchanged();
}

TEST(BuildRefused, TargetsThatAreOneFileHoweverSpelled) {
    // Each spelling of a name, for each pair of names that must not be one file: the BIF and
    // the KEY, and either of them and the other's backup; existing files and names to be.
    struct Spelling {
        const char* what;
        std::function<std::optional<std::string>(FailureFixture&, const std::string&)> spell;
    };
    const std::vector<Spelling> spellings = {
        {"./", [](FailureFixture& f, const std::string& n) { return std::optional(f.Out + "/./" + n); }},
        {"..", [](FailureFixture& f, const std::string& n) { return std::optional(f.Out + "/../out/" + n); }},
        {"hard link",
         [](FailureFixture& f, const std::string& n) -> std::optional<std::string> {
             if (!fs::exists(f.OutPath(n))) return std::nullopt;
             fs::create_hard_link(f.OutPath(n), f.OutPath("alias-" + n));
             return f.OutPath("alias-" + n);
         }},
#ifdef _WIN32
        {"letter case",
         [](FailureFixture& f, const std::string& n) {
             std::string upper = n;
             for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
             return std::optional(f.OutPath(upper));
         }},
        {"trailing dot", [](FailureFixture& f, const std::string& n) { return std::optional(f.OutPath(n + ".")); }},
        {"trailing blank", [](FailureFixture& f, const std::string& n) { return std::optional(f.OutPath(n + " ")); }},
        {"short name",
         [](FailureFixture& f, const std::string& n) -> std::optional<std::string> {
             char shortPath[MAX_PATH];
             const DWORD length = GetShortPathNameA(f.OutPath(n).c_str(), shortPath, MAX_PATH);
             if (length == 0 || length >= MAX_PATH || f.OutPath(n) == shortPath) return std::nullopt;
             return std::string(shortPath);
         }},
#else
        {"linked folder",
         [](FailureFixture& f, const std::string& n) {
             if (!fs::exists(f.Dir.path() / "link")) fs::create_directory_symlink(f.Out, f.Dir.path() / "link");
             return std::optional((f.Dir.path() / "link" / n).string());
         }},
#endif
    };
    // {plain name, spelled name, whether the BIF is the spelled one}
    const struct {
        const char* plain;
        const char* spelled;
        bool bifSpelled;
    } pairs[] = {
        {"m.bin", "m.bin", false},     {"k.key", "k.key", false},     {"longer-name.bin", "longer-name.bin", false},
        {"x.bif", "x.bif.bak", false}, {"n.bif", "n.bif.bak", false}, {"k.key", "k.key.bak", true},
        {"o.key", "o.key.bak", true},
    };
    int refused = 0;
    for (const Spelling& spelling : spellings) {
        for (const auto& pair : pairs) {
            FailureFixture f;
            WriteFile(f.OutPath("longer-name.bin"), std::string("a long-named file"));
            f.AddFile("a.nss", 1);
            const auto spelled = spelling.spell(f, pair.spelled);
            if (!spelled) continue;
            f.Before = TakeSnapshot(f.Out);
            const std::string plain = f.OutPath(pair.plain);
            const std::string& bif = pair.bifSpelled ? *spelled : plain;
            const std::string& key = pair.bifSpelled ? plain : *spelled;
            try {
                BuildArchive(f.Request(bif, key, true));
                ADD_FAILURE() << spelling.what << ": built " << bif << " with " << key;
            } catch (const EBuildRefused& e) {
                ++refused;
                const std::string message = e.what();
                EXPECT_NE(message.find("\"" + bif + "\""), std::string::npos) << message;
                EXPECT_NE(message.find("\"" + key + "\""), std::string::npos) << message;
            }
            f.ExpectUnchanged();
        }
    }
    EXPECT_GE(refused, 20);
}

TEST(BuildFailure, UnreadableKeyInAppendModeChangesNothing) {
    FailureFixture f;
    WriteFile(f.OutPath("k.key"), std::string("KEY V1  \x05")); // cut off inside its header
    f.Before = TakeSnapshot(f.Out);
    f.AddFile("a.nss", 1);
    try {
        f.Build("x.bif", "k.key", true);
        ADD_FAILURE() << "a broken KEY was extended";
    } catch (const EVellocarError& e) {
        EXPECT_NE(std::string(e.what()).find("nothing was changed"), std::string::npos) << e.what();
    }
    f.ExpectUnchanged();
}

TEST(BuildFailure, SourceThatChangesBeforeItIsCopied) {
    // Each case changes the third file just before the data pass reaches it.
    struct Case {
        const char* what;
        std::function<void(const std::string&)> change;
        const char* says; // how the message starts
    };
    const Case cases[] = {
        {"grows", [](const std::string& p) { WriteFile(p, Bytes(500, 7)); }, "\""},
        {"shrinks", [](const std::string& p) { WriteFile(p, Bytes(3, 7)); }, "Stream read error: \""},
        {"vanishes", [](const std::string& p) { fs::remove(p); }, "Cannot open file \""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FailureFixture f;
        f.AddFile("a.2da", 100);
        f.AddFile("b.2da", 100);
        f.AddFile("c.2da", 100);
        f.AddFile("d.2da", 100);
        const std::string path = f.Source + "c.2da";
        f.Gauge.ActAt = 2;
        f.Gauge.Action = [&] { c.change(path); };
        try {
            f.Build("x.bif", "k.key", true);
            ADD_FAILURE() << "the build did not fail";
        } catch (const EVellocarError& e) {
            const std::string message = e.what();
            EXPECT_EQ(message.rfind(std::string(c.says) + path + "\"", 0), 0u) << message;
        }
        f.ExpectUnchanged();
    }
}

TEST(BuildFailure, FullDiskLeavesTheOldFilesAndNoTemporaries) {
    BuildFixture scratch;
    const fs::path mountPoint = scratch.Dir.path() / "small";
    ScratchMount disk(mountPoint, "size=256k");
    if (!disk.Mounted()) GTEST_SKIP() << "no tmpfs can be mounted here";
    FailureFixture f(mountPoint.string());
    f.AddFile("big.tga", 600 * 1024);
    try {
        f.Build("x.bif", "k.key", true);
        ADD_FAILURE() << "the build fitted a 600 KiB file into 256 KiB";
    } catch (const EWriteError& e) {
        EXPECT_NE(std::string(e.what()).find("Stream write error"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("no existing file was changed"), std::string::npos);
    }
    f.ExpectUnchanged();
}

TEST(BuildFailure, FolderWhereNothingCanBeCreated) {
    BuildFixture scratch;
    const fs::path mountPoint = scratch.Dir.path() / "ro";
    ScratchMount disk(mountPoint, "size=1m");
    if (!disk.Mounted()) GTEST_SKIP() << "no tmpfs can be mounted here";
    FailureFixture f(mountPoint.string());
    ASSERT_TRUE(disk.Remount("ro"));
    f.AddFile("a.nss", 10);
    const std::string message = FailsWith<EFCreateError>(f);
    // Named as the user chose it, not by the lock or temporary that is made there first.
    EXPECT_NE(message.find("Cannot create file \"" + f.OutPath("k.key") + "\". "), std::string::npos) << message;
    EXPECT_EQ(message.find(".tmp"), std::string::npos) << message;
    f.ExpectUnchanged();
}

TEST(BuildFailure, KeyFolderWhereNothingCanBeCreatedNamesTheKey) {
    // The BIF can be written, the KEY beside it cannot: the error names the KEY as chosen.
    FailureFixture f;
    const fs::path mountPoint = fs::path(f.Out) / "ro";
    ScratchMount disk(mountPoint, "size=1m");
    if (!disk.Mounted()) GTEST_SKIP() << "no tmpfs can be mounted here";
    ASSERT_TRUE(disk.Remount("ro"));
    f.Before = TakeSnapshot(f.Out);
    f.AddFile("a.nss", 10);
    std::string message;
    try {
        f.Build("x.bif", "ro/k.key", false);
        ADD_FAILURE() << "the build wrote a KEY onto a read-only disk";
    } catch (const EFCreateError& e) {
        message = e.what();
    }
    EXPECT_NE(message.find("Cannot create file \"" + f.OutPath("ro/k.key") + "\". "), std::string::npos) << message;
    EXPECT_EQ(message.find(".tmp"), std::string::npos) << message;
    f.ExpectUnchanged();
}

TEST(BuildFailure, KeyThatCannotBeMovedAsideRollsTheBifBack) {
    // A file bind-mounted over the KEY cannot be renamed (EBUSY), which fails the rotation
    // after the new BIF is already in place; it must be taken back.
    FailureFixture f;
    if (!ScratchMount::Run("mount --bind " + f.OutPath("k.key") + " " + f.OutPath("k.key"))) {
        GTEST_SKIP() << "no bind mount can be made here";
    }
    struct Unmount {
        std::string path;
        ~Unmount() { ScratchMount::Run("umount " + path); }
    } unmount{f.OutPath("k.key")};
    f.AddFile("a.nss", 10);
    const std::string message = FailsWith<EInOutError>(f);
    EXPECT_NE(message.find("File access denied"), std::string::npos) << message;
    EXPECT_NE(message.find("back at their names"), std::string::npos) << message;
    f.ExpectUnchanged();
}

TEST(BuildFailure, KeyHeldOpenElsewhereChangesNothing) {
    // Windows gives no sharing: while another program (the game) holds the KEY open, it can
    // be neither read nor renamed, and the build stops before it writes anything. Elsewhere an
    // open file can be renamed, and the bind mount above covers the rotation's side.
    FailureFixture f;
    f.AddFile("a.nss", 10);
    std::string message;
    {
        platform::File held = platform::File::OpenRead(f.OutPath("k.key"));
        try {
            f.Build("x.bif", "k.key", false);
        } catch (const EVellocarError& e) {
            message = e.what();
        }
    }
    if (message.empty()) {
        if (platform::PathExists(f.OutPath("k.key.bak"))) GTEST_SKIP() << "open files can be renamed here";
        FAIL() << "the build did not fail";
    }
    EXPECT_NE(message.find("k.key"), std::string::npos) << message;
    EXPECT_NE(message.find("Nothing was changed"), std::string::npos) << message;
    f.ExpectUnchanged();
}

TEST(WindowsRules, AFolderThatComparesNamesAsWindowsDoesGetsItsRules) {
    // Windows itself, or on Linux a FAT stick: letter case (of every letter) and trailing dots
    // count for nothing there, devices and streams hide behind names. Refused up front for the
    // build; for the export, the first of two names for one file is written, the KEY being read
    // never overwritten.
    TempDir scratch;
#ifdef _WIN32
    const std::string folder = scratch.path().string();
    const std::string e = "\xE9", E = "\xC9"; // the ANSI code page's e acute, small and capital
#else
    const std::string folder = (scratch.path() / "stick").string();
    const FatMount stick(folder);
    if (!stick.Mounted()) GTEST_SKIP() << "no FAT file system can be mounted here (root, FUSE and fusefat needed)";
    const std::string e = "\xC3\xA9", E = "\xC3\x89";
#endif
    ASSERT_EQ(platform::FolderNameRules(folder), platform::NameRules::Windows);
    // Joined as strings: a path object would read the names' bytes in another encoding.
    const auto at = [&folder](const std::string& name) { return folder + "/" + name; };
    std::filesystem::create_directory(at("src"));
    WriteFile(at("src/a.2da"), std::string("a"));
    const std::vector<std::string> list{"a.2da"};
    const Snapshot before = TakeSnapshot(folder);
    for (const auto& [bif, key] : std::vector<std::pair<std::string, std::string>>{{"mod.bif", "MOD.BIF"},
                                                                                   {e + ".bif", E + ".BIF."},
                                                                                   {"nul.bif", "x.key"},
                                                                                   {"x.bif", "CON"},
                                                                                   {"COM1.bif", "x.key"},
                                                                                   {"aux.bif", "x.key"},
                                                                                   {"x.bif", "lpt0.key"},
                                                                                   {"x.bif", "x.key:hidden"},
                                                                                   {"x.bif", "x.bif::$DATA"}}) {
        TBuildRequest request(at("src/"), at(bif), at(key));
        request.Files = list;
        EXPECT_THROW(BuildArchive(request), EBuildRefused) << bif << " " << key;
    }
    EXPECT_TRUE(TakeSnapshot(folder) == before) << Names(TakeSnapshot(folder));

    // Two spellings of one KEY are one writer.
    const TTargetLocks held({at("mod.key")}, std::chrono::milliseconds(0), nullptr);
    EXPECT_THROW(TTargetLocks({at("MOD.KEY")}, std::chrono::milliseconds(0), nullptr), EBuildRefused);

    const std::string key = WriteArchive(
        folder, "readme.txt",
        {{"data\\r.bif",
          {{"README", kTypeTxt, "over the KEY"}, {"Other", kTypeTxt, "first"}, {"OTHER", kTypeTxt, "second"}}}});
    const Bytes keyBytes = ReadFile(key);
    auto model = std::make_shared<TNWNKeyFile>();
    model->LoadFromFile(key);
    const TOpenedBif bif = OpenBif(LocateBif(folder, "data\\r.bif").Path, model.get());
    const TExportReport report = ExportResources(bif, model.get(), TExportRequest(at("")));
    EXPECT_EQ(report.Written, 1u);
    std::vector<std::string> skipped;
    for (const TSkippedResource& s : report.Skipped) skipped.push_back(s.Name);
    EXPECT_EQ(skipped, (std::vector<std::string>{"README.txt", "OTHER.txt"}));
    EXPECT_EQ(ReadFile(key), keyBytes);
    EXPECT_EQ(ReadFile(at("other.txt")), Bytes(std::string("first")));
}

} // namespace
} // namespace vellocar::test
