// Namespaces of its own for a test process, as any user may take them: the
// unit tests that need a private IPC, mount or /tmp use this, so that they
// pass alike as root and as an ordinary user.
#pragma once

/* Moves the calling process into new namespaces of the given CLONE_NEW*
 * kinds. Where the caller may not make them (an ordinary user), a user
 * namespace comes first that maps the caller's own user and group to
 * themselves: files it makes keep their owner, and it holds every
 * capability inside. Call while the process has one thread (in a forked
 * child, or before main). 0 or a negative errno. */
int sim_private_ns(int flags);
