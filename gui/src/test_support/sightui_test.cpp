#include "sightui_test.h"

#include <errno.h>
#include <sched.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/mount.h>
#include <sys/msg.h>
#include <sys/wait.h>
#include <unistd.h>

#include "application.h"
#include "awtk_host.h"
#include "qel_msg.h"
#include "sim_ns.h"
#include "ui_status.h"
#include "vesk_frame.h"
#include "vesk_log.h"
#include "vesk_lrf_ui.h"
#include "vesk_msgq.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace sightui_test {

const char *built_res(void) { return SIGHTUI_TEST_RES; }

void in_gui_child(const std::function<void()> &fn, int w, int h, const char *res_root)
{
    fflush(stdout);
    fflush(stderr);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        int rc = sim_private_ns(CLONE_NEWIPC);
        if (rc != 0) {
            fprintf(stderr, "no private IPC namespace: %s\n", strerror(-rc));
            _exit(3);
        }
        if (awtk_test_init(w, h, res_root != nullptr ? res_root : SIGHTUI_TEST_RES) != RET_OK) {
            fprintf(stderr, "awtk_test_init failed\n");
            _exit(4);
        }
        application_connect();
        fn();
        fflush(stdout);
        _exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "child ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "failures in the child are printed above";
}

static std::string parent_of(const std::string &path)
{
    size_t slash = path.find_last_of('/');
    return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

HostFolders::HostFolders(const std::vector<std::string> &paths)
{
    for (const std::string &path : paths) {
        std::string reach = path;
        while (reach != "/" && access(reach.c_str(), F_OK) != 0) reach = parent_of(reach);
        /* Binding a top folder such as /tmp would undo the private one. */
        if (parent_of(reach) == "/") {
            std::error_code ec;
            std::filesystem::create_directories(path, ec);
            reach = path;
        }
        int fd = ::open(reach.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            ADD_FAILURE() << reach << ": " << strerror(errno);
            continue;
        }
        open_.emplace_back(reach, fd);
    }
}

HostFolders::~HostFolders()
{
    for (const auto &folder : open_) close(folder.second);
}

bool HostFolders::bind_into(const std::string &new_root)
{
    bool ok = true;
    for (const auto &folder : open_) {
        const std::string to = new_root + folder.first;
        if (access(to.c_str(), F_OK) == 0) continue;
        std::error_code ec;
        std::filesystem::create_directories(to, ec);
        const std::string from = "/proc/self/fd/" + std::to_string(folder.second);
        if (mount(from.c_str(), to.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0) {
            ADD_FAILURE() << "bind " << folder.first << ": " << strerror(errno);
            ok = false;
        }
    }
    return ok;
}

bytes frame(uint8_t obj, uint8_t sub, uint8_t item, uint8_t flag, const bytes &payload)
{
    bytes f(payload.size() + VESK_FRAME_OVERHEAD);
    size_t n = vesk_frame_build(f.data(), f.size(), obj, sub, item, flag, payload.data(), payload.size());
    f.resize(n);
    return f;
}

bytes report(uint8_t obj, uint8_t sub, uint8_t item, const bytes &payload)
{
    return frame(obj, sub, item, VESK_FRAME_FLAG_REPORT, payload);
}

void deliver(const bytes &f)
{
    uiOperationControl(f.data(), (int)f.size());
    awtk_test_pump();
}

static ret_t on_user_event(void *ctx, event_t *e)
{
    static_cast<EventTap *>(ctx)->seen.push_back((int)e->type - (int)EVT_USER_START);
    return RET_OK;
}

EventTap::EventTap()
{
    for (int n = 0; n < 100; n++) widget_on(window_manager(), EVT_USER_START + n, on_user_event, this);
}

EventTap::~EventTap() { widget_off_by_ctx(window_manager(), this); }

std::vector<int> EventTap::take()
{
    std::vector<int> out;
    out.swap(seen);
    return out;
}

void start_queues() { ASSERT_EQ(Qel_InitMsgEvent(msgEventCallback), 0); }

std::vector<bytes> sent_frames()
{
    std::vector<bytes> out;
    int q = msgget(MSGQ_KEY_TO_APP, 0);
    if (q < 0) return out;
    Qel_MsgEvent ev;
    while (msgrcv(q, &ev, MSGQ_TEXT_SIZE, 0, IPC_NOWAIT) == (ssize_t)MSGQ_TEXT_SIZE) {
        EXPECT_EQ(ev.msg_type, MSG_TYPE_FOR_SERVER);
        EXPECT_EQ(ev.msg_text.type, MSGQ_COMMAND_UI_TO_APP);
        EXPECT_EQ(ev.msg_text.command, 255);
        EXPECT_LE(ev.msg_text.length, (uint32_t)MSGQ_CONTEXT_SIZE);
        out.emplace_back(ev.msg_text.context, ev.msg_text.context + ev.msg_text.length);
    }
    return out;
}

void send_as_sightd(const bytes &f)
{
    int q = msgget(MSGQ_KEY_TO_PEERS, IPC_CREAT | 0777);
    ASSERT_GE(q, 0);
    Qel_MsgEvent ev;
    memset(&ev, 0, sizeof(ev));
    ev.msg_type = MSG_TYPE_FOR_QTMENU;
    ev.msg_text.type = MSGQ_COMMAND_APP_TO_UI;
    ev.msg_text.length = (uint32_t)f.size();
    memcpy(ev.msg_text.context, f.data(), f.size());
    /* Waits while the queue is full, as the listener drains it. */
    ASSERT_EQ(msgsnd(q, &ev, MSGQ_TEXT_SIZE, 0), 0);
}

std::string tree_dump()
{
    char *dump = awtk_host_dump_tree();
    std::string text = dump != NULL ? dump : "";
    free(dump);
    return text;
}

std::string top_name()
{
    widget_t *top = window_manager_get_top_window(window_manager());
    return top != NULL && top->name != NULL ? top->name : "";
}

static ret_t on_key(void *ctx, event_t *e)
{
    static_cast<KeyTap *>(ctx)->keys.push_back(key_event_cast(e)->key);
    return RET_OK;
}

KeyTap::KeyTap(widget_t *win) { widget_on(win, EVT_KEY_DOWN, on_key, this); }

std::vector<uint32_t> KeyTap::take()
{
    std::vector<uint32_t> out;
    out.swap(keys);
    return out;
}

std::string error_log_of(const std::function<void()> &fn, uint64_t *console_drops)
{
    char dir[] = "/tmp/sightui-log-XXXXXX";
    if (mkdtemp(dir) == NULL) {
        ADD_FAILURE() << "mkdtemp: " << strerror(errno);
        return "";
    }
    std::string console = std::string(dir) + "/console.txt";
    int saved = dup(STDERR_FILENO);
    int fd = open(console.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    dup2(fd, STDERR_FILENO);
    close(fd);
    vesk_log_config cfg{};
    snprintf(cfg.vesk_media_root, sizeof(cfg.vesk_media_root), "%s", dir);
    snprintf(cfg.vesk_socket_path, sizeof(cfg.vesk_socket_path), "%s/log.sock", dir);
    cfg.vesk_require_vfat = 0;
    EXPECT_EQ(vesk_log_start(VESK_LOG_GUI, &cfg), 0);
    fn();
    if (console_drops != nullptr) {
        vesk_log_stats stats;
        vesk_log_get_stats(&stats);
        *console_drops = stats.vesk_console_drops;
    }
    vesk_log_stop();
    dup2(saved, STDERR_FILENO);
    close(saved);
    std::ifstream in(console);
    std::stringstream text;
    text << in.rdbuf();
    /* The logger may have written its files there as well. */
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return text.str();
}

std::string stdout_of(const std::function<void()> &fn)
{
    char path[] = "/tmp/sightui-out-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0) {
        ADD_FAILURE() << "mkstemp: " << strerror(errno);
        return "";
    }
    fflush(stdout);
    int saved = dup(STDOUT_FILENO);
    dup2(fd, STDOUT_FILENO);
    close(fd);
    fn();
    fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    unlink(path);
    return text.str();
}

static void append(bytes *out, const void *p, size_t n)
{
    const uint8_t *b = (const uint8_t *)p;
    out->insert(out->end(), b, b + n);
}

bytes mirrors()
{
    bytes out;
    append(&out, &stDevStatus, sizeof(stDevStatus));
    append(&out, &IR_Cursor, sizeof(IR_Cursor));
    append(&out, info, sizeof(info));
    append(&out, &result_ball, sizeof(result_ball));
    append(&out, &stUIStatus, sizeof(stUIStatus));
    append(&out, &vesk_lrf_ui, sizeof(vesk_lrf_ui));
    append(&out, &vesk_gui_force_until_ms, sizeof(vesk_gui_force_until_ms));
    return out;
}

bytes le16(int v) { return bytes{(uint8_t)v, (uint8_t)(v >> 8)}; }

bytes le64(uint64_t v)
{
    bytes out;
    for (int i = 0; i < 8; i++) out.push_back((uint8_t)(v >> (8 * i)));
    return out;
}

bytes f32(float v)
{
    uint8_t b[4];
    memcpy(b, &v, 4);
    return bytes(b, b + 4);
}

bytes cat(std::initializer_list<bytes> parts)
{
    bytes out;
    for (const bytes &p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::string hex(const bytes &b)
{
    std::string s;
    char buf[4];
    for (size_t i = 0; i < b.size(); i++) {
        snprintf(buf, sizeof(buf), i ? " %02X" : "%02X", b[i]);
        s += buf;
    }
    return s;
}

bytes unhex(const char *text)
{
    bytes out;
    unsigned v;
    int n;
    while (sscanf(text, " %x%n", &v, &n) == 1) {
        out.push_back((uint8_t)v);
        text += n;
    }
    return out;
}

} // namespace sightui_test
