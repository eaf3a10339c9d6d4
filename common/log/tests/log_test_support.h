// Shared by the logging tests: a forked child per case that starts the
// logger (it is one per process), temporary folders, and readers for the
// line format as the format description gives it.
#pragma once

#include "vesk_clock.h"
#include "vesk_debug.h"
#include "vesk_log.h"
#include "vesk_log_internal.h"

#include <errno.h>
#include <fcntl.h>
#include <ftw.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <functional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace vesk_log_test {

/* ---- harness ---- */

class PipeListener : public testing::EmptyTestEventListener {
public:
    explicit PipeListener(int fd) : fd_(fd) {}
    void OnTestPartResult(const testing::TestPartResult &r) override
    {
        if (!r.failed()) return;
        std::string s = std::string(r.file_name() ? r.file_name() : "?") + ":" + std::to_string(r.line_number()) +
                        ": " + r.summary() + "\n";
        ssize_t n = write(fd_, s.data(), s.size());
        (void)n;
    }

private:
    int fd_;
};

struct Child {
    pid_t pid = -1;
    int report_fd = -1;
};

/* Starts body in a child process; join_child reports its failures here. */
inline Child spawn_child(const std::function<void()> &body)
{
    Child c;
    int p[2];
    if (pipe(p) != 0) return c;
    fflush(stdout);
    fflush(stderr);
    c.pid = fork();
    if (c.pid == 0) {
        close(p[0]);
        alarm(60);
        testing::UnitTest::GetInstance()->listeners().Append(new PipeListener(p[1]));
        body();
        _exit(testing::Test::HasFailure() ? 1 : 0);
    }
    close(p[1]);
    c.report_fd = p[0];
    return c;
}

inline void join_child(Child &c)
{
    ASSERT_GE(c.pid, 0) << "fork failed";
    std::string msgs;
    char buf[4096];
    ssize_t n;
    while ((n = read(c.report_fd, buf, sizeof(buf))) > 0 || (n < 0 && errno == EINTR)) {
        if (n > 0) msgs.append(buf, (size_t)n);
    }
    close(c.report_fd);
    int status = 0;
    while (waitpid(c.pid, &status, 0) < 0 && errno == EINTR) {}
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status << "\n" << msgs;
}

/* Runs body in a child process; its failures are reported in this one. */
inline void in_child(const std::function<void()> &body)
{
    Child c = spawn_child(body);
    join_child(c);
}

struct TempDir {
    std::string path;
    TempDir()
    {
        const char *base = getenv("TMPDIR");
        std::string tmpl = std::string(base && *base ? base : "/tmp") + "/vesk_log_test.XXXXXX";
        std::vector<char> buf(tmpl.begin(), tmpl.end());
        buf.push_back('\0');
        if (mkdtemp(buf.data()) != NULL) path = buf.data();
    }
    ~TempDir()
    {
        if (path.empty()) return;
        nftw(
            path.c_str(), [](const char *p, const struct stat *, int, struct FTW *) { return remove(p); }, 16,
            FTW_DEPTH | FTW_PHYS);
    }
    std::string operator/(const std::string &name) const { return path + "/" + name; }
};

inline std::string read_file(const std::string &path)
{
    std::string out;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return out;
    char buf[65536];
    ssize_t n;
    while ((n = read(fd, buf, sizeof(buf))) > 0) out.append(buf, (size_t)n);
    close(fd);
    return out;
}

inline std::vector<std::string> split_lines(const std::string &text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t lf = text.find('\n', start);
        if (lf == std::string::npos) lf = text.size() - 1;
        lines.push_back(text.substr(start, lf - start + 1));
        start = lf + 1;
    }
    return lines;
}

/* The line shape, written out once here from the format description. */
inline const std::regex
    line_shape("mono_ms=[0-9]+ wall_ms=-?[0-9]+ "
               "wall=(unknown|[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}[+-][0-9]{4}) "
               "boot=[^ ]+ run=[0-9]+-[0-9]+ seq=[0-9]+ src=(app|gui) level=[ED] tag=[^ ]+ "
               "flags=(none|(gap|truncated|partial)(,(truncated|partial))*) \\| [^\n]*\n");

inline std::string message_of(const std::string &line)
{
    size_t bar = line.find(" | ");
    if (bar == std::string::npos) return "";
    return line.substr(bar + 3, line.size() - bar - 4);
}

inline std::string field_of(const std::string &line, const std::string &key)
{
    std::string k = key + "=";
    size_t at = line.find(" " + k);
    if (at == std::string::npos)
        at = line.rfind(k, 0) == 0 ? 0 : std::string::npos;
    else
        at++;
    if (at == std::string::npos) return "";
    size_t end = line.find(' ', at);
    return line.substr(at + k.size(), end - at - k.size());
}

/* Waits up to timeout_ms for cond, checking every 10 ms. */
inline bool eventually(const std::function<bool()> &cond, int timeout_ms = 10000)
{
    for (int waited = 0; waited < timeout_ms; waited += 10) {
        if (cond()) return true;
        usleep(10 * 1000);
    }
    return cond();
}

inline vesk_log_config config_in(const TempDir &dir)
{
    vesk_log_config cfg{};
    snprintf(cfg.vesk_media_root, sizeof(cfg.vesk_media_root), "%s", dir.path.c_str());
    snprintf(cfg.vesk_socket_path, sizeof(cfg.vesk_socket_path), "%s", (dir / "log.sock").c_str());
    cfg.vesk_require_vfat = 0;
    return cfg;
}

/* Starts the logger with paths inside dir; the console goes to console.txt. */
inline void start_logger(const TempDir &dir, vesk_log_role role, const char *console = "console.txt")
{
    int fd = open((dir / console).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(dup2(fd, STDERR_FILENO), STDERR_FILENO);
    close(fd);
    vesk_log_config cfg = config_in(dir);
    ASSERT_EQ(vesk_log_start(role, &cfg), 0);
}

/* Lines of one stream's slot file. */
inline std::vector<std::string> slot_lines(const TempDir &dir, const std::string &file)
{
    return split_lines(read_file(dir / ("VeskLogs/" + file)));
}

/* Lines of a slot file whose message contains text. */
inline std::vector<std::string> lines_with(const TempDir &dir, const std::string &file, const std::string &text)
{
    std::vector<std::string> out;
    for (const std::string &line : slot_lines(dir, file)) {
        if (message_of(line).find(text) != std::string::npos) out.push_back(line);
    }
    return out;
}

} // namespace vesk_log_test
