// "cmake --install" makes a desktop application: executable, launcher,
// icon in every size of the hicolor theme and AppStream data, all of which
// pass the desktop's own validators.

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

bool run(const std::string& command, std::string& output)
{
    g_autofree char* out = nullptr;
    g_autofree char* err = nullptr;
    int status = 0;
    if (!g_spawn_command_line_sync(command.c_str(), &out, &err, &status, nullptr))
        return false;
    output = std::string(out ? out : "") + (err ? err : "");
    return g_spawn_check_wait_status(status, nullptr);
}

std::string read_file(const fs::path& file)
{
    g_autofree char* text = nullptr;
    return g_file_get_contents(file.c_str(), &text, nullptr, nullptr) ? text : "";
}

}  // namespace

TEST(Install, PutsADesktopApplicationInPlace)
{
    g_autofree char* made = g_dir_make_tmp("brenvaldor-install-XXXXXX", nullptr);
    ASSERT_NE(made, nullptr);
    fs::path prefix(made);
    std::string log;
    ASSERT_TRUE(run("cmake --install " BRENVALDOR_BINARY_DIR " --prefix " + prefix.string(), log)) << log;

    fs::path bin = prefix / "bin" / "brenvaldor";
    ASSERT_TRUE(fs::exists(bin));
    EXPECT_NE(fs::status(bin).permissions() & fs::perms::owner_exec, fs::perms::none);

    fs::path desktop = prefix / "share" / "applications" / "com.Brenvaldor.desktop";
    std::string entry = read_file(desktop);
    EXPECT_NE(entry.find("\nExec=brenvaldor\n"), std::string::npos);
    EXPECT_NE(entry.find("\nIcon=com.Brenvaldor\n"), std::string::npos);
    EXPECT_TRUE(run("desktop-file-validate " + desktop.string(), log)) << log;

    fs::path metainfo = prefix / "share" / "metainfo" / "com.Brenvaldor.metainfo.xml";
    EXPECT_NE(read_file(metainfo).find("<launchable type=\"desktop-id\">com.Brenvaldor.desktop</launchable>"),
              std::string::npos);
    EXPECT_TRUE(run("appstreamcli validate --no-net " + metainfo.string(), log)) << log;

    for (int size : {16, 24, 32, 48, 64, 128, 256, 512}) {
        SCOPED_TRACE(size);
        std::string folder = std::to_string(size) + "x" + std::to_string(size);
        fs::path icon = prefix / "share" / "icons" / "hicolor" / folder / "apps" / "com.Brenvaldor.png";
        int width = 0, height = 0;
        GdkPixbufFormat* format = gdk_pixbuf_get_file_info(icon.c_str(), &width, &height);
        ASSERT_NE(format, nullptr);
        g_autofree char* name = gdk_pixbuf_format_get_name(format);
        EXPECT_STREQ(name, "png");
        EXPECT_EQ(std::make_pair(width, height), std::make_pair(size, size));
    }
    fs::remove_all(prefix);
}
