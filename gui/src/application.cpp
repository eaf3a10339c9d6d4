#include "application.h"

#include <stdio.h>

#include "general_reticle.h"
#include "navigator.h"
#include "pages.h"
#include "qel_msg.h"
#include "ui_pages.h"
#include "ui_senders.h"
#include "vesk_version.h"

#define SIGHTUI_APP_NAME "qel_menu"

int Qel_InitEmbeddedFunction(void)
{
    char line[VESK_VERSION_LINE_MAX];
    vesk_version_program_line(line, sizeof(line), "UI", SIGHTUI_APP_NAME);
    vesk_version_append(VESK_VERSION_FILE, line);
    printf("%s.\n", line);
    return Qel_InitMsgEvent(msgEventCallback);
}

int Qel_DeinitEmbeddedFunction(void) { return 0; }

ret_t assets_init(void)
{
    const char *theme = "default";
    assets_manager_t *am = assets_manager();
    return_value_if_fail(theme != NULL && am != NULL, RET_BAD_PARAMS);
    assets_manager_set_theme(am, theme);
    assets_manager_preload(am, ASSET_TYPE_STYLE, theme);
    return tk_init_assets();
}

void application_connect(void)
{
    navigator_set_pages(pages_registry, pages_registry_count);
    static const ui_page_calls page_calls = {navigator_to, navigator_switch_to};
    ui_set_page_calls(&page_calls);
}

ret_t application_init(void)
{
    application_connect();
    Qel_InitEmbeddedFunction();
    /* Known before any window is loaded, so that every page may hold one. */
    general_reticle_register();
    GUI_SEND_UI_READY_MSG(0);
    return navigator_to("Boot_logo");
}

ret_t application_exit(void)
{
    Qel_DeinitEmbeddedFunction();
    if (log_get_log_level() == LOG_LEVEL_DEBUG) {
        log_debug("application_exit\n");
        printf("application_exit");
    }
    return RET_OK;
}
