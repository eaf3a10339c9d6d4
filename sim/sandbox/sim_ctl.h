// The control channel between the sandbox library (outside) and the agent,
// the sandbox's main process (inside).
//
// The channel is one SOCK_SEQPACKET socket pair made by the library; the
// agent's end is its descriptor SIM_CTL_FD. The agent first sends a hello
// reply carrying descriptors of its /usrdata/media and /sys mounts. After
// that only the library writes to the channel: each request carries, as
// its first passed descriptor, the library's end of a fresh socket pair on
// which the agent answers that one request. Several threads may so have
// requests open at once, and a wait may stay open for as long as the child
// runs; the library gives up on it by closing its end.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

enum { SIM_CTL_FD = 3 };
enum { SIM_CTL_MAX_PACKET = 256 * 1024, SIM_CTL_MAX_FDS = 4 };

enum sim_ctl_op : uint32_t {
    SIM_CTL_HELLO = 1,  /* agent -> library, on start: fds media and sys */
    SIM_CTL_SPAWN = 2,  /* value = argc; strings: cwd, argv..., env...; fds: reply, stdin, stdout, stderr */
    SIM_CTL_SIGNAL = 3, /* pid, value = signal */
    SIM_CTL_WAIT = 4,   /* pid; answered when the child has ended */
    SIM_CTL_STOP = 5,   /* end the sandbox: the agent answers, then exits */
};

enum sim_ctl_kind : int32_t { SIM_CTL_EXITED = 1, SIM_CTL_SIGNALED = 2 };

struct sim_ctl_request {
    uint32_t op;
    int32_t pid;
    int32_t value;
    uint32_t nstrings; /* NUL-terminated strings follow the header */
};

struct sim_ctl_reply {
    int32_t status; /* 0 or a negative errno */
    int32_t pid;
    int32_t kind; /* sim_ctl_kind, for waits */
    int32_t code; /* exit status or signal */
};

/* One packet with up to SIM_CTL_MAX_FDS descriptors. 0 or a negative errno. */
int sim_ctl_send(int sock, const void *data, size_t length, const int *fds, int nfds);
/* Receives one packet; *nfds in: room, out: descriptors received (made
 * close-on-exec). The length received, 0 at the peer's end, or a negative
 * errno. */
long sim_ctl_recv(int sock, void *data, size_t size, int *fds, int *nfds);

/* Request packet: header then the strings. */
std::vector<char> sim_ctl_pack(const sim_ctl_request &head, const std::vector<std::string> &strings);
/* Splits a received request; false when it is malformed. */
bool sim_ctl_unpack(const char *data, size_t length, sim_ctl_request *head, std::vector<std::string> *strings);
