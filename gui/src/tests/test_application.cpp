// The start hook: build line, queues, reticle widget type, READY to sightd
// and the boot page, in a private /tmp and IPC namespace.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "application.h"
#include "awtk_host.h"
#include "sightui_test.h"
#include "ui_status.h"

using namespace sightui_test;

namespace {

/* A fresh /tmp for the build line, with the resource folder still where it
 * was when the build tree lies under /tmp. */
void cover_tmp_keeping(const std::string &res)
{
    int keep = open(res.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(keep, 0) << res;
    ASSERT_EQ(mount("tmpfs", "/tmp", "tmpfs", 0, "size=4m"), 0);
    if (res.rfind("/tmp/", 0) == 0) {
        for (size_t at = 5; at != std::string::npos; at = res.find('/', at + 1)) mkdir(res.substr(0, at).c_str(), 0755);
        mkdir(res.c_str(), 0755);
        const std::string from = "/proc/self/fd/" + std::to_string(keep);
        ASSERT_EQ(mount(from.c_str(), res.c_str(), NULL, MS_BIND, NULL), 0) << res;
    }
    close(keep);
}

TEST(Application, InitAnnouncesTheGuiAndOpensTheBootPage)
{
    in_gui_child([] {
        ASSERT_EQ(unshare(CLONE_NEWNS), 0);
        ASSERT_EQ(mount(NULL, "/", NULL, MS_REC | MS_PRIVATE, NULL), 0);
        cover_tmp_keeping(built_res());
        stUIStatus.event_distrubut_reday = 1;
        EXPECT_EQ(application_init(), RET_OK);
        awtk_test_pump();
        EXPECT_EQ(top_name(), "Boot_logo");
        EXPECT_EQ(stUIStatus.event_distrubut_reday, 0);
        std::vector<bytes> sent = sent_frames();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(hex(sent[0]), "AA 07 08 00 00 00 00 B9 EB AA");
        std::ifstream in("/tmp/apps.version");
        std::stringstream text;
        text << in.rdbuf();
        EXPECT_EQ(text.str().rfind("UI:\t <qel_menu>\t (", 0), 0u) << text.str();
        widget_t *reticle = widget_factory_create_widget(widget_factory(), "general_reticle", NULL, 0, 0, 10, 10);
        EXPECT_NE(reticle, nullptr) << "the reticle type is known before the first window";
        if (reticle != NULL) widget_destroy(reticle);
        EXPECT_EQ(application_exit(), RET_OK);
    });
}

TEST(Application, AssetsSelectTheDefaultTheme)
{
    in_gui_child([] {
        EXPECT_EQ(assets_init(), RET_OK);
        EXPECT_STREQ(assets_manager_get_theme_name(assets_manager()), "default");
    });
}

} // namespace
