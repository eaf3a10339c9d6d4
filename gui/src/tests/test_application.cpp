// The start hook: build line, queues, reticle widget type, READY to sightd
// and the boot page, in a private /tmp and IPC namespace.
#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>

#include <fstream>
#include <sstream>

#include "application.h"
#include "awtk_host.h"
#include "sightui_test.h"
#include "ui_status.h"

using namespace sightui_test;

namespace {

TEST(Application, InitAnnouncesTheGuiAndOpensTheBootPage)
{
    in_gui_child([] {
        ASSERT_EQ(unshare(CLONE_NEWNS), 0);
        ASSERT_EQ(mount(NULL, "/", NULL, MS_REC | MS_PRIVATE, NULL), 0);
        ASSERT_EQ(mount("tmpfs", "/tmp", "tmpfs", 0, "size=4m"), 0);
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

}  // namespace
