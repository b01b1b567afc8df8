// "cmake --install" makes a desktop application: executable, launcher,
// icon in every size of the hicolor theme and AppStream data, all of which
// pass the desktop's own validators.

#include <gtest/gtest.h>
#include <glib.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

bool run(const std::string& command, std::string* output = nullptr)
{
    g_autofree char* out = nullptr;
    g_autofree char* err = nullptr;
    int status = 0;
    if (!g_spawn_command_line_sync(command.c_str(), &out, &err, &status, nullptr))
        return false;
    if (output)
        *output = std::string(out ? out : "") + (err ? err : "");
    return g_spawn_check_wait_status(status, nullptr);
}

// Width and height from a PNG's header; 0 when the file is no PNG.
std::pair<unsigned, unsigned> png_size(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    unsigned char header[24] = {};
    in.read(reinterpret_cast<char*>(header), sizeof header);
    if (!in || std::string(reinterpret_cast<char*>(header + 12), 4) != "IHDR")
        return {0, 0};
    auto number = [&](int at) {
        return unsigned(header[at]) << 24 | unsigned(header[at + 1]) << 16 | unsigned(header[at + 2]) << 8 |
               unsigned(header[at + 3]);
    };
    return {number(16), number(20)};
}

std::string read_file(const fs::path& file)
{
    std::ifstream in(file);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(Install, PutsADesktopApplicationInPlace)
{
    g_autofree char* made = g_dir_make_tmp("brenvaldor-install-XXXXXX", nullptr);
    ASSERT_NE(made, nullptr);
    fs::path prefix(made);
    std::string log;
    ASSERT_TRUE(run("cmake --install " BRENVALDOR_BINARY_DIR " --prefix " + prefix.string(), &log)) << log;

    fs::path bin = prefix / "bin" / "brenvaldor";
    ASSERT_TRUE(fs::exists(bin));
    EXPECT_NE(fs::status(bin).permissions() & fs::perms::owner_exec, fs::perms::none);

    fs::path desktop = prefix / "share" / "applications" / "com.Brenvaldor.desktop";
    ASSERT_TRUE(fs::exists(desktop));
    std::string entry = read_file(desktop);
    EXPECT_NE(entry.find("\nExec=brenvaldor\n"), std::string::npos);
    EXPECT_NE(entry.find("\nIcon=com.Brenvaldor\n"), std::string::npos);
    EXPECT_TRUE(run("desktop-file-validate " + desktop.string(), &log)) << log;

    fs::path metainfo = prefix / "share" / "metainfo" / "com.Brenvaldor.metainfo.xml";
    ASSERT_TRUE(fs::exists(metainfo));
    EXPECT_NE(read_file(metainfo).find("<launchable type=\"desktop-id\">com.Brenvaldor.desktop</launchable>"),
              std::string::npos);
    EXPECT_TRUE(run("appstreamcli validate --no-net " + metainfo.string(), &log)) << log;

    for (unsigned size : {16u, 24u, 32u, 48u, 64u, 128u, 256u, 512u}) {
        SCOPED_TRACE(size);
        std::string folder = std::to_string(size) + "x" + std::to_string(size);
        fs::path icon = prefix / "share" / "icons" / "hicolor" / folder / "apps" / "com.Brenvaldor.png";
        EXPECT_EQ(png_size(icon), std::make_pair(size, size));
    }
    fs::remove_all(prefix);
}
