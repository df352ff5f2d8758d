// Collecting the exit status of started programs without making the caller wait, so that no
// zombie process stays behind in the host. Used by the process helpers that start children
// themselves (POSIX spawn, and Foundation on GNUstep, whose tasks are not collected once released).
#pragma once

#include <sys/types.h>

// Keeps this module loaded for the life of the process: waiter threads run its code after a
// call has returned, even if the host unloads the module.
void pinModule();
// Collects the children that no waiter thread could be started for and that have ended.
void reapPending();
// Collects the child's exit status when it ends, on a thread of its own.
void reapWhenDone(pid_t pid);
