// Shared by the tests of the menus and the pages they open: the home page
// at the bottom of the stack (as on the scope), keys, the widget-tree dump
// and the frames the pages sent.
#pragma once

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "awtk_host.h"
#include "booted_device.h"
#include "general_reticle.h"
#include "navigator.h"
#include "page_screenshot.h"
#include "sightui_test.h"
#include "sim_tree.h"
#include "ui_status.h"

namespace menu_test {

using sightui_test::bytes;

/* The widget of that name in the topmost window that has one. */
inline sim_widget node(const std::string &name)
{
    char *dump = awtk_host_dump_tree();
    std::string text = dump != nullptr ? dump : "";
    free(dump);
    /* Windows are dumped bottom to top: the last match is the top one. */
    sim_widget found;
    size_t at = 0;
    while ((at = text.find(" name=\"" + name + "\"", at)) != std::string::npos) {
        size_t start = text.rfind('\n', at);
        start = start == std::string::npos ? 0 : start + 1;
        found = sim_tree_widget(text.substr(start), name);
        at++;
    }
    return found;
}

/* A device as the boot push leaves it, on battery and ready, with the
 * queues up and the home page open; the frames of its opening are taken. */
inline void boot_to_home()
{
    booted_device_defaults();
    stUIStatus.s8InterfaceState = 1;
    sightui_test::start_queues();
    ASSERT_EQ(general_reticle_register(), RET_OK);
    ASSERT_EQ(navigator_to("QZ_home_page_1"), RET_OK);
    awtk_test_pump();
    awtk_test_step(100);
    sightui_test::sent_frames();
}

inline void press(uint32_t key)
{
    awtk_test_key(key);
    awtk_test_pump();
}

inline void press(const char *keys)
{
    for (const char *k = keys; *k != '\0'; k++) press((uint32_t)(unsigned char)*k);
}

/* Opens a page as its opener would and lets it settle. */
inline void open(const char *name, intptr_t ctx = 0)
{
    ASSERT_EQ(navigator_to_with_context(name, (void *)ctx), RET_OK) << name;
    awtk_test_pump();
}

/* The frames sent since the last call, as hex text, less the home page's
 * menu-level reports (basic item 39), which its watch sends on its own
 * time whenever another window comes on top. */
inline std::vector<std::string> sent_hex()
{
    std::vector<std::string> out;
    for (const bytes &f : sightui_test::sent_frames()) {
        if (f.size() == 10 && f[2] == 0 && f[4] == 39) continue;
        out.push_back(sightui_test::hex(f));
    }
    return out;
}

/* A request frame in hex, as the page must send it. */
inline std::string request_hex(uint8_t obj, uint8_t sub, uint8_t item, const bytes &payload)
{
    return sightui_test::hex(sightui_test::frame(obj, sub, item, 0x00, payload));
}

/* The top window's name. */
inline std::string top() { return sightui_test::top_name(); }

/* Nothing the page names is missing from the resources. */
inline void expect_resolved(const char *window)
{
    EXPECT_EQ(page_screenshot::unresolved(navigator_find_window(window)), "") << window;
}

/* Makes this process see a root of its own in a private mount namespace:
 * the host's folders bound in as they are, but an empty /tmp and an empty
 * Media partition (/usrdata/media with its Picture, Video and .thumbnails
 * folders), so a page's files are the test's alone. The built resources,
 * the screenshot references and the failure folder stay reachable where
 * they were, wherever the clone and the build lie. */
inline void private_root()
{
    ASSERT_EQ(unshare(CLONE_NEWNS), 0);
    ASSERT_EQ(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
    sightui_test::HostFolders keep(
        {sightui_test::built_res(), page_screenshot::reference_dir(), page_screenshot::failure_dir()});
    ASSERT_EQ(mount("tmpfs", "/mnt", "tmpfs", 0, "size=64m"), 0);
    const std::string root = "/mnt/root";
    ASSERT_EQ(mkdir(root.c_str(), 0755), 0);
    DIR *top = opendir("/");
    ASSERT_NE(top, nullptr);
    while (struct dirent *d = readdir(top)) {
        std::string name = d->d_name;
        if (name == "." || name == ".." || name == "tmp" || name == "mnt" || name == "usrdata") continue;
        std::string from = "/" + name, to = root + "/" + name;
        struct stat st;
        if (lstat(from.c_str(), &st) != 0) continue;
        if (S_ISLNK(st.st_mode)) {
            char target[256];
            ssize_t n = readlink(from.c_str(), target, sizeof target - 1);
            if (n <= 0) continue;
            target[n] = '\0';
            EXPECT_EQ(symlink(target, to.c_str()), 0) << to;
        } else if (S_ISDIR(st.st_mode)) {
            mkdir(to.c_str(), 0755);
            EXPECT_EQ(mount(from.c_str(), to.c_str(), nullptr, MS_BIND | MS_REC, nullptr), 0) << from;
        }
    }
    closedir(top);
    for (const char *dir : {"/tmp", "/usrdata", "/usrdata/media", "/usrdata/media/Picture", "/usrdata/media/Video",
                            "/usrdata/media/.thumbnails"})
        ASSERT_EQ(mkdir((root + dir).c_str(), 0777), 0) << dir;
    ASSERT_TRUE(keep.bind_into(root));
    ASSERT_EQ(chroot(root.c_str()), 0);
    ASSERT_EQ(chdir("/"), 0);
}

/* Writes a file (its folders must exist). */
inline void write_file(const std::string &path, const std::string &text)
{
    FILE *f = fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr) << path;
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
}

inline bool exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }

} // namespace menu_test
