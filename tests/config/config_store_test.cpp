#include "config/config_store.h"

#include <gtest/gtest.h>

#include <sstream>

#include "config/language_table.h"
#include "support/temp_dir.h"

namespace qelv::core {
namespace {

using test::TempDir;

struct Loaded {
    bool ok;
    ConfigStore store;
    std::string diag;
};

Loaded loadText(std::string_view xml) {
    TempDir dir;
    const auto path = dir.write("viewerconfig.cfg", xml);
    Loaded result{false, {}, {}};
    std::ostringstream diag;
    result.ok = result.store.load(path, diag);
    result.diag = diag.str();
    return result;
}

// A complete file around the given configs body and lstrings body.
std::string configFile(std::string_view configs, std::string_view lstrings = "") {
    return "<?xml version=\"1.0\"?>\n<viewer><configs>" + std::string(configs) +
           "</configs><lstrings>" + std::string(lstrings) + "</lstrings></viewer>";
}

void expectDefaults(const ConfigStore& store) {
    EXPECT_EQ(store.language(), 0);
    EXPECT_TRUE(store.folders().empty());
    EXPECT_TRUE(store.extensions().empty());
    EXPECT_EQ(store.switches(), 0u);
    EXPECT_TRUE(store.strings().translations().empty());
}

TEST(ConfigStore, RefusedFilesLeaveDefaultsAndSayWhy) {
    const std::string settings =
        "<language>korean</language><dirs><dir type=\"NOR\">NOR</dir></dirs>"
        "<recursive removal=\"yes\"/>";
    struct Case {
        const char* what;
        std::string content;
        const char* message;
    };
    const Case cases[] = {
        {"empty file", "", "Can not configuration file"},
        {"not XML", "this is not <xml", "Can not configuration file"},
        {"odd bytes", std::string("\xff\xfe\0\x01<\x80>", 7), "Can not configuration file"},
        {"no root element", "<?xml version=\"1.0\"?><!-- nothing -->",
         "xml document has no root element"},
        {"no configs", "<viewer><lstrings/></viewer>", "xml document has no configs element"},
        // Settings are applied only once lstrings is known to be there.
        {"no lstrings", "<viewer><configs>" + settings + "</configs></viewer>",
         "xml document has no lstrings element"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Loaded loaded = loadText(c.content);
        EXPECT_FALSE(loaded.ok);
        expectDefaults(loaded.store);
        EXPECT_NE(loaded.diag.find(c.message), std::string::npos) << loaded.diag;
        // The placeholders name the place in the program that noticed it.
        EXPECT_EQ(loaded.diag.rfind("config_store.cpp(line:", 0), 0u) << loaded.diag;
    }
}

TEST(ConfigStore, MissingFileAndFolderAreRefused) {
    TempDir dir;
    for (const auto& path : {dir.path() / "absent.cfg", dir.path()}) {
        ConfigStore store;
        std::ostringstream diag;
        EXPECT_FALSE(store.load(path, diag));
        EXPECT_NE(diag.str().find("Can not configuration file"), std::string::npos);
        expectDefaults(store);
    }
}

TEST(ConfigStore, DeeplyNestedDocumentIsRefusedWithoutCrashing) {
    std::string xml;
    const std::size_t depth = 10u << 20 >> 3;  // about 10 MB of tags
    xml.reserve(depth * 8);
    for (std::size_t i = 0; i < depth; ++i) {
        xml += "<a>";
    }
    for (std::size_t i = 0; i < depth; ++i) {
        xml += "</a>";
    }
    const Loaded loaded = loadText(xml);
    EXPECT_FALSE(loaded.ok);
    expectDefaults(loaded.store);
}

TEST(ConfigStore, LanguageSelection) {
    struct Case {
        const char* elements;
        std::int32_t language;
    };
    const Case cases[] = {
        {"<language>korean</language>", 1},
        {"<language mode=\"0\">japanese</language>", 2},
        {"<language mode=\"1\">chinese</language>", 4},
        {"<language>chinese</language>", 3},
        {"<language mode=\"2\">chinese</language>", 0},  // no such pair: stays english
        {"<language mode=\"x\">russian</language>", 5},  // not a number reads as mode 0
        {"<language>English</language>", 0},             // names are case-sensitive
        {"<language>Korean</language>", 0},
        {"<language></language>", 0},
        {"<language>japanese</language><language>korean</language>", 2},  // first one only
        {"<language mode=\"1\">russian</language>", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.elements);
        const Loaded loaded = loadText(configFile(c.elements));
        EXPECT_TRUE(loaded.ok);
        EXPECT_EQ(loaded.store.language(), c.language);
    }
}

TEST(ConfigStore, FolderEntryRules) {
    const Loaded loaded = loadText(
        configFile("<dirs>"
                   "<dir type=\"NOR\" wyfsp=\"3\">NOR</dir>"
                   "<dir type=\"evt\">EVT</dir>"                // lower-case type, inherits wyfsp 3
                   "<dir type=\"EVT\">EVENT2</dir>"             // category already used
                   "<dir type=\"MOT\">NOR</dir>"                // name already used
                   "<dir type=\"USR\" wyfsp=\"100\">USR</dir>"  // out of range: stored as 0
                   "<dir type=\"PARKING\">PRK</dir>"            // unknown type
                   "<dir type=\"MOTMOTMOTMOTMOTMOT\">LONG</dir>"
                   "<dir>NOTYPE</dir>"
                   "<dir type=\"MOT\"/>"                       // no text
                   "<dir type=\"Mot\" wyfsp=\"-4\">MOT</dir>"  // negative is outside 0 to 99
                   "<dir type=\"photo\">DCIM</dir>"            // inherits -4, also stored as 0
                   "<folder type=\"NOR\">X</folder>"
                   "</dirs>"));
    ASSERT_TRUE(loaded.ok);
    struct Expected {
        FolderCategory category;
        const char* name;
        std::int32_t wyfsp;
    };
    const Expected expected[] = {
        {FolderCategory::Nor, "NOR", 3},    {FolderCategory::Evt, "EVT", 3},
        {FolderCategory::Usr, "USR", 0},    {FolderCategory::Mot, "MOT", 0},
        {FolderCategory::Photo, "DCIM", 0},
    };
    const auto& folders = loaded.store.folders();
    ASSERT_EQ(folders.size(), std::size(expected));
    for (std::size_t i = 0; i < folders.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(folders[i].category, expected[i].category);
        EXPECT_EQ(folders[i].name, expected[i].name);
        EXPECT_EQ(folders[i].wyfsp, expected[i].wyfsp);
    }
    EXPECT_FALSE(loaded.store.folderAt(-1));
    EXPECT_FALSE(loaded.store.folderAt(5));
    EXPECT_EQ(loaded.store.folderAt(1)->name, "EVT");
}

// The file as people and the recorder's PC tool write it: indented, values on lines of their
// own, comments, attributes in any order and quoting, a byte-order mark, CRLF line ends. A
// text's surrounding white space goes and inner runs become one space; attribute values are
// read as written.
TEST(ConfigStore, FileAsPeopleWriteIt) {
    const std::string lines[] = {
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
        "<!-- viewerconfig.cfg written by the recorder's PC tool -->",
        "<viewer>",
        "  <configs>",
        "    <language mode = '1' >",
        "      chinese",
        "    </language>",
        "    <dirs>",
        "      <!-- the recorder's folders -->",
        "      <dir wyfsp=\"2\" type=\"nor\">",
        "        NOR",
        "      </dir>",
        "      <dir\ttype='EVT'>\tEVT </dir>",
        "      <dir type=\"MOT\"><!-- parking -->MOT</dir>",  // a comment first: no text
        "      <dir wyfsp=\" 5\" type=\"USR\">My",
        "        Clips<!-- copied by hand --></dir>",
        "    </dirs>",
        "    <extensions>",
        "      <extension>",
        "        mp4",
        "      </extension>",
        "      <extension>mp4</extension>",
        "      <extension>   </extension>",
        "      <extension> AVI </extension>",
        "    </extensions>",
        "    <recursive desktop=\"Yes\"   removal='1'></recursive>",
        "    <capture addpos=\"true\" filetime=\"no\" />",
        "  </configs>",
        "  <lstrings>",
        "    <lstring id=\"COMM_SEL_FOLDER\">",
        "      <language mode=\"0\" type=\"english\">",
        "        Select",
        "        Folder",
        "      </language>",
        "      <language type=\"chinese\" mode=\"1\">\t選擇資料夾 </language>",
        "    </lstring>",
        "  </lstrings>",
        "</viewer>",
    };
    for (const std::string bom : {"", "\xEF\xBB\xBF"}) {
        for (const std::string end : {"\n", "\r\n"}) {
            SCOPED_TRACE((bom.empty() ? "no mark, " : "mark, ") +
                         std::string(end.size() == 1 ? "LF" : "CRLF"));
            std::string file = bom;
            for (const std::string& line : lines) {
                file += line + end;
            }
            const Loaded loaded = loadText(file);
            ASSERT_TRUE(loaded.ok) << loaded.diag;
            EXPECT_EQ(loaded.store.language(), 4);
            std::vector<std::string> folders;
            for (const FolderEntry& f : loaded.store.folders()) {
                folders.push_back(f.name + " " + std::to_string(f.wyfsp));
            }
            EXPECT_EQ(folders, (std::vector<std::string>{"NOR 2", "EVT 2", "My Clips 5"}));
            EXPECT_EQ(loaded.store.extensions(), (std::vector<std::string>{"mp4", "AVI"}));
            EXPECT_EQ(loaded.store.switches(), 0xBu);
            EXPECT_EQ(loaded.store.strings().lookup(0, "COMM_SEL_FOLDER"), "Select Folder");
            EXPECT_EQ(loaded.store.localizedString("COMM_SEL_FOLDER"), "選擇資料夾");
        }
    }
}

TEST(ConfigStore, ExtensionsKeepFileOrderAndCase) {
    const Loaded loaded = loadText(configFile(
        "<extensions><extension>MP4</extension><extension>mp4</extension>"
        "<extension>mp4</extension><extension/><extension>avi</extension></extensions>"));
    ASSERT_TRUE(loaded.ok);
    EXPECT_EQ(loaded.store.extensions(), (std::vector<std::string>{"MP4", "mp4", "avi"}));
    EXPECT_EQ(loaded.store.extensionAt(2), "avi");
    EXPECT_FALSE(loaded.store.extensionAt(3));
    EXPECT_FALSE(loaded.store.extensionAt(-1));
}

TEST(ConfigStore, SwitchesFollowTheBooleanRule) {
    struct Case {
        const char* value;
        bool set;
    };
    const Case cases[] = {
        {"true", true},   {"TRUE", true}, {"Yes", true},   {"1", true},
        {"false", false}, {"no", false},  {"0", false},    {"2", false},
        {"", false},      {"on", false},  {" yes", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        const std::string v = c.value;
        const Loaded loaded =
            loadText(configFile("<recursive removal=\"" + v + "\" desktop=\"" + v +
                                "\"/><capture filetime=\"" + v + "\" addpos=\"" + v + "\"/>"));
        ASSERT_TRUE(loaded.ok);
        EXPECT_EQ(loaded.store.switches(), c.set ? 0xFu : 0u);
    }
    const Loaded mixed =
        loadText(configFile("<recursive desktop=\"yes\"/><capture addpos=\"yes\"/>"));
    EXPECT_FALSE(mixed.store.removal());
    EXPECT_TRUE(mixed.store.desktop());
    EXPECT_FALSE(mixed.store.filetime());
    EXPECT_TRUE(mixed.store.addpos());
}

TEST(ConfigStore, LstringsRules) {
    const Loaded loaded = loadText(configFile(
        "<language>korean</language>",
        "<other id=\"BEFORE\"><language type=\"korean\">skipped</language></other>"
        "<lstring id=\"A\">"
        "<language type=\"english\">One\\nTwo</language>"
        "<language type=\"chinese\" mode=\"1\">traditional</language>"
        "<language type=\"chinese\">also traditional</language>"  // mode 1 is remembered
        "<language type=\"korean\" mode=\"0\">korean</language>"
        "<language mode=\"0\">no type</language>"
        "<language type=\"russian\"/>"
        "</lstring>"
        "<notanlstring id=\"B\"><language type=\"korean\">read anyway</language></notanlstring>"
        "<lstring><language type=\"korean\">no id</language></lstring>"
        "<lstring id=\"A\"><language type=\"korean\">duplicate</language></lstring>"));
    ASSERT_TRUE(loaded.ok);
    const LocalizedStrings& strings = loaded.store.strings();
    EXPECT_EQ(strings.lookup(0, "A"), "One\nTwo");
    EXPECT_EQ(strings.lookup(4, "A"), "traditional");
    EXPECT_EQ(strings.lookup(1, "A"), "korean");
    EXPECT_EQ(strings.lookup(1, "B"), "read anyway");
    EXPECT_FALSE(strings.lookup(1, "BEFORE"));
    EXPECT_FALSE(strings.lookup(5, "A"));
    EXPECT_EQ(loaded.store.localizedString("A"), "korean");
    // Second chinese mode-1 text and the second korean "A" are duplicates.
    EXPECT_NE(loaded.diag.find("Duplicated LSID(A) found, ignore it.\n"), std::string::npos);
    EXPECT_EQ(strings.translations().size(), 4u);
}

TEST(ConfigStore, NoFallbackToAnotherLanguage) {
    const Loaded loaded = loadText(configFile(
        "<language>korean</language>",
        "<lstring id=\"MAIN_MSG_NO_FILES\"><language type=\"english\">None</language></lstring>"));
    ASSERT_TRUE(loaded.ok);
    EXPECT_FALSE(loaded.store.localizedString("MAIN_MSG_NO_FILES"));
}

TEST(ConfigStore, SharedStoreIsLoadedOnce) {
    TempDir dir;
    const auto first = dir.write("a.cfg", configFile("<language>korean</language>"));
    const auto second = dir.write("b.cfg", configFile("<language>russian</language>"));
    std::ostringstream diag;
    ConfigStore& store = ConfigStore::shared(first, diag);
    EXPECT_EQ(&ConfigStore::shared(second, diag), &store);
    EXPECT_EQ(store.language(), 1);
}

TEST(ConfigStore, BundledConfigurationIsComplete) {
    ConfigStore store;
    std::ostringstream diag;
    ASSERT_TRUE(store.load(QELV_BUNDLED_CONFIG, diag)) << diag.str();
    EXPECT_TRUE(diag.str().empty()) << diag.str();
    EXPECT_EQ(store.language(), 0);
    ASSERT_EQ(store.folders().size(), 4u);
    EXPECT_EQ(store.folders()[3].name, "USR");
    EXPECT_EQ(store.extensions(), std::vector<std::string>{"mp4"});
    EXPECT_TRUE(store.removal());
    EXPECT_TRUE(store.desktop());
    EXPECT_FALSE(store.filetime());
    EXPECT_TRUE(store.addpos());
    for (const char* id : {"COMM_SEL_FOLDER", "SELDRV_COMBO_DESKTOP", "MAIN_MSG_NO_FILES"}) {
        for (std::int32_t language = 0; language < kNoLanguage; ++language) {
            SCOPED_TRACE(std::string(id) + " " + std::to_string(language));
            const auto text = store.strings().lookup(language, id);
            ASSERT_TRUE(text);
            EXPECT_FALSE(text->empty());
        }
    }
    EXPECT_EQ(store.localizedString("COMM_SEL_FOLDER"), "Select Folder");
}

}  // namespace
}  // namespace qelv::core
