#include "scope_sim_run.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

pid_t scope_sim_spawn(const std::vector<std::string> &args, int in, int out, bool quiet)
{
    std::vector<std::string> all = {std::string(VESK_BIN_DIR) + "/scope-sim"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &a : all) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in, 0);
    posix_spawn_file_actions_adddup2(&fa, out, 1);
    if (quiet) posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    return rc == 0 ? pid : -1;
}

scope_result scope_sim(const std::vector<std::string> &args, const std::string &script, bool quiet)
{
    scope_result r;
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0) return r;
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        return r;
    }
    pid_t pid = scope_sim_spawn(args, in[0], out[1], quiet);
    close(in[0]);
    close(out[1]);
    /* A script it did not take whole fails the run. */
    const bool fed = pid > 0 && write(in[1], script.data(), script.size()) == (ssize_t)script.size();
    close(in[1]);
    char buf[4096];
    ssize_t n;
    while ((n = read(out[0], buf, sizeof buf)) > 0) r.out.append(buf, (size_t)n);
    close(out[0]);
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && fed && WIFEXITED(status)) r.status = WEXITSTATUS(status);
    return r;
}
