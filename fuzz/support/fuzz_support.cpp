#include "fuzz_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/mount.h>
#include <sys/msg.h>
#include <unistd.h>

#include <thread>

static bool put_text(const char *path, const std::string &text)
{
    int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = write(fd, text.data(), text.size()) == (ssize_t)text.size();
    close(fd);
    return ok;
}

void fuzz_sandbox(void)
{
    const unsigned uid = getuid(), gid = getgid();
    if (unshare(CLONE_NEWUSER | CLONE_NEWIPC | CLONE_NEWNS) == 0) {
        /* Ourselves as root of the namespace, so files on its /tmp are ours. */
        put_text("/proc/self/setgroups", "deny");
        put_text("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1");
        put_text("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1");
    } else if (unshare(CLONE_NEWIPC | CLONE_NEWNS) != 0) {
        fprintf(stderr, "fuzz: no namespaces of our own, using the host's queues and /tmp\n");
        return;
    }
    if (mount(NULL, "/", NULL, MS_REC | MS_PRIVATE, NULL) != 0 ||
        mount("tmpfs", "/tmp", "tmpfs", 0, "size=512m,mode=1777") != 0)
        fprintf(stderr, "fuzz: no /tmp of our own, using the host's\n");
}

void fuzz_quiet_stdout(void)
{
    int fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (fd < 0) return;
    fflush(stdout);
    dup2(fd, STDOUT_FILENO);
    close(fd);
}

static void remove_tree(const std::string &path)
{
    DIR *d = opendir(path.c_str());
    if (d == NULL) {
        unlink(path.c_str());
        return;
    }
    while (struct dirent *e = readdir(d)) {
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) remove_tree(path + "/" + e->d_name);
    }
    closedir(d);
    rmdir(path.c_str());
}

static std::string g_scratch;

static void remove_scratch(void) { remove_tree(g_scratch); }

const std::string &fuzz_scratch(void)
{
    if (g_scratch.empty()) {
        char tmpl[] = "/tmp/vesk-fuzz-XXXXXX";
        if (mkdtemp(tmpl) == NULL) {
            perror("fuzz: mkdtemp");
            abort();
        }
        g_scratch = tmpl;
        atexit(remove_scratch);
    }
    return g_scratch;
}

void fuzz_write_file(const std::string &path, const uint8_t *data, size_t size)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (f == NULL) {
        perror(path.c_str());
        abort();
    }
    if (size > 0 && fwrite(data, 1, size, f) != size) abort();
    fclose(f);
}

void fuzz_drain_queue(int key)
{
    int id = msgget(key, IPC_CREAT | 0777);
    if (id < 0) return;
    std::thread([id] {
        struct {
            long mtype;
            uint8_t text[8192];
        } record;
        for (;;) {
            if (msgrcv(id, &record, sizeof(record.text), 0, MSG_NOERROR) < 0) usleep(1000);
        }
    }).detach();
}

size_t fuzz_frame(fuzz_reader &in, uint8_t *out)
{
    const uint8_t mode = in.byte();
    size_t n;
    if (mode & 1) {
        const uint8_t *raw = in.take(VESK_FRAME_MAX, &n);
        memcpy(out, raw, n);
        return n;
    }
    uint8_t head[4];
    for (uint8_t &b : head) b = in.byte();
    const uint8_t *payload = in.take(VESK_FRAME_BUILD_MAX - VESK_FRAME_OVERHEAD, &n);
    return vesk_frame_build(out, VESK_FRAME_MAX, head[0], head[1], head[2], head[3], payload, n);
}
